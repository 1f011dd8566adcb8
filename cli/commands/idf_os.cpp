// halcyon idf-os: the OS of the foundation image an IDF's own M-code selects
// (ReadIdfForOSArchCheck), printed alone on standard output.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/idf/idf_result.h"

namespace halcyon::cli {

namespace {

int Run(const Args &args)
{
    const Command &cmd = *FindCommand("idf-os");
    Options o(args);
    auto idf = o.Get("idf");
    if (!idf && o.Positional().size() == 1)
        idf = o.Positional()[0];
    if (!idf)
        return UsageError(cmd, "the IDF is required");
    const auto options = o.Number("options"), reserved = o.Number("reserved");
    if (!options || !reserved)
        return UsageError(cmd, "--options and --reserved take a number");
    const std::string log = o.GetOr("log", ""), media = o.GetOr("nrvhdrcv", "");

    std::vector<char> os(1024, '\0');
    uint32_t rc = ReadIdfForOSArchCheck(os.data(), static_cast<uint32_t>(os.size()), idf->c_str(), log.c_str(),
                                        *options, *reserved, media.c_str());
    if (rc != 0) {
        std::string name = support::IdfResultName(static_cast<int32_t>(rc));
        std::string why = rc == RETURN_MISSING_NRVHDRCVINI ? "nrvhdrcv.ini not found"
                          : rc == RETURN_TOO_MANY_RELEASES ? "too many releases"
                          : name == "IDF_UNKNOWN"          ? ""
                                                           : support::IdfResultText(static_cast<int32_t>(rc));
        return VerbFailed(cmd, "ReadIdfForOSArchCheck", rc, why);
    }
    std::printf("%s\n", os.data());
    if (os[0] == '\0')
        std::fprintf(stderr, "halcyon idf-os: no OS: the IDF predates OS filtering or its foundation image names none\n");
    return 0;
}

const CommandRegistration registration(
    "idf-os", "the OS of the foundation image an IDF's M-code selects (ReadIdfForOSArchCheck)",
    "halcyon idf-os IDF [--log LOG] [--options N] [--nrvhdrcv INI] [--reserved N]", Run);

} // namespace

} // namespace halcyon::cli
