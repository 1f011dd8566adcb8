#include "verprobe/date_parser.h"

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "platform/host_file.h"
#include "platform/path_map.h"

namespace halcyon::verprobe {

namespace {

enum class Kind { Number, Word, Sep };

struct Token {
    Kind kind;
    long value = 0;   // Number
    size_t digits = 0; // Number
    std::string text; // Word (upper case) or Sep (one character)
};

constexpr std::array<const char *, 12> kMonths = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                                  "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
constexpr std::array<const char *, 7> kWeekdays = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Full name, or its first three letters (four for "SEPT").
int NameIndex(const std::string &word, const char *const *names, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        std::string full = names[i];
        if (word == full || (word.size() == 3 && full.compare(0, 3, word) == 0) || (word == "SEPT" && i == 8 && count == 12))
            return static_cast<int>(i);
    }
    return -1;
}
int MonthIndex(const std::string &w) { return NameIndex(w, kMonths.data(), kMonths.size()); }
int WeekdayIndex(const std::string &w) { return NameIndex(w, kWeekdays.data(), kWeekdays.size()); }

std::optional<std::vector<Token>> Tokenize(std::string_view s)
{
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (IsDigit(c)) {
            Token t{Kind::Number};
            while (i < s.size() && IsDigit(s[i])) {
                if (t.digits < 9)
                    t.value = t.value * 10 + (s[i] - '0');
                ++t.digits;
                ++i;
            }
            out.push_back(std::move(t));
        } else if (IsAlpha(c)) {
            Token t{Kind::Word};
            while (i < s.size() && IsAlpha(s[i]))
                t.text += s[i++];
            t.text = platform::ToUpperAscii(t.text);
            out.push_back(std::move(t));
        } else if (IsSpace(c)) {
            while (i < s.size() && IsSpace(s[i]))
                ++i;
            out.push_back(Token{Kind::Sep, 0, 0, " "});
        } else if (c == '/' || c == '-' || c == ',' || c == '.' || c == ':') {
            out.push_back(Token{Kind::Sep, 0, 0, std::string(1, c)});
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// Removes a trailing time "H:M[:S] [AM|PM]"; false when a time is there
// but malformed.
bool DropTime(std::vector<Token> &t)
{
    size_t colon = t.size();
    for (size_t i = 0; i < t.size(); ++i)
        if (t[i].kind == Kind::Sep && t[i].text == ":") {
            colon = i;
            break;
        }
    if (colon == t.size())
        return true;
    if (colon == 0 || t[colon - 1].kind != Kind::Number)
        return false;
    size_t start = colon - 1;
    std::vector<long> parts;
    bool pm = false, ampm = false;
    size_t i = start;
    while (i < t.size()) {
        if (t[i].kind != Kind::Number || t[i].digits > 2)
            return false;
        parts.push_back(t[i].value);
        ++i;
        if (i < t.size() && t[i].kind == Kind::Sep && t[i].text == ":") {
            ++i;
            continue;
        }
        break;
    }
    if (i < t.size() && t[i].kind == Kind::Sep && t[i].text == " ")
        ++i;
    if (i < t.size() && t[i].kind == Kind::Word && (t[i].text == "AM" || t[i].text == "PM")) {
        ampm = true;
        pm = t[i].text == "PM";
        ++i;
    }
    (void)pm;
    if (i != t.size() || parts.size() < 2 || parts.size() > 3)
        return false;
    if (parts[0] > (ampm ? 12 : 23) || parts[1] > 59 || (parts.size() == 3 && parts[2] > 59))
        return false;
    // The date must be separated from the time by white space.
    if (start == 0 || t[start - 1].kind != Kind::Sep || t[start - 1].text != " ")
        return false;
    t.resize(start - 1);
    return true;
}

int FullYear(const Token &t)
{
    if (t.digits > 4)
        return -1;
    if (t.digits <= 2)
        return t.value < 30 ? static_cast<int>(2000 + t.value) : static_cast<int>(1900 + t.value);
    return static_cast<int>(t.value);
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::optional<CivilDate> Valid(int year, long month, long day)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1)
        return std::nullopt;
    int limit = kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
    if (day > limit)
        return std::nullopt;
    return CivilDate{year, static_cast<int>(month), static_cast<int>(day)};
}

std::optional<CivilDate> NumericDate(const std::vector<Token> &n, const std::vector<std::string> &seps, int currentYear)
{
    for (const auto &s : seps)
        if (s != seps[0] || (s != "/" && s != "-"))
            return std::nullopt;
    if (n.size() == 3) {
        if (n[0].digits == 4)
            return Valid(FullYear(n[0]), n[1].value, n[2].value);
        if (n[0].digits > 2 || n[1].digits > 2)
            return std::nullopt;
        return Valid(FullYear(n[2]), n[0].value, n[1].value);
    }
    if (n.size() == 2) {
        if (n[0].digits > 2)
            return std::nullopt;
        if (n[1].digits >= 3)
            return Valid(FullYear(n[1]), n[0].value, 1);
        if (n[1].digits > 2)
            return std::nullopt;
        return Valid(currentYear, n[0].value, n[1].value);
    }
    return std::nullopt;
}

} // namespace

std::optional<CivilDate> ParseDate(std::string_view text, int currentYear)
{
    auto tokens = Tokenize(text);
    if (!tokens)
        return std::nullopt;
    std::vector<Token> &t = *tokens;
    // Surrounding white space.
    while (!t.empty() && t.front().kind == Kind::Sep && t.front().text == " ")
        t.erase(t.begin());
    while (!t.empty() && t.back().kind == Kind::Sep && t.back().text == " ")
        t.pop_back();
    if (!DropTime(t))
        return std::nullopt;
    // A leading weekday.
    if (!t.empty() && t.front().kind == Kind::Word && WeekdayIndex(t.front().text) >= 0) {
        t.erase(t.begin());
        while (!t.empty() && t.front().kind == Kind::Sep && (t.front().text == " " || t.front().text == ","))
            t.erase(t.begin());
    }

    std::vector<Token> numbers;
    std::vector<std::string> seps;
    int month = -1;
    int monthPosition = -1; // index among the non-separator items
    int items = 0;
    bool pendingSep = false;
    std::string sepText;
    for (size_t i = 0; i < t.size(); ++i) {
        const Token &k = t[i];
        if (k.kind == Kind::Sep) {
            if (k.text == ":")
                return std::nullopt;
            if (items == 0)
                return std::nullopt;
            // Separator runs collapse ("Dec. 8", "8, 2026").
            sepText = pendingSep && sepText != k.text ? (sepText == " " ? k.text : sepText) : k.text;
            pendingSep = true;
            continue;
        }
        if (items > 0) {
            if (!pendingSep && k.kind == Kind::Number && t[i - 1].kind == Kind::Number)
                return std::nullopt;
            seps.push_back(pendingSep ? sepText : std::string());
        }
        pendingSep = false;
        if (k.kind == Kind::Word) {
            int m = MonthIndex(k.text);
            if (m < 0 || month >= 0)
                return std::nullopt;
            month = m + 1;
            monthPosition = items;
        } else {
            numbers.push_back(k);
        }
        ++items;
    }
    if (pendingSep || items < 2 || items > 3)
        return std::nullopt;

    if (month < 0)
        return NumericDate(numbers, seps, currentYear);

    // Month given by name: the separators may be white space, ",", "-", ".".
    for (const auto &s : seps)
        if (s == "/")
            return std::nullopt;
    for (const auto &n : numbers)
        if (n.digits > 4)
            return std::nullopt;
    if (numbers.size() == 2) {
        if (monthPosition == 0) // Month D, Y
            return Valid(FullYear(numbers[1]), month, numbers[0].value);
        if (monthPosition == 1) // D Month Y
            return Valid(FullYear(numbers[1]), month, numbers[0].value);
        return std::nullopt;
    }
    // One number: Month Y (three or four digits), Month D or D Month.
    if (numbers[0].digits >= 3) {
        if (monthPosition != 0)
            return std::nullopt;
        return Valid(FullYear(numbers[0]), month, 1);
    }
    return Valid(currentYear, month, numbers[0].value);
}

std::optional<CivilDate> ParseDate(std::string_view text)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::LocalCivilTime(now, &local);
    return ParseDate(text, local.tm_year + 1900);
}

} // namespace halcyon::verprobe
