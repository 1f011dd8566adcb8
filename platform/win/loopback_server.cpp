// The loopback listener is not offered on Windows.
#include "platform/loopback_server.h"

namespace halcyon::platform {

int ServeLoopback(const LoopbackSettings &, const LoopbackAnswer &, const std::function<void(uint16_t)> &,
                  std::string &error)
{
    error = "serving is available on Linux only";
    return 1;
}

} // namespace halcyon::platform
