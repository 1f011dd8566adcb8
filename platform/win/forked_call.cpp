// Windows has no fork: nothing runs.
#include "platform/forked_call.h"

namespace halcyon::platform {

int RunForked(const std::function<int()> &, int) { return -1; }

} // namespace halcyon::platform
