// halcyon copy-disc: copies recovery media to a disk folder with
// CopyDiscToDisk. When the next medium is needed, the operator is asked on
// the terminal, or --media-dir names the media folders in order and the
// command puts each in place of the source itself.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/exit_status.h"
#include "cli/failure_reason.h"
#include "cli/media_changer.h"
#include "cli/progress.h"
#include "halcyon/HalcyonDLL.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

namespace {

const char *const kUsage =
    "halcyon copy-disc --source DIR --dest DIR --plan FILE --media-ini FILE [--media-type TYPE]\n"
    "                  [--installer-type TYPE] [--temporary VALUE] [--options N] [--log FILE] [--plain]\n"
    "                  [--media-dir DIR1 DIR2 ...]\n"
    "  Copies the selected entries of the recovery media (nrvhdrcv.ini) to DEST.\n"
    "  --media-type  RDVD (default, discs) or RUFD (flash medium)\n"
    "  --options     the verb's option word, decimal or 0x-hex: 0x1000 recovery image, 0x2000 modules,\n"
    "                0x4000 PE modules, 0x8000 other entries, 0x10000 all of these, 0x20000 only the\n"
    "                recovery image's *.app files, 0x100 / 0x200 / 0x100000 module filters\n"
    "  When a medium is missing, asks on the terminal for it (q gives up). --media-dir answers\n"
    "  instead: medium n is DIRn (no --source then).\n"
    "  Exit status: 0 copied, 1 failure (the verb's code is printed), 2 usage error.";

struct CopyContext {
    ProgressDisplay *display = nullptr;
    MediaChanger *changer = nullptr;
    std::string source;
    std::string mediaType;
};

uint32_t OnMessage(uint32_t message, uintptr_t wparam, intptr_t lparam, void *user)
{
    auto *ctx = static_cast<CopyContext *>(user);
    if (message == WIM_MSG_PROGRESS) {
        ctx->display->Update(static_cast<unsigned>(wparam), std::nullopt);
        return 0;
    }
    if (message != 0)
        return 0;
    const size_t n = static_cast<size_t>(lparam);
    ctx->display->Finish();
    const std::string key = ctx->mediaType + std::to_string(n);
    if (ctx->changer) {
        if (ctx->changer->Insert(n)) {
            std::printf("Medium %zu (%s) inserted.\n", n, key.c_str());
            return 0;
        }
        std::printf("Medium %zu (%s) is not among the media folders given, or lacks sources\\%s.\n", n,
                    key.c_str(), key.c_str());
        return 1;
    }
    std::printf("Insert medium %zu (%s) into %s and press Enter (q gives up): ", n, key.c_str(),
                ctx->source.c_str());
    std::fflush(stdout);
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) {
        std::printf("\n");
        return 1;
    }
    return (line[0] == 'q' || line[0] == 'Q') ? 1 : 0;
}

int Run(const Args &all)
{
    const Command *cmd = FindCommand("copy-disc");
    // --media-dir takes every following argument up to the next option.
    Args args;
    std::vector<std::string> mediaDirs;
    bool mediaDirGiven = false;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] != "--media-dir") {
            args.push_back(all[i]);
            continue;
        }
        mediaDirGiven = true;
        while (i + 1 < all.size() && all[i + 1].rfind("--", 0) != 0)
            mediaDirs.push_back(all[++i]);
    }
    Options opts(args, {"plain"});
    if (!opts.Positional().empty())
        return UsageError(*cmd, "unexpected argument '" + opts.Positional().front() + "'");
    if (mediaDirGiven && mediaDirs.empty())
        return UsageError(*cmd, "--media-dir needs at least one folder");
    if (mediaDirGiven && opts.Get("source"))
        return UsageError(*cmd, "--source and --media-dir exclude each other");
    const auto dest = opts.Get("dest"), plan = opts.Get("plan"), mediaIni = opts.Get("media-ini");
    if ((!mediaDirGiven && !opts.Get("source")) || !dest || !plan || !mediaIni)
        return UsageError(*cmd, "--source (or --media-dir), --dest, --plan and --media-ini are required");
    const auto options = opts.Number("options");
    if (!options)
        return UsageError(*cmd, "--options must be a number");

    CommandLocks locks;
    if (!LockForVerb(locks, "copy-disc"))
        return 1;
    MediaChanger changer(mediaDirs);
    CopyContext ctx;
    ctx.mediaType = opts.GetOr("media-type", "RDVD");
    if (mediaDirGiven) {
        if (!changer.Ready() || !changer.Insert(1)) {
            std::fprintf(stderr, "halcyon copy-disc: cannot put %s in place of the drive\n", mediaDirs[0].c_str());
            return 1;
        }
        ctx.changer = &changer;
        ctx.source = changer.Drive();
    } else {
        ctx.source = *opts.Get("source");
    }
    ProgressDisplay display(stdout, !opts.Has("plain") && ProgressDisplay::IsTerminal(stdout));
    ctx.display = &display;

    const int32_t result =
        CopyDiscToDisk(ctx.source.c_str(), dest->c_str(), plan->c_str(), mediaIni->c_str(), ctx.mediaType.c_str(),
                       opts.GetOr("installer-type", "").c_str(), *options, &OnMessage, &ctx,
                       opts.GetOr("temporary", "").c_str(), opts.GetOr("log", "").c_str());
    display.Finish();
    if (result == 0) {
        std::printf("Media copied.\n");
        return 0;
    }
    const std::string meaning = CodeMeaning(result);
    std::fprintf(stderr, "CopyDiscToDisk failed: %d%s%s%s, copying %s to %s\n", result, meaning.empty() ? "" : " (",
                 meaning.c_str(), meaning.empty() ? "" : ")", ctx.source.c_str(), dest->c_str());
    return kExitFailure;
}

const CommandRegistration registration("copy-disc", "copy recovery media to a disk folder (CopyDiscToDisk)", kUsage,
                                       Run);

} // namespace

} // namespace halcyon::cli
