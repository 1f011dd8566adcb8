// Writing a file's data out while more of it is still being written: a long
// copy starts the disk on what it has written so far, so that its closing
// flush has little left to wait for.
#pragma once

#include <cstdint>

#include "platform/host_file_rw.h"

namespace halcyon::platform {

// Starts writing the range's data to disk without waiting for it, where the
// host can (elsewhere nothing happens). It makes nothing durable by itself,
// and a failure is left for the flush to report.
void StartWriteBehind(HostFile &file, uint64_t offset, uint64_t length);

} // namespace halcyon::platform
