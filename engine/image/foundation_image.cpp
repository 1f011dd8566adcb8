#include "engine/image/foundation_image.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "engine/frame/log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/file_attributes.h"
#include "platform/fs_path.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"

namespace fs = std::filesystem;

namespace halcyon::image {

namespace {

constexpr const char *kIniReadError = "INI READ ERROR!";
constexpr size_t kListBufferChars = 16384;
constexpr int32_t kJoinFailed = 125;
constexpr int32_t kExportFailed = 126;

void CourierLog(std::string_view text, std::string_view logPath) { WriteLog(text, logPath, 0); }

// The comma-separated pieces of a list value, empty pieces left out.
std::vector<std::string> SplitList(const std::string &value)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= value.size()) {
        const size_t comma = value.find(',', start);
        const size_t end = comma == std::string::npos ? value.size() : comma;
        if (end > start)
            pieces.push_back(value.substr(start, end - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return pieces;
}

// Whether the piece's extension (from its last ".") is ".nr2".
bool IsPartEntry(const std::string &piece)
{
    const size_t dot = piece.rfind('.');
    return platform::EqualsNoCase(dot == std::string::npos ? piece : piece.substr(dot), ".nr2");
}

// The piece after its last backslash.
std::string EntryName(const std::string &piece)
{
    const size_t slash = piece.rfind('\\');
    return slash == std::string::npos ? piece : piece.substr(slash + 1);
}

// True when both texts name the same existing file.
bool SameFile(const std::string &a, const std::string &b)
{
    std::error_code ec;
    return fs::equivalent(platform::FsPath(platform::HostPath(a)), platform::FsPath(platform::HostPath(b)), ec) && !ec;
}

} // namespace

CGetFoundationImage::CGetFoundationImage(const std::string &source, const std::string &dest,
                                         const std::string &exportArg, const support::CMemoryIniIO *plan,
                                         const support::CMemoryIniIO *nrvhdrcv, const std::string &logPath,
                                         const std::string &mediaType, WimCourierCallback callback,
                                         void *callbackData)
    : source_(source), dest_(dest), logPath_(logPath), targetImage_(dest + "\\" + kFoundationImageName),
      exportArg_(exportArg), mediaType_(mediaType), plan_(plan), m_pNrvhdrcvIni(nrvhdrcv), callback_(callback),
      callbackData_(callbackData)
{
    wim_.InitInterface();
    wim_.SetLogWriter(&CourierLog);
    wim_.SetLogFilePath(logPath_);
    wim_.SetCallBack(callback_, callbackData_);
}

CGetFoundationImage::~CGetFoundationImage()
{
    wim_.WaitInterface();
    wim_.UnInitInterface();
}

void CGetFoundationImage::Log(const std::string &text) const { WriteLog(text, logPath_, 0); }

bool CGetFoundationImage::ReadMediaKey(int n, std::string &value) const
{
    value = m_pNrvhdrcvIni->GetString(MediaSection(), MediaKey(n), kIniReadError, kListBufferChars);
    return value != kIniReadError;
}

bool CGetFoundationImage::WaitForDisc(const std::string &source, int n, bool logEachCheck)
{
    const std::string key = MediaKey(n);
    if (!platform::IsSafeRelativePart(key)) {
        Log("Error: the disc marker name is not a safe file name: " + key + " (RETURN_UNSAFE_PATH)");
        return false;
    }
    const std::string marker = source + key;
    while (!support::FileExist(marker)) {
        if (logEachCheck)
            Log("Check file exist: " + marker);
        if (!callback_) {
            // Nobody to ask for the disc: waiting would never end.
            Log("Error: no callback to ask for disc " + std::to_string(n) + ". Marker: " + marker);
            return false;
        }
        callback_(kInsertDiscMessage, n, callbackData_);
    }
    return true;
}

void CGetFoundationImage::RemoveGatherFolder(const std::string &folder) const
{
    support::RemoveTreeNoFollow(platform::HostPath(folder));
}

bool CGetFoundationImage::Confined(const std::string &root, const std::string &path) const
{
    const std::string hostRoot = platform::HostPath(root);
    const std::string hostPath = platform::HostPath(path);
    const support::ConfinedCheck check = support::CheckConfinedPath(hostRoot, hostPath);
    if (check.result != support::Confinement::Link && check.result != support::Confinement::Outside)
        return true;
    Log("Error: " + support::DescribeConfinement(check, hostRoot, hostPath) + " (RETURN_UNSAFE_PATH)");
    return false;
}

int32_t CGetFoundationImage::GetFoundationImage()
{
    Log("INFO: CGetFoundationImage::GetFoundationImage Start");
    int32_t result = RETURN_SUCCESS;
    if (!support::DirExist(source_)) {
        Log("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)");
        Log("sSource: " + source_);
        result = RETURN_SOURCE_DIR_NOT_EXIST;
    } else if (!plan_) {
        Log("Error: halcyon.ini pointer is NULL.");
        result = RETURN_UNABLE_OPEN_INI;
    } else if (!m_pNrvhdrcvIni) {
        Log("Error: nrvhdrcv.ini pointer is NULL.");
        result = RETURN_UNABLE_OPEN_INI;
    } else {
        releaseFolder_ = plan_->GetString("Image", "PathToRelease", kIniReadError, 260);
        releaseValid_ = releaseFolder_ != kIniReadError && releaseFolder_.size() >= 2;
        if (!releaseValid_)
            Log("Error: PathToRelease failed.");

        const std::string fullWim = source_ + "INSTALL.WIM";
        const std::string splitWim = source_ + "Install.swm";
        const std::string readyWim = source_ + kFoundationImageName;
        const std::string firstPart = source_ + "Norv1.nr2";
        const std::string gatherFolder = dest_ + "\\FIFILEFOLDER";
        // Nothing is read through a link on the medium, nothing removed or
        // written through one in the destination.
        for (const std::string *file : {&fullWim, &splitWim, &readyWim, &firstPart})
            if (support::FileExist(*file) && !Confined(source_, *file))
                result = RETURN_UNSAFE_PATH;
        if (!Confined(dest_, gatherFolder) || !Confined(dest_, targetImage_))
            result = RETURN_UNSAFE_PATH;
        if (result != RETURN_SUCCESS) {
            // Refused; the reason is logged.
        } else if (support::FileExist(fullWim)) {
            result = ExportImage(fullWim, targetImage_);
            Log("After Expend FI from INSTALL.WIM. From: " + fullWim);
        } else if (support::FileExist(splitWim)) {
            result = ExportImage(splitWim, targetImage_);
        } else if (support::FileExist(readyWim)) {
            result = CopyReadyImage(readyWim);
        } else if (support::FileExist(firstPart)) {
            int onMedium = 0, listed = 0;
            CountPartFiles(source_, onMedium);
            CountListedParts(listed);
            bool gathered = false;
            std::string folder = source_;
            if (listed > onMedium) {
                gathered = true;
                result = GatherPartsFromMedia(source_, gatherFolder);
                folder = gatherFolder + "\\";
            }
            if (result == RETURN_SUCCESS) {
                result = CombineParts(folder, targetImage_);
                Log("Combine Nr2 files. From: " + source_);
            }
            if (gathered)
                RemoveGatherFolder(gatherFolder);
        } else {
            Log("Info: CheckFIFolderInNrvhdrcvIniFile strTemp: " + source_ + " strNR2FilePathTemp: " + gatherFolder);
            if (releaseValid_ && !platform::IsSafeRelativePart(releaseFolder_)) {
                Log("Error: PathToRelease is not a safe relative path: " + releaseFolder_ + " (RETURN_UNSAFE_PATH)");
                result = RETURN_UNSAFE_PATH;
            } else if (releaseValid_ && !Confined(source_, source_ + "\\" + releaseFolder_)) {
                result = RETURN_UNSAFE_PATH;
            } else {
                bool copy = false;
                result = CheckFIFolderInNrvhdrcvIniFile(source_, gatherFolder, copy);
                if (result != RETURN_SUCCESS) {
                    Log("Error: CheckFIFolderInNrvhdrcvIniFile return Error. It Can not find the image file.");
                } else {
                    const std::string partFolder = copy ? gatherFolder : source_ + "\\" + releaseFolder_;
                    Log(std::string(copy ? "Info: CheckFIFolderInNrvhdrcvIniFile bCopy is true strNR2FilePath: "
                                         : "Info: CheckFIFolderInNrvhdrcvIniFile bCopy is false strNR2FilePath: ") +
                        partFolder);
                    Log("Info: CheckFIFolderInNrvhdrcvIniFile strNR2FilePath: " + partFolder);
                    const std::string partFile = partFolder + "\\" + "Norv1.nr2";
                    Log("Info: CheckFIFolderInNrvhdrcvIniFile File: " + partFile);
                    if (releaseValid_ && support::FileExist(partFile)) {
                        Log("Combine Nr2 files. From: " + partFolder + "\\");
                        result = CombineParts(partFolder + "\\", targetImage_);
                    } else {
                        Log("Error: Can not find the image file. Path: " + partFile);
                        result = RETURN_IMAGE_NOTEXIST;
                    }
                }
                if (copy)
                    RemoveGatherFolder(gatherFolder);
            }
        }
    }
    char line[96];
    std::snprintf(line, sizeof line, "CGetFoundationImage::GetFoundationImage Return: %d", static_cast<int>(result));
    Log(line);
    return result;
}

int32_t CGetFoundationImage::CopyReadyImage(const std::string &from)
{
    // The source folder is the destination (or reaches the same file
    // another way): the image is already in place.
    if (source_ == dest_ || SameFile(from, targetImage_))
        return RETURN_SUCCESS;
    const std::string hostTarget = platform::HostPath(targetImage_);
    const std::string partial = hostTarget + ".partial";
    std::error_code ec;
    fs::remove(platform::FsPath(partial), ec);
    // Data on disk before the rename, the rename on disk before success.
    bool ok = support::CopyFileByStreamFromCDROM(from, partial, nullptr, nullptr, nullptr, 0, 0) == 0 &&
              support::SyncFile(partial) == 0;
    if (ok) {
        ok = platform::ReplaceHostFile(partial, hostTarget, false) == 0 &&
             support::SyncParentFolder(hostTarget) == 0;
    }
    if (!ok) {
        // No image of an earlier run stays behind to be taken for this one.
        fs::remove(platform::FsPath(partial), ec);
        if (fs::is_regular_file(platform::FsPath(hostTarget), ec))
            fs::remove(platform::FsPath(hostTarget), ec);
        Log("From: " + from + " To: " + targetImage_);
        Log("Copy File error. (RETURN_COPY_TEMP_WIM)");
        return RETURN_COPY_TEMP_WIM;
    }
    return RETURN_SUCCESS;
}

int32_t CGetFoundationImage::ExportImage(const std::string &sourceWim, const std::string &target)
{
    wim_.SetCallBack(callback_, callbackData_);
    Log("GetImageIndex :strSource: " + sourceWim);
    const int32_t index = wim_.GetImageIndex(sourceWim, kFoundationDescription);
    wim_.ExportFI(sourceWim, target, exportArg_, index);
    return wim_.WaitInterface() ? RETURN_SUCCESS : kExportFailed;
}

int32_t CGetFoundationImage::CombineParts(const std::string &folder, const std::string &target)
{
    wim_.SetCallBack(callback_, callbackData_);
    Log("CombineFileWithStream :strSource: " + folder + " strDest: " + target);
    wim_.CombineFileWithStream(folder, target);
    return wim_.WaitInterface() ? RETURN_SUCCESS : kJoinFailed;
}

bool CGetFoundationImage::CountPartFiles(const std::string &folder, int &count)
{
    count = 0;
    if (!support::DirExist(folder)) {
        Log("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)");
        Log("sSource: " + folder);
        return false;
    }
    std::error_code ec;
    for (fs::directory_iterator it(platform::FsPath(platform::HostPath(folder)), ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (platform::WildcardMatch("*.nr2", platform::PathUtf8(it->path().filename())))
            ++count;
    }
    return true;
}

int32_t CGetFoundationImage::CountListedParts(int &count)
{
    count = 0;
    const std::string list = m_pNrvhdrcvIni->GetString("SOURCE", "FIPart", kIniReadError, kListBufferChars);
    if (list == kIniReadError)
        return RETURN_SUCCESS;
    for (const std::string &piece : SplitList(list)) {
        if (IsPartEntry(piece))
            ++count;
    }
    return RETURN_SUCCESS;
}

int32_t CGetFoundationImage::GatherPartsFromMedia(const std::string &source, const std::string &gatherFolder)
{
    // Whatever an earlier, interrupted run left there is not part of this set.
    RemoveGatherFolder(gatherFolder);
    if (!support::RecursiveFolderCreate(gatherFolder)) {
        Log("RecursiveFolderCreate Error: " + gatherFolder);
        return RETURN_SUCCESS;
    }
    std::string value;
    for (int n = 1; ReadMediaKey(n, value); ++n) {
        Log("sMedia: " + MediaKey(n));
        for (const std::string &piece : SplitList(value)) {
            if (!IsPartEntry(piece))
                continue;
            const std::string name = EntryName(piece);
            if (!platform::IsSafeRelativePart(name)) {
                Log("Error: the media entry is not a safe file name: " + piece + " (RETURN_UNSAFE_PATH)");
                return RETURN_UNSAFE_PATH;
            }
            if (!WaitForDisc(source, n, false))
                break;
            const std::string to = gatherFolder + "\\" + name;
            if (support::FileExist(to) && !platform::SetFileAttributes(to, platform::FILE_ATTRIBUTE_NORMAL)) {
                Log("SetFileAttributes: " + to);
                break;
            }
            const std::string from = source + "\\" + name;
            if (!Confined(source, from))
                return RETURN_UNSAFE_PATH;
            if (support::CopyFileByStreamFromCDROM(from, to, nullptr, nullptr, nullptr, 0, 0) != 0) {
                Log("Error: while calling RecursiveFolderCopy function.(RETURN_COPY_FOLDER)");
                Log("Source: " + from);
                Log("dest: " + to);
                break;
            }
        }
    }
    return RETURN_SUCCESS;
}

int32_t CGetFoundationImage::CheckFIFolderInNrvhdrcvIniFile(const std::string &source,
                                                            const std::string &gatherFolder, bool &copy)
{
    Log("INFO: CGetFoundationImage::CheckFIFolderInNrvhdrcvIniFile Start strSrcFolder : " + source);
    copy = false;
    if (!m_pNrvhdrcvIni) {
        Log("Error: CheckFIFolderInNrvhdrcvIniFile NULL == m_pNrvhdrcvIni");
        return RETURN_IMAGE_NOTEXIST;
    }
    // Without a release folder no piece names it.
    auto namesRelease = [&](const std::string &piece) {
        return releaseValid_ && piece.find(releaseFolder_) != std::string::npos;
    };

    std::string value;
    bool existFile = false;
    for (int n = 1; !copy && ReadMediaKey(n, value); ++n) {
        Log("Check bCopy");
        for (const std::string &piece : SplitList(value)) {
            Log("strToken: " + piece);
            Log("PathToRelease: " + releaseFolder_);
            if (!namesRelease(piece))
                continue;
            Log("-1 != strTokenTemp.Find");
            if (existFile) {
                Log("bCopy = TRUE");
                copy = true;
            } else {
                Log("bExistFile = TRUE;");
                existFile = true;
            }
        }
    }

    // Whatever an earlier, interrupted run left there is not part of this set.
    if (copy)
        RemoveGatherFolder(gatherFolder);
    for (int n = 1; ReadMediaKey(n, value); ++n) {
        const std::vector<std::string> pieces = SplitList(value);
        const std::string *named = nullptr;
        for (const std::string &piece : pieces) {
            if (namesRelease(piece)) {
                named = &piece;
                break;
            }
        }
        if (!named)
            continue;
        if (!WaitForDisc(source, n, true))
            continue;
        Log("It has insert the right disc");
        if (copy && !Confined(source, source + releaseFolder_))
            return RETURN_UNSAFE_PATH;
        if (copy && support::RecursiveFolderCopy(source + releaseFolder_, gatherFolder, 0) != 0) {
            Log("Error: while calling RecursiveFolderCopy function.(RETURN_COPY_FOLDER)");
            Log("Source: " + source + *named);
            Log("dest: " + gatherFolder);
        }
    }
    return RETURN_SUCCESS;
}

} // namespace halcyon::image
