// The value helpers of the registry interface, built on its Reg* calls, so
// that both hosts share them.
#include <vector>

#include "platform/registry.h"

namespace halcyon::platform::reg {

namespace {

// The view bits of an access mask (the rights are the helpers' own).
constexpr uint32_t kViews = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// Reads value `name` of key `subKey`: its type and its bytes.
LONG ReadValue(HKEY root, std::string_view subKey, std::string_view name, uint32_t access, uint32_t *type,
               std::vector<uint8_t> *data)
{
    UniqueKey k;
    if (LONG r = RegOpenKeyEx(root, subKey, KEY_READ | (access & kViews), k.out()))
        return r;
    return RegQueryValueEx(k.get(), name, type, data);
}

} // namespace

LONG SetString(HKEY root, std::string_view subKey, std::string_view name, std::string_view value, uint32_t type,
               uint32_t access)
{
    UniqueKey k;
    if (LONG r = RegCreateKeyEx(root, subKey, KEY_ALL_ACCESS | (access & kViews), k.out()))
        return r;
    return RegSetValueEx(k.get(), name, type, value.data(), value.size());
}

LONG SetDword(HKEY root, std::string_view subKey, std::string_view name, uint32_t value, uint32_t access)
{
    UniqueKey k;
    if (LONG r = RegCreateKeyEx(root, subKey, KEY_ALL_ACCESS | (access & kViews), k.out()))
        return r;
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return RegSetValueEx(k.get(), name, REG_DWORD, bytes, sizeof bytes);
}

LONG GetString(HKEY root, std::string_view subKey, std::string_view name, std::string *value, uint32_t access)
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (LONG r = ReadValue(root, subKey, name, access, &type, &data))
        return r;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_PARAMETER;
    while (!data.empty() && data.back() == 0)
        data.pop_back();
    if (value)
        value->assign(data.begin(), data.end());
    return ERROR_SUCCESS;
}

LONG GetDword(HKEY root, std::string_view subKey, std::string_view name, uint32_t *value, uint32_t access)
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (LONG r = ReadValue(root, subKey, name, access, &type, &data))
        return r;
    if (type != REG_DWORD || data.size() != 4)
        return ERROR_INVALID_PARAMETER;
    if (value)
        *value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                 static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    return ERROR_SUCCESS;
}

bool KeyExists(HKEY root, std::string_view subKey, uint32_t access)
{
    UniqueKey k;
    return RegOpenKeyEx(root, subKey, KEY_READ | (access & kViews), k.out()) == ERROR_SUCCESS;
}

} // namespace halcyon::platform::reg
