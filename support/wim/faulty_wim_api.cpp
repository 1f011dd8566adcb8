#include "support/wim/faulty_wim_api.h"

#include "platform/non_copyable.h"

namespace halcyon::support::wim {

// One of our handles shown to the inner interface as its own, without
// passing ownership: the object goes back to the caller's handle afterwards.
class FaultyWimApi::Borrowed : NonCopyable {
public:
    Borrowed(IWimApi &inner, const WimHandle &handle) : handle_(&inner, handle.Get(), handle.Kind()) {}
    ~Borrowed() { handle_.Release(); }
    const WimHandle &Get() const { return handle_; }

private:
    WimHandle handle_;
};

template <typename Result, typename Body>
Result FaultyWimApi::Forward(WimCall call, Result onTrip, const WimHandle &handle, Body &&body)
{
    if (Trip(call))
        return onTrip;
    Borrowed h(inner_, handle);
    return body(h.Get());
}

void FaultyWimApi::FailOn(WimCall call, uint32_t error, int occurrence)
{
    Plan &plan = plans_[Index(call)];
    plan.active = true;
    plan.error = error;
    plan.occurrence = occurrence;
    plan.seen = 0;
}

void FaultyWimApi::Clear()
{
    plans_ = {};
    calls_ = {};
    injected_ = false;
    injectedError_ = 0;
}

bool FaultyWimApi::Trip(WimCall call)
{
    ++calls_[Index(call)];
    injected_ = false;
    Plan &plan = plans_[Index(call)];
    if (!plan.active)
        return false;
    ++plan.seen;
    if (plan.occurrence != 0 && plan.seen != plan.occurrence)
        return false;
    injected_ = true;
    injectedError_ = plan.error;
    return true;
}

WimHandle FaultyWimApi::CreateFile(const std::string &path, uint32_t access, uint32_t disposition, uint32_t flags,
                                   uint32_t compression, uint32_t *creationResult)
{
    if (Trip(WimCall::CreateFile))
        return {};
    WimHandle inner = inner_.CreateFile(path, access, disposition, flags, compression, creationResult);
    if (!inner)
        return {};
    return MakeHandle(inner.Release(), WimHandleKind::File);
}

bool FaultyWimApi::SetTemporaryPath(const WimHandle &wim, const std::string &folder)
{
    return Forward(WimCall::SetTemporaryPath, false, wim,
                   [&](const WimHandle &h) { return inner_.SetTemporaryPath(h, folder); });
}

bool FaultyWimApi::SetReferenceFile(const WimHandle &wim, const std::string &path, uint32_t flags)
{
    return Forward(WimCall::SetReferenceFile, false, wim,
                   [&](const WimHandle &h) { return inner_.SetReferenceFile(h, path, flags); });
}

uint32_t FaultyWimApi::GetImageCount(const WimHandle &wim)
{
    return Forward(WimCall::GetImageCount, uint32_t{0}, wim,
                   [&](const WimHandle &h) { return inner_.GetImageCount(h); });
}

WimHandle FaultyWimApi::LoadImage(const WimHandle &wim, uint32_t index)
{
    if (Trip(WimCall::LoadImage))
        return {};
    Borrowed h(inner_, wim);
    WimHandle inner = inner_.LoadImage(h.Get(), index);
    if (!inner)
        return {};
    return MakeHandle(inner.Release(), WimHandleKind::Image);
}

bool FaultyWimApi::GetImageInformation(const WimHandle &image, std::string &xml)
{
    return Forward(WimCall::GetImageInformation, false, image,
                   [&](const WimHandle &h) { return inner_.GetImageInformation(h, xml); });
}

uint32_t FaultyWimApi::RegisterMessageCallback(const WimHandle &wim, WimMessageCallback callback, void *userData)
{
    if (Trip(WimCall::RegisterMessageCallback))
        return INVALID_CALLBACK_VALUE;
    if (!wim)
        return inner_.RegisterMessageCallback(WimHandle(), callback, userData);
    Borrowed h(inner_, wim);
    return inner_.RegisterMessageCallback(h.Get(), callback, userData);
}

bool FaultyWimApi::UnregisterMessageCallback(const WimHandle &wim, WimMessageCallback callback)
{
    if (Trip(WimCall::UnregisterMessageCallback))
        return false;
    if (!wim)
        return inner_.UnregisterMessageCallback(WimHandle(), callback);
    Borrowed h(inner_, wim);
    return inner_.UnregisterMessageCallback(h.Get(), callback);
}

bool FaultyWimApi::ApplyImage(const WimHandle &image, const std::string &folder, uint32_t flags)
{
    return Forward(WimCall::ApplyImage, false, image,
                   [&](const WimHandle &h) { return inner_.ApplyImage(h, folder, flags); });
}

bool FaultyWimApi::MountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                              const std::string &tempFolder)
{
    if (Trip(WimCall::MountImage))
        return false;
    return inner_.MountImage(mountFolder, wimPath, index, tempFolder);
}

bool FaultyWimApi::UnmountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                                bool commit)
{
    if (Trip(WimCall::UnmountImage))
        return false;
    return inner_.UnmountImage(mountFolder, wimPath, index, commit);
}

bool FaultyWimApi::CloseHandle(WimObject *object, WimHandleKind kind)
{
    const bool fail = Trip(kind == WimHandleKind::Image ? WimCall::CloseImage : WimCall::CloseFile);
    // The handle underneath is released either way, so nothing leaks.
    const bool closed = inner_.CloseHandle(object, kind);
    if (fail) {
        injected_ = true;
        return false;
    }
    return closed;
}

uint32_t FaultyWimApi::GetLastError() const
{
    return injected_ ? injectedError_ : inner_.GetLastError();
}

std::string FaultyWimApi::GetLastErrorText() const
{
    return injected_ ? "injected failure, error " + std::to_string(injectedError_) : inner_.GetLastErrorText();
}

} // namespace halcyon::support::wim
