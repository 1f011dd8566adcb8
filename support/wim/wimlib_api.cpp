// The imaging interface on wimlib.
#include <wimlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_mount.h"
#include "support/wim/wim_tchar.h"
#include "support/wim/wim_text.h"
#include "support/wim/wimlib_session.h"

namespace fs = std::filesystem;

namespace halcyon::support::wim {

namespace {

using Callback = std::pair<WimMessageCallback, void *>;

struct WimFileState {
    WIMStruct *wim = nullptr;
    std::string hostPath;
    std::string tempFolder;
    int openFlags = 0;
    std::vector<Callback> callbacks;
    ~WimFileState()
    {
        if (wim)
            wimlib_free(wim);
    }
};

} // namespace

struct WimObject {
    WimHandleKind kind = WimHandleKind::File;
    std::shared_ptr<WimFileState> file;
    uint32_t index = 0;    // images: 1-based
    bool unixData = false; // images: the image carries owner, group and mode
};

namespace {

thread_local uint32_t t_lastError = 0;
thread_local std::string t_lastErrorText;

void SetError(uint32_t code, std::string text)
{
    t_lastError = code;
    t_lastErrorText = std::move(text);
}

void ClearError()
{
    SetError(WIM_ERROR_SUCCESS, std::string());
}

void SetWimlibError(int code, const std::string &what)
{
    SetError(MapWimlibError(code, errno), what + ": wimlib: " + WimlibErrorText(code));
}

// True when `path` (host form `host`) names an existing folder (`folder`)
// or regular file; else the last error is `error`, naming it after `what`.
bool Existing(const std::string &path, const std::string &host, bool folder, uint32_t error, const char *what)
{
    std::error_code ec;
    const fs::path fsPath = platform::FsPath(host);
    if (!path.empty() && (folder ? fs::is_directory(fsPath, ec) : fs::is_regular_file(fsPath, ec)))
        return true;
    SetError(error, what + host + " does not exist");
    return false;
}

// Callbacks registered without a handle: they hear every call.
std::mutex g_globalMutex;
std::vector<Callback> g_globalCallbacks;

class WimlibApi final : public IWimApi {
public:
    HALCYON_WIM_API_CALLS
    uint32_t GetLastError() const override { return t_lastError; }
    std::string GetLastErrorText() const override { return t_lastErrorText; }

    ~WimlibApi() override
    {
        for (WimObject *object : live_)
            delete object;
    }

private:
    // The live object behind `handle` when it is of `kind`, else null with
    // the last error set.
    WimObject *Lookup(const WimHandle &handle, WimHandleKind kind)
    {
        WimObject *object = handle.Get();
        if (!object || handle.Api() != this || !live_.count(object) || object->kind != kind) {
            SetError(WIM_ERROR_INVALID_HANDLE, "not a valid WIM handle");
            return nullptr;
        }
        return object;
    }
    WimHandle Issue(std::unique_ptr<WimObject> object)
    {
        WimObject *raw = object.release();
        live_.insert(raw);
        return MakeHandle(raw, raw->kind);
    }

    std::set<WimObject *> live_;
};

WimHandle WimlibApi::CreateFile(const std::string &path, uint32_t access, uint32_t disposition, uint32_t flags,
                                uint32_t compression, uint32_t *creationResult)
{
    (void)compression;
    if (!(access & WIM_GENERIC_READ) || (access & WIM_GENERIC_WRITE) || disposition != WIM_OPEN_EXISTING) {
        SetError(WIM_ERROR_NOT_SUPPORTED, "only reading an existing WIM is supported");
        return {};
    }
    if (path.empty()) {
        SetError(WIM_ERROR_INVALID_PARAMETER, "empty WIM path");
        return {};
    }
    const std::string host = platform::HostPath(path);
    std::error_code ec;
    if (!fs::is_regular_file(platform::FsPath(host), ec)) {
        SetError(fs::exists(platform::FsPath(host), ec) ? WIM_ERROR_ACCESS_DENIED : WIM_ERROR_FILE_NOT_FOUND,
                 "cannot open " + host + ": not an existing file");
        return {};
    }
    EnsureWimlibReady();
    auto state = std::make_shared<WimFileState>();
    state->hostPath = host;
    state->openFlags = (flags & WIM_FLAG_VERIFY) ? WIMLIB_OPEN_FLAG_CHECK_INTEGRITY : 0;
    errno = 0;
    const int ret = wimlib_open_wim(ToWimText(host).c_str(), state->openFlags, &state->wim);
    if (ret != 0) {
        state->wim = nullptr;
        SetWimlibError(ret, "cannot open " + host);
        // Too short to hold a WIM's header and tables: not a WIM.
        if (ret == WIMLIB_ERR_UNEXPECTED_END_OF_FILE)
            t_lastError = WIM_ERROR_BAD_FORMAT;
        return {};
    }
    if (creationResult)
        *creationResult = WIM_OPENED_EXISTING;
    auto object = std::make_unique<WimObject>();
    object->kind = WimHandleKind::File;
    object->file = std::move(state);
    ClearError();
    return Issue(std::move(object));
}

bool WimlibApi::SetTemporaryPath(const WimHandle &wim, const std::string &folder)
{
    WimObject *object = Lookup(wim, WimHandleKind::File);
    if (!object)
        return false;
    const std::string host = platform::HostPath(folder);
    if (!Existing(folder, host, true, WIM_ERROR_PATH_NOT_FOUND, "temporary folder "))
        return false;
    object->file->tempFolder = host;
    ClearError();
    return true;
}

bool WimlibApi::SetReferenceFile(const WimHandle &wim, const std::string &path, uint32_t flags)
{
    (void)flags; // append and replace both add the part
    WimObject *object = Lookup(wim, WimHandleKind::File);
    if (!object)
        return false;
    const std::string host = platform::HostPath(path);
    if (!Existing(path, host, false, WIM_ERROR_FILE_NOT_FOUND, "reference file "))
        return false;
    const WimString file = ToWimText(host);
    const wimlib_tchar *files[] = {file.c_str()};
    errno = 0;
    const int ret = wimlib_reference_resource_files(object->file->wim, files, 1, 0, object->file->openFlags);
    if (ret != 0) {
        SetWimlibError(ret, "cannot reference " + host);
        return false;
    }
    ClearError();
    return true;
}

uint32_t WimlibApi::GetImageCount(const WimHandle &wim)
{
    WimObject *object = Lookup(wim, WimHandleKind::File);
    if (!object)
        return 0;
    struct wimlib_wim_info info {};
    const int ret = wimlib_get_wim_info(object->file->wim, &info);
    if (ret != 0) {
        SetWimlibError(ret, "cannot read the image count");
        return 0;
    }
    ClearError();
    return info.image_count;
}

WimHandle WimlibApi::LoadImage(const WimHandle &wim, uint32_t index)
{
    WimObject *object = Lookup(wim, WimHandleKind::File);
    if (!object)
        return {};
    struct wimlib_wim_info info {};
    if (wimlib_get_wim_info(object->file->wim, &info) != 0 || index == 0 || index > info.image_count) {
        SetError(WIM_ERROR_INVALID_INDEX, "no image " + std::to_string(index) + " in " + object->file->hostPath);
        return {};
    }
    // Reading the image's directory tree loads its metadata, so a damaged
    // image fails here rather than halfway through an apply.
    bool unixData = false;
    errno = 0;
    const int ret = ImageHasUnixData(object->file->wim, static_cast<int>(index), unixData);
    if (ret != 0) {
        SetWimlibError(ret, "cannot load image " + std::to_string(index) + " of " + object->file->hostPath);
        return {};
    }
    auto image = std::make_unique<WimObject>();
    image->kind = WimHandleKind::Image;
    image->file = object->file;
    image->index = index;
    image->unixData = unixData;
    ClearError();
    return Issue(std::move(image));
}

bool WimlibApi::GetImageInformation(const WimHandle &image, std::string &xml)
{
    WimObject *object = Lookup(image, WimHandleKind::Image);
    if (!object)
        return false;
    std::string all;
    const int ret = ReadWimXml(object->file->wim, all);
    if (ret != 0) {
        SetWimlibError(ret, "cannot read the image information");
        return false;
    }
    std::string element = ImageElement(all, object->index);
    if (element.empty()) {
        SetError(WIM_ERROR_INVALID_DATA, "image " + std::to_string(object->index) + " has no description");
        return false;
    }
    xml = std::move(element);
    ClearError();
    return true;
}

uint32_t WimlibApi::RegisterMessageCallback(const WimHandle &wim, WimMessageCallback callback, void *userData)
{
    if (!callback) {
        SetError(WIM_ERROR_INVALID_PARAMETER, "no callback");
        return INVALID_CALLBACK_VALUE;
    }
    if (!wim) {
        std::lock_guard<std::mutex> lock(g_globalMutex);
        g_globalCallbacks.emplace_back(callback, userData);
        ClearError();
        return static_cast<uint32_t>(g_globalCallbacks.size() - 1);
    }
    WimObject *object = Lookup(wim, WimHandleKind::File);
    if (!object)
        return INVALID_CALLBACK_VALUE;
    object->file->callbacks.emplace_back(callback, userData);
    ClearError();
    return static_cast<uint32_t>(object->file->callbacks.size() - 1);
}

bool WimlibApi::UnregisterMessageCallback(const WimHandle &wim, WimMessageCallback callback)
{
    auto removeFrom = [&](std::vector<Callback> &list) {
        auto it = std::find_if(list.begin(), list.end(), [&](const Callback &c) { return c.first == callback; });
        if (it == list.end()) {
            SetError(WIM_ERROR_INVALID_PARAMETER, "callback not registered");
            return false;
        }
        list.erase(it);
        ClearError();
        return true;
    };
    if (!wim) {
        std::lock_guard<std::mutex> lock(g_globalMutex);
        return removeFrom(g_globalCallbacks);
    }
    WimObject *object = Lookup(wim, WimHandleKind::File);
    if (!object)
        return false;
    return removeFrom(object->file->callbacks);
}

bool WimlibApi::ApplyImage(const WimHandle &image, const std::string &folder, uint32_t flags)
{
    (void)flags; // contents are always checked against their hashes
    WimObject *object = Lookup(image, WimHandleKind::Image);
    if (!object)
        return false;
    if (folder.empty()) {
        SetError(WIM_ERROR_INVALID_PARAMETER, "empty target folder");
        return false;
    }
    std::vector<Callback> callbacks = object->file->callbacks;
    {
        std::lock_guard<std::mutex> lock(g_globalMutex);
        callbacks.insert(callbacks.end(), g_globalCallbacks.begin(), g_globalCallbacks.end());
    }
    const std::string host = platform::HostPath(folder);
    uint32_t error = 0;
    std::string text;
    if (!ExtractImage(object->file->wim, object->index, object->unixData, host, callbacks, error, text)) {
        SetError(error, text);
        return false;
    }
    ClearError();
    return true;
}

bool WimlibApi::MountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                           const std::string &tempFolder)
{
    uint32_t error = 0;
    std::string text;
    if (!MountWimImage(platform::HostPath(mountFolder), platform::HostPath(wimPath), index,
                       tempFolder.empty() ? std::string() : platform::HostPath(tempFolder), error, text)) {
        SetError(error, text);
        return false;
    }
    ClearError();
    return true;
}

bool WimlibApi::UnmountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                             bool commit)
{
    (void)index;
    if (commit) {
        SetError(WIM_ERROR_NOT_SUPPORTED, "changes to a mounted image are never written back");
        return false;
    }
    uint32_t error = 0;
    std::string text;
    if (!UnmountWimImage(platform::HostPath(mountFolder), wimPath.empty() ? std::string() : platform::HostPath(wimPath),
                         error, text)) {
        SetError(error, text);
        return false;
    }
    ClearError();
    return true;
}

bool WimlibApi::CloseHandle(WimObject *object, WimHandleKind kind)
{
    if (!object || !live_.count(object) || object->kind != kind) {
        SetError(WIM_ERROR_INVALID_HANDLE, "not a valid WIM handle");
        return false;
    }
    live_.erase(object);
    delete object; // the file's wimlib state goes with its last handle
    ClearError();
    return true;
}

} // namespace

std::unique_ptr<IWimApi> MakeWimlibApi()
{
    return std::make_unique<WimlibApi>();
}

} // namespace halcyon::support::wim
