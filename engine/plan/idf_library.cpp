#include "engine/plan/idf_library.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/plan/node_values.h"
#include "platform/folder_list.h"
#include "platform/host_file.h"
#include "platform/path_map.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

// fgets with a 260-character buffer: at most 259 characters per piece.
constexpr size_t kPieceChars = 259;

std::string_view Trim(std::string_view s)
{
    const char *ws = " \t\r\n\v\f";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

bool LessNoCase(const std::string &a, const std::string &b)
{
    const std::string ua = platform::ToUpperAscii(a), ub = platform::ToUpperAscii(b);
    return ua != ub ? ua < ub : a < b;
}

// Names of the entries of `windowsDir` that are folders (wantDirs) or
// regular files, sorted ignoring case. Names that could not be joined back
// as one path part are left out.
std::vector<std::string> ListEntries(const std::string &windowsDir, bool wantDirs)
{
    std::vector<std::string> names;
    const std::string host = platform::HostPath(windowsDir);
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(host, entries) != 0)
        return names;
    for (platform::FolderEntry &e : entries) {
        if (!IsPlainName(e.name))
            continue;
        const auto status = platform::StatHostPath(host + "/" + e.name);
        if (status && (wantDirs ? status->directory : status->regular))
            names.push_back(std::move(e.name));
    }
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
}

bool IsFolder(const std::string &windowsDir)
{
    const auto status = platform::StatHostPath(platform::HostPath(windowsDir));
    return status && status->directory;
}

enum class Search { Found, NotFound, Failed };

// Examines the IDFs of one second-level folder.
Search SearchFolder(const std::string &folder, const support::StringList1000 &partNumbers)
{
    for (const std::string &file : ListEntries(folder, false)) {
        if (!platform::WildcardMatch("*.xml", file))
            continue;
        uint8_t match = 0;
        int32_t rc = support::MatchSoftwareComponentList(folder + file, partNumbers, match);
        if (rc != 0) {
            PrintConsole("ERROR: while parsing IDF, returned " + std::to_string(rc));
            return Search::Failed;
        }
        if (match)
            return Search::Found;
    }
    return Search::NotFound;
}

} // namespace

std::string StatusFileName(std::string_view firstLevel, std::string_view secondLevel)
{
    return std::string(firstLevel) + "_" + std::string(secondLevel) + "_status.txt";
}

bool IsPlainName(std::string_view name)
{
    return platform::IsSafeRelativePart(name) && name.find_first_of("\\/") == std::string_view::npos &&
           name != ".";
}

int32_t ReadReleasedIdfName(std::string_view statusPath, std::string &name, uint64_t options)
{
    constexpr int32_t kNoName = 3;
    const std::string_view prefix = (options & kOptionTestRtm) ? "TestRTM:" : "RTM:";
    // Only a regular file: a FIFO of that name would never end the read.
    const std::string host = platform::HostPath(statusPath);
    const auto status = platform::StatHostPath(host);
    if (!status || !status->regular)
        return kNoName;
    std::unique_ptr<FILE, int (*)(FILE *)> file(platform::OpenHostFileForRead(host), std::fclose);
    if (!file)
        return kNoName;

    bool found = false;
    std::string released, piece;
    auto takePiece = [&]() {
        if (piece.compare(0, prefix.size(), prefix) == 0) {
            released = std::string(Trim(std::string_view(piece).substr(prefix.size())));
            found = true;
        }
        piece.clear();
    };
    int c;
    while ((c = std::fgetc(file.get())) != EOF) {
        piece.push_back(static_cast<char>(c));
        if (c == '\n' || piece.size() == kPieceChars)
            takePiece();
    }
    if (!piece.empty())
        takePiece();

    // The answer is handed to scripts as a file of this folder: an empty
    // name or one with a path in it is no answer.
    if (!found || !IsPlainName(released))
        return kNoName;
    name = released;
    return 0;
}

bool FindMatchingIdf(std::string_view root, std::string_view firstLevel, std::string_view secondLevel,
                     const support::StringList1000 &partNumbers, std::string &answer, uint64_t options)
{
    const std::string rootText(root);
    std::string first(firstLevel), second(secondLevel);

    if (first.empty() || second.empty()) {
        const std::vector<std::string> firsts =
            first.empty() ? ListEntries(rootText, true) : std::vector<std::string>{first};
        bool found = false;
        for (const std::string &f : firsts) {
            const std::string firstFolder = rootText + f + "\\";
            const std::vector<std::string> seconds =
                second.empty() ? ListEntries(firstFolder, true) : std::vector<std::string>{second};
            for (const std::string &s : seconds) {
                const std::string folder = firstFolder + s + "\\";
                if (!second.empty() && !IsFolder(folder))
                    continue;
                Search r = SearchFolder(folder, partNumbers);
                if (r == Search::Failed)
                    return false;
                if (r == Search::Found) {
                    first = f;
                    second = s;
                    found = true;
                    break;
                }
            }
            if (found)
                break;
        }
        if (!found)
            return false;
    }

    const std::string folder = rootText + first + "\\" + second + "\\";
    std::string released;
    if (ReadReleasedIdfName(folder + StatusFileName(first, second), released, options) != 0) {
        PrintConsole("ERROR: While processing status file");
        return false;
    }
    answer = folder + released;
    return true;
}

} // namespace halcyon::plan
