// halcyon version: the VerGauge probes from the command line. Prints the
// probe's output text and exits with its result code.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "halcyon/VerGauge.h"
#include "verprobe/result_codes.h"
#if defined(_WIN32)
#include "verprobe/utf8_entries.h"
#endif

namespace halcyon::cli {

#if defined(_WIN32)
// The exports take UTF-16 there; the command calls the UTF-8 probes behind them.
namespace probe = verprobe::utf8;
#else
namespace probe {
using ::GetCopyright_s;
using ::GetExeVersion_s;
using ::GetLastModifiedDate_s;
using ::GetRegVersion_s;
using ::GetTextVersion_s;
using ::VerifyVersion_s;
} // namespace probe
#endif

namespace {

constexpr const char *kUsage =
    "halcyon version exe FILE | reg REGISTRY_PATH | text FILE | copyright FILE | date FILE\n"
    "       halcyon version verify TARGET EXPECTED\n"
    "       options: --size N (output buffer size in bytes, default 261)\n"
#if defined(_WIN32)
    "  Paths are drive-letter or UNC paths of this machine;\n"
#else
    "  Paths are Windows paths of the emulated machine (C:\\... is $HALCYON_MACHINE/drives/c/...);\n"
#endif
    "  REGISTRY_PATH is ROOT\\KEY\\VALUE (HKLM, HKCU, HKU, HKCC, HKDD or their long names).\n"
    "  Exit status: 0 success, 1 the probe failed (its result code is printed), 2 usage error.";

int Usage(const Command &self, const std::string &message)
{
    return UsageError(self, message);
}

using ProbeFn = uint32_t (*)(const char *, char *, uint32_t);

ProbeFn FindProbe(const std::string &name)
{
    if (name == "exe")
        return probe::GetExeVersion_s;
    if (name == "reg")
        return probe::GetRegVersion_s;
    if (name == "text")
        return probe::GetTextVersion_s;
    if (name == "copyright")
        return probe::GetCopyright_s;
    if (name == "date")
        return probe::GetLastModifiedDate_s;
    return nullptr;
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("version");
    Options opts(args);
    const auto &pos = opts.Positional();
    if (pos.empty())
        return Usage(self, "which probe?");
    bool ok = true;
    unsigned long long size = opts.GetNumber("size", 261, &ok);
    if (!ok || size > (1u << 20))
        return Usage(self, "--size must be a number up to 1048576");

    std::string out(size + 1, '\0');
    uint32_t code;
    if (pos[0] == "verify") {
        if (pos.size() != 3)
            return Usage(self, "verify takes TARGET and EXPECTED");
        code = probe::VerifyVersion_s(pos[1].c_str(), pos[2].c_str(), out.data(), static_cast<uint32_t>(size));
    } else if (ProbeFn fn = FindProbe(pos[0])) {
        if (pos.size() != 2)
            return Usage(self, pos[0] + " takes one path");
        code = fn(pos[1].c_str(), out.data(), static_cast<uint32_t>(size));
    } else {
        return Usage(self, "unknown probe '" + pos[0] + "'");
    }

    std::string text(out.c_str());
    if (!text.empty())
        std::printf("%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
    if (code != 0)
        std::fprintf(stderr, "halcyon version: result %u: %s\n", code, verprobe::ResultMeaning(code));
    return VerbExit(code);
}

const CommandRegistration kRegistration("version", "read or check versions of files and registry items (VerGauge)",
                                        kUsage, Run);

} // namespace

} // namespace halcyon::cli
