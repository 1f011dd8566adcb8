// The errno value nearest to a Windows error code, for the platform
// interfaces that answer errno values.
#pragma once

namespace halcyon::platform::win {

int ErrnoOf(unsigned long error);

} // namespace halcyon::platform::win
