#include "engine/modules/installer_arguments.h"

#include <cstdio>

#include "platform/registry.h"

namespace halcyon::modules {

namespace reg = platform::reg;

namespace {

size_t CountChars(const std::vector<uint8_t> &bytes)
{
    size_t n = 0;
    for (uint8_t b : bytes)
        if ((b & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

int32_t WriteRegString(std::string keyPath, std::string valueName, std::string text)
{
    reg::HKEY key = 0;
    if (reg::RegCreateKeyEx(reg::HKEY_LOCAL_MACHINE, keyPath, reg::KEY_ALL_ACCESS, &key) != reg::ERROR_SUCCESS)
        return kRegKeyNotCreated;
    int32_t result = 0;
    if (reg::RegSetValueEx(key, valueName, reg::REG_SZ, text.data(), text.size()) != reg::ERROR_SUCCESS)
        result = kRegValueNotSet;
    if (reg::RegCloseKey(key) != reg::ERROR_SUCCESS && result == 0)
        result = kRegKeyNotClosed;
    return result;
}

int32_t ReadRegString(std::string keyPath, std::string valueName, std::string &out)
{
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, keyPath, reg::KEY_ALL_ACCESS, &key) != reg::ERROR_SUCCESS)
        return kRegKeyNotOpened;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    int32_t result = 0;
    if (reg::RegQueryValueEx(key, valueName, &type, &data) != reg::ERROR_SUCCESS ||
        (type != reg::REG_SZ && type != reg::REG_EXPAND_SZ) || CountChars(data) > kRegStringMaxChars) {
        // The value is read into a buffer of 260 characters and a terminator:
        // a longer value (a stored terminator counts) does not fit.
        result = kRegValueNotRead;
    } else {
        std::string text(data.begin(), data.end());
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        if (text.empty())
            result = kRegValueEmpty;
        else
            out = std::move(text);
    }
    if (reg::RegCloseKey(key) != reg::ERROR_SUCCESS && result == 0)
        result = kRegKeyNotClosed;
    return result;
}

int32_t DeleteRegKey(std::string keyPath)
{
    reg::LONG r = reg::RegDeleteKeyEx(reg::HKEY_LOCAL_MACHINE, keyPath, 0);
    return r == reg::ERROR_SUCCESS || r == 1 ? 0 : kRegKeyNotDeleted;
}

std::vector<std::pair<std::string, std::string>> InstallerArguments::Entries() const
{
    char start[16];
    std::snprintf(start, sizeof start, "%d", Start);
    char options[16];
    std::snprintf(options, sizeof options, "%u", static_cast<uint32_t>(Options & 0xFFFFFFFFu));
    return {
        {"CurApp", CurApp},
        {"IniFile", IniFile},
        {"PermSourceDir", PermSourceDir},
        {"TempSourceDir", TempSourceDir},
        {"TrueFulSourceDir", TrueFulSourceDir},
        {"DestDir", DestDir},
        {"MountDir", MountDir},
        {"InstallerType", InstallerType},
        {"PartType", PartType},
        {"Recoverable", Recoverable},
        {"Temporary", Temporary},
        {"LogFile", LogFile},
        {"Start", start},
        {"Options", options},
    };
}

InstallerArgumentsPublisher::InstallerArgumentsPublisher(std::string keyPath, const InstallerArguments &record)
    : keyPath_(std::move(keyPath)), record_(record)
{
}

InstallerArgumentsPublisher::~InstallerArgumentsPublisher()
{
    try {
        DeleteRegKey(keyPath_);
    } catch (...) {
        // Nothing may leave a destructor; the key stays behind.
    }
}

int32_t InstallerArgumentsPublisher::Publish()
{
    for (const auto &[name, text] : record_.Entries()) {
        if (int32_t r = WriteRegString(keyPath_, name, text))
            return r;
    }
    return 0;
}

} // namespace halcyon::modules
