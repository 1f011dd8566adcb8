// halcyon mod-setup: installs a plan's modules with ModSetupX and shows a
// line per module. With --until-done the verb is called again after every
// restart request (standing in for the restart) until it returns anything
// else.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/exit_status.h"
#include "cli/item_progress.h"
#include "cli/machine_lock.h"
#include "platform/machine_prefix.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"

namespace halcyon::cli {

namespace {

// Exit status when a restart was requested and --until-done was not given:
// the modules so far are in, the rest come after the restart.
constexpr int kExitRestartRequested = kExitPartial;
// Calls of the verb in one --until-done run at most (every call makes
// progress, so only a broken state could reach it).
constexpr int kMaxCalls = 100000;

// Turns the verb's progress calls into lines: a selected module is announced
// with (n-1, total) and done with (n, total); negative indexes are reports.
struct ModuleProgress {
    ItemProgress items;

    void Show(int32_t index, int32_t total, const std::string &label)
    {
        if (index == -1) {
            std::printf("  skipped (Windows setup complete): %s\n", label.c_str());
        } else if (index == -2) {
            std::printf("  recovery run: failure %d reported for %s\n", total, label.c_str());
        } else if (index == -3) {
            std::printf("  recovery run: exit code not accepted: %s\n", label.c_str());
        } else if (total > 0) {
            int32_t number = 0;
            const char *step = items.Step(index, label, number);
            std::printf("module %d/%d: %s %s\n", number, total, step, label.c_str());
        }
        std::fflush(stdout);
    }
};

int RunModSetup(const Args &args)
{
    const Command &cmd = *FindCommand("mod-setup");
    Options o(args, {"until-done"});
    if (int rc = RefusePositional(cmd, o))
        return rc;
    PlanItems items;
    if (int rc = ReadPlanItems(cmd, o, "a module", items))
        return rc;

    const std::string perm = o.GetOr("perm", "");
    const std::string temp = o.GetOr("temp", perm);
    const std::string trueFul = o.GetOr("truefulfillment", temp);
    const std::string dest = o.GetOr("dest", "");
    const std::string mount = o.GetOr("mount", "");
    const std::string installerType = o.GetOr("installer-type", "");
    const std::string partType = o.GetOr("part-type", "");
    const std::string recoverable = o.GetOr("recoverable", "");
    const std::string temporary = o.GetOr("temporary", "");
    const std::string log = o.GetOr("log", "");
    const std::string nrvinst = o.GetOr("nrvinst", "");
    const bool untilDone = o.Has("until-done");

    // One run per machine and target: a second one would start the same
    // installers again.
    CommandLocks locks;
    if (!LockForVerb(locks, "mod-setup", dest))
        return 1;

    ModuleProgress progress;
    int32_t rc = 0;
    for (int call = 0; call < kMaxCalls; ++call) {
        uint32_t exitCode = 0;
        rc = ModSetupX(items.plan.c_str(), perm.c_str(), temp.c_str(), trueFul.c_str(), dest.c_str(), mount.c_str(),
                       installerType.c_str(), partType.c_str(), recoverable.c_str(), temporary.c_str(), log.c_str(),
                       items.start, items.options, &ProgressCallback<ModuleProgress>, reinterpret_cast<uintptr_t>(&progress),
                       nrvinst.c_str(), &exitCode);
        if (rc != RETURN_REBOOT_REQUIRED)
            break;
        std::printf("restart requested\n");
        std::fflush(stdout);
        if (!untilDone)
            return kExitRestartRequested;
    }
    return VerbResult("ModSetupX", rc, "ModSetupX: all modules done");
}

const CommandRegistration modSetup(
    "mod-setup", "install a plan's modules (ModSetupX), resuming after restarts",
    "halcyon mod-setup --plan PLAN --perm DIR [--temp DIR] [--truefulfillment DIR] [--dest DIR] [--mount DIR]\n"
    "       [--installer-type T] [--part-type T] [--recoverable R] [--temporary T] [--log LOG]\n"
    "       [--start N] [--options N] [--nrvinst FILE] [--until-done]\n"
    "  --temp defaults to --perm, --truefulfillment to --temp; --options is decimal or 0x-hex.\n"
    "  --until-done calls the verb again after each restart request (code 1001) until it returns anything else.\n"
    "  Exit status: 0 done, 1 failure, 2 usage error, 3 restart requested (without --until-done).",
    RunModSetup);

} // namespace

} // namespace halcyon::cli
