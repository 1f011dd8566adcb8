// halcyon foundation-image: rebuilds "Norv.wim" from recovery media with
// GetFoundationImage, showing the progress and asking for discs.
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/exit_status.h"
#include "cli/failure_reason.h"
#include "cli/progress.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

namespace {

const char *const kUsage =
    "halcyon foundation-image --source DIR --dest DIR --plan FILE --media-ini FILE [--media-type TYPE]\n"
    "                         [--export-arg TEXT] [--log FILE] [--options N] [--plain] [--wait SECONDS]\n"
    "  Turns the foundation image on the medium (INSTALL.WIM, Install.swm, Norv.wim or the parts\n"
    "  Norv1.nr2, Norv2.nr2, ...) into DEST/Norv.wim.\n"
    "  --source      the medium's folder holding the foundation image\n"
    "  --media-ini   the recovery media description (nrvhdrcv.ini)\n"
    "  --media-type  names the media list and the disc marker files (default RDVD)\n"
    "  --export-arg  compression of an exported image: none, xpress, lzx, lzms; \"check\" adds\n"
    "                an integrity table (default: as the source)\n"
    "  --options     the verb's option word, decimal or 0x-hex\n"
    "  --plain       progress as plain lines even on a terminal\n"
    "  --wait        once no input is left, how long to look for an asked-for disc before\n"
    "                failing (default: until it comes or Ctrl-C)\n"
    "  When a disc is asked for, press Enter once it is in; without input the command\n"
    "  looks for the disc's marker file every second.";

struct Session {
    ProgressDisplay *display = nullptr;
    std::string source;
    std::string mediaType;
    bool inputEnded = false;
    std::optional<unsigned long long> waitSeconds; // none: without end
    int64_t waitingFor = 0;
    std::chrono::steady_clock::time_point waitingSince;
};

// The engine looks for the disc without end; past --wait the command stops.
void GiveUpWhenWaitedEnough(Session &s, int64_t disc)
{
    const auto now = std::chrono::steady_clock::now();
    if (s.waitingFor != disc) {
        s.waitingFor = disc;
        s.waitingSince = now;
    }
    if (!s.waitSeconds || now - s.waitingSince < std::chrono::seconds(*s.waitSeconds))
        return;
    std::fprintf(stderr, "halcyon foundation-image: disc %lld (marker file %s%s%lld) did not come within %llu s\n",
                 static_cast<long long>(disc), s.source.c_str(), s.mediaType.c_str(), static_cast<long long>(disc),
                 *s.waitSeconds);
    std::fflush(nullptr);
    std::_Exit(kExitFailure);
}

void OnMessage(uint32_t message, int64_t param, void *opaque)
{
    auto *s = static_cast<Session *>(opaque);
    switch (message) {
    case WIM_MSG_SETRANGE:
        s->display->SetTotalBytes(static_cast<uint64_t>(param));
        break;
    case WIM_MSG_PROGRESS:
        s->display->Update(static_cast<unsigned>(param), std::nullopt);
        break;
    case WIM_MSG_ERROR:
        s->display->Finish();
        break;
    case 1004: {
        s->display->Finish();
        if (s->inputEnded) {
            GiveUpWhenWaitedEnough(*s, param);
            std::this_thread::sleep_for(std::chrono::seconds(1));
            break;
        }
        std::printf("Insert disc %lld (marker file %s%s%lld), then press Enter.\n", static_cast<long long>(param),
                    s->source.c_str(), s->mediaType.c_str(), static_cast<long long>(param));
        std::fflush(stdout);
        int c;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
        if (c == EOF) {
            s->inputEnded = true;
            std::printf("No more input: waiting for the marker file (Ctrl-C stops).\n");
            std::fflush(stdout);
            GiveUpWhenWaitedEnough(*s, param);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        break;
    }
    default:
        break;
    }
}

int Run(const Args &args)
{
    Options opts(args, {"plain"});
    const Command *cmd = FindCommand("foundation-image");
    const auto source = opts.Get("source"), dest = opts.Get("dest");
    const auto plan = opts.Get("plan"), mediaIni = opts.Get("media-ini");
    if (!source || !dest || !plan || !mediaIni)
        return UsageError(*cmd, "--source, --dest, --plan and --media-ini are required");
    const auto options = opts.Number("options", 0x80000);
    if (!options)
        return UsageError(*cmd, "--options must be a number");

    CommandLocks locks;
    if (!LockForVerb(locks, "foundation-image"))
        return 1;
    ProgressDisplay display(stdout, !opts.Has("plain") && ProgressDisplay::IsTerminal(stdout));
    Session session;
    session.display = &display;
    session.source = *source;
    if (!session.source.empty() && session.source.back() != '/' && session.source.back() != '\\')
        session.source += '/';
    session.mediaType = opts.GetOr("media-type", "RDVD");
    if (opts.Get("wait")) {
        session.waitSeconds = opts.Number("wait");
        if (!session.waitSeconds)
            return UsageError(*cmd, "--wait takes a number of seconds");
    }

    const int32_t result = GetFoundationImage(source->c_str(), dest->c_str(), plan->c_str(), mediaIni->c_str(),
                                              session.mediaType.c_str(), *options,
                                              opts.GetOr("export-arg", "").c_str(), &OnMessage, &session,
                                              opts.GetOr("log", "").c_str());
    display.Finish();
    if (result == 0)
        std::printf("Foundation image ready: %s%sNorv.wim\n", dest->c_str(),
                    (!dest->empty() && (dest->back() == '/' || dest->back() == '\\')) ? "" : "/");
    else if (const std::string meaning = CodeMeaning(result); true)
        std::fprintf(stderr, "GetFoundationImage failed: %d%s%s%s, making %s\n", result, meaning.empty() ? "" : " (",
                     meaning.c_str(), meaning.empty() ? "" : ")", dest->c_str());
    return VerbExit(result);
}

const CommandRegistration registration("foundation-image",
                                       "rebuild the foundation image Norv.wim from recovery media (GetFoundationImage)",
                                       kUsage, Run);

} // namespace

} // namespace halcyon::cli
