#include "support/partition/acrcvprt.h"

#include <cctype>
#include <string>

#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/machine_prefix.h"
#include "platform/path_map.h"

namespace halcyon::support {

char16_t PartitionLetter(const char *key)
{
    std::optional<std::string> value = platform::MachineSetting("Partitions", key);
    if (!value || value->size() != 1 || !std::isalpha(static_cast<unsigned char>((*value)[0])))
        return 0;
    return static_cast<char16_t>(std::toupper(static_cast<unsigned char>((*value)[0])));
}

int32_t AcRcvPrt::Initialize(bool)
{
    std::string ini = platform::MachineRoot() + "/machine.ini";
    for (const std::string &section : platform::GetPrivateProfileSectionNames(ini))
        if (platform::EqualsNoCase(section, "Partitions"))
            initialized_ = true;
    return initialized_ ? 1 : 0;
}

int32_t AcRcvPrt::AssignWinREPartition(char16_t &letter)
{
    if (!initialized_)
        return 0;
    if (char16_t found = PartitionLetter("WinRE"))
        letter = found;
    return 1;
}

namespace {

// Activation of a partition named in [Partitions]: 0 with its letter, 1 when
// the machine has none.
int32_t ActivePartition(const char *key, char16_t &letter)
{
    const char16_t found = PartitionLetter(key);
    if (!found)
        return 1;
    letter = found;
    return 0;
}

// Its deactivation: 0, or 1 when the machine has no such partition.
int32_t DisablePartition(const char *key) { return PartitionLetter(key) ? 0 : 1; }

} // namespace

int32_t AcRcvPrt::ActiveNorvBootPartition(char16_t &letter) { return ActivePartition("NorvBoot", letter); }

int32_t AcRcvPrt::DisableNorvBootPartition() { return DisablePartition("NorvBoot"); }

int32_t AcRcvPrt::ActiveGPTSystemPartition(char16_t &letter) { return ActivePartition("GPTSystem", letter); }

int32_t AcRcvPrt::DisableGPTSystemPartition() { return DisablePartition("GPTSystem"); }

} // namespace halcyon::support
