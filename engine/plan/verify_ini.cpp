#include "engine/plan/verify_ini.h"

#include <string>

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/ini/ini_store.h"

namespace halcyon {

namespace {

constexpr size_t kValueChars = 260;

// The three keys of an image section: code when absent, code when shorter
// than two characters.
struct ImageKey {
    const char *name;
    int32_t absent;
    int32_t tooShort;
};
constexpr ImageKey kImageKeys[] = {
    {"ReleaseName", 19, 12},
    {"ReleaseID", 20, 13},
    {"PathToRelease", 21, 14},
};

int32_t CheckImageSection(const support::CMemoryIniIO &store, std::string_view section)
{
    for (const ImageKey &k : kImageKeys) {
        std::string v = store.GetString(section, k.name, kIniReadError, kValueChars);
        if (platform::EqualsNoCase(v, kIniReadError))
            return k.absent;
        if (Utf8Chars(v) < 2)
            return k.tooShort;
    }
    return 0;
}

// Reads the family's members 1, 2, ... up to its terminator. The module
// families ("%d", "PE%d") must name how their results are judged; the
// applications of the image are not judged by the field.
int32_t CheckFamily(const support::CMemoryIniIO &store, std::string_view prefix, std::string_view logPath)
{
    const bool judged = prefix != "Image App";
    ModuleRecord record;
    std::string section;
    for (uint64_t n = 1;; ++n) {
        section.assign(prefix);
        section += std::to_string(n);
        int32_t rc = ReadModuleRecord(section, &store, record);
        if (rc == RETURN_RECORD_END)
            return 0;
        if (rc != 0)
            return rc;
        if (judged && !IsKnownVerificationType(record.VerificationType)) {
            WriteLog(UnknownVerificationTypeLine(section, record.VerificationType), logPath, 1);
            return RETURN_UNKNOWN_VERIFICATION_TYPE;
        }
    }
}

} // namespace

bool IsKnownVerificationType(std::string_view value)
{
    return value == "ReturnCode" || value == "VerCheckAfter" || value == "None";
}

std::string UnknownVerificationTypeLine(std::string_view section, std::string_view value)
{
    return "Error: [" + std::string(section) + "] VerificationType='" + std::string(value) +
           "' is not one of ReturnCode, VerCheckAfter, None (exact case); the module's result could not be judged. "
           "(RETURN_UNKNOWN_VERIFICATION_TYPE)";
}

int32_t VerifyIni(const support::CMemoryIniIO &store, std::string_view logPath, uint64_t options)
{
    if (WriteLog("Verifying INI", logPath, 1) != 0)
        return 27;

    int32_t result = 0;
    if (store.SectionExists("Image")) {
        if (int32_t rc = CheckImageSection(store, "Image"))
            return rc;
    } else {
        result = 89;
    }
    if (store.SectionExists("RecoveryImage")) {
        if (int32_t rc = CheckImageSection(store, "RecoveryImage"))
            return rc;
    } else if ((options & kVerifyAllowNoRecoveryImage) == 0) {
        result = 90;
    }

    for (std::string_view prefix : {"", "PE", "Image App"})
        if (int32_t rc = CheckFamily(store, prefix, logPath))
            return rc;
    return result;
}

} // namespace halcyon

namespace halcyon {

const char *VerifyIniResultText(int32_t code)
{
    switch (code) {
    case 0: return "the plan is sound";
    case 12: return "an image section's ReleaseName is shorter than 2 characters";
    case 13: return "an image section's ReleaseID is shorter than 2 characters";
    case 14: return "an image section's PathToRelease is shorter than 2 characters";
    case 19: return "an image section has no ReleaseName";
    case 20: return "an image section has no ReleaseID";
    case 21: return "an image section has no PathToRelease";
    case 26: return "no plan given";
    case 27: return "the log file cannot be written";
    case 89: return "the plan has no [Image] section";
    case 90: return "the plan has no [RecoveryImage] section";
    case 98: return "a module section lacks a required key (or a module family has no members and no End section)";
    case 9010: return "a module's VerificationType is not exactly ReturnCode, VerCheckAfter or None";
    default: return "";
    }
}

} // namespace halcyon
