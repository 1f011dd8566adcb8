#include "langsel/bstr_text.h"

#include <string>

#include "langsel/text16.h"

namespace halcyon::langsel {

std::u16string_view BstrView(BSTR text)
{
    if (!text)
        return {};
    // On Windows OLECHAR is wchar_t, the same UTF-16 code units.
    static_assert(sizeof(OLECHAR) == sizeof(char16_t));
    return {reinterpret_cast<const char16_t *>(text), SysStringLen(text)};
}

BSTR MakeBstr(std::string_view utf8)
{
    std::u16string wide = ToUtf16(utf8);
    return SysAllocStringLen(reinterpret_cast<const OLECHAR *>(wide.data()), static_cast<UINT>(wide.size()));
}

} // namespace halcyon::langsel
