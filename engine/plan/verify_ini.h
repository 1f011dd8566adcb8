// The plan check: an install plan held in an INI store is checked for a
// named foundation and recovery image and for module families that read
// member by member up to their "End" section.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyon::support {
class CMemoryIniIO;
}

namespace halcyon {

// Option bit of VerifyIni: a plan without [RecoveryImage] is accepted.
inline constexpr uint64_t kVerifyAllowNoRecoveryImage = 0x4000000000ULL;

// Checks the plan in `store`. Returns 0 when it is sound; 27 when the log
// cannot be written; 19/20/21 for an image section without ReleaseName,
// ReleaseID or PathToRelease and 12/13/14 when one of them is shorter than
// two characters; the first code other than 0 and 97 that ReadModuleRecord
// gives for a member of the families "%d", "PE%d", "Image App%d" (98 for a
// member with a required key missing); otherwise 89 when [Image] is absent,
// 90 when [RecoveryImage] is absent (unless option bit 38 is set).
// A member of "%d" or "PE%d" whose VerificationType is not one of the exact
// words below (an absent or empty value included) gives 9010 with a line
// naming its section (echoed).
// Changes nothing.
int32_t VerifyIni(const support::CMemoryIniIO &store, std::string_view logPath, uint64_t options);

} // namespace halcyon

namespace halcyon {

// True for the exact (case-sensitive) words a module's VerificationType may
// hold: "ReturnCode", "VerCheckAfter" and "None" (no verification).
bool IsKnownVerificationType(std::string_view value);

// The line that refuses a module's VerificationType.
std::string UnknownVerificationTypeLine(std::string_view section, std::string_view value);

// A short operator's text for a VerifyIni result ("" for codes it does not
// give).
const char *VerifyIniResultText(int32_t code);

} // namespace halcyon
