#include "verprobe/modified_date.h"

#include <cstdio>

#include "platform/host_file.h"

#include "verprobe/date_parser.h"
#include "verprobe/file_version.h"
#include "verprobe/result_codes.h"

namespace halcyon::verprobe {

std::string FormatLocalTime(std::time_t when)
{
    std::tm local{};
    if (!platform::LocalCivilTime(when, &local))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%d:%d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

uint32_t ReadModifiedDate(std::string_view target, std::string *text)
{
    auto host = RegularFile(target);
    if (!host)
        return kFileNotFound;
    auto status = platform::StatHostPath(*host);
    if (!status)
        return kNoVersionOrMismatch;
    std::string formatted = FormatLocalTime(status->modified);
    if (formatted.empty())
        return kNoVersionOrMismatch;
    *text = std::move(formatted);
    return kOk;
}

uint32_t CompareDates(std::string_view target, std::string_view expected, std::string *formatted)
{
    formatted->clear();
    ReadModifiedDate(target, formatted);
    CivilDate unknown;
    CivilDate file = ParseDate(*formatted).value_or(unknown);
    CivilDate wanted = ParseDate(expected).value_or(unknown);
    return file.day == wanted.day && file.month == wanted.month && file.year == wanted.year ? kOk
                                                                                            : kNoVersionOrMismatch;
}

} // namespace halcyon::verprobe
