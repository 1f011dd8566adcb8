#include "langsel/bstr_text.h"

#include <string>

#include "langsel/text16.h"

namespace halcyon::langsel {

std::u16string_view BstrView(BSTR text)
{
    if (!text)
        return {};
    return {text, SysStringLen(text)};
}

BSTR MakeBstr(std::string_view utf8)
{
    std::u16string wide = ToUtf16(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

} // namespace halcyon::langsel
