// halcyon c-drive-size: the smallest system partition for a plan, with and
// without a recovery partition (GetMiniCDriveSize).
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/command.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/fs_path.h"
#include "platform/path_map.h"

namespace halcyon::cli {

namespace {

const char *Meaning(int32_t rc)
{
    switch (rc) {
    case 12: return "the settings or plan path is empty";
    case 26: return "the settings or plan file does not exist";
    case 120: return "fixed size without a \"Used\" size above 0";
    case 121: return "the machine's memory size is not known";
    case 122: return "the plan has no OS, or the multipliers or buffer are missing, not positive or too large";
    default: return "";
    }
}

// The engine reads a bare file name from the Windows folder, as the profile
// functions do; on the command line a relative path means the current folder.
std::string FromCommandLine(const std::string &path)
{
    if (path.empty() || path[0] == '/' || path[0] == '\\' || platform::HasDrive(path))
        return path;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec)
        return path;
    return platform::PathUtf8(cwd) + "/" + path;
}

int Run(const Args &args)
{
    const Command &cmd = *FindCommand("c-drive-size");
    Options o(args);
    auto settings = o.Get("settings");
    if (!settings)
        return UsageError(cmd, "--settings is required");
    const std::string plan = FromCommandLine(o.GetOr("plan", ""));
    const std::string settingsPath = FromCommandLine(*settings);
    uint8_t warning = 0;
    int32_t size = 0, sizeNoRecovery = 0;
    int32_t rc = GetMiniCDriveSize(plan.c_str(), settingsPath.c_str(), "", &warning, &size, &sizeNoRecovery);
    if (rc != 0) {
        const char *why = Meaning(rc);
        std::fprintf(stderr, "halcyon c-drive-size: GetMiniCDriveSize returned %d%s%s\n", rc, *why ? ": " : "", why);
        return 1;
    }
    std::printf("Size: %dMB\nSize without recovery partition: %dMB\nWarning: %s\n", size, sizeNoRecovery,
                warning ? "Yes" : "No");
    return 0;
}

const CommandRegistration registration(
    "c-drive-size", "the smallest C: partition for a plan (GetMiniCDriveSize)",
    "halcyon c-drive-size --settings CDRIVE_INI [--plan PLAN]\n"
    "  CDRIVE_INI [CDrive]: Default=AutoCalculation or a fixed Used=MB; MultiplierP1, MultiplierMemory,\n"
    "  Buffer, MultiplierP1ForNoRecvPrt, MultiplierMemoryForNoRecvPrt, BufferForNoRecvPrt, Warning=Yes|No",
    Run);

} // namespace

} // namespace halcyon::cli
