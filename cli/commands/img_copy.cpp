// halcyon img-copy: copies the plan's image release folder, or a custom-image
// folder, from a source tree to a destination tree (ImgCopyX).
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/failure_reason.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

namespace {

int Run(const Args &args)
{
    const Command &cmd = *FindCommand("img-copy");
    Options o(args);
    if (!o.Positional().empty())
        return UsageError(cmd, "unexpected argument " + o.Positional().front());
    auto source = o.Get("source");
    auto dest = o.Get("dest");
    if (!source || !dest)
        return UsageError(cmd, "--source and --dest are required");
    bool ok = true;
    uint64_t options = o.GetNumber("options", 0, &ok);
    if (!ok)
        return UsageError(cmd, "--options takes a number");
    uint64_t copyArg = o.GetNumber("copy-arg", 0, &ok);
    if (!ok)
        return UsageError(cmd, "--copy-arg takes a number");
    auto custom = o.Get("custom");
    if (custom)
        options |= 0x8;
    auto plan = o.Get("plan");
    if (!plan && !(options & 0x8))
        return UsageError(cmd, "--plan is required unless --custom is given");
    const std::string planPath = plan.value_or("");
    const std::string folder = custom.value_or("");
    const std::string log = o.GetOr("log", "");
    CommandLocks locks;
    if (!LockForVerb(locks, "img-copy"))
        return 1;
    int32_t rc = ImgCopyX(planPath.c_str(), source->c_str(), dest->c_str(), folder.c_str(), log.c_str(), options,
                          copyArg);
    if (rc == 0) {
        std::printf("ImgCopyX: done\n");
        return 0;
    }
    std::fprintf(stderr, "ImgCopyX returned %s\n", CodeText(rc).c_str());
    return 1;
}

const CommandRegistration registration(
    "img-copy", "copy the plan's image folder or a custom image to a destination tree (ImgCopyX)",
    "halcyon img-copy --source DIR --dest DIR (--plan PLAN | --custom FOLDER) [--log LOG] [--options N] [--copy-arg N]\n"
    "  With --plan copies SOURCE\\PathToRelease of [Image] (0x4: [RecoveryImage]) to DEST\\PathToRelease; the\n"
    "  release folder must hold \"Norv1.nr2\" (0x200000: a \"system.*\" file; [RecoveryImage]: a \"*.wim\").\n"
    "  --custom FOLDER (option 0x8) copies SOURCE\\FOLDER to DEST\\FOLDER without a plan.\n"
    "  --options and --copy-arg are decimal or 0x-hex. Exit status: 0 done, 1 failure (the verb's code is shown).",
    Run);

} // namespace

} // namespace halcyon::cli
