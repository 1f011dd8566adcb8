// halcyon media check: does the recovery media description place every
// folder the plan needs on some recovery disc (CompareNrvIniToHalIni)?
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

namespace {

const char *const kUsage =
    "halcyon media check --media-ini FILE --plan FILE [--options N]\n"
    "  Checks that the recovery discs (MEDIA:RDVD of nrvhdrcv.ini) carry the folders of the plan's\n"
    "  permanent modules, its recovery image and its operating-system image.\n"
    "  --options  0x100000: only modules with BasePlus=True\n"
    "  Exit status: 0 all present, 1 failure, 2 usage error. A failure prints the check's code: 92 a\n"
    "  folder on no disc, 94 / 95 recovery image / image record incomplete, 91 more than 1000\n"
    "  folders, 70 / 71 plan / description missing, 2 unreadable, 98 a module record incomplete.";

const char *Meaning(int32_t code)
{
    switch (code) {
    case 0: return "every folder of the plan is on a recovery disc";
    case 2: return "the plan or the media description cannot be read";
    case 70: return "the plan does not exist";
    case 71: return "the media description does not exist";
    case 91: return "the plan names more than 1000 folders";
    case 92: return "a folder of the plan is on no recovery disc";
    case 94: return "the plan's RecoveryImage record is incomplete";
    case 95: return "the plan's Image record is incomplete";
    case 98: return "a module record of the plan is incomplete";
    default: return "the plan's module list did not end regularly";
    }
}

int Run(const Args &args)
{
    const Command *cmd = FindCommand("media");
    Options opts(args);
    const auto &pos = opts.Positional();
    if (pos.size() != 1 || pos[0] != "check")
        return UsageError(*cmd, "the action is 'check'");
    const auto mediaIni = opts.Get("media-ini"), plan = opts.Get("plan");
    const auto options = opts.Number("options");
    if (!mediaIni || !plan)
        return UsageError(*cmd, "--media-ini and --plan are required");
    if (!options)
        return UsageError(*cmd, "--options must be a number");
    const int32_t result = CompareNrvIniToHalIni(mediaIni->c_str(), plan->c_str(), *options);
    std::fprintf(result == 0 ? stdout : stderr, "%s: %s (%d)\n", result == 0 ? "OK" : "FAILED", Meaning(result),
                 result);
    return VerbExit(result);
}

const CommandRegistration registration("media", "check the recovery media description against the plan", kUsage,
                                       Run);

} // namespace

} // namespace halcyon::cli
