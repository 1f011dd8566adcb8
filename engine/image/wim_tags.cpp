#include "engine/image/wim_tags.h"

#include "halcyon/ReturnCodes.h"

#include <algorithm>
#include <vector>

#include "platform/host_file.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "support/wdmi/wdmi.h"
#include "support/files/file_ops.h"
#include "support/wim/wim_text.h"

namespace halcyon::image {

namespace {

// "<WIM>" in UTF-16LE after a byte-order mark FF FE (or FF FF).
constexpr unsigned char kWimStart[10] = {0x3C, 0x00, 0x57, 0x00, 0x49, 0x00, 0x4D, 0x00, 0x3E, 0x00};
constexpr size_t kProbe = 12;

bool MatchesStart(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return u[0] == 0xFF && (u[1] == 0xFE || u[1] == 0xFF) && std::equal(kWimStart, kWimStart + 10, u + 2);
}

std::string Trim(const std::string &s)
{
    const char *ws = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

// At most `count` UTF-8 characters of `s`.
std::string CutToCharacters(const std::string &s, size_t count)
{
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == count)
            return s.substr(0, i);
    }
    return s;
}

} // namespace

int32_t FindWimTagInXml(const std::string &xmlUtf16Bytes, const std::string &tag, std::string &value)
{
    const std::string xml = support::wim::Utf16LeToUtf8(xmlUtf16Bytes);
    const size_t image = xml.find("<IMAGE");
    if (image == std::string::npos)
        return WIMTAG_NO_IMAGE;
    const std::string name = platform::ToUpperAscii(tag);
    const std::string open = "<" + name + ">";
    const std::string close = "</" + name + ">";
    const size_t start = xml.find(open, image);
    if (start == std::string::npos)
        return WIMTAG_ELEMENT_ABSENT;
    // The closing element is looked for after the opening one, so that a
    // stray closing element earlier cannot give a negative length.
    const size_t end = xml.find(close, start + open.size());
    if (end == std::string::npos)
        return WIMTAG_ELEMENT_ABSENT;
    value = Trim(xml.substr(start + open.size(), end - start - open.size()));
    return 0;
}

int32_t ReadWimTagValue(const std::string &wimPath, const std::string &tag, std::string &value)
{
    const platform::ReadOnlyFile file(platform::HostPath(wimPath));
    if (!file.ok())
        return WIMTAG_OPEN_FAILED;
    const int64_t size = static_cast<int64_t>(file.Size());
    // The metadata start may lie up to kWimXmlSearchSpan bytes before the
    // end; positions before the start of the file never match.
    const int64_t span = std::min<int64_t>(size, kWimXmlSearchSpan);
    if (span < static_cast<int64_t>(kProbe))
        return WIMTAG_NO_METADATA;
    std::vector<char> tail(static_cast<size_t>(span));
    if (!file.ReadAt(static_cast<uint64_t>(size - span), tail.data(), tail.size()))
        return WIMTAG_OPEN_FAILED;
    int64_t found = -1;
    for (int64_t i = span - static_cast<int64_t>(kProbe); i >= 0; --i) {
        if (MatchesStart(tail.data() + i)) {
            found = i;
            break;
        }
    }
    if (found < 0)
        return WIMTAG_NO_METADATA;
    const std::string xml(tail.data() + found + 2, tail.data() + span);
    std::string text;
    const int32_t r = FindWimTagInXml(xml, tag, text);
    if (r == 0)
        value = std::move(text);
    return r;
}

int32_t CompareWimBlid(const std::string &wimPath, const std::string &planPath)
{
    std::string list;
    int32_t r = ReadWimTagValue(wimPath, "BLID", list);
    if (r != 0)
        return r;
    list = platform::ToUpperAscii(Trim(list));
    if (list.empty())
        return WIMTAG_BLID_EMPTY;

    std::string machine;
    if (support::IsRMIDOnOEMString1()) {
        if (!support::FileExist(planPath))
            return WIMTAG_PLAN_MISSING;
        // Read the way a 261-character buffer would hold it.
        machine = CutToCharacters(platform::GetPrivateProfileString("Image", "BLID", "", planPath), 260);
    } else if (support::GetBLID_s(machine) != 0) {
        return WIMTAG_GET_BLID_FAILED;
    }
    machine = platform::ToUpperAscii(Trim(machine));
    if (machine.empty())
        return WIMTAG_MACHINE_BLID_EMPTY;

    size_t pos = 0;
    while (pos <= list.size()) {
        const size_t comma = std::min(list.find(',', pos), list.size());
        const std::string piece = list.substr(pos, comma - pos);
        pos = comma + 1;
        if (piece.empty())
            continue;
        // A 10-character list entry stands for every 11-character BLID that
        // begins with it.
        if (piece.size() == 10 && machine.size() == 11) {
            if (machine.compare(0, 10, piece) == 0)
                return 0;
        } else if (piece == machine) {
            return 0;
        }
    }
    return WIMTAG_NO_BLID_MATCH;
}

int32_t CompareWimReleaseId(const std::string &wimPath, const std::string &releaseId)
{
    std::string wimId;
    const int32_t r = ReadWimTagValue(wimPath, "RELEASEID", wimId);
    if (r != 0)
        return r;
    wimId = Trim(wimId);
    const std::string given = Trim(releaseId);
    if (wimId.empty())
        return 0;
    if (given.empty())
        return WIMTAG_RELEASEID_EMPTY;
    if (!platform::EqualsNoCase(wimId, given))
        return WIMTAG_RELEASEID_DIFFERS;
    return 0;
}

const char *WimTagResultText(int32_t code)
{
    switch (code) {
    case WIMTAG_NO_BLID_MATCH: return "the machine's BLID is not in the image's BLID list";
    case WIMTAG_MACHINE_BLID_EMPTY: return "the machine's BLID is empty";
    case WIMTAG_GET_BLID_FAILED: return "the machine's BLID could not be read";
    case WIMTAG_ELEMENT_ABSENT: return "the image description has no such element";
    case WIMTAG_OPEN_FAILED: return "the WIM file cannot be opened";
    case WIMTAG_NO_METADATA: return "no image description found at the end of the file (not a WIM, or a damaged one)";
    case WIMTAG_RELEASEID_EMPTY: return "the image names a release but no release ID was given";
    case WIMTAG_RELEASEID_DIFFERS: return "the image's RELEASEID differs from the one expected";
    case WIMTAG_PLAN_MISSING: return "the plan file does not exist";
    case WIMTAG_NO_IMAGE: return "the image description holds no image";
    case WIMTAG_BLID_EMPTY: return "the image's BLID element is empty";
    case RETURN_BUFFER_TOO_SMALL: return "the value does not fit the buffer given";
    default: return "";
    }
}

} // namespace halcyon::image
