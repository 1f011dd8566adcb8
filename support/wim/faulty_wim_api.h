// An imaging interface that passes every call to a real one and fails the
// calls a test asks for, so that each failure path of the callers can be
// driven. Handles keep working through it: a failed close still releases the
// handle underneath.
//
//   auto real = support::wim::MakeWimlibApi();
//   support::wim::FaultyWimApi faulty(*real);
//   faulty.FailOn(support::wim::WimCall::LoadImage);          // every LoadImage
//   faulty.FailOn(support::wim::WimCall::CloseImage, 5, 2);   // the 2nd image close, error 5
//   support::wim::ScopedWimApiOverride use(faulty);
//   ... run the verb ...
//   EXPECT_EQ(faulty.Calls(support::wim::WimCall::ApplyImage), 1);
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "support/wim/wim_api.h"

namespace halcyon::support::wim {

enum class WimCall {
    CreateFile,
    SetTemporaryPath,
    SetReferenceFile,
    GetImageCount,
    LoadImage,
    GetImageInformation,
    RegisterMessageCallback,
    UnregisterMessageCallback,
    ApplyImage,
    MountImage,
    UnmountImage,
    CloseImage, // CloseHandle of an image handle
    CloseFile,  // CloseHandle of a WIM file handle
    Count_
};

class FaultyWimApi : public IWimApi {
public:
    explicit FaultyWimApi(IWimApi &inner) : inner_(inner) {}

    // Fails `call` with last error `error`: every call when `occurrence` is 0,
    // else only the occurrence-th one (1-based, counted from now on).
    void FailOn(WimCall call, uint32_t error = WIM_ERROR_GEN_FAILURE, int occurrence = 0);
    // Removes every planned failure and resets the counters.
    void Clear();
    // How many times `call` was made (failed ones included).
    int Calls(WimCall call) const { return calls_[Index(call)]; }

    WimHandle CreateFile(const std::string &path, uint32_t access, uint32_t disposition, uint32_t flags,
                         uint32_t compression, uint32_t *creationResult) override;
    bool SetTemporaryPath(const WimHandle &wim, const std::string &folder) override;
    bool SetReferenceFile(const WimHandle &wim, const std::string &path, uint32_t flags) override;
    uint32_t GetImageCount(const WimHandle &wim) override;
    WimHandle LoadImage(const WimHandle &wim, uint32_t index) override;
    bool GetImageInformation(const WimHandle &image, std::string &xml) override;
    uint32_t RegisterMessageCallback(const WimHandle &wim, WimMessageCallback callback, void *userData) override;
    bool UnregisterMessageCallback(const WimHandle &wim, WimMessageCallback callback) override;
    bool ApplyImage(const WimHandle &image, const std::string &folder, uint32_t flags) override;
    bool MountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                    const std::string &tempFolder) override;
    bool UnmountImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                      bool commit) override;
    bool CloseHandle(WimObject *object, WimHandleKind kind) override;
    uint32_t GetLastError() const override;
    std::string GetLastErrorText() const override;

private:
    struct Plan {
        bool active = false;
        uint32_t error = 0;
        int occurrence = 0; // 0 = always
        int seen = 0;
    };
    static size_t Index(WimCall call) { return static_cast<size_t>(call); }
    // Counts the call; true (and the last error set) when it must fail.
    bool Trip(WimCall call);
    // A view of a handle of ours as the inner interface's handle, without
    // taking ownership.
    class Borrowed;

    IWimApi &inner_;
    std::array<Plan, static_cast<size_t>(WimCall::Count_)> plans_{};
    std::array<int, static_cast<size_t>(WimCall::Count_)> calls_{};
    bool injected_ = false;   // the last call failed by injection
    uint32_t injectedError_ = 0;
};

} // namespace halcyon::support::wim
