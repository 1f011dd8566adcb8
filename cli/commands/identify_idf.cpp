// halcyon idf-identify: which IDF of a library fits a machine's BOM
// (IdentifyIdf). The engine prints its answer line itself, between its
// start and end lines; with --set it is "set Idf=<path>" for scripts.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "engine/plan/idf_library.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"

namespace halcyon::cli {

namespace {

const char *Meaning(uint32_t rc)
{
    switch (rc) {
    case 3: return "no released IDF in the status file";
    case 4: return "no IDF found";
    case 5: return "the root folder does not exist";
    case 7: return "the BOM file cannot be opened";
    case 27: return "the log file cannot be written";
    case 103: return "the BOM file holds too many part numbers";
    case RETURN_UNSAFE_PATH: return "a folder name would lead outside the root folder";
    default: return "";
    }
}

int Run(const Args &args)
{
    const Command &cmd = *FindCommand("idf-identify");
    Options o(args, {"test-rtm", "set"});
    auto root = o.Get("root");
    if (!root)
        return UsageError(cmd, "--root is required");
    uint64_t options = 0;
    if (int rc = ReadNumbers(cmd, o, {{"options", &options}}))
        return rc;
    if (o.Has("test-rtm"))
        options |= plan::kOptionTestRtm;
    if (o.Has("set"))
        options |= plan::kOptionSetIdfForm;
    const std::string bom = o.GetOr("bom", ""), first = o.GetOr("first", ""), second = o.GetOr("second", "");
    const std::string log = o.GetOr("log", "");

    uint32_t rc = IdentifyIdf(bom.c_str(), root->c_str(), first.c_str(), second.c_str(), log.c_str(), options);
    return rc == 0 ? 0 : VerbFailed(cmd, "IdentifyIdf", rc, Meaning(rc));
}

const CommandRegistration registration(
    "idf-identify", "find the IDF of a library that fits a BOM and name its released IDF (IdentifyIdf)",
    "halcyon idf-identify --root LIBRARY [--bom BOM] [--first NAME] [--second NAME] [--log LOG]\n"
    "                     [--test-rtm] [--set] [--options N]\n"
    "  LIBRARY holds FIRST\\SECOND\\*.xml with FIRST_SECOND_status.txt naming the released IDF\n"
    "  (\"RTM:name\", or \"TestRTM:name\" with --test-rtm). --set answers \"set Idf=<path>\".",
    Run);

} // namespace

} // namespace halcyon::cli
