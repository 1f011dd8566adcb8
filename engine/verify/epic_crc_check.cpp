// EpicCrcCheck: checks every module folder named by a plan-shaped INI
// against its folder CRC manifest, list by list ("%d", "PE%d", "Image%d",
// "RecoveryImage%d"), and stops at the first folder that fails.
#include <filesystem>
#include <string>
#include <system_error>

#include "engine/frame/folder_crc.h"
#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

constexpr int32_t kCrcCheckFailed = 112;
constexpr uint64_t kIniStoreFlag = 0x80000;

// The numbered lists checked, in order. The plan builders always end the
// module lists "%d" and "PE%d" with their terminator, so a plan without them
// is no module plan; the image lists appear only in INIs of other origin,
// and a plan without them has nothing to check there.
struct ModuleList {
    const char *prefix;
    bool optional;
};
constexpr ModuleList kLists[] = {{"", false}, {"PE", false}, {"Image", true}, {"RecoveryImage", true}};

bool EndsWithSeparator(const std::string &path)
{
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// The folder as the CRC check takes it: a full host path without ".",
// ".." or doubled separators (the check lists such paths only, as the
// Windows file functions would resolve them); a relative path is taken from
// the current folder.
std::string CheckablePath(const std::string &folder)
{
    std::filesystem::path mapped = platform::FsPath(platform::MapPathText(folder));
    if (!mapped.is_absolute()) {
        std::error_code ec;
        const std::filesystem::path current = std::filesystem::current_path(ec);
        if (ec)
            return folder;
        mapped = current / mapped;
    }
    return platform::PathUtf8(mapped.lexically_normal());
}

// A data module may have no folder at all (the record reader lets its
// PathToRelease be absent); there is nothing to check then.
bool IsDataModuleWithoutFolder(const ModuleRecord &record)
{
    return platform::EqualsNoCase(record.InstallerType, "Data") &&
           platform::EqualsNoCase(record.PathToRelease, kIniReadError);
}

class EpicCrcRun {
public:
    EpicCrcRun(std::string ini, std::string source, std::string log, uint64_t options)
        : ini_(std::move(ini)), source_(std::move(source)), log_(std::move(log)),
          store_((options & kIniStoreFlag) != 0)
    {
    }

    int32_t Run()
    {
        if (!source_.empty() && !EndsWithSeparator(source_))
            source_ += '\\';
        WriteLog("EpicCrcCheck Start", log_, 0);
        if (!support::DirExist(source_)) {
            WriteLog("Error: Can not find the source.", log_, 0);
            WriteLog("sSrc: " + source_, log_, 0);
            return RETURN_SOURCE_DIR_NOT_EXIST;
        }
        if (ini_.find_first_of("\\/") == std::string::npos)
            ini_ = ".\\" + ini_;
        // A folder reads as an empty file on this platform; it is no INI.
        if (support::DirExist(ini_) || !store_.LoadFile(ini_)) {
            WriteLog("Error: Load ini file error.", log_, 0);
            WriteLog("sIni: " + ini_, log_, 0);
            return RETURN_UNABLE_OPEN_INI;
        }
        for (const ModuleList &list : kLists) {
            if (list.optional && !store_.SectionExists(std::string(list.prefix) + "1"))
                continue;
            if (const int32_t rc = CheckList(list.prefix))
                return rc;
        }
        WriteLog("EpicCrcCheck End", log_, 0);
        return RETURN_SUCCESS;
    }

private:
    int32_t CheckList(const std::string &prefix)
    {
        for (long n = 1;; ++n) {
            const std::string section = prefix + std::to_string(n);
            const int32_t rc = ReadModuleRecord(section, &store_, record_);
            if (rc == RETURN_RECORD_END)
                return 0;
            if (rc != 0)
                return rc;
            if (const int32_t checked = CheckModule(section))
                return checked;
        }
    }

    int32_t CheckModule(const std::string &section)
    {
        if (IsDataModuleWithoutFolder(record_)) {
            WriteLog("Skipping " + section + ": the data module has no folder.", log_, 0);
            return 0;
        }
        if (!platform::IsSafeRelativePart(record_.PathToRelease)) {
            WriteLog("Error: the plan value PathToRelease='" + record_.PathToRelease + "' of section " + section +
                         " would lead outside the source folder. (RETURN_UNSAFE_PATH)",
                     log_, 1);
            return RETURN_UNSAFE_PATH;
        }
        const std::string folder = source_ + record_.PathToRelease;
        if (const int32_t rc = WriteLog("Checking " + section + ": " + folder, log_, 1))
            return rc;
        std::string message;
        const int32_t result = frame::CheckFolder(CheckablePath(folder), message);
        if (result == 0)
            return 0;
        if (const int32_t rc = WriteLog("CRC Error: " + std::to_string(result) + "\n", log_, 1))
            return rc;
        return kCrcCheckFailed;
    }

    std::string ini_;
    std::string source_;
    std::string log_;
    support::CMemoryIniIO store_;
    ModuleRecord record_;
};

} // namespace

extern "C" HALCYON_API int32_t EpicCrcCheck(const char *ini, const char *source, const char *unused, const char *log,
                                            uint64_t options)
{
    return frame::RunVerb<int32_t>("EpicCrcCheck", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        (void)unused;
        EpicCrcRun run(frame::Arg(ini), frame::Arg(source), frame::Arg(log), options);
        return run.Run();
    });
}
