// LoadImgX: lays the operating-system image onto the target folder.
//
// The image file is named by the install plan (or, in direct mode, by the
// arguments); an image not built for this machine is refused; the image may
// be copied into a temporary folder first; a scrambled header is undone in
// place; the image is chosen inside the WIM by its description, the free
// space is checked, and the image is applied while the caller's message
// callback receives the imaging messages. Afterwards the release and the
// plan's snapshot ID can be recorded in nrvinst.oem.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/frame/console_echo.h"
#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/verb.h"
#include "engine/image/image_choice.h"
#include "engine/image/nrvinst_image_records.h"
#include "engine/image/split_part_check.h"
#include "engine/image/split_parts.h"
#include "engine/image/temporary_image_copy.h"
#include "engine/image/wim_scramble.h"
#include "engine/image/wim_tags.h"
#include "engine/plan/verify_ini.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/file_attributes.h"
#include "platform/machine.h"
#include "platform/host_path_text.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"
#include "support/wim/wim_api.h"

namespace halcyon::image {

namespace {

// The option bits of this verb's own option word; other verbs give the same bits other meanings.
constexpr uint64_t kOptionRecoveryImage = 0x4;
constexpr uint64_t kOptionDirect = 0x8;
constexpr uint64_t kOptionVerify = 0x10;
constexpr uint64_t kOptionNormalAttributes = 0x20;
constexpr uint64_t kOptionIniStore = 0x80000;
constexpr uint64_t kOptionWriteRecords = 0x80000000ull;
constexpr uint64_t kOptionSkipBlid = 0x1000000000ull;

constexpr size_t kValueChars = 260;

struct LoadArguments {
    std::string plan;
    std::string source;
    std::string dest;
    std::string temp;
    std::string wimName;
    std::string log;
    uint64_t options = 0;
    WimMessageCallback callback = nullptr;
    void *callbackData = nullptr;
    std::string nrvinst;
    std::string pushButtonResetSuffix;
};

bool IsReadValue(const std::string &value)
{
    return !platform::EqualsNoCase(value, kIniReadError) && Utf8Chars(value) >= 2;
}

bool PathExists(const std::string &path) { return support::FileExist(path) || support::DirExist(path); }

// A line for the operator's console only (not logged).
void Console(std::string_view text)
{
    EchoLine(text);
}

// The number at the start of the text, as a signed 64-bit decimal (leading
// blanks and a sign allowed; 0 when there are no digits; saturating).
int64_t ToInt64(const std::string &text) { return std::strtoll(text.c_str(), nullptr, 10); }

// The text of element `tag` of an image's information XML, trimmed.
std::optional<std::string> ElementText(std::string_view xml, std::string_view tag)
{
    const std::optional<std::string> content = ElementContent(xml, tag);
    if (!content)
        return std::nullopt;
    const std::string_view text = *content;
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Keeps the caller's message callback registered on a WIM handle; a path
// that leaves without the explicit unregistration still removes it.
class CallbackRegistration {
public:
    CallbackRegistration(support::wim::IWimApi &api, const support::wim::WimHandle &wim) : api_(api), wim_(wim) {}
    ~CallbackRegistration()
    {
        if (registered_ && wim_)
            api_.UnregisterMessageCallback(wim_, callback_);
    }
    CallbackRegistration(const CallbackRegistration &) = delete;
    CallbackRegistration &operator=(const CallbackRegistration &) = delete;

    bool Register(WimMessageCallback callback, void *userData)
    {
        callback_ = callback;
        registered_ = api_.RegisterMessageCallback(wim_, callback, userData) != support::wim::INVALID_CALLBACK_VALUE;
        return registered_;
    }
    bool Unregister()
    {
        registered_ = false;
        return api_.UnregisterMessageCallback(wim_, callback_);
    }

private:
    support::wim::IWimApi &api_;
    const support::wim::WimHandle &wim_;
    WimMessageCallback callback_ = nullptr;
    bool registered_ = false;
};

int32_t LoadImage(LoadArguments a)
{
    const std::string &log = a.log;
    auto note = [&](std::string_view text) { WriteLog(text, log, 0); };
    auto echo = [&](std::string_view text) { return WriteLog(text, log, 1); };
    // A folder of the call, given a trailing backslash: 0 when it exists,
    // else `code` with the folder and `message` logged.
    auto folderMissing = [&](std::string &folder, const char *label, const char *message, int32_t code) {
        EnsureTrailingBackslash(folder);
        if (support::DirExist(folder))
            return 0;
        note(label + folder);
        note(message);
        return code;
    };
    const bool direct = (a.options & kOptionDirect) != 0;

    // 1. The plan.
    if (int32_t r = echo("LoadImgX Begin"))
        return r;
    support::CMemoryIniIO store((a.options & kOptionIniStore) != 0);
    if (!store.LoadFile(a.plan)) {
        note("Halcyon.ini" + a.plan);
        note("Load halcyon.ini error. (RETURN_UNABLE_OPEN_INI)");
        return RETURN_UNABLE_OPEN_INI;
    }

    // 2. The plan check.
    if (!direct) {
        if (int32_t r = VerifyIni(store, log, 0))
            return r;
    }

    // 3. The source folder.
    if (int32_t r = folderMissing(a.source, "sSourceDir: ",
                                  "The Source Dir does not exist. (RETURN_IMAGE_DIR_NOT_EXIST)",
                                  RETURN_IMAGE_DIR_NOT_EXIST))
        return r;

    // 4. The image file.
    std::string baseFolder;
    std::string fileName;
    std::string releaseId;
    if (direct) {
        if (!a.wimName.empty() && !platform::IsSafeRelativePart(a.wimName)) {
            note("Error: The WIM file name is not a relative name: " + a.wimName + " (RETURN_UNSAFE_PATH)");
            return RETURN_UNSAFE_PATH;
        }
        baseFolder = a.source;
        fileName = a.wimName;
    } else {
        const char *section = (a.options & kOptionRecoveryImage) ? "RecoveryImage" : "Image";
        const std::string planPath = store.GetString(section, "PathToRelease", kIniReadError, kValueChars);
        if (!platform::IsSafeRelativePart(planPath)) {
            note("Error: PathToRelease is not a relative path below the source folder: " + planPath +
                 " (RETURN_UNSAFE_PATH)");
            return RETURN_UNSAFE_PATH;
        }
        std::string releaseName, machineId, pathToRelease;
        // The result is not consulted: a missing file shows in the checks below.
        LoadGenericImage(a.source, &store, releaseName, machineId, pathToRelease, fileName, releaseId, a.options,
                         true);
        if (platform::ToLowerAscii(fileName).find(".nr2") != std::string::npos) {
            note("It does not export the nr2 file. (RETURN_IMAGE_DIR_NOT_EXIST)");
            return RETURN_IMAGE_DIR_NOT_EXIST;
        }
        baseFolder = a.source + pathToRelease + "\\";
    }
    const std::string imagePath = baseFolder + fileName;

    // 5. The release of a foundation image exported earlier.
    if (releaseId.empty() && platform::EqualsNoCase(a.wimName, "Norv.wim")) {
        releaseId = store.GetString("Image", "ReleaseID", kIniReadError, kValueChars);
        if (!IsReadValue(releaseId))
            return 13;
    }

    // 6. The image must be there.
    if (int32_t r = echo("Source WIM: " + imagePath))
        return r;
    if (!PathExists(imagePath)) {
        note("sWimFile: " + imagePath);
        note("The wim does not exist. (RETURN_IMAGE_NOTEXIST)");
        return RETURN_IMAGE_NOTEXIST;
    }

    // 7. The image must be meant for this machine.
    if ((a.options & (kOptionPushButtonReset | kOptionSkipBlid)) == 0) {
        const int32_t r = CompareWimBlid(imagePath, a.plan);
        if (r != 0 && r != WIMTAG_ELEMENT_ABSENT) {
            note("It is not same between wim blid and dmi blid.");
            return r;
        }
    }

    // 8. The destination.
    if (int32_t r = folderMissing(a.dest, "sDestDir: ", "The dest Dir does not exist. (RETURN_DEST_DIR_NOT_EXIST)",
                                  RETURN_DEST_DIR_NOT_EXIST))
        return r;
    if (int32_t r = echo("Destination: " + a.dest))
        return r;

    // 9. The temporary folder.
    const bool useTemp = !a.temp.empty();
    if (useTemp) {
        EnsureTrailingBackslash(a.temp);
        if (!support::DirExist(a.temp)) {
            note("sTempDir: " + a.temp);
            note("The temp path does not exist. (RETURN_TEMP_DIR_NOT_EXIST)");
            return RETURN_TEMP_DIR_NOT_EXIST;
        }
    }

    // Without a temporary folder the source image itself is changed
    // (attributes, unscrambling): only as a file below the source folder,
    // never through a link there.
    if (!useTemp && ((a.options & kOptionNormalAttributes) || IsWimScrambled(imagePath))) {
        const std::string root = platform::TrimHostSeparators(platform::HostPath(a.source));
        const std::string host = platform::TrimHostSeparators(platform::HostPath(imagePath));
        const support::ConfinedCheck where = support::CheckConfinedPath(root, host);
        if (where.result != support::Confinement::Inside) {
            note("Error: the image would be changed in place through a link: " +
                 support::DescribeConfinement(where, root, host) + " (RETURN_UNSAFE_PATH)");
            return RETURN_UNSAFE_PATH;
        }
    }

    // 10. The working copy; it is deleted on every way out from here on.
    TemporaryImageCopy copy;
    std::string tempImagePath;
    if (useTemp) {
        tempImagePath = a.temp + (direct ? a.wimName : fileName);
        if (int32_t r = echo("Copying Temp WIM: " + tempImagePath))
            return r;
        // The copy is written only to a place inside the temporary folder:
        // never through a symbolic link found there.
        auto hostOf = [](const std::string &p) {
            std::string h = platform::HostPath(p);
            while (h.size() > 1 && h.back() == '/')
                h.pop_back();
            return h;
        };
        const support::ConfinedCheck where = support::CheckConfinedPath(hostOf(a.temp), hostOf(tempImagePath));
        if (where.result != support::Confinement::Inside) {
            note("Error: the temporary copy would not stay in the temp folder: " +
                 support::DescribeConfinement(where, a.temp, tempImagePath) + " (RETURN_UNSAFE_PATH)");
            return RETURN_UNSAFE_PATH;
        }
        if (!copy.Make(imagePath, tempImagePath)) {
            note("From: " + imagePath + " To: " + tempImagePath);
            note("Copy File error. (RETURN_COPY_TEMP_WIM)");
            return RETURN_COPY_TEMP_WIM;
        }
        if (!platform::SetFileAttributes(tempImagePath, platform::FILE_ATTRIBUTE_HIDDEN)) {
            copy.Remove();
            note("Change wim file attribute error. (RETURN_CHANGE_WIM_ATTR): " + tempImagePath);
            return RETURN_CHANGE_WIM_ATTR;
        }
    } else if (a.options & kOptionNormalAttributes) {
        // 11. The source image itself is used.
        if (!platform::SetFileAttributes(imagePath, platform::FILE_ATTRIBUTE_NORMAL)) {
            note("Error: Set wim attribute error. (RETURN_CHANGE_WIM_ATTR)");
            note("sWimFile: " + imagePath);
            return RETURN_CHANGE_WIM_ATTR;
        }
    }

    // 12. Unscrambling, in place.
    const std::string workingPath = useTemp ? tempImagePath : imagePath;
    if (IsWimScrambled(workingPath)) {
        if (int32_t r = echo("Decrypting WIM: " + workingPath))
            return r;
        if (!EncryptDecryptWim(workingPath)) {
            copy.Remove();
            note("Error: Decrypt Wim Error. (RETURN_DECRYPT_WIM)");
            note("sTempWimPath: " + tempImagePath);
            return RETURN_DECRYPT_WIM;
        }
    }

    // 13. Open. The handles are declared after the copy, so they are closed
    // (image first, then file) before the copy is deleted.
    if (int32_t r = echo("Loading WIM..."))
        return r;
    auto failWim = [&](std::string_view console, std::string_view line) {
        Console(console);
        note(line);
        note("sTempWimPath: " + tempImagePath);
        return static_cast<int32_t>(RETURN_WIMGAPI_ERROR);
    };
    support::wim::IWimApi &api = support::wim::WimApi();
    const uint32_t flags = (a.options & kOptionVerify) ? support::wim::WIM_FLAG_VERIFY : 0;
    uint32_t creation = 0;
    support::wim::WimHandle wim =
        api.CreateFile(workingPath, support::wim::WIM_GENERIC_READ, support::wim::WIM_OPEN_EXISTING, flags, 0, &creation);
    if (!wim)
        return failWim("ERROR: while trying to open WIM", "Error: WIMCreateFile function error. (RETURN_WIMGAPI_ERROR)");

    // 14. Temporary files of the imaging calls go to the destination.
    if (!api.SetTemporaryPath(wim, a.dest))
        return failWim("ERROR: while setting temporary folder",
                       "Error: WIMSetTemporaryPath function error. (RETURN_WIMGAPI_ERROR)");

    // 15. The further parts of a split image, from the source folder.
    if (platform::ToLowerAscii(imagePath).find(".nrv") != std::string::npos) {
        std::vector<std::string> partHosts;
        for (const std::string &part : SplitPartNames(baseFolder, fileName, a.wimName)) {
            if (!api.SetReferenceFile(wim, baseFolder + part, support::wim::WIM_REFERENCE_APPEND))
                return failWim("ERROR: while adding reference SWM",
                               "Error: WIMSetReferenceFile function error. (RETURN_WIMGAPI_ERROR)");
            partHosts.push_back(platform::HostPath(baseFolder + part));
        }
        // A missing part would only show as a failed apply: name it now.
        const std::string missing = MissingSplitPart(platform::HostPath(workingPath), partHosts);
        if (!missing.empty())
            return failWim("ERROR: split image " + missing + " is missing beside " + imagePath,
                           "ERROR: split image " + missing + " is missing beside " + imagePath +
                               ". (RETURN_WIMGAPI_ERROR)");
    }

    // 16. The image to apply, by its description.
    uint32_t index = 1;
    std::string chosenXml;
    const std::string pushButtonReset = PushButtonResetDescription(a.pushButtonResetSuffix);
    const uint32_t count = api.GetImageCount(wim);
    for (uint32_t i = 1; i <= count; ++i) {
        support::wim::WimHandle probe = api.LoadImage(wim, i);
        if (!probe)
            return failWim("ERROR: while calling WIMLoadImage",
                           "ERROR: while calling WIMLoadImage. (RETURN_WIMGAPI_ERROR)");
        std::string xml;
        if (!api.GetImageInformation(probe, xml))
            return failWim("ERROR: while calling WIMGetImageInformation\n",
                           "ERROR: while calling WIMGetImageInformation. (RETURN_WIMGAPI_ERROR)");
        probe.Reset();
        if (i == 1)
            chosenXml = xml;
        const std::optional<std::string> description = ImageDescription(xml);
        if (!description)
            continue;
        note(*description);
        if (IsWantedImage(*description, a.options, pushButtonReset)) {
            index = i;
            chosenXml = std::move(xml);
            break;
        }
        note("INFO: image index is: " + std::to_string(index));
    }

    // 17.
    support::wim::WimHandle image = api.LoadImage(wim, index);
    if (!image)
        return failWim("ERROR: while loading image from WIM",
                       "ERROR: while calling WIMLoadImage. (RETURN_WIMGAPI_ERROR)");

    // 18. The size of the image. The WIM's own reading is required; the
    // figure compared is the chosen image's when its description carries
    // one (the WIM's reading names the first image only).
    std::string totalText;
    if (int32_t r = ReadWimTagValue(imagePath, "TOTALBYTES", totalText)) {
        copy.Remove();
        note("ERROR: while calling GetWimTagValue.");
        note("sTempWimPath: " + tempImagePath);
        return r;
    }
    if (std::optional<std::string> chosenTotal = ElementText(chosenXml, "TOTALBYTES"); chosenTotal && !chosenTotal->empty())
        totalText = *chosenTotal;
    const int64_t totalBytes = ToInt64(totalText);

    // 19. Free space at the destination.
    const std::optional<uint64_t> freeBytes = platform::FreeDiskSpace(a.dest);
    if (!freeBytes) {
        Console("ERROR: While retrieving free disk space\n");
        note("ERROR: While retrieving free disk space. (RETURN_GET_FREE_DISK_SPACE)");
        note("sTempWimPath" + tempImagePath);
        return RETURN_GET_FREE_DISK_SPACE;
    }
    if (*freeBytes < static_cast<uint64_t>(totalBytes)) {
        Console("ERROR: Destination directory is too small\n");
        note("ERROR: Destination directory is too small");
        return 45;
    }

    // 20. The caller's callback hears the apply.
    CallbackRegistration registration(api, wim);
    if (!registration.Register(a.callback, a.callbackData)) {
        Console("ERROR: while registering callback function");
        note("ERROR: while registering callback function");
        return RETURN_WIMGAPI_ERROR;
    }

    // 21. Apply.
    if (int32_t r = echo("Applying Image..."))
        return r;
    if (!api.ApplyImage(image, a.dest, flags)) {
        const uint32_t lastError = api.GetLastError();
        if (int32_t r = echo("ERROR: while applying image"))
            return r;
        if (int32_t r = echo("GetLastError: " + std::to_string(static_cast<int32_t>(lastError))))
            return r;
        if (const std::string reason = api.GetLastErrorText(); !reason.empty())
            note("Reason: " + reason);
        if (int32_t r = echo("dwApplyFlags: " + std::to_string(static_cast<int32_t>(flags))))
            return r;
        // A link already in the destination where the image writes: refused.
        return lastError == support::wim::WIM_ERROR_STOPPED_ON_SYMLINK ? RETURN_UNSAFE_PATH : RETURN_WIMGAPI_ERROR;
    }

    // 22. Release everything, reporting failed releases.
    if (!registration.Unregister()) {
        Console("ERROR: while tyring to unregister callback function");
        note("ERROR: while tyring to unregister callback function");
        return RETURN_WIMGAPI_ERROR;
    }
    if (!image.Close()) {
        Console("ERROR: while closing handle to WIM Image");
        note("ERROR: while closing handle to WIM Image");
        return RETURN_WIMGAPI_ERROR;
    }
    if (!wim.Close()) {
        Console("ERROR: while closing handle to WIM file");
        note("ERROR: while closing handle to WIM file");
        return RETURN_WIMGAPI_ERROR;
    }
    copy.Remove();
    // The applied files are on disk before the image counts as laid down:
    // one flush of the target's file system costs less than one per file.
    if (const int err = support::SyncFileSystem(a.dest)) {
        if (int32_t r = echo("ERROR: while flushing the applied image to disk: " + a.dest + " (errno " +
                             std::to_string(err) + ")"))
            return r;
        return RETURN_WIMGAPI_ERROR;
    }

    // 23. The machine's records; they never change the result.
    if (a.options & kOptionWriteRecords) {
        if (int32_t r = echo("WriteFIEPIDToNrvinstFile"))
            return r;
        if (!releaseId.empty()) {
            if (int32_t w = WriteFIEPIDToNrvinstFile(releaseId, a.nrvinst, log, a.dest)) {
                if (int32_t r = echo("WriteFIEPIDToNrvinstFile Returned: '" + std::to_string(w) + "'\n"))
                    return r;
                // The applied image put a link on the record's way: the
                // image is not taken as laid down.
                if (w == RETURN_UNSAFE_PATH)
                    return RETURN_UNSAFE_PATH;
            }
        }
        const std::string snapshot = store.GetString("IDF", "BomSnapshotID", kIniReadError, kValueChars);
        if (IsReadValue(snapshot)) {
            note("WriteSSINFOToNrvinstFile");
            if (int32_t w = WriteSSINFOToNrvinstFile(snapshot, a.nrvinst, log, a.dest)) {
                note("WriteSSINFOToNrvinstFile RETURN_ERROR_WRITE_SSINFO Returned: '" + std::to_string(w) + "'\n");
                if (w == RETURN_UNSAFE_PATH)
                    return RETURN_UNSAFE_PATH;
            }
        }
    }

    // 24.
    if (int32_t r = echo("LoadImgX End"))
        return r;
    return RETURN_SUCCESS;
}

} // namespace

} // namespace halcyon::image

using namespace halcyon;

extern "C" HALCYON_API int32_t LoadImgX(const char *plan, const char *source, const char *dest, const char *temp,
                                        const char *wim_name, const char *log, uint64_t options, WimMessageCallback cb,
                                        void *cb_data, const char *nrvinst_oem, const char *pbr_suffix)
{
    return frame::RunVerb<int32_t>("LoadImgX", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        image::LoadArguments a;
        a.plan = frame::Arg(plan);
        a.source = frame::Arg(source);
        a.dest = frame::Arg(dest);
        a.temp = frame::Arg(temp);
        a.wimName = frame::Arg(wim_name);
        a.log = frame::Arg(log);
        a.options = options;
        a.callback = cb;
        a.callbackData = cb_data;
        a.nrvinst = frame::Arg(nrvinst_oem);
        a.pushButtonResetSuffix = frame::Arg(pbr_suffix);
        return image::LoadImage(std::move(a));
    });
}
