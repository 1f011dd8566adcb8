#include "engine/staging/nrvinst_oem.h"

#include "engine/staging/module_log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/environment.h"
#include "platform/host_file.h"
#include "platform/host_path_text.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"

namespace halcyon::modules {

namespace {

constexpr const char *kDefaultPath = "%windir%\\system32\\nrvinst.oem";
constexpr size_t kExpandChars = 260;
constexpr size_t kValueChars = 260; // a 261-character buffer with its NUL

bool PathExists(std::string_view path)
{
    return platform::StatHostPath(platform::HostPath(path)).has_value();
}

// The Windows system folder always exists on a real machine; on a fresh
// emulated machine it is created for the default record file, below the
// drive's folder and through no link.
void EnsureParentFolder(const std::string &path)
{
    size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos || cut == 0)
        return;
    std::string host = platform::TrimHostSeparators(platform::HostPath(path.substr(0, cut)));
    support::CreateConfinedFolders(support::WriteRootOf(path), host);
}

// The record file's data and its folder entry are on disk before the write
// is reported: `rc`, or -1 when the flush fails.
int32_t Durable(const std::string &path, int32_t rc)
{
    if (!PathExists(path))
        return rc;
    if (support::SyncFile(path) != 0 || support::SyncParentFolder(path) != 0)
        return -1;
    return rc;
}

} // namespace

int32_t CheckNrvinstPath(const std::string &path, std::string_view target, std::string_view logPath)
{
    const std::string root = support::WriteRootOf(path, target);
    const std::string host = platform::TrimHostSeparators(platform::HostPath(path));
    support::ConfinedCheck check;
    if (support::CheckConfinedWrite(root, host, &check) == 0)
        return 0;
    LogUnsafeLink("nrvinst.oem", support::DescribeConfinement(check, root, host), logPath);
    return RETURN_UNSAFE_PATH;
}

std::string MakeEPID(std::string_view releaseId)
{
    std::string epid = "EP";
    if (releaseId.size() < 10)
        epid.append(10 - releaseId.size(), '0');
    epid += releaseId;
    return epid;
}

std::string DefaultNrvinstPath()
{
    std::string out;
    if (!platform::ExpandEnvironmentStrings(kDefaultPath, out, kExpandChars))
        return {};
    return out;
}

int32_t WriteEPIDToNrvinstFile(const ModuleRecord *record, std::string_view nrvinstPath, std::string_view logPath)
{
    if (!record)
        return -1;
    // File-system redirection of 32-bit processes does not exist here: the
    // engine is a native process and sees the one system folder.
    std::string path(nrvinstPath);
    const bool byDefault = path.empty();
    if (byDefault) {
        path = DefaultNrvinstPath();
        if (path.empty())
            return -1;
    }
    if (int32_t rc = CheckNrvinstPath(path, {}, logPath))
        return rc;
    if (byDefault)
        EnsureParentFolder(path);
    if (!PathExists(path))
        platform::WritePrivateProfileString("FI", "FI", std::string_view(), path);
    // The skeleton's list; also after a run stopped between the two writes
    // above, so that the list always starts with "1" as in an uninterrupted run.
    if (platform::GetPrivateProfileKeys("Module", path).empty())
        platform::WritePrivateProfileString("Module", "1", std::string_view("End"), path);
    if (record->ReleaseID.empty())
        return Durable(path, -1);
    const std::string epid = MakeEPID(record->ReleaseID);
    if (!platform::EqualsNoCase(record->PartType, "Module") || platform::EqualsNoCase(record->ModuleType, "PE-Module"))
        return Durable(path, 0);

    uint32_t n = 1;
    for (;; ++n) {
        std::string value = platform::GetPrivateProfileString("Module", std::to_string(n), "", path);
        if (value.size() > kValueChars)
            value.resize(kValueChars);
        if (value.empty())
            break;
        if (platform::EqualsNoCase(value, epid))
            return Durable(path, 0);
        if (platform::EqualsNoCase(value, "End"))
            break;
    }
    // "End" goes in first: a run stopped between the two writes then leaves
    // a list that still ends where it did (and the module unrecorded, so it
    // is recorded again next time), never a list without its end marker.
    platform::WritePrivateProfileString("Module", std::to_string(n + 1), std::string_view("End"), path);
    platform::WritePrivateProfileString("Module", std::to_string(n), std::string_view(epid), path);
    return Durable(path, 0);
}

} // namespace halcyon::modules
