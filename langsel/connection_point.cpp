#include "langsel/connection_point.h"

#include "langsel/server_module.h"
#include "langsel/single_interface.h"

namespace halcyon::langsel {

ConnectionPoint::~ConnectionPoint()
{
    for (IUnknown *sink : sinks_)
        if (sink)
            sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void **object)
{
    return QuerySingleInterface<IConnectionPoint>(this, IID_IConnectionPoint, riid, object);
}

ULONG ConnectionPoint::AddRef() { return container_->AddRef(); }
ULONG ConnectionPoint::Release() { return container_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID *iid)
{
    if (!iid)
        return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer **container)
{
    if (!container)
        return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown *sink, DWORD *cookie)
{
    return ComBarrier([&]() -> HRESULT {
        if (!cookie)
            return E_POINTER;
        *cookie = 0;
        if (!sink)
            return E_POINTER;
        void *typed = nullptr;
        if (sink->QueryInterface(iid_, &typed) != S_OK || !typed)
            return CONNECT_E_CANNOTCONNECT;
        IUnknown *held = static_cast<IUnknown *>(typed);
        try {
            sinks_.push_back(held);
        } catch (...) {
            held->Release();
            throw;
        }
        *cookie = static_cast<DWORD>(sinks_.size());
        return S_OK;
    });
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie)
{
    if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1])
        return CONNECT_E_NOCONNECTION;
    IUnknown *sink = sinks_[cookie - 1];
    sinks_[cookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections **connections)
{
    if (!connections)
        return E_POINTER;
    *connections = nullptr;
    return E_NOTIMPL;
}

size_t ConnectionPoint::SinkCount() const
{
    size_t n = 0;
    for (IUnknown *sink : sinks_)
        n += sink != nullptr;
    return n;
}

ConnectionPointEnum::ConnectionPointEnum(IConnectionPoint *point, ULONG position) : point_(point), position_(position)
{
    point_->AddRef();
    LockModule();
}

ConnectionPointEnum::~ConnectionPointEnum()
{
    point_->Release();
    UnlockModule();
}

HRESULT ConnectionPointEnum::Create(IConnectionPoint *point, ULONG position, IEnumConnectionPoints **result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    auto *e = new (std::nothrow) ConnectionPointEnum(point, position);
    if (!e)
        return E_OUTOFMEMORY;
    *result = e;
    return S_OK;
}

HRESULT ConnectionPointEnum::QueryInterface(REFIID riid, void **object)
{
    return QuerySingleInterface<IEnumConnectionPoints>(this, IID_IEnumConnectionPoints, riid, object);
}

ULONG ConnectionPointEnum::AddRef() { return ++refs_; }

ULONG ConnectionPointEnum::Release()
{
    ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT ConnectionPointEnum::Next(ULONG count, IConnectionPoint **points, ULONG *fetched)
{
    if (!points || (count > 1 && !fetched))
        return E_POINTER;
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
        points[0] = point_;
        point_->AddRef();
        position_ = 1;
        given = 1;
    }
    if (fetched)
        *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

HRESULT ConnectionPointEnum::Skip(ULONG count)
{
    if (count == 0)
        return S_OK;
    bool had = position_ == 0;
    position_ = 1;
    return had && count == 1 ? S_OK : S_FALSE;
}

HRESULT ConnectionPointEnum::Reset()
{
    position_ = 0;
    return S_OK;
}

HRESULT ConnectionPointEnum::Clone(IEnumConnectionPoints **copy) { return Create(point_, position_, copy); }

} // namespace halcyon::langsel
