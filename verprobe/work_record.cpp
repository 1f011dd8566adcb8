#include "verprobe/work_record.h"

#include "platform/environment.h"
#include "verprobe/result_codes.h"
#include "verprobe/text_rules.h"

namespace halcyon::verprobe {

bool ExpandLimited(std::string_view text, std::string *out)
{
    if (CharCount(text) > kMaxTextChars)
        return false;
    std::string expanded;
    if (!platform::ExpandEnvironmentStrings(text, expanded))
        return false;
    if (CharCount(expanded) > kMaxTextChars)
        return false;
    *out = std::move(expanded);
    return true;
}

uint32_t PrepareTarget(std::string_view raw, std::string *target)
{
    std::string expanded;
    if (!ExpandLimited(raw, &expanded))
        return kTextTooLong;
    // White space around the quotes is dropped as well, so that
    // ' "C:\x.exe" ' names the file.
    std::string t = TrimWhiteSpace(expanded);
    t = TrimChar(t, '"');
    *target = TrimWhiteSpace(ToUpper(t));
    return kOk;
}

uint32_t PrepareExpected(std::string_view raw, std::string *expected)
{
    std::string expanded;
    if (!ExpandLimited(raw, &expanded))
        return kTextTooLong;
    *expected = StripTrailing(StripLeading(ToUpper(expanded)));
    return kOk;
}

} // namespace halcyon::verprobe
