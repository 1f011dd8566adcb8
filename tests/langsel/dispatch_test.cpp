// Late-bound calls: names to dispatch IDs, and Invoke with the argument
// forms automation clients pass.
#include "platform/registry.h"
#include "tests/langsel/mui_fixture.h"

namespace halcyon::test {
namespace {

class DispatchTest : public MuiTest {
protected:
    void SetUp() override
    {
        MuiTest::SetUp();
        ASSERT_EQ(langsel::CreateInstance("MuiChooser.ComMUI", IID_IDispatch, dispatch.out()), S_OK);
    }

    DISPID Id(const char16_t *name)
    {
        OLECHAR *names[1] = {const_cast<OLECHAR *>(name)};
        DISPID id = 12345;
        HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        return hr == S_OK ? id : hr == DISP_E_UNKNOWNNAME ? -100 + id : -999;
    }

    HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT *result, UINT *argError = nullptr)
    {
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, argError);
    }

    ComPtr<IDispatch> dispatch;
};

VARIANT Long(int32_t v)
{
    VARIANT x{};
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}

TEST_F(DispatchTest, NamesMapToTheirDispatchIdsWithoutRegardToCase)
{
    EXPECT_EQ(Id(u"GetLangNameArray"), 1);
    EXPECT_EQ(Id(u"setmultiplelanguage"), 2);
    EXPECT_EQ(Id(u"CreateIniFile"), 3);
    EXPECT_EQ(Id(u"IsMLSLPC"), 4);
    EXPECT_EQ(Id(u"SetLanguageToRegistry"), 6);
    EXPECT_EQ(Id(u"DeleteFirstBootFlagFiles"), 7);
    EXPECT_EQ(Id(u"RecoverLPCBCD"), 8);
    EXPECT_EQ(Id(u"SETBCDTOWINRE"), 9);
    EXPECT_EQ(Id(u"SetBCDToWinPE"), 10);
    EXPECT_EQ(Id(u"SetBCDToWin"), -101); // unknown names get DISPID_UNKNOWN
    EXPECT_EQ(Id(u"GetLangNameArrayX"), -101);

    // Parameter names follow the member's name.
    OLECHAR *names[3] = {const_cast<OLECHAR *>(u"SetMultipleLanguage"), const_cast<OLECHAR *>(u"lLanguageId"),
                         const_cast<OLECHAR *>(u"nothing")};
    DISPID ids[3];
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 2);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_IComMUI, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
    UINT count = 9;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(DispatchTest, InvokeCallsTheMethodAndReturnsItsResult)
{
    WriteFile(X("Norv/ZRPLP.ini"), "[LPMode]\nLP-C=yes\n[Lang]\nLang1=en-US\nLang2=de-DE\n");
    VARIANT result{};
    ASSERT_EQ(Call(Id(u"GetLangNameArray"), {}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Text(result.bstrVal), u"en-US,de-DE");
    bstr_.free(result.bstrVal);

    ASSERT_EQ(Call(4, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);

    // A BSTR by value and a BSTR by reference both serve a BSTR* parameter.
    BSTR name = Bstr(u"de-DE");
    VARIANT byValue{};
    byValue.vt = VT_BSTR;
    byValue.bstrVal = name;
    ASSERT_EQ(Call(3, {byValue}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_NE(ReadFile(X("Norv/Language.ini")).find("Lang=de-DE"), std::string::npos);

    ASSERT_EQ(Call(6, {byValue}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);
    std::string stored;
    platform::reg::GetString(platform::reg::HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Norv Corporation\\Installed Software\\Variables", "SelectedLanguage", &stored);
    EXPECT_EQ(stored, "de-DE");

    std::string calls = FakeTool("Wpeutil.exe", 0);
    VARIANT byRef{};
    byRef.vt = VT_BSTR | VT_BYREF;
    byRef.pbstrVal = &name;
    // Arguments come last first: the ID, then the name.
    ASSERT_EQ(Call(2, {Long(3), byRef}, nullptr), S_OK);
    EXPECT_EQ(Calls(calls), "[SetMuiLanguage][de-DE]\n[SetUserLocale][de-DE]\n");
    // A method's S_FALSE reaches the caller.
    EXPECT_EQ(Call(2, {Long(22), byRef}, nullptr), S_FALSE);
    bstr_.free(name);
}

TEST_F(DispatchTest, NamedArgumentsAndConvertibleNumbers)
{
    std::string calls = FakeTool("Wpeutil.exe", 0);
    BSTR name = Bstr(u"fr-FR");
    VARIANT args[2] = {};
    args[0].vt = VT_BSTR; // lLanguageId as text
    args[0].bstrVal = Bstr(u"4");
    args[1].vt = VT_BSTR;
    args[1].bstrVal = name;
    DISPID named[2] = {1, 0};
    DISPPARAMS params{args, named, 2, 2};
    EXPECT_EQ(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Calls(calls), "[SetMuiLanguage][fr-FR]\n[SetUserLocale][fr-FR]\n");
    bstr_.free(args[0].bstrVal);
    bstr_.free(name);
}

TEST_F(DispatchTest, BadCallsAreRefusedWithoutRunningTheMethod)
{
    std::string calls = FakeTool("Wpeutil.exe", 0);
    VARIANT result{};
    UINT argError = 99;
    EXPECT_EQ(Call(5, {}, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(11, {}, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(2, {Long(3)}, &result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(1, {Long(3)}, &result), DISP_E_BADPARAMCOUNT);
    // A number where the name belongs.
    EXPECT_EQ(Call(2, {Long(3), Long(4)}, &result, &argError), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 1u);
    VARIANT text{};
    text.vt = VT_BSTR;
    text.bstrVal = Bstr(u"12x");
    VARIANT name{};
    name.vt = VT_BSTR;
    name.bstrVal = Bstr(u"en-US");
    EXPECT_EQ(Call(2, {text, name}, &result, &argError), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 0u);
    bstr_.free(text.bstrVal);
    bstr_.free(name.bstrVal);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Invoke(1, IID_IComMUI, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS inconsistent{nullptr, nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &inconsistent, &result, nullptr, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(Calls(calls), "");
}

} // namespace
} // namespace halcyon::test
