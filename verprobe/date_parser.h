// Date texts as the user's default locale (en-US) writes them. Only the date
// part counts; a time after it is accepted and ignored.
//
// Accepted forms (case-insensitive, surrounding white space ignored):
//   M/D/Y   M-D-Y          month, day, year          12/8/2026, 12-08-26
//   M/D     M-D            month, day (current year)  12/8
//   Y/M/D   Y-M-D          four-digit year first      2026-12-08
//   Month D, Y             month name or its first three letters,
//   Month D Y              optionally with a trailing "." (Dec. 8, 2026)
//   D Month Y   D-Mon-Y    8 December 2026, 08-Dec-2026
//   Month Y                the 1st of the month       December 2026
// A weekday name may come first ("Tuesday, December 8, 2026"). A time may
// follow the date: H:M, H:M:S, with an optional AM/PM ("12/8/2026 13:05:07",
// "12/8/2026 1:05 PM"). Years of one or two digits are 1930-2029 (00-29 is
// 2000-2029); years must be 100-9999, months 1-12 and days valid for the
// month. A lone number, or more than three numbers, is not a date.
#pragma once

#include <optional>
#include <string_view>

namespace halcyon::verprobe {

struct CivilDate {
    int year = -1, month = -1, day = -1;
    bool operator==(const CivilDate &) const = default;
};

// `currentYear` completes the forms without a year.
std::optional<CivilDate> ParseDate(std::string_view text, int currentYear);
// The same with the current local year.
std::optional<CivilDate> ParseDate(std::string_view text);

} // namespace halcyon::verprobe
