// OLE Automation strings: a 4-byte length in bytes, the UTF-16 characters,
// then a NUL character. The BSTR points at the first character.
#include <cstdlib>
#include <cstring>

#include "halcyon/MuiChooser.h"

namespace {

constexpr UINT kMaxChars = 0x3FFFFFF0u; // keeps the byte length in 32 bits

uint32_t *Header(BSTR text) { return reinterpret_cast<uint32_t *>(reinterpret_cast<char *>(text) - sizeof(uint32_t)); }

} // namespace

MUICHOOSER_API BSTR SysAllocStringLen(const OLECHAR *text, UINT length)
{
    if (length > kMaxChars)
        return nullptr;
    size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
    char *block = static_cast<char *>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    uint32_t size = static_cast<uint32_t>(bytes);
    std::memcpy(block, &size, sizeof size);
    BSTR result = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
    if (text)
        std::memcpy(result, text, bytes);
    else
        std::memset(result, 0, bytes);
    result[length] = u'\0';
    return result;
}

MUICHOOSER_API BSTR SysAllocString(const OLECHAR *text)
{
    if (!text)
        return nullptr;
    UINT length = 0;
    while (text[length] && length <= kMaxChars)
        ++length;
    return SysAllocStringLen(text, length);
}

MUICHOOSER_API void SysFreeString(BSTR text)
{
    if (text)
        std::free(Header(text));
}

MUICHOOSER_API UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    uint32_t size;
    std::memcpy(&size, Header(text), sizeof size);
    return size / sizeof(OLECHAR);
}
