#include "langsel/mui_log.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "langsel/drive_file.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"

namespace halcyon::langsel {

void MuiLog(std::string_view text)
{
    platform::HostFile log;
    if (OpenDriveFile(kMuiLogFile, platform::FileAccess::Append, platform::FileCreation::OpenOrCreate, log) != 0)
        return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::LocalCivilTime(now, &local);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d %02d:%02d:%02d ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string line = stamp + std::string(text) + "\n";
    log.Write(line.data(), line.size());
}

} // namespace halcyon::langsel
