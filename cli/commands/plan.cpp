// halcyon plan check PLAN: the engine's plan check on a saved install plan.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/run_frame.h"
#include "platform/console.h"
#include "engine/plan/verify_ini.h"
#include "support/ini/ini_store.h"

namespace halcyon::cli {

namespace {

int RunPlan(const Args &args)
{
    const Command &cmd = *FindCommand("plan");
    Options o(args, {"allow-no-recovery-image", "json"});
    const auto &pos = o.Positional();
    if (pos.size() != 2 || pos[0] != "check")
        return UsageError(cmd, "expected: check PLAN");
    uint64_t options = 0;
    if (int rc = ReadNumbers(cmd, o, {{"options", &options}}))
        return rc;
    if (o.Has("allow-no-recovery-image"))
        options |= kVerifyAllowNoRecoveryImage;

    support::CMemoryIniIO store((options & 0x80000) != 0);
    if (!store.LoadFile(pos[1])) {
        std::fprintf(stderr, "halcyon plan: cannot read %s\n", pos[1].c_str());
        return 1;
    }
    // With --json the check's own lines go to the null device.
    platform::QuietStandardOutput quiet;
    if (o.Has("json"))
        quiet.Divert();
    int32_t rc = VerifyIni(store, o.GetOr("log", ""), options);
    if (o.Has("json")) {
        std::fprintf(quiet.Original(), "{\"plan\":\"%s\",\"passed\":%s,\"code\":%d,\"text\":\"%s\"}\n", JsonText(pos[1]).c_str(),
                    rc == 0 ? "true" : "false", rc, JsonText(rc == 0 ? "" : VerifyIniResultText(rc)).c_str());
        return rc == 0 ? 0 : 1;
    }
    if (rc == 0) {
        std::printf("Plan check: passed\n");
        return 0;
    }
    const char *text = VerifyIniResultText(rc);
    std::fprintf(stderr, "Plan check: failed with code %d%s%s (%s)\n", rc, *text ? ": " : "", text, pos[1].c_str());
    return 1;
}

const CommandRegistration plan("plan", "check an install plan (VerifyIni)",
                               "halcyon plan check PLAN [--options N] [--allow-no-recovery-image] [--log LOG] [--json]",
                               RunPlan);

} // namespace

} // namespace halcyon::cli
