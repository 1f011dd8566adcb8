// halcyon exec: runs a program the way the engine runs installers.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "engine/modules/program_runner.h"
#include "platform/process.h"

namespace halcyon::cli {

namespace {

int RunExec(const Args &args)
{
    const Command &cmd = *FindCommand("exec");
    Options o(args, {"dry-run"});
    const auto &pos = o.Positional();
    if (pos.empty())
        return UsageError(cmd, "expected: FILE");
    if (pos.size() > 2)
        return UsageError(cmd, "give the parameters as one text (quote them, or use --params)");
    if (pos.size() == 2 && o.Get("params"))
        return UsageError(cmd, "parameters given twice");
    const std::string file = pos[0];
    const std::string params = pos.size() == 2 ? pos[1] : o.GetOr("params", "");
    const std::string dir = o.GetOr("dir", "");
    bool ok = true;
    unsigned long long wait = o.GetNumber("wait", 0, &ok);
    if (!ok || wait > 0xFFFFFFFFull)
        return UsageError(cmd, "--wait takes a number of seconds");

    if (o.Has("dry-run")) {
        std::string hostDir;
        std::vector<std::string> argv;
        int32_t err = platform::ResolveShellCommand(dir, file, params, hostDir, argv);
        if (err != 0) {
            std::printf("Cannot start: shell error %d\n", err);
            return 1;
        }
        std::printf("Folder: %s\n", hostDir.empty() ? "(current)" : hostDir.c_str());
        for (size_t i = 0; i < argv.size(); ++i)
            std::printf("argv[%zu]: [%s]\n", i, argv[i].c_str());
        return 0;
    }

    uint32_t exitCode = 0;
    int32_t rc = modules::ExecuteProgram(dir, file, params, 1, static_cast<uint32_t>(wait), &exitCode,
                                         o.GetOr("log", ""));
    if (rc != 0 && rc != 27) {
        std::printf("ExecuteProgram returned: %d\n", rc);
        return 1;
    }
    std::printf("Exit code: %u\n", exitCode);
    if (rc != 0) {
        std::printf("ExecuteProgram returned: %d\n", rc);
        return 1;
    }
    return 0;
}

const CommandRegistration exec(
    "exec", "run a program the way installers run (ExecuteProgram)",
    "halcyon exec FILE [PARAMETERS] [--dir WORKDIR] [--params TEXT] [--wait SECONDS] [--log LOG] [--dry-run]\n"
    "  PARAMETERS is one text, split into arguments by the Windows command-line rules.\n"
    "  --wait N also waits up to N seconds for processes started meanwhile.\n"
    "  --dry-run prints the folder and arguments that would run.",
    RunExec);

} // namespace

} // namespace halcyon::cli
