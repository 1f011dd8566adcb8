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

    HALCYON_WIM_API_CALLS
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
    // The inner call on a borrowed handle unless `call` trips (then
    // `onTrip`).
    template <typename Result, typename Body>
    Result Forward(WimCall call, Result onTrip, const WimHandle &handle, Body &&body);

    IWimApi &inner_;
    std::array<Plan, static_cast<size_t>(WimCall::Count_)> plans_{};
    std::array<int, static_cast<size_t>(WimCall::Count_)> calls_{};
    bool injected_ = false;   // the last call failed by injection
    uint32_t injectedError_ = 0;
};

} // namespace halcyon::support::wim
