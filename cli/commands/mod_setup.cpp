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
#include "cli/failure_reason.h"
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
    std::string pendingLabel;
    int32_t pendingIndex = -1;

    static int32_t Callback(int32_t index, int32_t total, const char *label, uintptr_t user)
    {
        reinterpret_cast<ModuleProgress *>(user)->Show(index, total, label ? label : "");
        return 0;
    }

    void Show(int32_t index, int32_t total, const std::string &label)
    {
        if (index == -1) {
            std::printf("  skipped (Windows setup complete): %s\n", label.c_str());
        } else if (index == -2) {
            std::printf("  recovery run: failure %d reported for %s\n", total, label.c_str());
        } else if (index == -3) {
            std::printf("  recovery run: exit code not accepted: %s\n", label.c_str());
        } else if (total > 0) {
            if (pendingIndex >= 0 && index == pendingIndex + 1 && label == pendingLabel) {
                std::printf("module %d/%d: done %s\n", index, total, label.c_str());
                pendingIndex = -1;
            } else {
                std::printf("module %d/%d: installing %s\n", index + 1, total, label.c_str());
                pendingIndex = index;
                pendingLabel = label;
            }
        }
        std::fflush(stdout);
    }
};

int RunModSetup(const Args &args)
{
    const Command &cmd = *FindCommand("mod-setup");
    Options o(args, {"until-done"});
    if (!o.Positional().empty())
        return UsageError(cmd, "unexpected argument " + o.Positional().front());
    auto plan = o.Get("plan");
    if (!plan)
        return UsageError(cmd, "--plan is required");
    bool ok = true;
    uint64_t options = o.GetNumber("options", 0, &ok);
    if (!ok)
        return UsageError(cmd, "--options takes a number");
    unsigned long long startValue = o.GetNumber("start", 1, &ok);
    if (!ok || startValue > INT32_MAX)
        return UsageError(cmd, "--start takes a module number");
    const int32_t start = static_cast<int32_t>(startValue);

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
        rc = ModSetupX(plan->c_str(), perm.c_str(), temp.c_str(), trueFul.c_str(), dest.c_str(), mount.c_str(),
                       installerType.c_str(), partType.c_str(), recoverable.c_str(), temporary.c_str(), log.c_str(),
                       start, options, &ModuleProgress::Callback, reinterpret_cast<uintptr_t>(&progress),
                       nrvinst.c_str(), &exitCode);
        if (rc != RETURN_REBOOT_REQUIRED)
            break;
        std::printf("restart requested\n");
        std::fflush(stdout);
        if (!untilDone)
            return kExitRestartRequested;
    }
    if (rc == RETURN_SUCCESS) {
        std::printf("ModSetupX: all modules done\n");
        return 0;
    }
    std::fprintf(stderr, "ModSetupX returned %s\n", CodeText(rc).c_str());
    return 1;
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
