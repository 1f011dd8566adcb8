#include "engine/plan/release_resolution.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/frame/console_echo.h"
#include "engine/frame/log.h"
#include "engine/plan/release_merge.h"
#include "platform/host_file.h"
#include "platform/path_map.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

constexpr size_t kBomPiece = 259; // a read buffer of 260 characters

bool IsTrimSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsTrimSpace(s[b]))
        ++b;
    while (e > b && IsTrimSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

// Prints a line on the console and logs it without echo.
void ConsoleAndLog(const std::string &text, std::string_view logPath)
{
    EchoLine(text);
    WriteLog(text, logPath, 0);
}

} // namespace

int32_t GetComponentPartNumbers(std::string_view bomPath, StringList1000 &partNumbers)
{
    std::unique_ptr<std::FILE, FileCloser> file(platform::OpenHostFileForRead(platform::HostPath(bomPath)));
    if (!file)
        return 7;

    // A UTF-8 byte-order mark is not part of the first part number.
    unsigned char mark[3] = {};
    if (std::fread(mark, 1, 3, file.get()) != 3 || mark[0] != 0xEF || mark[1] != 0xBB || mark[2] != 0xBF)
        std::rewind(file.get());

    size_t stored = 0;
    std::string piece;
    auto store = [&]() -> bool {
        if (stored >= StringList1000::kMaxEntries)
            return false;
        partNumbers[stored++] = Trimmed(piece);
        piece.clear();
        return true;
    };
    // A piece is what one read into a 260-character buffer returns: up to
    // and including the line end, at most 259 characters. CR LF counts as
    // one line end, as a text-mode read sees it.
    int c;
    while ((c = std::fgetc(file.get())) != EOF) {
        if (c == '\r') {
            int next = std::fgetc(file.get());
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, file.get());
        }
        piece += static_cast<char>(c);
        if ((c == '\n' || piece.size() >= kBomPiece) && !store())
            return 103;
    }
    if (!piece.empty() && !store())
        return 103;
    partNumbers[stored] = StringList1000::kEnd;
    return 0;
}

int32_t DetermineUpDown(std::string_view idfPath, const StringList1000 &releaseIds, std::string_view logPath,
                        uint64_t &options)
{
    if (WriteLog("Checking: For combined MCODE", logPath, 1) != 0)
        return 27;
    std::string value;
    uint8_t found = 0;
    int32_t rc = support::GetDataModules(idfPath, releaseIds, "Create Combined M-Code", value, found);
    if (rc != 0) {
        ConsoleAndLog("ERROR: returned " + std::to_string(rc) + " while parsing the IDF file", logPath);
        return rc;
    }
    if (found)
        options |= kOptionCombinedMcode;
    WriteLog("DetermineUpDown End", logPath, 0);
    return 0;
}

int32_t GetSkuFromSku(std::string_view idfPath, StringList1000 &partNumbers, std::string_view logPath)
{
    WriteLog("GetSkuFromSku Start", logPath, 0);
    StringList1000 mapped;
    int32_t rc = support::MapSkuToSku(idfPath, partNumbers, mapped);
    if (rc != 0) {
        WriteLog("ERROR: While calling MapSkuToSku function", logPath, 0);
        return rc;
    }
    const size_t count = partNumbers.Count();
    const size_t toAdd = mapped.Count();
    size_t appended = 0;
    for (; appended < toAdd; ++appended) {
        if (count + appended >= StringList1000::kMaxEntries) {
            // The list keeps its end mark, so a caller that reads it after
            // the failure still finds where it ends.
            partNumbers[StringList1000::kMaxEntries] = StringList1000::kEnd;
            WriteLog("ERROR: the max number of parts is reached.", logPath, 0);
            return 227;
        }
        partNumbers[count + appended] = mapped[appended];
    }
    if (count + appended < StringList1000::kSlots)
        partNumbers[count + appended] = StringList1000::kEnd;
    WriteLog("GetSkuFromSku End", logPath, 0);
    return 0;
}

int32_t CheckDependenciesAndExclusions(std::string_view idfPath, const StringList1000 &partIds,
                                       std::string_view logPath)
{
    WriteLog("CheckDependenciesAndExclusions Start", logPath, 0);
    WriteLog("Check: Dependencies & Exclusions", logPath, 1);

    int32_t missingCount = 0, exclusionCount = 0;
    if (support::VerifyDependenciesAndExclusions(idfPath, partIds, missingCount, exclusionCount) != 0) {
        WriteLog("Error: call VerifyDependenciesAndExclusions function error", logPath, 0);
        return 28;
    }
    if (missingCount == 0 && exclusionCount == 0)
        return 0;

    // One list per problem and an empty one after the last. Every problem
    // is reported, however many there are.
    std::vector<support::CXMLNodeList> missing, exclusions;
    try {
        if (missingCount > 0)
            missing.resize(static_cast<size_t>(missingCount) + 1);
        if (exclusionCount > 0)
            exclusions.resize(static_cast<size_t>(exclusionCount) + 1);
    } catch (const std::bad_alloc &) {
        return 40;
    }
    if (support::MakeDependenciesAndExclusionsErrorInfo(idfPath, partIds, missingCount > 0 ? &missing : nullptr,
                                                         exclusionCount > 0 ? &exclusions : nullptr) != 0) {
        WriteLog("Error: call MakeDependenciesAndExclusionsErrorInfo function error", logPath, 0);
        return 28;
    }

    // The lists up to the first empty one, on the console.
    auto echoLists = [](const std::vector<support::CXMLNodeList> &lists) {
        for (const auto &list : lists) {
            if (list.IsEmpty())
                break;
            if (std::FILE *echo = EchoStream())
                list.PrintListPC(echo);
        }
    };
    bool reported = false;
    if (!missing.empty() && !missing.front().IsEmpty()) {
        WriteLog("ERROR: Missing Dependencies...", logPath, 1);
        echoLists(missing);
        reported = true;
    }
    if (!exclusions.empty() && !exclusions.front().IsEmpty()) {
        EchoLine("ERROR: Existing Exclusions...");
        echoLists(exclusions);
        reported = true;
    }
    if (reported) {
        WriteLog("Error: there were existing/missing exclusions/dependencies", logPath, 0);
        return 40;
    }
    WriteLog("CheckDependenciesAndExclusions End", logPath, 0);
    return 0;
}

int32_t ResolveMcodeReleases(std::string_view idfPath, std::string_view logPath, uint64_t mcodeOptions,
                             uint64_t &options, StringList1000 &releaseIds, StringList1000 &childReleaseIds,
                             const char *&failedStep)
{
    auto failed = [&](const char *step, int32_t rc) {
        failedStep = step;
        return rc;
    };
    if (int32_t rc = support::GetReleaseIdsFromMcode(idfPath, releaseIds, false, mcodeOptions))
        return failed("GetReleaseIdsFromMcode", rc);
    if (int32_t rc = DetermineUpDown(idfPath, releaseIds, logPath, options))
        return failed("DetermineUpDown", rc);
    if (int32_t rc = support::GetChildReleaseIds(idfPath, "Foundation Image", releaseIds, childReleaseIds))
        return failed("GetChildReleaseIds", rc);
    if (int32_t rc = MergeChildReleases(releaseIds, childReleaseIds))
        return failed(kMergeChildReleasesStep, rc);
    StringList1000 partIds;
    if (int32_t rc = support::GetPartIds(idfPath, releaseIds, partIds))
        return failed("GetPartIds", rc);
    if (int32_t rc = CheckDependenciesAndExclusions(idfPath, partIds, logPath))
        return failed("CheckDependenciesAndExclusions", rc);
    return 0;
}

} // namespace halcyon::plan
