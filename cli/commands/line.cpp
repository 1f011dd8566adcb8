// halcyon line: every machine of a line at a glance. Runs started with
// --report-to DIR keep one status file each in DIR; this command shows them
// as a table (redrawn on a terminal) or serves them as a web page.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "cli/command.h"
#include "cli/line_server.h"
#include "cli/line_view.h"
#include "platform/console.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg(
    "line", "every machine reporting to a shared folder, as a table or a web page",
    "halcyon line DIR [--once] [--json] [--interval SECONDS] [--serve PORT [--for SECONDS]]\n"
    "  DIR               the folder the runs report to (the report folder of factory-run and\n"
    "                    recovery-run)\n"
    "  --once            print the table once (the default when the output is not a terminal)\n"
    "  --json            print the records once as JSON\n"
    "  --interval N      seconds between redraws on a terminal (default 2)\n"
    "  --serve PORT      serve the table as a web page on http://127.0.0.1:PORT/ (loopback only;\n"
    "                    PORT 0 takes a free port); the page polls /line.json\n"
    "  --for SECONDS     stop serving after that long (default: until interrupted)",
    Run);

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

int Run(const Args &args)
{
    const Command &self = *FindCommand("line");
    Options o(args, {"once", "json"});
    if (o.Positional().size() != 1)
        return UsageError(self, o.Positional().empty() ? "DIR is required" : "unexpected argument " + o.Positional()[1]);
    const std::string dir = o.Positional()[0];
    bool ok = true;
    const unsigned long long interval = o.GetNumber("interval", 2, &ok);
    if (!ok || interval == 0 || interval > 3600)
        return UsageError(self, "--interval takes 1 to 3600 seconds");
    const unsigned long long port = o.GetNumber("serve", 0, &ok);
    if (!ok || port > 65535)
        return UsageError(self, "--serve takes a port number (0 to 65535)");
    const unsigned long long seconds = o.GetNumber("for", 0, &ok);
    if (!ok || seconds > 7 * 24 * 3600)
        return UsageError(self, "--for takes a number of seconds");
    std::error_code ec;
    if (!fs::is_directory(platform::FsPath(dir), ec)) {
        std::fprintf(stderr, "halcyon line: %s is not a folder\n", dir.c_str());
        return 1;
    }

    std::vector<RunStatus> machines;
    std::string error;
    if (o.Get("serve")) {
        ServeSettings settings{static_cast<uint16_t>(port), static_cast<int>(seconds)};
        int rc = ServeLine(
            settings,
            [&] {
                std::string why;
                ReadLine(dir, machines, why);
                return LineJson(machines, Now());
            },
            stdout, error);
        if (rc != 0)
            std::fprintf(stderr, "halcyon line: %s\n", error.c_str());
        return rc;
    }
    const bool redraw = !o.Has("once") && !o.Has("json") && platform::IsTerminal(stdout);
    if (redraw)
        std::printf("\033[2J");
    for (;;) {
        if (!ReadLine(dir, machines, error)) {
            std::fprintf(stderr, "halcyon line: %s\n", error.c_str());
            return 1;
        }
        if (o.Has("json")) {
            std::printf("%s\n", LineJson(machines, Now()).c_str());
            return 0;
        }
        const std::string table = LineTable(machines, Now(), redraw ? platform::TerminalColumns(stdout) : 0);
        if (!redraw) {
            std::fputs(table.c_str(), stdout);
            return 0;
        }
        // Home, the table, then clear what the last drawing left below it.
        std::printf("\033[H%s: %s\n\n", dir.c_str(), "(Ctrl-C ends)");
        for (size_t at = 0, nl; (nl = table.find('\n', at)) != std::string::npos; at = nl + 1)
            std::printf("%s\033[K\n", table.substr(at, nl - at).c_str());
        std::printf("\033[J");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(interval));
    }
}

} // namespace
} // namespace halcyon::cli
