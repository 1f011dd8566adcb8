#include "verprobe/file_check.h"

#include "verprobe/date_parser.h"
#include "verprobe/file_version.h"
#include "verprobe/modified_date.h"
#include "verprobe/path_rewrite.h"
#include "verprobe/result_codes.h"
#include "verprobe/text_lines.h"
#include "verprobe/text_rules.h"

namespace halcyon::verprobe {

namespace {

// The expected text in the form of a file version: without a "." its
// spaces go and its other separators become "." ("1, 2, 0, 0" is
// "1.2.0.0"); leading zeros go, but not the only digit of the first part
// ("0.5" stays).
std::string ExpectedAsVersion(std::string_view expected)
{
    std::string text(expected);
    if (text.find('.') == std::string::npos) {
        std::string noSpaces;
        for (char c : text)
            if (c != ' ')
                noSpaces += c;
        text = DotSeparators(noSpaces);
    }
    return StripLeadingZerosOfNumber(text);
}

uint32_t CompareFileVersion(WorkRecord &rec, const VersionInfo &info)
{
    auto version = info.FixedFileVersion();
    if (!version)
        return kNoVersionOrMismatch;
    std::string text = FormatFileVersion(*version);
    rec.output.Set(text);
    std::string wanted = ExpectedAsVersion(rec.expected);
    if (text == wanted)
        return kOk;
    return StripTrailingDotZero(text) == StripTrailingDotZero(wanted) ? kOk : kNoVersionOrMismatch;
}

uint32_t CompareDatesInto(WorkRecord &rec)
{
    std::string formatted;
    uint32_t result = CompareDates(rec.target, rec.expected, &formatted);
    rec.output.Set(formatted);
    return result;
}

} // namespace

bool LooksLikeDate(std::string_view expected)
{
    return expected.find('.') == std::string_view::npos && CharCount(expected) > 4 && ParseDate(expected).has_value();
}

uint32_t CheckFile(WorkRecord &rec)
{
    auto host = RegularFile(rec.target);
    if (!host) {
        rec.output.Set("FILE NOT FOUND");
        return kFileNotFound;
    }
    bool dateExpected = LooksLikeDate(rec.expected);
    if (auto info = LoadVersionInfo(*host)) {
        if (dateExpected)
            return CompareDatesInto(rec);
        return CompareFileVersion(rec, *info);
    }
    std::string lastLine;
    uint32_t result = SearchLines(*host, rec.expected, &lastLine);
    rec.output.Set(lastLine);
    if (result == kOk)
        return kOk;
    if (dateExpected)
        return CompareDatesInto(rec);
    return result;
}

uint32_t CheckFileTarget(WorkRecord &rec)
{
    if (RegularFile(rec.target))
        return CheckFile(rec);
    std::string other = RewriteOtherBitness(rec.target);
    if (other != rec.target && RegularFile(other)) {
        rec.target = other;
        return CheckFile(rec);
    }
    rec.output.Set("FILE NOT FOUND");
    return kFileNotFound;
}

} // namespace halcyon::verprobe
