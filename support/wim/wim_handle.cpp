// WimHandle and the process-wide imaging interface.
#include <utility>

#include "support/wim/wim_api.h"

namespace halcyon::support::wim {

WimHandle &WimHandle::operator=(WimHandle &&other) noexcept
{
    if (this != &other) {
        Reset();
        api_ = std::exchange(other.api_, nullptr);
        object_ = std::exchange(other.object_, nullptr);
        kind_ = other.kind_;
    }
    return *this;
}

bool WimHandle::Close()
{
    if (!object_ || !api_)
        return false;
    WimObject *object = std::exchange(object_, nullptr);
    return api_->CloseHandle(object, kind_);
}

void WimHandle::Reset()
{
    if (object_ && api_)
        (void)Close();
    object_ = nullptr;
}

WimObject *WimHandle::Release()
{
    return std::exchange(object_, nullptr);
}

namespace {

IWimApi *g_override = nullptr;

} // namespace

IWimApi &WimApi()
{
    if (g_override)
        return *g_override;
    static const std::unique_ptr<IWimApi> shared = MakeWimlibApi();
    return *shared;
}

ScopedWimApiOverride::ScopedWimApiOverride(IWimApi &api) : previous_(g_override)
{
    g_override = &api;
}

ScopedWimApiOverride::~ScopedWimApiOverride()
{
    g_override = previous_;
}

} // namespace halcyon::support::wim
