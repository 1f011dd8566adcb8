// The class factory of ComMUI: one object for the process. References that
// clients hold on it lock the module, so that the server stays loaded while
// they can still create objects.
#pragma once

#include "halcyon/MuiChooser.h"

namespace halcyon::langsel {

class ComMUIFactory final : public IClassFactory {
public:
    static ComMUIFactory &Instance();

    HRESULT QueryInterface(REFIID riid, void **object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **object) override;
    HRESULT LockServer(int32_t lock) override;
};

} // namespace halcyon::langsel
