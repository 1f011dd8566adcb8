// Self-registration: the keys under the classes root, machine-wide and per
// user, and their removal.
#include "platform/registry.h"
#include "tests/langsel/mui_fixture.h"

namespace halcyon::test {
namespace {

namespace reg = platform::reg;

constexpr const char *kClsidKey = "CLSID\\{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}";

std::string Value(reg::HKEY root, const std::string &key, const std::string &name = "")
{
    std::string v;
    if (reg::GetString(root, key, name, &v) != reg::ERROR_SUCCESS)
        return "<absent>";
    return v;
}

class RegistrationTest : public MuiTest {
protected:
    template <class F> F Export(const char *name) { return reinterpret_cast<F>(server_.Symbol(name)); }
    HRESULT Unregister() { return Export<HRESULT (*)()>("DllUnregisterServer")(); }
    HRESULT Install(bool install, const char16_t *line)
    {
        return Export<HRESULT (*)(bool, const char16_t *)>("DllInstall")(install, line);
    }
    const std::string machine = "Software\\Classes\\";
};

TEST_F(RegistrationTest, RegisterWritesTheClassKeysMachineWide)
{
    const reg::HKEY hklm = reg::HKEY_LOCAL_MACHINE;
    std::string module = std::filesystem::canonical(MUICHOOSER_DLL_PATH).string();
    EXPECT_EQ(Value(hklm, machine + "AppID\\{2E97C5B0-41FA-4D6C-9B83-D50E6A1F7C29}"), "MuiChooser");
    EXPECT_EQ(Value(hklm, machine + "AppID\\MuiChooser.DLL", "AppID"), "{2E97C5B0-41FA-4D6C-9B83-D50E6A1F7C29}");
    EXPECT_EQ(Value(hklm, machine + "MuiChooser.ComMUI.1"), "ComMUI Class");
    EXPECT_EQ(Value(hklm, machine + "MuiChooser.ComMUI.1\\CLSID"), "{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}");
    EXPECT_EQ(Value(hklm, machine + "MuiChooser.ComMUI\\CLSID"), "{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}");
    EXPECT_EQ(Value(hklm, machine + "MuiChooser.ComMUI\\CurVer"), "MuiChooser.ComMUI.1");
    std::string clsid = machine + kClsidKey;
    EXPECT_EQ(Value(hklm, clsid), "ComMUI Class");
    EXPECT_EQ(Value(hklm, clsid + "\\ProgID"), "MuiChooser.ComMUI.1");
    EXPECT_EQ(Value(hklm, clsid + "\\VersionIndependentProgID"), "MuiChooser.ComMUI");
    EXPECT_TRUE(reg::KeyExists(hklm, clsid + "\\Programmable"));
    EXPECT_EQ(Value(hklm, clsid + "\\InprocServer32"), module);
    EXPECT_EQ(Value(hklm, clsid + "\\InprocServer32", "ThreadingModel"), "<absent>");
    EXPECT_EQ(Value(hklm, clsid + "\\TypeLib"), "{3F6B2A91-7C4E-4D18-9E52-A1C7D30B8E64}");
    EXPECT_EQ(Value(hklm, machine + "TypeLib\\{3F6B2A91-7C4E-4D18-9E52-A1C7D30B8E64}\\1.0"),
              "MuiChooser 1.0 Type Library");
    // Seen through the classes root as a client sees it; nothing per user.
    EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InprocServer32"), module);
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_CURRENT_USER, machine + kClsidKey));
}

TEST_F(RegistrationTest, UnregisterRemovesWhatRegistrationAddedAndKeepsTheRest)
{
    // Others' data under shared keys, and under a key of ours that stays.
    ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, machine + "CLSID\\{00000000-1111-2222-3333-444444444444}", "",
                             "Other"),
              reg::ERROR_SUCCESS);
    ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, machine + "MuiChooser.ComMUI", "Owner", "someone"),
              reg::ERROR_SUCCESS);
    ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, machine + kClsidKey + "\\Extra", "", "x"), reg::ERROR_SUCCESS);

    ASSERT_EQ(Unregister(), S_OK);
    const reg::HKEY hklm = reg::HKEY_LOCAL_MACHINE;
    EXPECT_FALSE(reg::KeyExists(hklm, machine + kClsidKey)); // removed whole, foreign subkey included
    EXPECT_FALSE(reg::KeyExists(hklm, machine + "MuiChooser.ComMUI.1"));
    EXPECT_FALSE(reg::KeyExists(hklm, machine + "AppID\\{2E97C5B0-41FA-4D6C-9B83-D50E6A1F7C29}"));
    EXPECT_FALSE(reg::KeyExists(hklm, machine + "AppID\\MuiChooser.DLL"));
    EXPECT_FALSE(reg::KeyExists(hklm, machine + "TypeLib\\{3F6B2A91-7C4E-4D18-9E52-A1C7D30B8E64}"));
    EXPECT_FALSE(reg::KeyExists(hklm, machine + "Interface\\{6C1F9E3A-D285-4B70-A4E9-0F3B7C21D958}"));
    EXPECT_TRUE(reg::KeyExists(hklm, machine + "AppID"));
    EXPECT_TRUE(reg::KeyExists(hklm, machine + "CLSID\\{00000000-1111-2222-3333-444444444444}"));
    // A key holding someone else's value keeps it and loses only ours.
    EXPECT_EQ(Value(hklm, machine + "MuiChooser.ComMUI", "Owner"), "someone");
    EXPECT_EQ(Value(hklm, machine + "MuiChooser.ComMUI"), "<absent>");
    EXPECT_FALSE(reg::KeyExists(hklm, machine + "MuiChooser.ComMUI\\CurVer"));

    IUnknown *object = nullptr;
    EXPECT_EQ(langsel::CreateInstance("MuiChooser.ComMUI.1", IID_IUnknown, reinterpret_cast<void **>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    // A second removal finds nothing to do.
    EXPECT_EQ(Unregister(), S_OK);
}

TEST_F(RegistrationTest, InstallForTheUserWritesTheUsersClasses)
{
    ASSERT_EQ(Unregister(), S_OK);
    ASSERT_EQ(Install(true, u"USER"), S_OK);
    std::string clsid = machine + kClsidKey;
    EXPECT_TRUE(reg::KeyExists(reg::HKEY_CURRENT_USER, clsid + "\\InprocServer32"));
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, clsid));
    // Activation finds the per-user class.
    ComPtr<IComMUI> object;
    Create(object);
    object.reset();

    ASSERT_EQ(Install(false, u"user"), S_OK);
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_CURRENT_USER, clsid));
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_CURRENT_USER, machine + "MuiChooser.ComMUI"));
}

TEST_F(RegistrationTest, OnlyTheExactUserSwitchRegistersPerUser)
{
    ASSERT_EQ(Unregister(), S_OK);
    std::string clsid = machine + kClsidKey;
    for (const char16_t *line : {static_cast<const char16_t *>(nullptr), u"", u"users", u"use"}) {
        ASSERT_EQ(Install(true, line), S_OK);
        EXPECT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, clsid));
        EXPECT_FALSE(reg::KeyExists(reg::HKEY_CURRENT_USER, clsid));
        ASSERT_EQ(Install(false, line), S_OK);
        EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, clsid));
    }
    // The switch lasts for its call only: a later plain registration is
    // machine-wide again.
    ASSERT_EQ(Install(true, u"user"), S_OK);
    ASSERT_EQ(Export<HRESULT (*)()>("DllRegisterServer")(), S_OK);
    EXPECT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, clsid));
}

TEST_F(RegistrationTest, RegistrationFailsCleanlyWhenTheRegistryCannotBeWritten)
{
    ASSERT_EQ(Unregister(), S_OK);
    WithUnmakeableMachine([&] {
        HRESULT hr = Export<HRESULT (*)()>("DllRegisterServer")();
        EXPECT_LT(hr, 0);
        EXPECT_EQ(hr & 0xFFFF0000, static_cast<HRESULT>(0x80070000u));
        EXPECT_LT(Install(true, nullptr), 0);
        EXPECT_LT(Install(true, u"user"), 0);
    });
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_CLASSES_ROOT, kClsidKey));
}

} // namespace
} // namespace halcyon::test
