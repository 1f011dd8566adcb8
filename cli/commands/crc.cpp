// halcyon crc: folder CRC manifests from the command line.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/run_frame.h"
#include "platform/console.h"
#include "engine/frame/folder_crc.h"

namespace halcyon::cli {

namespace {

constexpr const char *kUsage =
    "halcyon crc check FOLDER [--json]   check FOLDER against FOLDER\\_FS_SWRINFO\\crc.info\n"
    "       halcyon crc create FOLDER   write the manifest (_FS_SWRINFO\\crc.info, files.info)\n"
    "  FOLDER is a full path (Windows path text of the emulated machine or a host path).\n"
    "  Exit status: the check's result (0 same, 1 CRC differs, 2 manifest missing or unreadable,\n"
    "  3 nothing listed or a file unreadable, 4 empty or not a full path), 64 for a usage error.";

int Run(const Args &args)
{
    const Command &self = *FindCommand("crc");
    Options opts(args, {"json"});
    const auto &pos = opts.Positional();
    if (pos.size() != 2) {
        UsageError(self, "give an action and one folder");
        return 64;
    }
    std::string message;
    std::string file;
    // The message, followed by the file it is about when there is one.
    auto fail = [&] {
        if (file.empty() || message.find(file) != std::string::npos)
            std::fprintf(stderr, "%s\n", message.c_str());
        else
            std::fprintf(stderr, "%s %s\n", message.c_str(), file.c_str());
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
            fail();
        else
            std::printf("OK\n");
        return r;
    }
    if (pos[0] == "create") {
        const int32_t r = frame::WriteFolderManifest(pos[1], message, &file);
        if (r != 0) {
            fail();
            return r;
        }
        frame::CFolderCrc crc;
        uint32_t value = 0;
        if (crc.ComputeFolderCrc(pos[1], value, message) == 0)
            std::printf("CRC %08X over %zu entries\n", value, crc.Entries().size());
        return 0;
    }
    UsageError(self, "unknown action '" + pos[0] + "'");
    return 64;
}

const CommandRegistration kRegistration("crc", "check or create a folder CRC manifest", kUsage, Run);

} // namespace

} // namespace halcyon::cli
