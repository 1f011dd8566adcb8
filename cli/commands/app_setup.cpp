// halcyon app-setup: installs the applications and drivers of the
// application image with AppSetupX and shows a line per application; with
// --single it installs one application with SingleAppSetupX_s and shows its
// version check.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/failure_reason.h"
#include "cli/item_progress.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"

namespace halcyon::cli {

namespace {

// Turns the verb's progress calls into lines: an application is announced
// with (n-1, count) and done with (n, count); (-1, 0) comes before the
// image is applied.
struct AppProgress {
    ItemProgress items;

    void Show(int32_t index, int32_t total, const std::string &label)
    {
        if (index == -1 && total == 0) {
            std::printf("applying the application image\n");
        } else if (total > 0) {
            int32_t number = 0;
            const char *step = items.Step(index, label, number);
            std::printf("application %d (of %d selected): %s %s\n", number, total, step, label.c_str());
        }
        std::fflush(stdout);
    }
};

int RunSingle(const Options &o, const std::string &section)
{
    const std::string ini = o.GetOr("ini", "");
    const std::string source = o.GetOr("source", "");
    const std::string dest = o.GetOr("dest", "");
    const std::string log = o.GetOr("log", "");
    uint64_t options = 0;
    if (int rc = ReadNumbers(*FindCommand("app-setup"), o, {{"options", &options}}))
        return rc;
    CommandLocks locks;
    if (!LockForVerb(locks, "app-setup", dest))
        return 1;
    uint8_t verified = 0;
    uint32_t result = 0;
    char message[1044] = {};
    int32_t rc = SingleAppSetupX_s(section.c_str(), ini.c_str(), source.c_str(), dest.c_str(),
                                   o.GetOr("installer-type", "").c_str(), o.GetOr("part-type", "").c_str(),
                                   o.GetOr("recoverable", "").c_str(), o.GetOr("temporary", "").c_str(), log.c_str(),
                                   options, &verified, &result, message, sizeof message, o.Has("no-arguments"));
    if (rc != RETURN_SUCCESS) {
        std::fprintf(stderr, "SingleAppSetupX_s returned %s\n", CodeText(rc).c_str());
        return 1;
    }
    if (verified)
        std::printf("%s: installed, version check passed (%s)\n", section.c_str(), message);
    else
        std::printf("%s: installed, version check failed with %u (%s); not registered\n", section.c_str(), result,
                    message);
    return verified ? 0 : 3;
}

int RunAppSetup(const Args &args)
{
    const Command &cmd = *FindCommand("app-setup");
    Options o(args, {"no-arguments"});
    if (int rc = RefusePositional(cmd, o))
        return rc;
    if (auto section = o.Get("single")) {
        if (!o.Get("ini"))
            return UsageError(cmd, "--single needs --ini");
        return RunSingle(o, *section);
    }
    PlanItems items;
    if (int rc = ReadPlanItems(cmd, o, "an application", items))
        return rc;

    const std::string appIni = o.GetOr("app-ini", items.plan);
    CommandLocks locks;
    if (!LockForVerb(locks, "app-setup", o.GetOr("dest", "")))
        return 1;
    AppProgress progress;
    int32_t rc = AppSetupX(items.plan.c_str(), appIni.c_str(), o.GetOr("source", "").c_str(), o.GetOr("dest", "").c_str(),
                           o.GetOr("apply", "").c_str(), o.GetOr("installer-type", "").c_str(),
                           o.GetOr("part-type", "").c_str(), o.GetOr("recoverable", "").c_str(),
                           o.GetOr("temporary", "").c_str(), o.GetOr("log", "").c_str(),
                           items.start, items.options, &ProgressCallback<AppProgress>,
                           reinterpret_cast<uintptr_t>(&progress));
    return VerbResult("AppSetupX", rc, "AppSetupX: all applications done");
}

const CommandRegistration appSetup(
    "app-setup", "install the application image's applications and drivers (AppSetupX, SingleAppSetupX_s)",
    "halcyon app-setup --plan PLAN [--app-ini INI] --source DIR --dest DIR --apply DIR\n"
    "       [--installer-type T] [--part-type T] [--recoverable R] [--temporary T] [--log LOG]\n"
    "       [--start N] [--options N]\n"
    "halcyon app-setup --single SECTION --ini INI --source DIR --dest DIR [--no-arguments]\n"
    "       [--installer-type T] [--part-type T] [--recoverable R] [--temporary T] [--log LOG] [--options N]\n"
    "  --app-ini defaults to the plan (whose \"Image App%d\" sections list the applications);\n"
    "  --options is decimal or 0x-hex (0x80 part type, 0x100 installer type, 0x200 temporary,\n"
    "  0x400 recoverable filters). --single installs one section from a prepared source folder;\n"
    "  --no-arguments starts its installer without CmdLineArgs.\n"
    "  Exit status: 0 done, 1 failure, 2 usage error, 3 (--single) installed"
    " but its version check failed.",
    RunAppSetup);

} // namespace

} // namespace halcyon::cli
