// Readers of the install plan: one numbered module section into a
// ModuleRecord, and the image description of [Image] / [RecoveryImage].
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/ini/ini_store.h"

namespace halcyon {

// The default every plan read passes; a value equal to it means "absent".
inline constexpr const char *kIniReadError = "INI READ ERROR!";

// One module section of the plan, field by field as the keys are named.
struct ModuleRecord {
    std::string ReleaseName;
    std::string ReleaseID;
    std::string PathToRelease;
    std::string SetupFile;
    std::string CmdLineArgs;
    std::string VerCheckAfter;
    std::string VersionPath;
    std::string VerificationType;
    std::string VerificationMode;
    std::string Temporary;
    std::string Recoverable;
    std::string PartType;
    std::string ModuleType;
    std::string InstallerType;
    std::string MajorVersion;
    std::string DetailedVersion;
    std::string CustomerLabel;
    std::string BasePlus;
    std::string InstallAfterOOBE;
    std::string PartId;
    std::string RebootBefore;
    std::string RebootAfter;
    std::string TotalSize;

    void Clear() { *this = ModuleRecord{}; }
};

// Reads section `section` ("1", "PE3", ...) into `record`.
// 0: filled; 97: the section holds "End"; 98: a required key is absent or
// shorter than required (record cleared); 26: no store.
int32_t ReadModuleRecord(std::string_view section, const support::CMemoryIniIO *store, ModuleRecord &record);

// Number of characters of UTF-8 text (the plan's values are counted in
// characters, not bytes).
size_t Utf8Chars(std::string_view s);

// Reads the image description ([Image], or [RecoveryImage] with option bit
// 0x4) and, when `findImageFile` is set, finds the image file in
// base + PathToRelease: "*.wim" for the recovery image, "Norv1.nr2" among
// the "*.nr2" parts, or the first "system.*" with option bit 0x200000.
// False when a required value is missing or no file is found.
// The machine ID ("RMID" when the machine carries its RMID in OEM string 1,
// else "BLID") is read from [Image] only.
bool LoadGenericImage(std::string_view baseFolder, const support::CMemoryIniIO *store, std::string &releaseName,
                      std::string &machineId, std::string &pathToRelease, std::string &imageFileName,
                      std::string &releaseId, uint64_t options, bool findImageFile);

} // namespace halcyon
