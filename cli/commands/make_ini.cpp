// halcyon make-ini / make-ini-from-mcode: build an install plan with the
// engine's plan builders and report where it went and how its check ended.
#include <cstdio>
#include <string>
#include <optional>

#include "cli/command.h"
#include "engine/plan/verify_ini.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/file_version.h"
#include "platform/path_map.h"
#include "support/idf/idf_result.h"

namespace halcyon::cli {

namespace {

// Identity of the file at a path, to tell whether a run replaced it.
using FileStamp = std::optional<platform::FileVersion>;

FileStamp Stamp(const std::string &windowsPath) { return platform::FileVersionOf(platform::HostPath(windowsPath)); }

// The builders save the plan and then check it, so a plan saved by this run
// carries the check's verdict in the builder's result.
int Report(const char *verb, uint32_t rc, const std::string &plan, const FileStamp &before)
{
    FileStamp after = Stamp(plan);
    bool saved = after.has_value() && after != before;
    if (!saved) {
        std::string name = support::IdfResultName(static_cast<int32_t>(rc));
        std::string why = name == "IDF_UNKNOWN" ? "" : " (" + std::string(support::IdfResultText(static_cast<int32_t>(rc))) + ")";
        std::fprintf(stderr, "%s failed with code %u%s; no plan was written to %s\n", verb, rc, why.c_str(),
                     plan.c_str());
        return 1;
    }
    std::printf("Plan written to: %s\n", plan.c_str());
    if (rc == 0) {
        std::printf("Plan check: passed\n");
        return 0;
    }
    const char *text = VerifyIniResultText(static_cast<int32_t>(rc));
    std::fprintf(stderr, "Plan check: failed with code %u%s%s (%s)\n", rc, *text ? ": " : "", text, plan.c_str());
    return 1;
}

int RunMakeIni(const Args &args)
{
    const Command &cmd = *FindCommand("make-ini");
    Options o(args, {"allow-no-recovery-image"});
    auto idf = o.Get("idf"), bom = o.Get("bom"), plan = o.Get("plan");
    if (!idf || !bom || !plan)
        return UsageError(cmd, "--idf, --bom and --plan are required");
    const auto optionWord = o.Number("options"), buffer = o.Number("buffer", 1000);
    if (!optionWord || !buffer || *buffer > 0xFFFFFFFFull)
        return UsageError(cmd, "--options and --buffer take a number");
    uint64_t options = *optionWord;
    if (o.Has("allow-no-recovery-image"))
        options |= 0x4000000000ULL;
    std::string log = o.GetOr("log", "");

    FileStamp before = Stamp(*plan);
    uint32_t rc = MakeIniX(idf->c_str(), bom->c_str(), plan->c_str(), log.c_str(), static_cast<uint32_t>(*buffer),
                           options);
    return Report("MakeIniX", rc, *plan, before);
}

int RunMakeIniFromMcode(const Args &args)
{
    const Command &cmd = *FindCommand("make-ini-from-mcode");
    Options o(args, {"check-default-image"});
    auto idf = o.Get("idf"), plan = o.Get("plan");
    if (!idf || !plan)
        return UsageError(cmd, "--idf and --plan are required");
    uint64_t options = 0;
    if (int rc = ReadNumbers(cmd, o, {{"options", &options}}))
        return rc;
    if (o.Has("check-default-image"))
        options |= 0x2000000000ULL;
    std::string log = o.GetOr("log", "");
    std::string media = o.GetOr("nrvhdrcv", "");

    FileStamp before = Stamp(*plan);
    uint32_t rc = MakeIniFromMcode(plan->c_str(), idf->c_str(), log.c_str(), options, nullptr, media.c_str());
    return Report("MakeIniFromMcode", rc, *plan, before);
}

const CommandRegistration makeIni(
    "make-ini", "build an install plan from an IDF and a BOM file (MakeIniX)",
    "halcyon make-ini --idf IDF --bom BOM --plan PLAN [--log LOG] [--buffer MB (1000)] [--options N]\n"
    "                 [--allow-no-recovery-image]",
    RunMakeIni);

const CommandRegistration makeIniFromMcode(
    "make-ini-from-mcode", "build an install plan for the IDF's own M-code (MakeIniFromMcode)",
    "halcyon make-ini-from-mcode --idf IDF --plan PLAN [--log LOG] [--options N] [--nrvhdrcv INI]\n"
    "                            [--check-default-image]",
    RunMakeIniFromMcode);

} // namespace

} // namespace halcyon::cli
