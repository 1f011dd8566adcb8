#include "langsel/mui_log.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/host_file.h"
#include "platform/path_map.h"

namespace halcyon::langsel {

void MuiLog(std::string_view text)
{
    std::string path = platform::HostPath(kMuiLogFile);
    std::FILE *f = std::fopen(path.c_str(), "a");
    if (!f)
        return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::LocalCivilTime(now, &local);
    std::fprintf(f, "%04d.%02d.%02d %02d:%02d:%02d %.*s\n", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                 local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(text.size()), text.data());
    std::fclose(f);
}

} // namespace halcyon::langsel
