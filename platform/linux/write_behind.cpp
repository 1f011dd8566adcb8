// Linux: sync_file_range(SYNC_FILE_RANGE_WRITE), which queues the range's
// dirty pages for writing and returns.
#include "platform/write_behind.h"

#include <fcntl.h>

namespace halcyon::platform {

void StartWriteBehind(HostFile &file, uint64_t offset, uint64_t length)
{
    if (file.IsOpen() && length > 0)
        (void)::sync_file_range(static_cast<int>(file.Native()), static_cast<off_t>(offset),
                                static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

} // namespace halcyon::platform
