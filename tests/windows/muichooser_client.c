/* A client of MuiChooser.dll that knows only the registered class and its
 * type library: regsvr32 registers the server, the ProgID leads to the
 * CLSID, CoCreateInstance makes the object; IDispatch calls it by name with
 * BSTRs (late binding), IComMUI as the IDL declares it calls it through its
 * method table (early binding), the registered type library names the same
 * dispatch IDs; regsvr32 /u removes it again. Exit code 0 when all pass. */
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <initguid.h>

#include "MuiChooser_idl.h" /* widl's header of langsel/MuiChooser.idl */

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static int failures;

#define CHECK(cond, what)                                                                                          \
    do {                                                                                                           \
        if (!(cond)) {                                                                                             \
            fprintf(stderr, "FAIL %s (line %d)\n", what, __LINE__);                                                \
            ++failures;                                                                                            \
        }                                                                                                          \
    } while (0)

static DWORD RunRegsvr32(const wchar_t *arguments)
{
    wchar_t command[1024];
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    DWORD code = 0xFFFFFFFFu;
    swprintf(command, 1024, L"regsvr32.exe %ls", arguments);
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return code;
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

static void WriteText(const wchar_t *path, const char *text)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    CHECK(h != INVALID_HANDLE_VALUE && WriteFile(h, text, (DWORD)strlen(text), &written, NULL), "write a file");
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

/* Calls a method without arguments by name; the result in *result. */
static HRESULT CallByName(IDispatch *object, const wchar_t *name, VARIANT *result)
{
    DISPID id = 0;
    LPOLESTR names[1];
    DISPPARAMS none = {NULL, NULL, 0, 0};
    HRESULT hr;
    names[0] = (LPOLESTR)name;
    hr = IDispatch_GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    VariantInit(result);
    return IDispatch_Invoke(object, id, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result, NULL, NULL);
}

int main(void)
{
    static const struct {
        const wchar_t *name;
        DISPID id;
    } kMembers[] = {{L"GetLangNameArray", 1}, {L"SetMultipleLanguage", 2}, {L"CreateIniFile", 3},
                    {L"IsMLSLPC", 4},         {L"SetLanguageToRegistry", 6}, {L"DeleteFirstBootFlagFiles", 7},
                    {L"RecoverLPCBCD", 8},    {L"SetBCDToWinRE", 9},         {L"setbcdtowinpe", 10}};
    wchar_t dll[MAX_PATH], arguments[MAX_PATH + 16], *slash;
    CLSID clsid;
    IDispatch *object = NULL;
    VARIANT result;
    HRESULT hr;
    size_t i;

    GetModuleFileNameW(NULL, dll, MAX_PATH);
    slash = wcsrchr(dll, L'\\');
    wcscpy(slash ? slash + 1 : dll, L"MuiChooser.dll");
    swprintf(arguments, MAX_PATH + 16, L"/s \"%ls\"", dll);
    CHECK(RunRegsvr32(arguments) == 0, "regsvr32 registers the server");
    {
        wchar_t model[32] = L"";
        DWORD size = sizeof model;
        RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}\\InprocServer32",
                     L"ThreadingModel", RRF_RT_REG_SZ, NULL, model, &size);
        CHECK(wcscmp(model, L"Both") == 0, "registered with its threading model");
    }

    /* The build description the object reads lies on drive X: (the test
     * machine's prefix has one). */
    CreateDirectoryW(L"X:\\Norv", NULL);
    WriteText(L"X:\\Norv\\ZRPLP.ini", "[Lang]\r\nLang1=English\r\nLang2=Deutsch\r\n[LPMode]\r\nLP-C=Yes\r\n");

    CHECK(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)), "CoInitializeEx");
    hr = CLSIDFromProgID(L"MuiChooser.ComMUI", &clsid);
    CHECK(SUCCEEDED(hr), "ProgID to CLSID");
    hr = CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID_IDispatch, (void **)&object);
    CHECK(SUCCEEDED(hr) && object, "CoCreateInstance");
    if (object) {
        for (i = 0; i < sizeof kMembers / sizeof kMembers[0]; ++i) {
            DISPID id = 0;
            LPOLESTR names[1];
            names[0] = (LPOLESTR)kMembers[i].name;
            hr = IDispatch_GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            CHECK(hr == S_OK && id == kMembers[i].id, "dispatch ID by name (any case)");
        }
        {
            DISPID id = 0;
            LPOLESTR names[1] = {(LPOLESTR)L"NoSuchMethod"};
            CHECK(IDispatch_GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) ==
                      DISP_E_UNKNOWNNAME,
                  "unknown name");
        }

        hr = CallByName(object, L"GetLangNameArray", &result);
        CHECK(hr == S_OK && V_VT(&result) == VT_BSTR, "GetLangNameArray answers a BSTR");
        if (V_VT(&result) == VT_BSTR)
            CHECK(V_BSTR(&result) && wcscmp(V_BSTR(&result), L"English,Deutsch") == 0,
                  "the languages of the build description");
        VariantClear(&result);

        hr = CallByName(object, L"IsMLSLPC", &result);
        CHECK(hr == S_OK && V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE, "IsMLSLPC of an LP-C build");
        VariantClear(&result);

        {
            IComMUI *mui = NULL;
            BSTR names = NULL;
            VARIANT_BOOL lpc = VARIANT_FALSE;
            hr = IDispatch_QueryInterface(object, &IID_IComMUI, (void **)&mui);
            CHECK(hr == S_OK && mui, "QueryInterface(IID_IComMUI)");
            if (mui) {
                CHECK(IComMUI_GetLangNameArray(mui, &names) == S_OK && names &&
                          wcscmp(names, L"English,Deutsch") == 0,
                      "early-bound GetLangNameArray");
                SysFreeString(names);
                CHECK(IComMUI_IsMLSLPC(mui, &lpc) == S_OK && lpc == VARIANT_TRUE, "early-bound IsMLSLPC");
                IComMUI_Release(mui);
            }
        }
        {
            ITypeLib *lib = NULL;
            ITypeInfo *info = NULL;
            hr = LoadRegTypeLib(&LIBID_MuiChooserLib, 1, 0, 0x409, &lib);
            CHECK(hr == S_OK && lib, "the registered type library loads");
            if (lib) {
                CHECK(ITypeLib_GetTypeInfoOfGuid(lib, &IID_IComMUI, &info) == S_OK && info,
                      "the type library describes IComMUI");
                for (i = 0; info && i < sizeof kMembers / sizeof kMembers[0]; ++i) {
                    MEMBERID id = 0;
                    LPOLESTR names[1];
                    names[0] = (LPOLESTR)kMembers[i].name;
                    CHECK(ITypeInfo_GetIDsOfNames(info, names, 1, &id) == S_OK && id == kMembers[i].id,
                          "the type library's dispatch ID");
                }
                if (info)
                    ITypeInfo_Release(info);
                ITypeLib_Release(lib);
            }
        }
        IDispatch_Release(object);
    }
    CoUninitialize();

    {
        wchar_t unregister[MAX_PATH + 16];
        HKEY key;
        swprintf(unregister, MAX_PATH + 16, L"/s /u \"%ls\"", dll);
        CHECK(RunRegsvr32(unregister) == 0, "regsvr32 /u removes the server");
        CHECK(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"MuiChooser.ComMUI", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND,
              "the ProgID is gone");
    }

    if (failures)
        fprintf(stderr, "%d failures\n", failures);
    return failures ? 1 : 0;
}
