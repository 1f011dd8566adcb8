#include "langsel/com_mui.h"

#include "langsel/server_module.h"

namespace halcyon::langsel {

CComMUI::CComMUI(IUnknown *outer)
    : inner_(this), controlling_(outer ? outer : &inner_), events_(this, DIID__IComMUIEvents)
{
    LockModule();
}

CComMUI::~CComMUI() { UnlockModule(); }

HRESULT CComMUI::Create(IUnknown *outer, REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    // An aggregating object must hold the inner IUnknown.
    if (outer && !(riid == IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    auto *created = new (std::nothrow) CComMUI(outer);
    if (!created)
        return E_OUTOFMEMORY;
    // The inner reference keeps the object alive across the query.
    created->inner_.AddRef();
    HRESULT hr = created->inner_.QueryInterface(riid, object);
    created->inner_.Release();
    return hr;
}

HRESULT CComMUI::Inner::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown)
        *object = static_cast<IUnknown *>(this);
    else if (riid == IID_IComMUI || riid == IID_IDispatch)
        *object = static_cast<IComMUI *>(owner_);
    else if (riid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer *>(owner_);
    else
        return E_NOINTERFACE;
    static_cast<IUnknown *>(*object)->AddRef();
    return S_OK;
}

ULONG CComMUI::Inner::AddRef() { return ++refs_; }

ULONG CComMUI::Inner::Release()
{
    ULONG left = --refs_;
    if (left == 0)
        delete owner_;
    return left;
}

HRESULT CComMUI::QueryInterface(REFIID riid, void **object) { return controlling_->QueryInterface(riid, object); }
ULONG CComMUI::AddRef() { return controlling_->AddRef(); }
ULONG CComMUI::Release() { return controlling_->Release(); }

HRESULT CComMUI::EnumConnectionPoints(IEnumConnectionPoints **points)
{
    return ConnectionPointEnum::Create(&events_, 0, points);
}

HRESULT CComMUI::FindConnectionPoint(REFIID riid, IConnectionPoint **point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!(riid == DIID__IComMUIEvents))
        return CONNECT_E_NOCONNECTION;
    *point = &events_;
    events_.AddRef();
    return S_OK;
}

} // namespace halcyon::langsel
