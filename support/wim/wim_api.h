// The imaging interface the engine calls: shaped like the platform imaging
// library (open, temporary path, reference file, image count, load, image
// information, message callback, apply, mount, unmount, close), answered by
// wimlib. Paths are Windows path text or host paths; they are mapped with
// platform::HostPath when the file system is touched.
//
// Usage (apply image 1 of a WIM):
//
//   support::wim::IWimApi &api = support::wim::WimApi();
//   support::wim::WimHandle wim = api.CreateFile(path, WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, 0, nullptr);
//   if (!wim) { ... api.GetLastError() ... }
//   if (!api.SetTemporaryPath(wim, temp)) ...
//   support::wim::WimHandle image = api.LoadImage(wim, 1);
//   if (!image || !api.ApplyImage(image, target, 0)) ...
//   if (!image.Close()) ...   // image handle first
//   if (!wim.Close()) ...     // then the file handle
//
// A handle that goes out of scope unclosed is closed then (result ignored),
// so every path releases it; Close() is for callers that report a failed
// close. Every call sets the last error (0 on success) that GetLastError()
// and GetLastErrorText() return, for log lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::support::wim {

// Argument values of the imaging calls, with the platform library's numbers.
inline constexpr uint32_t WIM_GENERIC_READ = 0x80000000u;
inline constexpr uint32_t WIM_GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t WIM_CREATE_NEW = 1;
inline constexpr uint32_t WIM_CREATE_ALWAYS = 2;
inline constexpr uint32_t WIM_OPEN_EXISTING = 3;
inline constexpr uint32_t WIM_OPEN_ALWAYS = 4;
inline constexpr uint32_t WIM_FLAG_VERIFY = 0x00000002u;
inline constexpr uint32_t WIM_REFERENCE_APPEND = 0x00010000u;
inline constexpr uint32_t WIM_REFERENCE_REPLACE = 0x00020000u;
inline constexpr uint32_t WIM_CREATED_NEW = 0;
inline constexpr uint32_t WIM_OPENED_EXISTING = 1;
inline constexpr uint32_t INVALID_CALLBACK_VALUE = 0xFFFFFFFFu;

// Last-error values, Windows numbering, so that "GetLastError: %d" lines
// read as on the original platform.
inline constexpr uint32_t WIM_ERROR_SUCCESS = 0;
inline constexpr uint32_t WIM_ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t WIM_ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t WIM_ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t WIM_ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t WIM_ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t WIM_ERROR_BAD_FORMAT = 11;
inline constexpr uint32_t WIM_ERROR_INVALID_DATA = 13;
inline constexpr uint32_t WIM_ERROR_WRITE_FAULT = 29;
inline constexpr uint32_t WIM_ERROR_READ_FAULT = 30;
inline constexpr uint32_t WIM_ERROR_GEN_FAILURE = 31;
inline constexpr uint32_t WIM_ERROR_NOT_SUPPORTED = 50;
inline constexpr uint32_t WIM_ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t WIM_ERROR_DISK_FULL = 112;
inline constexpr uint32_t WIM_ERROR_ALREADY_EXISTS = 183;
// The apply met a symbolic link where the image puts a folder or a file.
inline constexpr uint32_t WIM_ERROR_STOPPED_ON_SYMLINK = 681;
inline constexpr uint32_t WIM_ERROR_REQUEST_ABORTED = 1235;
inline constexpr uint32_t WIM_ERROR_INVALID_INDEX = 1413;

class IWimApi;
struct WimObject; // owned by the IWimApi that made it

// What a handle stands for; closing each kind is a separate failure point.
enum class WimHandleKind { File, Image };

// A WIM file handle or image handle. Move-only; closes itself when it goes
// out of scope still open.
class WimHandle {
public:
    WimHandle() = default;
    WimHandle(IWimApi *api, WimObject *object, WimHandleKind kind) : api_(api), object_(object), kind_(kind) {}
    ~WimHandle() { Reset(); }
    WimHandle(const WimHandle &) = delete;
    WimHandle &operator=(const WimHandle &) = delete;
    WimHandle(WimHandle &&other) noexcept { *this = std::move(other); }
    WimHandle &operator=(WimHandle &&other) noexcept;

    explicit operator bool() const { return object_ != nullptr; }
    WimObject *Get() const { return object_; }
    WimHandleKind Kind() const { return kind_; }
    IWimApi *Api() const { return api_; }

    // The platform's close call: false when it failed (the handle is
    // released anyway and cannot be used again).
    bool Close();
    // Closes and ignores the result.
    void Reset();
    // Gives up ownership without closing (for wrappers re-issuing a handle).
    WimObject *Release();

private:
    IWimApi *api_ = nullptr;
    WimObject *object_ = nullptr;
    WimHandleKind kind_ = WimHandleKind::File;
};

// The calls an implementation of IWimApi overrides (all but the last
// error), declared once for every implementation.
#define HALCYON_WIM_API_CALLS                                                                               \
    WimHandle CreateFile(const std::string &path, uint32_t access, uint32_t disposition, uint32_t flags,    \
                         uint32_t compression, uint32_t *creationResult) override;                         \
    bool SetTemporaryPath(const WimHandle &wim, const std::string &folder) override;                       \
    bool SetReferenceFile(const WimHandle &wim, const std::string &path, uint32_t flags) override;         \
    uint32_t GetImageCount(const WimHandle &wim) override;                                                 \
    WimHandle LoadImage(const WimHandle &wim, uint32_t index) override;                                    \
    bool GetImageInformation(const WimHandle &image, std::string &xml) override;                           \
    uint32_t RegisterMessageCallback(const WimHandle &wim, WimMessageCallback callback, void *userData)    \
        override;                                                                                          \
    bool UnregisterMessageCallback(const WimHandle &wim, WimMessageCallback callback) override;            \
    bool ApplyImage(const WimHandle &image, const std::string &folder, uint32_t flags) override;          \
    bool MountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,            \
                    const std::string &tempFolder) override;                                               \
    bool UnmountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,          \
                      bool commit) override;                                                               \
    bool CloseHandle(WimObject *object, WimHandleKind kind) override;

class IWimApi {
public:
    virtual ~IWimApi() = default;

    // Opens a WIM. Only reading an existing file is supported: access must
    // hold WIM_GENERIC_READ and not WIM_GENERIC_WRITE, disposition
    // WIM_OPEN_EXISTING. WIM_FLAG_VERIFY checks the integrity table when
    // the file has one. `creationResult` (may be null) receives
    // WIM_OPENED_EXISTING. A scrambled or non-WIM file fails (bad format).
    virtual WimHandle CreateFile(const std::string &path, uint32_t access, uint32_t disposition, uint32_t flags,
                                 uint32_t compression, uint32_t *creationResult) = 0;
    // The folder for temporary files of later calls; must exist.
    virtual bool SetTemporaryPath(const WimHandle &wim, const std::string &folder) = 0;
    // Adds one further part of a split WIM (".swm", ".nrv") or a WIM whose
    // resources the opened one refers to. Flags: WIM_REFERENCE_APPEND
    // (WIM_REFERENCE_REPLACE is taken as append).
    virtual bool SetReferenceFile(const WimHandle &wim, const std::string &path, uint32_t flags) = 0;
    // Number of images; 0 with a last error on failure.
    virtual uint32_t GetImageCount(const WimHandle &wim) = 0;
    // Image handle for the 1-based index; empty handle on failure.
    virtual WimHandle LoadImage(const WimHandle &wim, uint32_t index) = 0;
    // The image's XML description, UTF-8: one "<IMAGE INDEX="n">...</IMAGE>"
    // element as stored in the WIM's metadata (DESCRIPTION, NAME, TOTALBYTES,
    // BLID, RELEASEID ... as the image carries them).
    virtual bool GetImageInformation(const WimHandle &image, std::string &xml) = 0;
    // Registers the front end's callback for messages of calls on `wim`
    // (or of every handle when `wim` is empty). Returns the callback's index,
    // or INVALID_CALLBACK_VALUE on failure.
    virtual uint32_t RegisterMessageCallback(const WimHandle &wim, WimMessageCallback callback, void *userData) = 0;
    virtual bool UnregisterMessageCallback(const WimHandle &wim, WimMessageCallback callback) = 0;
    // Extracts the image into `folder` (created when missing). Registered
    // callbacks receive WIM_MSG_PROGRESS (wparam = percent done, never going
    // backwards; lparam = estimated milliseconds left), WIM_MSG_SETRANGE
    // (lparam = number of files and folders to lay down), WIM_MSG_SETPOS
    // (lparam = how many are laid down) and, when the apply fails,
    // WIM_MSG_ERROR (wparam = const char* UTF-8 target folder, lparam = the
    // last error).
    // A callback that answers WIM_MSG_ABORT_IMAGE stops the apply (the call
    // fails with WIM_ERROR_REQUEST_ABORTED). Flags: WIM_FLAG_VERIFY (contents
    // are checked against their hashes either way).
    virtual bool ApplyImage(const WimHandle &image, const std::string &folder, uint32_t flags) = 0;
    // Makes image `index` of `wimPath` visible below `mountFolder`: a FUSE
    // mount where /dev/fuse works, else an extraction into the folder.
    // `tempFolder` holds the mount's staging files (may be empty).
    virtual bool MountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                            const std::string &tempFolder) = 0;
    // Ends a mount made by MountImage. Changes are never written back
    // (`commit` true is refused as not supported); a stand-in extraction is
    // removed, leaving the empty mount folder.
    virtual bool UnmountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                              bool commit) = 0;
    // Closes a handle (what WimHandle::Close calls). Images before files.
    virtual bool CloseHandle(WimObject *object, WimHandleKind kind) = 0;

    // The last error of the calling thread's last call on this interface.
    virtual uint32_t GetLastError() const = 0;
    // A readable form of it ("wimlib: The file is not a WIM file" ...).
    virtual std::string GetLastErrorText() const = 0;

protected:
    // For wrappers: hand out a handle owned by this interface.
    WimHandle MakeHandle(WimObject *object, WimHandleKind kind) { return WimHandle(this, object, kind); }
};

// The process-wide interface the engine uses: the wimlib implementation,
// unless a test has put another in place.
IWimApi &WimApi();

// Puts `api` in place of the process-wide interface for this object's life
// (tests: fault injection). Not thread-safe; nest in stack order.
class ScopedWimApiOverride {
public:
    explicit ScopedWimApiOverride(IWimApi &api);
    ~ScopedWimApiOverride();
    ScopedWimApiOverride(const ScopedWimApiOverride &) = delete;
    ScopedWimApiOverride &operator=(const ScopedWimApiOverride &) = delete;

private:
    IWimApi *previous_;
};

// A new wimlib-backed interface (WimApi() returns a shared one).
std::unique_ptr<IWimApi> MakeWimlibApi();

// Whether MountImage may use a FUSE mount (default: when /dev/fuse can be
// opened). Tests switch it off to drive the extraction stand-in.
void SetFuseMountAllowed(bool allowed);
bool FuseMountAllowed();
// Whether MountImage is offered at all: on Windows (no FUSE) it is not, and
// MountImage always extracts the image in its place; verbs say so in the log.
bool WimMountOffered();
// True when `folder` (host path) is a FUSE mount of a WIM image.
bool IsWimFuseMount(const std::string &hostFolder);

} // namespace halcyon::support::wim
