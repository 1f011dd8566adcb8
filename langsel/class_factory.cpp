#include "langsel/class_factory.h"

#include "langsel/com_mui.h"
#include "langsel/server_module.h"
#include "langsel/single_interface.h"

namespace halcyon::langsel {

ComMUIFactory &ComMUIFactory::Instance()
{
    static ComMUIFactory factory;
    return factory;
}

HRESULT ComMUIFactory::QueryInterface(REFIID riid, void **object)
{
    return QuerySingleInterface<IClassFactory>(this, IID_IClassFactory, riid, object);
}

ULONG ComMUIFactory::AddRef()
{
    LockModule();
    return 2;
}

ULONG ComMUIFactory::Release()
{
    UnlockModule();
    return 1;
}

HRESULT ComMUIFactory::CreateInstance(IUnknown *outer, REFIID riid, void **object)
{
    return ComBarrier([&] { return CComMUI::Create(outer, riid, object); });
}

HRESULT ComMUIFactory::LockServer(int32_t lock)
{
    if (lock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}

} // namespace halcyon::langsel
