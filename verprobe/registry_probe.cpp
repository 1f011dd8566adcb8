#include "verprobe/registry_probe.h"

#include <cstdio>
#include <cstdlib>

#include "platform/registry.h"
#include "verprobe/result_codes.h"
#include "verprobe/text_rules.h"

namespace halcyon::verprobe {

namespace reg = platform::reg;

namespace {

// Value data larger than this cannot be read (the read buffer's size).
constexpr size_t kMaxValueBytes = 256;

reg::HKEY RootFromUpperName(std::string_view name)
{
    if (name == "HKEY_CURRENT_USER" || name == "HKCU")
        return reg::HKEY_CURRENT_USER;
    if (name == "HKEY_LOCAL_MACHINE" || name == "HKLM")
        return reg::HKEY_LOCAL_MACHINE;
    if (name == "HKEY_USERS" || name == "HKU")
        return reg::HKEY_USERS;
    if (name == "HKEY_CURRENT_CONFIG" || name == "HKCC")
        return reg::HKEY_CURRENT_CONFIG;
    if (name == "HKEY_DYN_DATA" || name == "HKDD")
        return reg::HKEY_DYN_DATA;
    return 0;
}

uint32_t DwordOf(const std::vector<uint8_t> &data)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < data.size(); ++i)
        v |= static_cast<uint32_t>(data[i]) << (8 * i);
    return v;
}

uint32_t KeyNameStep(WorkRecord &rec, reg::HKEY root, const std::string &path, RegMode mode)
{
    size_t slash = path.rfind('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    reg::UniqueKey key;
    if (reg::RegOpenKeyEx(root, path, reg::KEY_READ | rec.view, key.out()) != reg::ERROR_SUCCESS)
        return kKeyOpenFailed;
    rec.output.Set(name);
    if (mode == RegMode::Read)
        return name.empty() ? kEmptyText : kOk;
    if (name == rec.expected)
        return kOk;
    std::string stripped = StripTrailingZeros(StripLeadingZeros(name));
    std::string wanted = StripTrailingZeros(StripLeadingZeros(rec.expected));
    rec.output.Set(stripped);
    return stripped == wanted ? kOk : kRegistryMismatch;
}

uint32_t ValueStep(WorkRecord &rec, reg::HKEY root, const std::string &keyPath, const std::string &valueName,
                   RegMode mode)
{
    reg::UniqueKey key;
    if (reg::RegOpenKeyEx(root, keyPath, reg::KEY_QUERY_VALUE | rec.view, key.out()) != reg::ERROR_SUCCESS)
        return kKeyOpenFailed;
    rec.dataSize = kMaxValueBytes;
    rec.rawData.clear();
    rec.valueType = 0;
    if (reg::RegQueryValueEx(key.get(), valueName, &rec.valueType, &rec.rawData) != reg::ERROR_SUCCESS)
        return kValueReadFailed;
    bool isString = rec.valueType == reg::REG_SZ || rec.valueType == reg::REG_EXPAND_SZ;
    // Strings are limited by their length in characters (below); other data
    // must fit the read buffer.
    if (!isString && rec.rawData.size() > kMaxValueBytes)
        return kValueReadFailed;
    rec.dataSize = static_cast<uint32_t>(rec.rawData.size());
    uint32_t formatted = FormatValue(rec.valueType, rec.rawData, &rec.valueText);
    if (formatted != kOk)
        return formatted;
    key.reset();
    rec.output.Set(rec.valueText);
    if (mode == RegMode::Read)
        return rec.valueText.empty() ? kEmptyText : kOk;

    std::string text = ToUpper(rec.valueText);
    std::string wanted = rec.expected;
    if (rec.valueType == reg::REG_DWORD) {
        wanted = StripLeadingZeros(wanted);
        if (text != wanted)
            text = std::to_string(std::strtoul(text.c_str(), nullptr, 16));
    }
    return text == wanted ? kOk : kRegistryMismatch;
}

} // namespace

uint32_t FormatValue(uint32_t type, const std::vector<uint8_t> &data, std::string *text)
{
    switch (type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ: {
        std::string raw(data.begin(), data.end());
        size_t nul = raw.find('\0');
        if (nul != std::string::npos)
            raw.resize(nul);
        std::string expanded;
        if (!ExpandLimited(raw, &expanded))
            return kTextTooLong;
        *text = StripTrailing(StripLeading(expanded));
        return kOk;
    }
    case reg::REG_BINARY: {
        std::string out;
        char hex[4];
        for (uint8_t b : data) {
            std::snprintf(hex, sizeof hex, "%02X ", b);
            out += hex;
        }
        if (!out.empty())
            out.pop_back();
        *text = std::move(out);
        return kOk;
    }
    case reg::REG_DWORD: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", DwordOf(data));
        *text = StripLeadingZeros(hex);
        return kOk;
    }
    default:
        return kUnsupportedType;
    }
}

uint32_t RegistryStep(WorkRecord &rec, RegKind kind, RegMode mode)
{
    std::string target = StripTrailing(StripLeading(rec.target));
    size_t slash = target.find('\\');
    if (slash == std::string::npos)
        return kNoBackslash;
    reg::HKEY root = RootFromUpperName(std::string_view(target).substr(0, slash));
    if (root == 0)
        return kUnknownRoot;
    std::string path = target.substr(slash + 1);

    switch (kind) {
    case RegKind::KeyName:
        return KeyNameStep(rec, root, path, mode);
    case RegKind::NamedValue: {
        size_t last = path.rfind('\\');
        if (last == std::string::npos)
            return kNoValueName;
        return ValueStep(rec, root, path.substr(0, last), path.substr(last + 1), mode);
    }
    case RegKind::DefaultValue:
        return ValueStep(rec, root, path, std::string(), mode);
    }
    return kUnsupportedType;
}

bool LooksLikeRegistryTarget(std::string_view target)
{
    for (const char *marker : {"HKE", "HKCU", "HKLM", "HKU", "HKCC", "HKDD"})
        if (target.find(marker) != std::string_view::npos)
            return true;
    return false;
}

uint32_t CheckRegistryTarget(WorkRecord &rec)
{
    uint32_t result = kRegistryMismatch;
    for (uint32_t view : {kView32, kView64}) {
        rec.view = view;
        for (RegKind kind : {RegKind::KeyName, RegKind::DefaultValue, RegKind::NamedValue}) {
            result = RegistryStep(rec, kind, RegMode::Check);
            if (result == kOk)
                return kOk;
        }
    }
    return result;
}

} // namespace halcyon::verprobe
