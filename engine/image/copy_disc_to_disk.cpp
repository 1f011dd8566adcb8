// CopyDiscToDisk: copies the selected entries of a set of recovery media
// (discs, or a flash medium) to a disk folder.
//
// The media description (nrvhdrcv.ini) says which entry lies on which
// medium; the install plan decides which module folders are wanted. A first
// pass over the description adds up the size of what will be copied, a
// second pass copies, asking the front end through the message callback for
// each medium whose marker file is not found under the source.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/verb.h"
#include "engine/image/media_description.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

namespace halcyon::image {

namespace {

// The option bits of this verb's own option word; other verbs give the same bits other meanings.
constexpr uint64_t kOptionInstallerType = 0x100;
constexpr uint64_t kOptionTemporary = 0x200;
constexpr uint64_t kOptionRecoveryImage = 0x1000;
constexpr uint64_t kOptionModules = 0x2000;
constexpr uint64_t kOptionPeModules = 0x4000;
constexpr uint64_t kOptionOther = 0x8000;
constexpr uint64_t kOptionAll = 0x10000;
constexpr uint64_t kOptionAllToo = 0x200000000ull;
constexpr uint64_t kOptionApp = 0x20000;
constexpr uint64_t kOptionIniStore = 0x80000;
constexpr uint64_t kOptionBasePlus = 0x100000;

constexpr int kCopyRetries = 3;
constexpr const char *kDataPrefix = "sources\\data\\";

// Entries that belong to the media themselves and never go to the disk.
constexpr const char *kMediaOnlyEntries[] = {
    "sources\\Boot", "sources\\EFI",     "sources\\Media",       "Recovery\\WindowsRE\\winre.wim",
    "bootmgr",       "etfsboot.com",     "autorun.inf",          "sources\\autorun",
    "sources\\autorun.inf", "sources\\hdd",
};

// Entries whose copy may fail without failing the run.
constexpr const char *kAutorunEntries[] = {"sources\\autorun", "sources\\autorun.inf", "autorun.inf"};

struct CopyArguments {
    std::string source;
    std::string dest;
    std::string plan;
    std::string mediaIni;
    std::string mediaType;
    std::string installerType;
    uint64_t options = 0;
    WimMessageCallback callback = nullptr;
    void *callbackData = nullptr;
    std::string temporary;
    std::string log;
};

// A folder of the plan that is wanted on the disk, with its size in KB.
struct WantedFolder {
    std::string path; // "sources\" + PathToRelease
    int64_t size = 0;
};

// What a pass does with one media entry.
enum class EntryKind {
    PassedOver,  // "other" entry while other entries are not wanted
    MediaOnly,   // recovery environment or a file of the media themselves
    SplitPart,   // ".nr2" foundation-image part
    Other,       // copied "other" entry (does not count in the total)
    Data,        // module folder of a wanted folder
    DataUnwanted // module folder nobody asked for
};

struct EntryDecision {
    EntryKind kind = EntryKind::PassedOver;
    std::string extension;  // for SplitPart
    size_t folder = 0;      // for Data: index into the wanted folders
};

bool AnyOption(uint64_t options, uint64_t bit) { return (options & (bit | kOptionAll | kOptionAllToo)) != 0; }

bool IsSet(const std::string &value) { return !platform::EqualsNoCase(value, kIniReadError); }

// A plan size in KB: 0 when absent, shorter than 2 characters, malformed or
// negative.
int64_t ParseSize(const std::string &text)
{
    if (!IsSet(text) || text.size() < 2)
        return 0;
    char *end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    return v > 0 ? static_cast<int64_t>(v) : 0;
}

// True when `entry` is `folder` itself or lies inside it.
bool IsInFolder(std::string_view entry, std::string_view folder)
{
    if (folder.empty() || entry.substr(0, folder.size()) != folder)
        return false;
    return entry.size() == folder.size() || entry[folder.size()] == '\\' || entry[folder.size()] == '/' ||
           folder.back() == '\\';
}

bool IsAutorunEntry(std::string_view entry)
{
    for (const char *name : kAutorunEntries)
        if (platform::EqualsNoCase(entry, name))
            return true;
    return false;
}

std::string ParentFolder(const std::string &path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

class DiscCopy {
public:
    explicit DiscCopy(CopyArguments args)
        : a_(std::move(args)), plan_((a_.options & kOptionIniStore) != 0),
          media_((a_.options & kOptionIniStore) != 0),
          ufd_(platform::EqualsNoCase(a_.mediaType, "RUFD"))
    {
    }

    int32_t Run()
    {
        Log("CopyDiscToDisk Start");
        EnsureTrailingBackslash(a_.source);
        EnsureTrailingBackslash(a_.dest);
        if (int32_t rc = SetUp())
            return rc;
        if (int32_t rc = CollectFolders())
            return rc;
        if (int32_t rc = FirstPass())
            return rc;
        if (int32_t rc = SecondPass())
            return rc;
        // Everything copied is on disk before the copy is reported done.
        if (const int err = support::SyncFileSystem(a_.dest)) {
            Log("Error: while flushing the copied media to disk: " + a_.dest + " (errno " + std::to_string(err) +
                ")", 1);
            return RETURN_COPY_FILE;
        }
        Log("CopyDiscToDisk End.");
        return RETURN_SUCCESS;
    }

private:
    void Log(std::string_view text, int echo = 0) const { WriteLog(text, a_.log, echo); }

    int32_t SetUp()
    {
        Log("sSource: " + a_.source);
        if (!support::DirExist(a_.source)) {
            Log("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)");
            Log("sSource: " + a_.source);
            return RETURN_SOURCE_DIR_NOT_EXIST;
        }
        Log("sDest: " + a_.dest, 1);
        if (!support::DirExist(a_.dest)) {
            Log("Error: Can not find the dest path. (RETURN_DEST_DIR_NOT_EXIST)");
            Log("sDest: " + a_.dest);
            return RETURN_DEST_DIR_NOT_EXIST;
        }
        if (!support::RecursiveFolderCreate(a_.dest + "sources"))
            Log("Error: while calling RecursiveFolderCreate function to create the destination.: " + a_.dest +
                "sources");

        if (int32_t rc = LoadPlanAndMediaIni(a_.plan, a_.mediaIni, plan_, media_, a_.log))
            return rc;
        winrePart_ = platform::ToLowerAscii(
            media_.GetString(kMediaSourceSection, kWinrePartKey, "", kMediaValueChars + 1));

        // The media type names the marker files below the source.
        if (!platform::IsSafeRelativePart(MediaKey(a_.mediaType, 1))) {
            Log("Error: the media type does not name a file inside the medium: " + a_.mediaType +
                " (RETURN_UNSAFE_PATH)", 1);
            return RETURN_UNSAFE_PATH;
        }
        return RETURN_SUCCESS;
    }

    int32_t CollectFolders()
    {
        if (AnyOption(a_.options, kOptionRecoveryImage)) {
            std::string releaseName, machineId, pathToRelease, fileName, releaseId;
            if (!LoadGenericImage("", &plan_, releaseName, machineId, pathToRelease, fileName, releaseId, 0x4,
                                  false)) {
                Log("Error: while calling LoadGenericImage function.(RETURN_ERROR_LOAD_GENERIC_IMAGE) (Recovery Image)");
                return RETURN_ERROR_LOAD_GENERIC_IMAGE;
            }
            WantedFolder image{"sources\\" + pathToRelease,
                               ParseSize(plan_.GetString("RecoveryImage", "TotalSize", kIniReadError))};
            total_ = image.size;
            folders_.push_back(image);
            Log("Add the P1 Wim module path to pHalIniFolders: " + image.path);
        }
        if (AnyOption(a_.options, kOptionModules))
            if (int32_t rc = CollectModules("", "Check the module: ", "add the module: ",
                                            "Error: it does not hit the end of the mod section."))
                return rc;
        if (AnyOption(a_.options, kOptionPeModules))
            if (int32_t rc = CollectModules("PE", "Check the PE module: ", "add the PE module: ",
                                            "Error: it does not hit the end of the pe mod section."))
                return rc;
        return RETURN_SUCCESS;
    }

    bool Selected(const ModuleRecord &m) const
    {
        if (platform::EqualsNoCase(m.InstallerType, "Data"))
            return false;
        if ((a_.options & kOptionInstallerType) && !platform::EqualsNoCase(m.InstallerType, a_.installerType))
            return false;
        if ((a_.options & kOptionTemporary) && !platform::EqualsNoCase(m.Temporary, a_.temporary))
            return false;
        if ((a_.options & kOptionBasePlus) && !platform::EqualsNoCase(m.BasePlus, "True"))
            return false;
        return true;
    }

    int32_t CollectModules(const std::string &prefix, const char *checkLine, const char *addLine,
                           const char *badEndLine)
    {
        ModuleRecord record;
        int n = 1;
        int32_t rc = ReadModuleRecord(prefix + std::to_string(n), &plan_, record);
        Log(checkLine + record.PathToRelease);
        while (rc == 0) {
            Log("Module Path: " + record.PathToRelease);
            if (Selected(record)) {
                WantedFolder folder{"sources\\" + record.PathToRelease, ParseSize(record.TotalSize)};
                Log(addLine + folder.path);
                folders_.push_back(folder);
            }
            record.Clear();
            rc = ReadModuleRecord(prefix + std::to_string(++n), &plan_, record);
        }
        if (rc != RETURN_RECORD_END) {
            Log(badEndLine);
            return rc;
        }
        return RETURN_SUCCESS;
    }

    // Classifies an entry the way both passes do (the first pass's
    // OPTION_DISC_APP branch aside).
    EntryDecision Classify(const std::string &entry) const
    {
        EntryDecision d;
        const std::string lower = platform::ToLowerAscii(entry);
        if (lower.rfind(kDataPrefix, 0) != 0) {
            if (!AnyOption(a_.options, kOptionOther))
                return d;
            bool mediaOnly = !winrePart_.empty() && winrePart_.find(lower) != std::string::npos;
            for (const char *name : kMediaOnlyEntries)
                mediaOnly = mediaOnly || platform::EqualsNoCase(entry, name);
            if (mediaOnly) {
                d.kind = EntryKind::MediaOnly;
                return d;
            }
            size_t dot = entry.rfind('.');
            d.extension = dot == std::string::npos ? std::string() : entry.substr(dot);
            d.kind = platform::EqualsNoCase(d.extension, ".nr2") ? EntryKind::SplitPart : EntryKind::Other;
            return d;
        }
        d.kind = EntryKind::DataUnwanted;
        for (size_t i = 0; i < folders_.size(); ++i) {
            if (IsInFolder(lower, platform::ToLowerAscii(folders_[i].path))) {
                d.kind = EntryKind::Data;
                d.folder = i;
                break;
            }
        }
        return d;
    }

    static bool WillCopy(const EntryDecision &d) { return d.kind == EntryKind::Other || d.kind == EntryKind::Data; }

    // Every path this run would join below the source and the destination
    // must stay inside them; checked before anything is copied.
    int32_t CheckEntrySafe(const std::string &entry) const
    {
        if (platform::IsSafeRelativePart(entry))
            return RETURN_SUCCESS;
        Log("Error: the media entry is not a path inside the medium: " + entry + " (RETURN_UNSAFE_PATH)", 1);
        return RETURN_UNSAFE_PATH;
    }

    int32_t FirstPass()
    {
        Log("// First Pass: Figure out the number of files/folders to be copied", 1);
        const bool app = (a_.options & kOptionApp) != 0;
        std::string value;
        for (int n = 1;; ++n) {
            Log("First Pass: sMedia: " + MediaKey(a_.mediaType, n), 1);
            if (!ReadMediaValue(media_, a_.mediaType, n, value))
                break;
            for (const std::string &entry : SplitMediaEntries(value)) {
                Log("First Pass: sToken: " + entry);
                const EntryDecision d = Classify(entry);
                if (WillCopy(d)) {
                    const std::string &joined = app ? (folders_.empty() ? entry : folders_[0].path) : entry;
                    if (int32_t rc = CheckEntrySafe(joined))
                        return rc;
                }
                if (app) {
                    Log("OPTION_DISC_APP", 1);
                    if (!folders_.empty() && IsInFolder(entry, folders_[0].path)) {
                        Log("First Pass: It will be copy: " + entry);
                        total_ += folders_[0].size;
                    }
                    continue;
                }
                LogDecision("First Pass: ", entry, d);
                if (d.kind == EntryKind::Data)
                    total_ += folders_[d.folder].size;
            }
        }
        return RETURN_SUCCESS;
    }

    void LogDecision(const std::string &pass, const std::string &entry, const EntryDecision &d) const
    {
        const bool first = pass == "First Pass: ";
        switch (d.kind) {
        case EntryKind::PassedOver:
            return;
        case EntryKind::MediaOnly:
        case EntryKind::SplitPart:
        case EntryKind::Other:
            Log(pass + "It is Option: OPTION_DISC_OTHER, OPTION_DISC_ALL", 1);
            if (d.kind == EntryKind::MediaOnly)
                Log(pass + "It will not be copied " + entry);
            else if (d.kind == EntryKind::SplitPart)
                Log(pass + "It will be not copy .nr2: " + d.extension);
            else
                Log(pass + "It will be copied " + entry);
            return;
        case EntryKind::Data:
        case EntryKind::DataUnwanted:
            Log(first ? "Find sources\\data\\" : "Find sources\\data\\: ", 1);
            if (d.kind == EntryKind::Data)
                Log(first ? "First Pass: we found it, it's ok to copy " : "Second Pass: It will be copied");
            else
                Log(pass + "we do not found it, do not copy!");
            return;
        }
    }

    int32_t SecondPass()
    {
        Log("Second Pass: Read the Norv HDD Recovery INI and copy the files/folders", 1);
        std::string value;
        for (int n = 1;; ++n) {
            const std::string key = MediaKey(a_.mediaType, n);
            Log("Second Pass: sMedia: " + key);
            if (!ReadMediaValue(media_, a_.mediaType, n, value)) {
                Log("Second Pass: Error: INI_READ_ERROR");
                return RETURN_SUCCESS;
            }
            for (const std::string &entry : SplitMediaEntries(value)) {
                Log("Second Pass: sToken: " + entry);
                const EntryDecision d = Classify(entry);
                LogDecision("Second Pass: ", entry, d);
                if (!WillCopy(d))
                    continue;
                if (int32_t rc = CopyEntry(entry, key, n))
                    return rc;
            }
        }
    }

    int32_t WaitForMedium(const std::string &key, int n)
    {
        Log("Prepare Copying:");
        Log("SMedia: " + a_.source + "sources\\" + key);
        const std::string marker = MediaMarkerPath(a_.source, a_.mediaType, n);
        while (!support::FileExist(marker)) {
            // Without a callback nobody can insert the medium.
            if (!a_.callback || a_.callback(0, 0, static_cast<intptr_t>(n), a_.callbackData) != 0) {
                Log("Error: RETURN_INSERT_DISC");
                return RETURN_INSERT_DISC;
            }
        }
        return RETURN_SUCCESS;
    }

    // The copy functions count bytes; the plan's sizes are kilobytes.
    uint64_t TotalBytes() const { return static_cast<uint64_t>(total_) * 1024; }

    void LogProgress() const
    {
        Log("CopyDiscToDisk: CopiedSize: " + std::to_string(copied_ / 1024) +
            ", TotalSize: " + std::to_string(total_) + " ");
    }

    int32_t CopyFolder(const std::string &from, const std::string &to, std::string_view mask)
    {
        return ufd_ ? support::CopyFolderByStreamFromUFD(from, to, mask, a_.callback, a_.callbackData, &copied_,
                                                         TotalBytes(), kCopyRetries)
                    : support::CopyFolderByStreamFromCDROM(from, to, mask, a_.callback, a_.callbackData, &copied_,
                                                           TotalBytes(), kCopyRetries);
    }

    int32_t CopyFile(const std::string &from, const std::string &to)
    {
        // A file deeper than the media's root needs its folder on the disk.
        const std::string parent = ParentFolder(to);
        if (!parent.empty())
            support::RecursiveFolderCreate(parent);
        return ufd_ ? support::CopyFileByStreamFromUFD(from, to, a_.callback, a_.callbackData, &copied_,
                                                       TotalBytes(), kCopyRetries)
                    : support::CopyFileByStreamFromCDROM(from, to, a_.callback, a_.callbackData, &copied_,
                                                         TotalBytes(), kCopyRetries);
    }

    // Neither end of an entry's copy may pass through a symbolic link below
    // the roots: the medium's would copy whatever it points to, the disk's
    // would write there.
    int32_t CheckJoined(const std::string &from, const std::string &to) const
    {
        const std::pair<const std::string *, const std::string *> ends[] = {{&a_.source, &from}, {&a_.dest, &to}};
        for (const auto &[root, path] : ends) {
            const std::string hostRoot = platform::HostPath(*root);
            const std::string hostPath = platform::HostPath(*path);
            const support::ConfinedCheck check = support::CheckConfinedPath(hostRoot, hostPath);
            if (check.result == support::Confinement::Link || check.result == support::Confinement::Outside) {
                Log("Error: " + support::DescribeConfinement(check, hostRoot, hostPath) + " (RETURN_UNSAFE_PATH)", 1);
                return RETURN_UNSAFE_PATH;
            }
        }
        return RETURN_SUCCESS;
    }

    int32_t CopyEntry(const std::string &entry, const std::string &key, int n)
    {
        const bool app = (a_.options & kOptionApp) != 0;
        if (app && folders_.empty()) {
            Log("Prepare Copying: OPTION_DISC_APP: no folder selected, nothing to copy");
            return RETURN_SUCCESS;
        }
        if (int32_t rc = WaitForMedium(key, n))
            return rc;
        if (app) {
            const std::string &folder = folders_[0].path;
            Log("Prepare Copying: OPTION_DISC_APP");
            Log("Copy *.app File: ");
            Log("Source: " + a_.source + folder);
            Log("dest: " + a_.dest + folder);
            if (int32_t rc = CheckJoined(a_.source + folder, a_.dest + folder))
                return rc;
            const int32_t rc = CopyFolder(a_.source + folder, a_.dest + folder, "\\*.app");
            LogProgress();
            if (rc != 0) {
                Log("Error: while calling CopyFolderStream function.(RETURN_COPY_FILE), Return: " +
                    std::to_string(support::CopyErrorCode(rc)));
                LogCopyFailure(rc);
                return RETURN_COPY_FILE;
            }
            return RETURN_SUCCESS;
        }
        const std::string from = a_.source + entry;
        const std::string to = a_.dest + entry;
        Log("Source: " + from);
        Log("dest: " + to);
        if (int32_t rc = CheckJoined(from, to))
            return rc;
        const int32_t rc = support::DirExist(from) ? CopyFolder(from, to, "\\*.*") : CopyFile(from, to);
        LogProgress();
        if (rc != 0 && !IsAutorunEntry(entry)) {
            Log("Error: fail to copy if it is not related to autorun. Return: " +
                std::to_string(support::CopyErrorCode(rc)));
            LogCopyFailure(rc);
            return RETURN_COPY_FILE;
        }
        return RETURN_SUCCESS;
    }

    // The file that could not be written, and why.
    void LogCopyFailure(int32_t rc)
    {
        const std::string path = support::LastCopyFailurePath();
        if (support::CopyErrorCode(rc) == 112)
            Log("Error: the disk is full: cannot write " + path);
        else if (!path.empty())
            Log("Error: cannot write " + path + " (errno " + std::to_string(rc) + ")");
    }

    CopyArguments a_;
    support::CMemoryIniIO plan_;
    support::CMemoryIniIO media_;
    const bool ufd_;
    std::string winrePart_;
    std::vector<WantedFolder> folders_;
    int64_t total_ = 0;
    uint64_t copied_ = 0;
};

} // namespace

} // namespace halcyon::image

using namespace halcyon;

extern "C" HALCYON_API int32_t CopyDiscToDisk(const char *source, const char *dest, const char *plan,
                                              const char *nrvhdrcv, const char *media_type,
                                              const char *installer_type, uint64_t options, WimMessageCallback cb,
                                              void *cb_data, const char *temporary, const char *log)
{
    return frame::RunVerb<int32_t>("CopyDiscToDisk", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        image::CopyArguments args{frame::Arg(source),   frame::Arg(dest),
                                  frame::Arg(plan),     frame::Arg(nrvhdrcv),
                                  frame::Arg(media_type), frame::Arg(installer_type),
                                  options,              cb,
                                  cb_data,              frame::Arg(temporary),
                                  frame::Arg(log)};
        return image::DiscCopy(std::move(args)).Run();
    });
}
