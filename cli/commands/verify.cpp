// halcyon verify: checks what was laid down. "crc" runs EpicCrcCheck over a
// plan's module folders, "registry" runs ValidateRegistry over its
// registration keys.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "cli/machine_location.h"
#include "cli/run_frame.h"
#include "platform/console.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/registry.h"

namespace halcyon::cli {

namespace {

constexpr int kExitPassed = kExitSuccess;
constexpr int kExitFound = kExitFailure;      // a folder failed its CRC check, a key is missing
constexpr int kExitNotVerified = kExitPartial; // the check could not be run to its end
constexpr int32_t kCrcCheckFailed = 112;

constexpr const char *kUsage =
    "halcyon verify crc --ini INI --source DIR [--log LOG] [--options N]\n"
    "       halcyon verify registry --plan PLAN [--prefix SOFTWARE] [--root HKLM] [--log LOG]\n"
    "  --json: one JSON object (verb, code, passed, result) instead of the lines.\n"
    "  crc: checks the folder DIR\\PathToRelease of every module of the lists \"%d\", \"PE%d\",\n"
    "       \"Image%d\" and \"RecoveryImage%d\" of INI against its CRC manifest (EpicCrcCheck).\n"
    "  registry: checks that every module of the plan's list \"%d\" has its registration key\n"
    "       ROOT\\PREFIX\\Norv Corporation\\Installed Software\\Modules\\<CustomerLabel> <PartId>\n"
    "       (ValidateRegistry). ROOT is HKLM, HKCU, HKCR, HKU or HKCC (or the long names).\n"
#if defined(_WIN32)
    "  Paths are drive-letter or UNC paths; --options is decimal or 0x-hex.\n"
#else
    "  Paths are Windows path text of the emulated machine or host paths; --options is decimal or 0x-hex.\n"
#endif
    "  Exit status: 0 passed, 1 a folder failed its check or a key is missing, 2 usage error, 3 the\n"
    "  check could not be run to its end (the verb's code is printed).";

// --json: one object on the original output (the verb's own lines, if any,
// went to the null device).
bool gJson = false;
std::FILE *gOut = stdout;

int Report(const char *verb, int32_t rc, int32_t foundCode, const char *passed, const char *found)
{
    if (gJson) {
        const int exit = rc == RETURN_SUCCESS ? kExitPassed : rc == foundCode ? kExitFound : kExitNotVerified;
        std::fprintf(gOut, "{\"verb\":\"%s\",\"code\":%d,\"passed\":%s,\"result\":\"%s\"}\n", verb, rc,
                     exit == kExitPassed ? "true" : "false",
                     exit == kExitPassed ? "passed" : exit == kExitFound ? "found" : "not verified");
        std::fflush(gOut);
        return exit;
    }
    if (rc == RETURN_SUCCESS) {
        std::printf("%s\n", passed);
        return kExitPassed;
    }
    if (rc == foundCode) {
        std::printf("%s (%s returned %d)\n", found, verb, rc);
        return kExitFound;
    }
    std::fprintf(stderr, "%s returned %d\n", verb, rc);
    return kExitNotVerified;
}

int RunCrc(const Command &self, const Options &opts)
{
    const auto ini = opts.Get("ini");
    const auto source = opts.Get("source");
    if (!ini || !source) {
        UsageError(self, "crc takes --ini and --source");
        return kExitUsage;
    }
    bool ok = true;
    const uint64_t options = opts.GetNumber("options", 0, &ok);
    if (!ok) {
        UsageError(self, "--options takes a number");
        return kExitUsage;
    }
    const std::string log = opts.GetOr("log", "");
    const int32_t rc = EpicCrcCheck(ini->c_str(), source->c_str(), "", log.c_str(), options);
    return Report("EpicCrcCheck", rc, kCrcCheckFailed, "all module folders intact", "a module folder failed its check");
}

int RunRegistry(const Command &self, const Options &opts)
{
    const auto plan = opts.Get("plan");
    if (!plan) {
        UsageError(self, "registry takes --plan");
        return kExitUsage;
    }
    const std::string rootName = opts.GetOr("root", "HKLM");
    const platform::reg::HKEY root = platform::reg::RootFromName(rootName);
    if (root == 0) {
        UsageError(self, "unknown root '" + rootName + "'");
        return kExitUsage;
    }
    if (const std::string missing = MissingMachine(); !missing.empty()) {
        std::fprintf(stderr, "halcyon verify: %s\n", missing.c_str());
        return kExitFailure;
    }
    const std::string prefix = opts.GetOr("prefix", "SOFTWARE");
    const std::string log = opts.GetOr("log", "");
    const int32_t rc = ValidateRegistry(prefix.c_str(), plan->c_str(), log.c_str(), root);
    return Report("ValidateRegistry", rc, RETURN_FAILED_MATCH, "all registration keys present",
                  "registration keys missing");
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("verify");
    Options opts(args, {"json"});
    const auto &pos = opts.Positional();
    platform::QuietStandardOutput quiet;
    if (opts.Has("json") && quiet.Divert()) {
        gJson = true;
        gOut = quiet.Original();
    }
    if (pos.size() != 1) {
        UsageError(self, "give one check: crc or registry");
        return kExitUsage;
    }
    if (pos[0] == "crc")
        return RunCrc(self, opts);
    if (pos[0] == "registry")
        return RunRegistry(self, opts);
    UsageError(self, "unknown check '" + pos[0] + "'");
    return kExitUsage;
}

const CommandRegistration kRegistration("verify",
                                        "check module folders (EpicCrcCheck) or registration keys (ValidateRegistry)",
                                        kUsage, Run);

} // namespace

} // namespace halcyon::cli
