// halcyon: the command-line front end of the setup engine.
#include <cstdio>
#include <string>

#include "cli/command.h"

using namespace halcyon::cli;

static int PrintHelp()
{
    std::printf("usage: halcyon COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto &c : Commands())
        std::printf("  %-22s %s\n", c.name.c_str(), c.summary.c_str());
    std::printf("\n'halcyon help COMMAND' shows a command's arguments.\n");
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return PrintHelp(), 2;
    std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        if (argc >= 3) {
            if (const Command *c = FindCommand(argv[2])) {
                std::printf("%s\nusage: %s\n", c->summary.c_str(), c->usage.c_str());
                return 0;
            }
            std::fprintf(stderr, "halcyon: unknown command '%s'\n", argv[2]);
            return 2;
        }
        return PrintHelp();
    }
    const Command *cmd = FindCommand(name);
    if (!cmd) {
        std::fprintf(stderr, "halcyon: unknown command '%s' (try 'halcyon help')\n", name.c_str());
        return 2;
    }
    Args args(argv + 2, argv + argc);
    try {
        return cmd->run(args);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "halcyon %s: %s\n", name.c_str(), e.what());
        return 1;
    }
}
