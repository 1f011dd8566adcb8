// halcyon log: the log of a machine's run (each start begins with a header:
// version, start time, command line), and with -f what the run goes on to
// write until it ends.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "cli/command.h"
#include "cli/lock_state.h"
#include "cli/machine_location.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg("log", "the log of a machine's run; -f follows it while the run goes on",
                               "halcyon log [-f | --follow] [--run factory|recovery] [--machine DIR]\n"
                               "  -f, --follow   go on printing what the run writes until no run holds the machine\n"
                               "  --run          which run's log (default: the one written last)",
                               Run);

// Prints what `path` holds from `offset` on; the new offset. A log that
// shrank was started anew (a fresh run): it is printed from its start.
uint64_t PrintFrom(const std::string &path, uint64_t offset)
{
    auto st = platform::StatHostPath(path);
    if (!st)
        return offset;
    if (st->size < offset)
        offset = 0;
    std::FILE *f = platform::OpenHostFileForRead(path);
    if (!f)
        return offset;
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0) {
        char buf[8192];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            for (size_t i = 0; i < n; ++i)
                if (buf[i] != '\r')
                    std::fputc(buf[i], stdout);
            offset += n;
        }
    }
    std::fclose(f);
    std::fflush(stdout);
    return offset;
}

int Run(const Args &all)
{
    const Command &self = *FindCommand("log");
    Args args;
    bool follow = false;
    for (const auto &a : all) {
        if (a == "-f" || a == "--follow")
            follow = true;
        else
            args.push_back(a);
    }
    Options o(args);
    if (!o.Positional().empty())
        return UsageError(self, "unexpected argument " + o.Positional().front());
    const fs::path machine = platform::FsPath(SelectMachine(o.Get("machine")));
    std::string run = o.GetOr("run", "");
    if (!run.empty() && run != "factory" && run != "recovery")
        return UsageError(self, "--run takes factory or recovery");
    std::error_code ec;
    if (run.empty()) {
        // The run whose log was written last.
        fs::file_time_type newest{};
        for (const char *sub : {"factory", "recovery"}) {
            const fs::path log = machine / sub / "halcyon.log";
            if (fs::is_regular_file(log, ec) && (run.empty() || fs::last_write_time(log, ec) > newest)) {
                newest = fs::last_write_time(log, ec);
                run = sub;
            }
        }
        if (run.empty())
            run = "factory";
    }
    const std::string log = platform::PathUtf8(machine / run / "halcyon.log");
    if (!follow && !fs::is_regular_file(platform::FsPath(log), ec)) {
        std::fprintf(stderr, "halcyon log: no log at %s\n", log.c_str());
        return 1;
    }
    uint64_t at = PrintFrom(log, 0);
    if (!follow)
        return 0;
    // Until no run holds the machine, then what it wrote last.
    while (QueryMachineLock(platform::PathUtf8(machine)).held) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        at = PrintFrom(log, at);
    }
    PrintFrom(log, at);
    return 0;
}

} // namespace
} // namespace halcyon::cli
