// Windows: no call starts the writing of a range without waiting for it;
// the cache manager's lazy writer already writes behind a sequential writer.
#include "platform/write_behind.h"

namespace halcyon::platform {

void StartWriteBehind(HostFile &, uint64_t, uint64_t) {}

} // namespace halcyon::platform
