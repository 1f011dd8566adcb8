// halcyon: the command-line front end of the setup engine.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "cli/help.h"
#include "cli/machine_location.h"
#include "cli/options.h"
#include "platform/console.h"
#include "platform/program.h"

using namespace halcyon::cli;

namespace {

// "halcyon help [NAME | --man | --bash-completion]"
int Help(const Args &args)
{
    if (args.empty()) {
        std::fputs(OverviewText().c_str(), stdout);
        return 0;
    }
    if (args[0] == "--man") {
        std::fputs(ManualPage().c_str(), stdout);
        return 0;
    }
    if (args[0] == "--bash-completion") {
        std::fputs(BashCompletion().c_str(), stdout);
        return 0;
    }
    if (const Command *c = FindCommand(args[0])) {
        std::fputs(CommandText(*c).c_str(), stdout);
        return 0;
    }
    std::fprintf(stderr, "halcyon: unknown command '%s'\n", args[0].c_str());
    return 2;
}

// Takes "--machine DIR" and "--machine=DIR" out of `args`. False when the
// option has no folder.
bool TakeMachine(Args &args, std::optional<std::string> &machine)
{
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--") // what follows is the command's own
            break;
        if (args[i].rfind("--machine=", 0) == 0) {
            machine = args[i].substr(10);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (args[i] == "--machine") {
            if (i + 1 >= args.size())
                return false;
            machine = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        } else {
            ++i;
        }
    }
    return !machine || !machine->empty();
}

bool AsksForHelp(const Args &args)
{
    if (!args.empty() && args[0] == "-h")
        return true;
    for (const auto &a : args) {
        if (a == "--")
            break;
        if (a == "--help")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    halcyon::platform::UseUtf8Console();
    Args args = halcyon::platform::ProgramArguments(argc, argv);
    if (!args.empty())
        args.erase(args.begin());
    std::optional<std::string> machine;
    if (!TakeMachine(args, machine)) {
        std::fprintf(stderr, "halcyon: --machine needs a folder\n");
        return 2;
    }
#if defined(_WIN32)
    if (machine) {
        std::fprintf(stderr, "halcyon: --machine has no meaning on Windows: the command works on this machine (its "
                             "registry and drives); runs keep their files in %%HALCYON_MACHINE%%, else "
                             "%%ProgramData%%\\Halcyon\n");
        return 2;
    }
#endif
    if (args.empty()) {
        std::fputs(OverviewText().c_str(), stderr);
        return 2;
    }
    const std::string name = args[0];
    args.erase(args.begin());
    if (name == "--version" || name == "-V") {
        std::printf("halcyon %s\n", Version());
        return 0;
    }
    if (name == "help" || name == "--help" || name == "-h")
        return Help(args);
    const Command *cmd = FindCommand(name);
    if (!cmd) {
        std::fprintf(stderr, "halcyon: unknown command '%s' (try 'halcyon help')\n", name.c_str());
        return 2;
    }
    if (AsksForHelp(args)) {
        std::fputs(CommandText(*cmd).c_str(), stdout);
        return 0;
    }
    SetJsonRequested(args);
    // Nothing runs, and nothing is written, on arguments the command does not take.
    if (const std::string unknown = UnknownOption(*cmd, args); !unknown.empty())
        return UsageError(*cmd, unknown);
    SelectMachine(machine);
    try {
        // One table of exit statuses for every command: anything else a
        // command hands back (a verb's own code) is a failure.
        const int status = cmd->run(args);
        return status == kExitSuccess || status == kExitUsage || status == kExitPartial || status == kExitInterrupted
                   ? status
                   : kExitFailure;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "halcyon %s: %s\n", name.c_str(), e.what());
        return 1;
    }
}
