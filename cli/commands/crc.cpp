// halcyon crc: folder CRC manifests from the command line.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "cli/run_frame.h"
#include "platform/console.h"
#include "engine/frame/folder_crc.h"

namespace halcyon::cli {

namespace {

constexpr const char *kUsage =
    "halcyon crc check FOLDER [--json]   check FOLDER against FOLDER\\_FS_SWRINFO\\crc.info\n"
    "       halcyon crc create FOLDER   write the manifest (_FS_SWRINFO\\crc.info, files.info)\n"
#if defined(_WIN32)
    "  FOLDER is a full path (a drive-letter or UNC path).\n"
#else
    "  FOLDER is a full path (Windows path text of the emulated machine or a host path).\n"
#endif
    "  Exit status: 0 same (or written), 1 failure, 2 usage error. A failure prints the check's\n"
    "  result: 1 CRC differs, 2 manifest missing or unreadable, 3 nothing listed or a file\n"
    "  unreadable, 4 empty or not a full path.";

const char *CheckResultName(int32_t r)
{
    switch (r) {
    case 1: return "CRC differs";
    case 2: return "manifest missing or unreadable";
    case 3: return "nothing listed or a file unreadable";
    case 4: return "empty or not a full path";
    default: return "failed";
    }
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("crc");
    Options opts(args, {"json"});
    const auto &pos = opts.Positional();
    if (pos.size() != 2) {
        return UsageError(self, "give an action and one folder");
    }
    std::string message;
    std::string file;
    // The message, followed by the file it is about when there is one, then
    // the result with its meaning and the folder.
    auto fail = [&](int32_t r) {
        if (file.empty() || message.find(file) != std::string::npos)
            std::fprintf(stderr, "%s\n", message.c_str());
        else
            std::fprintf(stderr, "%s %s\n", message.c_str(), file.c_str());
        std::fprintf(stderr, "halcyon crc %s: %s: result %d (%s)\n", pos[0].c_str(), pos[1].c_str(), r,
                     CheckResultName(r));
        return kExitFailure;
    };
    if (pos[0] == "check") {
        // With --json the check's own lines go to the null device.
        platform::QuietStandardOutput quiet;
        if (opts.Has("json"))
            quiet.Divert();
        const int32_t r = frame::CheckFolder(pos[1], message, &file);
        if (opts.Has("json")) {
            std::fprintf(quiet.Original(), "{\"folder\":\"%s\",\"result\":%d,\"same\":%s,\"message\":\"%s\",\"file\":\"%s\"}\n",
                        JsonText(pos[1]).c_str(), r, r == 0 ? "true" : "false", JsonText(r ? message : "").c_str(),
                        JsonText(r ? file : "").c_str());
            return r;
        }
        if (r != 0)
            return fail(r);
        std::printf("OK\n");
        return 0;
    }
    if (pos[0] == "create") {
        const int32_t r = frame::WriteFolderManifest(pos[1], message, &file);
        if (r != 0)
            return fail(r);
        frame::CFolderCrc crc;
        uint32_t value = 0;
        if (crc.ComputeFolderCrc(pos[1], value, message) == 0)
            std::printf("CRC %08X over %zu entries\n", value, crc.Entries().size());
        return 0;
    }
    return UsageError(self, "unknown action '" + pos[0] + "'");
}

const CommandRegistration kRegistration("crc", "check or create a folder CRC manifest", kUsage, Run);

} // namespace

} // namespace halcyon::cli
