#include "langsel/guid_text.h"

#include <charconv>
#include <cstdio>

namespace halcyon::langsel {

std::string GuidToString(const GUID &g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.Data1), g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

namespace {

// Reads `digits` hex digits at `pos` (no sign, no prefix).
bool Hex(std::string_view text, size_t pos, size_t digits, uint64_t *value)
{
    const char *first = text.data() + pos, *last = first + digits;
    const auto [end, error] = std::from_chars(first, last, *value, 16);
    return error == std::errc() && end == last;
}

} // namespace

bool GuidFromString(std::string_view text, GUID *guid)
{
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    uint64_t v = 0;
    GUID g{};
    if (!Hex(text, 1, 8, &v))
        return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!Hex(text, 10, 4, &v))
        return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!Hex(text, 15, 4, &v))
        return false;
    g.Data3 = static_cast<uint16_t>(v);
    const size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!Hex(text, bytePos[i], 2, &v))
            return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *guid = g;
    return true;
}

} // namespace halcyon::langsel
