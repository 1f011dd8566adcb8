// CompareNrvIniToHalIni: checks that the recovery discs described by
// nrvhdrcv.ini carry every folder a recovery needs: the permanent, non-data
// modules of the plan, the recovery image and the operating-system image.
// Writes no log and changes nothing.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/frame/plan_records.h"
#include "engine/frame/verb.h"
#include "engine/image/media_description.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

namespace halcyon::image {

namespace {

// The option bits of this verb's own option word; other verbs give the same bits other meanings.
constexpr uint64_t kOptionIniStore = 0x80000;
constexpr uint64_t kOptionBasePlus = 0x100000;

constexpr size_t kMaxFolders = 1000;
constexpr int32_t kTooManyFolders = 91;
constexpr int32_t kFolderNotOnDisc = 92;
constexpr int32_t kRecoveryImageIncomplete = 94;
constexpr int32_t kImageIncomplete = 95;

// The check always looks at the recovery discs.
constexpr const char *kDiscMediaType = "RDVD";

// True when one entry of the disc's list is `folder` itself or lies inside
// it (compared with case).
bool DiscHolds(const std::string &discValue, const std::string &folder)
{
    for (const std::string &entry : SplitMediaEntries(discValue)) {
        if (entry.compare(0, folder.size(), folder) != 0)
            continue;
        if (entry.size() == folder.size() || entry[folder.size()] == '\\' || folder.back() == '\\')
            return true;
    }
    return false;
}

int32_t Append(std::vector<std::string> &folders, std::string folder)
{
    if (folders.size() >= kMaxFolders)
        return kTooManyFolders;
    folders.push_back(std::move(folder));
    return RETURN_SUCCESS;
}

int32_t CollectModules(const support::CMemoryIniIO &plan, uint64_t options, std::vector<std::string> &folders)
{
    ModuleRecord record;
    int32_t rc = 0;
    for (int n = 1; (rc = ReadModuleRecord(std::to_string(n), &plan, record)) == 0; ++n) {
        const bool taken = platform::EqualsNoCase(record.Temporary, "False") &&
                           !platform::EqualsNoCase(record.InstallerType, "Data") &&
                           ((options & kOptionBasePlus) == 0 || platform::EqualsNoCase(record.BasePlus, "True"));
        if (taken)
            if (int32_t full = Append(folders, "sources\\" + record.PathToRelease))
                return full;
        record.Clear();
    }
    return rc == RETURN_RECORD_END ? RETURN_SUCCESS : rc;
}

int32_t CollectImage(const support::CMemoryIniIO &plan, uint64_t imageOption, int32_t incomplete,
                     std::vector<std::string> &folders)
{
    std::string releaseName, machineId, pathToRelease, fileName, releaseId;
    if (!LoadGenericImage("", &plan, releaseName, machineId, pathToRelease, fileName, releaseId, imageOption, false))
        return incomplete;
    return Append(folders, "sources\\" + pathToRelease);
}

int32_t Compare(const std::string &mediaIni, const std::string &planPath, uint64_t options)
{
    if (!support::FileExist(mediaIni))
        return RETURN_RCVINI_NOEXIST;
    if (!support::FileExist(planPath))
        return RETURN_HALINI_NOEXIST;
    const bool flag = (options & kOptionIniStore) != 0;
    support::CMemoryIniIO plan(flag), media(flag);
    if (!plan.LoadFile(planPath) || !media.LoadFile(mediaIni))
        return RETURN_UNABLE_OPEN_INI;

    std::vector<std::string> folders;
    if (int32_t rc = CollectModules(plan, options, folders))
        return rc;
    if (int32_t rc = CollectImage(plan, 0x4, kRecoveryImageIncomplete, folders))
        return rc;
    if (int32_t rc = CollectImage(plan, 0, kImageIncomplete, folders))
        return rc;

    const std::vector<std::string> discs = ReadMediaValues(media, kDiscMediaType);
    for (const std::string &folder : folders) {
        bool found = false;
        for (const std::string &disc : discs)
            if ((found = DiscHolds(disc, folder)))
                break;
        if (!found)
            return kFolderNotOnDisc;
    }
    return RETURN_SUCCESS;
}

} // namespace

} // namespace halcyon::image

using namespace halcyon;

extern "C" HALCYON_API int32_t CompareNrvIniToHalIni(const char *nrvhdrcv, const char *plan, uint64_t options)
{
    return frame::RunVerb<int32_t>("CompareNrvIniToHalIni", static_cast<int32_t>(RETURN_INTERNAL_ERROR),
                                   [&]() -> int32_t {
                                       return image::Compare(frame::Arg(nrvhdrcv), frame::Arg(plan), options);
                                   });
}
