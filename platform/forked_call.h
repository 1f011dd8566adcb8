// A function run in a copy of this process, for libraries that turn their
// caller into a daemon. Offered on Linux only.
#pragma once

#include <functional>

namespace halcyon::platform {

// Runs `body` in a forked child that keeps no descriptor beyond the standard
// three, and waits up to `seconds` for it: the child's exit code (the value
// `body` returned, 0 to 255), or -1 when it could not start, was killed, or
// took too long (it is then killed). -1 on a host without fork.
int RunForked(const std::function<int()> &body, int seconds);

} // namespace halcyon::platform
