// Text at the wimlib boundary: wimlib takes and gives wimlib_tchar strings,
// which are wchar_t (UTF-16) on Windows and UTF-8 char elsewhere. Inside,
// text is UTF-8 std::string; these convert where a call crosses over.
#pragma once

#include <wimlib.h>

#include <string>
#include <string_view>
#include <vector>

namespace halcyon::support::wim {

using WimString = std::basic_string<wimlib_tchar>;

WimString ToWimText(std::string_view utf8);
// UTF-8 of wimlib's text; a null pointer gives "".
std::string FromWimText(const wimlib_tchar *text);

// Several UTF-8 texts held as wimlib strings, with the pointer array some
// calls take.
class WimTextList {
public:
    explicit WimTextList(const std::vector<std::string> &utf8);
    const wimlib_tchar *const *data() const { return pointers_.data(); }
    size_t size() const { return pointers_.size(); }
    bool empty() const { return pointers_.empty(); }

private:
    std::vector<WimString> texts_;
    std::vector<const wimlib_tchar *> pointers_;
};

} // namespace halcyon::support::wim
