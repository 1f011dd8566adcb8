// QueryInterface of a server object that offers one interface besides
// IUnknown.
#pragma once

#include "halcyon/MuiChooser.h"

namespace halcyon::langsel {

// `self` as `Interface` (its reference counted) when `riid` names IUnknown or
// `iid`; else E_NOINTERFACE.
template <class Interface, class Object>
HRESULT QuerySingleInterface(Object *self, REFIID iid, REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IUnknown || riid == iid))
        return E_NOINTERFACE;
    *object = static_cast<Interface *>(self);
    self->AddRef();
    return S_OK;
}

} // namespace halcyon::langsel
