#include "engine/frame/plan_records.h"

#include <algorithm>
#include <vector>

#include "platform/folder_list.h"
#include "platform/path_map.h"
#include "support/wdmi/wdmi.h"

namespace halcyon {

namespace {

constexpr size_t kValueChars = 260;

bool Absent(const std::string &v) { return platform::EqualsNoCase(v, kIniReadError); }

// Names in `folder` (Windows path text) matching `pattern`, in name order
// without regard to case, as a directory listing of the target system gives
// them.
std::vector<std::string> FindFiles(const std::string &folder, std::string_view pattern)
{
    std::vector<std::string> names;
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(platform::HostPath(folder), entries) != 0)
        return names;
    for (platform::FolderEntry &e : entries)
        if (platform::WildcardMatch(pattern, e.name))
            names.push_back(std::move(e.name));
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return platform::ToLowerAscii(a) < platform::ToLowerAscii(b);
    });
    return names;
}

} // namespace

int32_t ReadModuleRecord(std::string_view section, const support::CMemoryIniIO *store, ModuleRecord &r)
{
    r.Clear();
    if (!store)
        return 26;
    if (!Absent(store->GetString(section, "End", kIniReadError, kValueChars)))
        return 97;

    enum Rule { Optional, Required, RequiredTwo, PathRule };
    struct Key {
        const char *name;
        std::string ModuleRecord::*field;
        Rule rule;
    };
    static const Key keys[] = {
        {"InstallAfterOOBE", &ModuleRecord::InstallAfterOOBE, Optional},
        {"PartId", &ModuleRecord::PartId, Required},
        {"InstallerType", &ModuleRecord::InstallerType, Required},
        {"ReleaseName", &ModuleRecord::ReleaseName, RequiredTwo},
        {"ReleaseID", &ModuleRecord::ReleaseID, RequiredTwo},
        {"PathToRelease", &ModuleRecord::PathToRelease, PathRule},
        {"SetupFile", &ModuleRecord::SetupFile, Required},
        {"MajorVersion", &ModuleRecord::MajorVersion, Required},
        {"DetailedVersion", &ModuleRecord::DetailedVersion, Required},
        {"BasePlus", &ModuleRecord::BasePlus, Required},
        {"CmdLineArgs", &ModuleRecord::CmdLineArgs, Optional},
        {"VerCheckAfter", &ModuleRecord::VerCheckAfter, Optional},
        {"VersionPath", &ModuleRecord::VersionPath, Optional},
        {"VerificationType", &ModuleRecord::VerificationType, Optional},
        {"VerificationMode", &ModuleRecord::VerificationMode, Optional},
        {"Temporary", &ModuleRecord::Temporary, Required},
        {"Recoverable", &ModuleRecord::Recoverable, Required},
        {"PartType", &ModuleRecord::PartType, Required},
        {"ModuleType", &ModuleRecord::ModuleType, Optional},
        {"CustomerLabel", &ModuleRecord::CustomerLabel, Optional},
        {"RebootBefore", &ModuleRecord::RebootBefore, Optional},
        {"RebootAfter", &ModuleRecord::RebootAfter, Optional},
        {"TotalSize", &ModuleRecord::TotalSize, Required},
    };

    int errors = 0;
    for (const Key &k : keys) {
        std::string v = store->GetString(section, k.name, kIniReadError, kValueChars);
        bool absent = Absent(v);
        switch (k.rule) {
        case Optional:
            if (absent)
                v.clear();
            break;
        case Required:
            if (absent)
                ++errors;
            break;
        case RequiredTwo:
            if (absent || Utf8Chars(v) < 2)
                ++errors;
            break;
        case PathRule:
            // InstallerType is read before PathToRelease.
            if ((absent || Utf8Chars(v) < 2) && !platform::EqualsNoCase(r.InstallerType, "Data"))
                ++errors;
            break;
        }
        r.*k.field = std::move(v);
    }
    if (errors != 0) {
        r.Clear();
        return 98;
    }
    return 0;
}

bool LoadGenericImage(std::string_view baseFolder, const support::CMemoryIniIO *store, std::string &releaseName,
                      std::string &machineId, std::string &pathToRelease, std::string &imageFileName,
                      std::string &releaseId, uint64_t options, bool findImageFile)
{
    if (!store)
        return false;
    const bool recovery = (options & 0x4) != 0;
    const char *section = recovery ? "RecoveryImage" : "Image";

    auto read = [&](const char *key, std::string &out) {
        std::string v = store->GetString(section, key, kIniReadError, kValueChars);
        if (Absent(v) || Utf8Chars(v) < 2)
            return false;
        out = std::move(v);
        return true;
    };
    if (!read("ReleaseName", releaseName) || !read("PathToRelease", pathToRelease) || !read("ReleaseID", releaseId))
        return false;
    if (!recovery && !read(support::IsRMIDOnOEMString1() ? "RMID" : "BLID", machineId))
        return false;
    if (!findImageFile)
        return true;

    std::string folder = std::string(baseFolder) + pathToRelease;
    if (recovery) {
        auto found = FindFiles(folder, "*.wim");
        if (found.empty())
            return false;
        imageFileName = found.front();
        return true;
    }
    if ((options & 0x200000) == 0) {
        for (const auto &name : FindFiles(folder, "*.nr2")) {
            if (platform::EqualsNoCase(name, "Norv1.nr2")) {
                imageFileName = name;
                return true;
            }
        }
        return false;
    }
    auto found = FindFiles(folder, "system.*");
    if (found.empty())
        return false;
    imageFileName = found.front();
    return true;
}

size_t Utf8Chars(std::string_view s)
{
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace halcyon
