// halcyon load-img: lays an image down with LoadImgX, showing its progress.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/exit_status.h"
#include "cli/failure_reason.h"
#include "cli/progress.h"
#include "engine/frame/plan_records.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/path_map.h"
#include "support/ini/ini_store.h"

namespace halcyon::cli {

namespace {

const char *const kUsage =
    "halcyon load-img --source DIR --dest DIR [--plan FILE] [--temp DIR] [--wim NAME] [--log FILE]\n"
    "                 [--options N] [--nrvinst FILE] [--pbr-suffix TEXT] [--plain]\n"
    "  Applies the plan's image (or, with option 0x8, DIR\\NAME) to the destination folder.\n"
    "  --options   the verb's option word, decimal or 0x-hex (0x8 direct mode, 0x10 verify,\n"
    "              0x100000 base-plus image, 0x800000000 push-button reset, 0x80000000 records)\n"
    "  --plain     progress as plain lines even on a terminal\n"
    "  Ctrl-C asks the imaging library to stop the apply.";

// The size the image will take, for the byte figures of the display: the
// WIM's TOTALBYTES, found the way the verb finds the image. 0 when unknown.
uint64_t ImageBytes(const std::string &plan, std::string source, const std::string &wimName, uint64_t options)
{
    if (!source.empty() && source.back() != '\\' && source.back() != '/')
        source += '\\';
    std::string path;
    if (options & 0x8) {
        path = source + wimName;
    } else {
        support::CMemoryIniIO store;
        if (!store.LoadFile(plan))
            return 0;
        std::string releaseName, machineId, pathToRelease, fileName, releaseId;
        if (!LoadGenericImage(source, &store, releaseName, machineId, pathToRelease, fileName, releaseId, options, true) ||
            !platform::IsSafeRelativePart(pathToRelease))
            return 0;
        path = source + pathToRelease + "\\" + fileName;
    }
    std::string value;
    if (image::ReadWimTagValue(path, "TOTALBYTES", value) != 0)
        return 0;
    return std::strtoull(value.c_str(), nullptr, 10);
}

void OnInterrupt(int) { ProgressDisplay::RequestAbort(); }

int Run(const Args &args)
{
    Options opts(args, {"plain"});
    const Command *cmd = FindCommand("load-img");
    const auto source = opts.Get("source"), dest = opts.Get("dest");
    if (!source || !dest)
        return UsageError(*cmd, "--source and --dest are required");
    const auto optionWord = opts.Number("options");
    if (!optionWord)
        return UsageError(*cmd, "--options must be a number");
    const uint64_t options = *optionWord;
    const std::string plan = opts.GetOr("plan", "");
    const std::string wim = opts.GetOr("wim", "");
    CommandLocks locks;
    if (!LockForVerb(locks, "load-img", *dest))
        return 1;

    ProgressDisplay display(stdout, !opts.Has("plain") && ProgressDisplay::IsTerminal(stdout),
                            ImageBytes(plan, *source, wim, options));
    void (*previous)(int) = std::signal(SIGINT, OnInterrupt);

    const int32_t result =
        LoadImgX(plan.c_str(), source->c_str(), dest->c_str(), opts.GetOr("temp", "").c_str(), wim.c_str(),
                 opts.GetOr("log", "").c_str(), options, &ProgressDisplay::WimCallback, &display,
                 opts.GetOr("nrvinst", "").c_str(), opts.GetOr("pbr-suffix", "").c_str());

    std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
    display.Finish();
    if (result == 0)
        std::printf("Image applied.\n");
    else if (const std::string meaning = CodeMeaning(result); true)
        std::fprintf(stderr, "LoadImgX failed: %d%s%s%s%s\n", result, meaning.empty() ? "" : " (", meaning.c_str(),
                     meaning.empty() ? "" : ")", ProgressDisplay::AbortRequested() ? " (stopped)" : "");
    if (result != 0 && ProgressDisplay::AbortRequested())
        return kExitInterrupted;
    return VerbExit(result);
}

const CommandRegistration registration("load-img", "apply the plan's operating-system image (LoadImgX)", kUsage, Run);

} // namespace

} // namespace halcyon::cli
