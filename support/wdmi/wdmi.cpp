// Machine identity from the emulated machine's [Identity] section, with the
// firmware's OEM strings (SMBIOS type 11) as the fallback where Linux can
// read them. An OEM string carries an identity as "RMID:<value>" or
// "BLID:<value>" ('=' also accepted, name without regard to case).
#include "support/wdmi/wdmi.h"

#include <optional>
#include <vector>

#include "platform/machine.h"
#include "platform/path_map.h"
#include "support/wdmi/oem_strings.h"

namespace halcyon::support {

namespace {

// The value of "<tag>:<value>" (or '=') in `s`; nullopt when `s` is not one.
std::optional<std::string> Tagged(const std::string &s, std::string_view tag)
{
    if (s.size() <= tag.size() || !platform::EqualsNoCase(std::string_view(s).substr(0, tag.size()), tag))
        return std::nullopt;
    char sep = s[tag.size()];
    if (sep != ':' && sep != '=')
        return std::nullopt;
    return s.substr(tag.size() + 1);
}

std::optional<std::string> FromOemStrings(std::string_view tag)
{
    for (const auto &s : ReadOemStrings())
        if (auto v = Tagged(s, tag))
            return v;
    return std::nullopt;
}

int32_t Identity(std::string_view key, std::string &out)
{
    if (auto v = platform::MachineSetting("Identity", key)) {
        out = *v;
        return 0;
    }
    if (auto v = FromOemStrings(key)) {
        out = *v;
        return 0;
    }
    return 2; // absent
}

} // namespace

bool IsRMIDOnOEMString1()
{
    if (auto v = platform::MachineSetting("Identity", "RMIDOnOEMString1"))
        return platform::EqualsNoCase(*v, "True");
    auto strings = ReadOemStrings();
    return !strings.empty() && Tagged(strings[0], "RMID").has_value();
}

int32_t GetBLID_s(std::string &out) { return Identity("BLID", out); }

int32_t GetRMID_s(std::string &out) { return Identity("RMID", out); }

bool SetSystemRestore(bool enable)
{
    return platform::SetMachineSetting("Power", "SystemRestore", enable ? "True" : "False");
}

bool IsSystemRestoreEnabled()
{
    // Windows keeps System Restore on for the system drive unless switched off.
    auto v = platform::MachineSetting("Power", "SystemRestore");
    return !v || !platform::EqualsNoCase(*v, "False");
}

} // namespace halcyon::support
