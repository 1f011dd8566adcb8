// IdentifyIdf: finds the IDF of the library that fits the machine's BOM and
// answers with the IDF released for that folder, on the console and in the
// log, optionally as a command-shell assignment for a calling script.
#include <string>

#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/plan/idf_library.h"
#include "engine/plan/release_resolution.h"
#include "halcyon/HalcyonDLL.h"
#include "support/files/file_ops.h"

using namespace halcyon;

namespace {

constexpr uint32_t kIdfNotFound = 4;
constexpr uint32_t kRootMissing = 5;

uint32_t Identify(const std::string &bom, std::string root, const std::string &first, const std::string &second,
                  const std::string &log, uint64_t options)
{
    WriteLog("IdentifyIdf Start", log, 1);

    EnsureTrailingBackslash(root);
    if (!support::DirExist(root)) {
        WriteLog("Error: Can not find the root directory.", log, 1);
        WriteLog("sSourceDir: " + root, log, 1);
        return kRootMissing;
    }
    for (const std::string *name : {&first, &second}) {
        if (!name->empty() && !plan::IsPlainName(*name)) {
            WriteLog("Error: The folder name '" + *name +
                         "' would lead outside the root directory. (RETURN_UNSAFE_PATH)",
                     log, 1);
            return RETURN_UNSAFE_PATH;
        }
    }

    support::StringList1000 partNumbers;
    partNumbers.ClearAll();
    if (!bom.empty()) {
        if (int32_t rc = plan::GetComponentPartNumbers(bom, partNumbers)) {
            WriteLog("Error: return " + std::to_string(rc) + " while calling GetComponentPartNumbers function.", log,
                     1);
            return static_cast<uint32_t>(rc);
        }
    }

    std::string answer;
    if (!plan::FindMatchingIdf(root, first, second, partNumbers, answer, options)) {
        WriteLog("Error: IDF not found.", log, 1);
        return kIdfNotFound;
    }
    const std::string line = (options & plan::kOptionSetIdfForm) ? "set Idf=" + answer : answer;
    if (WriteLog(line, log, 1) != 0)
        return 27;

    WriteLog("IdentifyIdf End", log, 1);
    return 0;
}

} // namespace

extern "C" HALCYON_API uint32_t IdentifyIdf(const char *bom, const char *root, const char *first_level,
                                            const char *second_level, const char *log, uint64_t options)
{
    return frame::RunVerb<uint32_t>("IdentifyIdf", static_cast<uint32_t>(RETURN_INTERNAL_ERROR), [&]() -> uint32_t {
        return Identify(frame::Arg(bom), frame::Arg(root), frame::Arg(first_level), frame::Arg(second_level),
                        frame::Arg(log), options);
    });
}
