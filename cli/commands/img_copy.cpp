// halcyon img-copy: copies the plan's image release folder, or a custom-image
// folder, from a source tree to a destination tree (ImgCopyX).
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

namespace {

int Run(const Args &args)
{
    const Command &cmd = *FindCommand("img-copy");
    Options o(args);
    if (int rc = RefusePositional(cmd, o))
        return rc;
    auto source = o.Get("source");
    auto dest = o.Get("dest");
    if (!source || !dest)
        return UsageError(cmd, "--source and --dest are required");
    uint64_t options = 0, copyArg = 0;
    if (int rc = ReadNumbers(cmd, o, {{"options", &options}, {"copy-arg", &copyArg}}))
        return rc;
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
    return VerbResult("ImgCopyX",
                      ImgCopyX(planPath.c_str(), source->c_str(), dest->c_str(), folder.c_str(), log.c_str(), options,
                               copyArg),
                      "ImgCopyX: done");
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
