// Creating the class the way a client does, the object's identity and
// reference counting, aggregation and the connection point.
#include "platform/registry.h"
#include "tests/langsel/mui_fixture.h"

namespace halcyon::test {
namespace {

class ActivationTest : public MuiTest {
protected:
    HRESULT CanUnloadNow()
    {
        return reinterpret_cast<HRESULT (*)()>(server_.Symbol("DllCanUnloadNow"))();
    }
};

TEST_F(ActivationTest, CreatesByClsidAndByEitherProgId)
{
    for (const char *name : {"{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}", "{b7e0d4c2-5a19-4f83-8d6e-2c94f1a07b35}",
                             "MuiChooser.ComMUI", "MuiChooser.ComMUI.1", "muichooser.commui"}) {
        ComPtr<IDispatch> object;
        EXPECT_EQ(langsel::CreateInstance(name, IID_IDispatch, object.out()), S_OK) << name;
        EXPECT_TRUE(object) << name;
    }
}

TEST_F(ActivationTest, UnknownClassesAndBrokenRegistrationsAreReported)
{
    void *object = reinterpret_cast<void *>(1);
    EXPECT_EQ(langsel::CreateInstance("No.Such.Class", IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(langsel::CreateInstance("{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B36}", IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(langsel::CreateInstance("{B7E0D4C2-5A19", IID_IUnknown, &object), CO_E_CLASSSTRING);
    // The server asked for a class it does not serve.
    auto getClassObject =
        reinterpret_cast<HRESULT (*)(const GUID *, const GUID *, void **)>(server_.Symbol("DllGetClassObject"));
    EXPECT_EQ(getClassObject(&IID_IComMUI, &IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    // A registration pointing at a missing file.
    ASSERT_EQ(platform::reg::SetString(platform::reg::HKEY_CURRENT_USER,
                                       "Software\\Classes\\CLSID\\{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}\\InprocServer32",
                                       "", machine_.root() + "/missing.so"),
              platform::reg::ERROR_SUCCESS);
    EXPECT_EQ(langsel::CreateInstance("MuiChooser.ComMUI", IID_IUnknown, &object), CO_E_DLLNOTFOUND);
}

TEST_F(ActivationTest, ObjectsAndFactoryReferencesKeepTheServerLoaded)
{
    ASSERT_EQ(CanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(langsel::GetClassObject(CLSID_ComMUI, IID_IClassFactory, factory.out()), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);

    ComPtr<IComMUI> first;
    ComPtr<IComMUI> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IComMUI, first.out()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IComMUI, second.out()), S_OK);
    factory.reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);

    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);
    first.reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    second.reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    ASSERT_EQ(langsel::GetClassObject(CLSID_ComMUI, IID_IClassFactory, factory.out()), S_OK);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    factory.reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(langsel::GetClassObject(CLSID_ComMUI, IID_IClassFactory, factory.out()), S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    factory.reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ActivationTest, InterfacesShareOneIdentityAndOneCount)
{
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(langsel::CreateInstance("MuiChooser.ComMUI", IID_IUnknown, unknown.out()), S_OK);
    ComPtr<IComMUI> mui;
    ComPtr<IDispatch> dispatch;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IUnknown> again;
    ASSERT_EQ(unknown->QueryInterface(IID_IComMUI, mui.out()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
    ASSERT_EQ(mui->QueryInterface(IID_IConnectionPointContainer, container.out()), S_OK);
    ASSERT_EQ(container->QueryInterface(IID_IUnknown, again.out()), S_OK);
    EXPECT_EQ(again.get(), unknown.get());
    EXPECT_EQ(static_cast<void *>(dispatch.get()), static_cast<void *>(mui.get()));

    void *none = reinterpret_cast<void *>(1);
    EXPECT_EQ(mui->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(mui->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // Five references: unknown, mui, dispatch, container, again.
    EXPECT_EQ(unknown->AddRef(), 6u);
    EXPECT_EQ(unknown->Release(), 5u);
}

// An outer object that aggregates ComMUI.
class Outer final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void **object) override
    {
        ++queries;
        if (riid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, object);
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    IUnknown *inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

TEST_F(ActivationTest, AggregatedObjectDelegatesToTheOuterObject)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(langsel::GetClassObject(CLSID_ComMUI, IID_IClassFactory, factory.out()), S_OK);
    Outer outer;
    void *object = nullptr;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IComMUI, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void **>(&outer.inner)), S_OK);

    IComMUI *mui = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IComMUI, reinterpret_cast<void **>(&mui)), S_OK);
    EXPECT_EQ(outer.refs, 2u); // the interface's reference counts on the outer object
    IUnknown *identity = nullptr;
    ASSERT_EQ(mui->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    identity->Release();
    mui->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
    factory.reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

// An event sink that answers the event interface.
class Sink final : public IUnknown {
public:
    explicit Sink(bool answers) : answers_(answers) {}
    HRESULT QueryInterface(REFIID riid, void **object) override
    {
        if (riid == IID_IUnknown || (answers_ && riid == DIID__IComMUIEvents)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;

private:
    bool answers_;
};

TEST_F(ActivationTest, ConnectionPointHoldsSinksUntilUnadvisedOrDestroyed)
{
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(langsel::CreateInstance("MuiChooser.ComMUI", IID_IConnectionPointContainer, container.out()), S_OK);
    ComPtr<IConnectionPoint> point;
    void *none = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, reinterpret_cast<IConnectionPoint **>(&none)),
              CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IComMUIEvents, point.typed()), S_OK);
    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(iid == DIID__IComMUIEvents);

    Sink good(true), bad(false);
    DWORD cookie = 0, other = 0, refused = 7;
    EXPECT_EQ(point->Advise(&bad, &refused), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(bad.refs, 1u);
    ASSERT_EQ(point->Advise(&good, &cookie), S_OK);
    ASSERT_EQ(point->Advise(&good, &other), S_OK);
    EXPECT_NE(cookie, other);
    EXPECT_EQ(good.refs, 3u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(99), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(good.refs, 2u);

    // The enumerator lists the one point.
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.typed()), S_OK);
    IConnectionPoint *listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], point.get());
    listed[0]->Release();
    points.reset();

    point.reset();
    container.reset(); // the last reference: the remaining sink is released
    EXPECT_EQ(good.refs, 1u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

} // namespace
} // namespace halcyon::test
