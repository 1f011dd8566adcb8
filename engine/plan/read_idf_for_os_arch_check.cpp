// ReadIdfForOSArchCheck: the OS of the foundation image the IDF's own M-code
// selects, for the front end to compare with the machine before any plan is
// built. Runs the release resolution of the M-code builder; writes no plan.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/frame/log.h"
#include "engine/frame/output_buffer.h"
#include "engine/frame/verb.h"
#include "engine/plan/idf_signature.h"
#include "engine/plan/node_values.h"
#include "engine/plan/plan_options.h"
#include "engine/plan/release_resolution.h"
#include "halcyon/HalcyonDLL.h"
#include "support/files/file_ops.h"
#include "support/idf/idf_query.h"

using namespace halcyon;

namespace {

// The OS of the last foundation image node of the releases, when the
// options ask for OS filtering; empty otherwise or when the nodes cannot be
// read.
std::string FoundationOs(const std::string &idf, const support::StringList1000 &releaseIds, uint64_t options)
{
    std::string os;
    if ((options & (plan::kOptionCombinedMcode | plan::kOptionNewIdfFormat)) == 0)
        return os;
    support::CXMLNodeList nodes;
    if (support::GetSoftwareNodeList(nodes, "Foundation Image", idf, releaseIds) != 0)
        return os;
    for (const support::CXMLNode &node : nodes.Nodes())
        plan::ReadAttribute(node, "OS", os);
    return os;
}

uint32_t ReadOs(std::string &os, const std::string &idf, const std::string &log, uint64_t options,
                const std::string &mediaIni)
{
    using support::StringList1000;

    WriteLog("ReadIdfForOSArchCheck Start", log, 0);

    auto fail = [&](const char *step, int32_t rc) {
        WriteLog(std::string("Error: error while calling ") + step + " function.", log, 0);
        return static_cast<uint32_t>(rc);
    };

    if (!mediaIni.empty() && !support::FileExist(mediaIni)) {
        WriteLog("Load nrvhdrcv.ini file failed. (RETURN_MISSING_NRVHDRCVINI)", log, 0);
        WriteLog("nrvhdrcv.ini file path: " + mediaIni, log, 0);
        return RETURN_MISSING_NRVHDRCVINI;
    }

    StringList1000 releaseIds, childReleaseIds;
    const char *step = nullptr;
    if (int32_t rc = plan::ResolveMcodeReleases(idf, log, 0, options, releaseIds, childReleaseIds, step)) {
        if (std::string_view(step) != plan::kMergeChildReleasesStep)
            return fail(step, rc);
        WriteLog("Error: there are too many releases.", log, 0);
        return static_cast<uint32_t>(rc);
    }
    std::string version;
    if (int32_t rc = plan::GetIdfVersion(idf, version))
        return fail("GetIdfVersion", rc);
    if (version >= plan::kOsFilterFormatVersion)
        options |= plan::kOptionNewIdfFormat;

    os = FoundationOs(idf, releaseIds, options);
    WriteLog("ReadIdfForOSArchCheck End", log, 0);
    return 0;
}

} // namespace

extern "C" HALCYON_API uint32_t ReadIdfForOSArchCheck(char *os, uint32_t os_size, const char *idf, const char *log,
                                                      uint64_t options, uint64_t reserved, const char *nrvhdrcv)
{
    (void)reserved;
    return frame::RunVerb<uint32_t>("ReadIdfForOSArchCheck", static_cast<uint32_t>(RETURN_INTERNAL_ERROR),
                                    [&]() -> uint32_t {
        std::string text;
        const uint32_t rc = ReadOs(text, frame::Arg(idf), frame::Arg(log), options, frame::Arg(nrvhdrcv));
        // The OS text is handed back on every path: empty unless the read
        // got that far. A buffer that cannot hold it makes a success fail.
        const int32_t copied = frame::CopyToCallerBuffer(text, os, os_size);
        return rc != 0 ? rc : static_cast<uint32_t>(copied);
    });
}
