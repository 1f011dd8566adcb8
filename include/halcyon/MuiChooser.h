/* libMuiChooser.so: the language-selection COM in-process server.
 *
 * The COM types below keep their Windows x64 layouts (GUID 16 bytes, VARIANT
 * and DISPPARAMS 24 bytes each). BSTRs are UTF-16 (char16_t) strings preceded
 * by their length in bytes as a 4-byte value; make and free them with the
 * Sys* functions the library exports. Interfaces are C++ classes with pure
 * virtual methods and no virtual destructor, so an object's first word points
 * to its method table and each method takes the object pointer first, the
 * way COM lays them out.
 */
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
/* MuiChooser.dll: the system's COM and OLE Automation types (BSTRs from
 * oleaut32); DllInstall takes the system's signature. */
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#define MUICHOOSER_API extern "C" __declspec(dllexport)
using COMLONG = LONG; /* COM "long" */
#else
#define MUICHOOSER_API extern "C" __attribute__((visibility("default")))

using HRESULT = int32_t;
using SCODE = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using WORD = uint16_t;
using COMLONG = int32_t; /* COM "long" */
using LCID = uint32_t;
using DISPID = int32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR *;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID &;
using REFCLSID = const CLSID &;

inline bool operator==(const GUID &a, const GUID &b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

/* HRESULT values */
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
#endif

/* HRESULT_FROM_WIN32 */
constexpr HRESULT HResultFromWin32(uint32_t error)
{
    return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

#if !defined(_WIN32)
/* VARIANT types */
enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000
};

struct IUnknown;
struct IDispatch;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        int64_t llVal;
        int32_t lVal;
        uint32_t ulVal;
        int16_t iVal;
        uint16_t uiVal;
        int8_t cVal;
        uint8_t bVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown *punkVal;
        IDispatch *pdispVal;
        BSTR *pbstrVal;
        int32_t *plVal;
        int16_t *piVal;
        VARIANT_BOOL *pboolVal;
        VARIANT *pvarVal;
        void *byref;
        struct {
            void *pvRecord;
            void *pRecInfo;
        } record;
    };
};
using VARIANTARG = VARIANT;

struct DISPPARAMS {
    VARIANTARG *rgvarg;
    DISPID *rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void *pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO *);
    SCODE scode;
};

static_assert(sizeof(GUID) == 16, "GUID layout");
static_assert(sizeof(VARIANT) == 24, "VARIANT layout");
static_assert(sizeof(DISPPARAMS) == 24, "DISPPARAMS layout");
static_assert(offsetof(VARIANT, llVal) == 8, "VARIANT layout");

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

/* Interfaces */
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void **object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct ITypeInfo; /* no type information is served on Linux */

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT *count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo **info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, OLECHAR **names, UINT count, LCID lcid, DISPID *ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                           EXCEPINFO *exception, UINT *argError) = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **object) = 0;
    virtual HRESULT LockServer(int32_t lock) = 0;
};

struct IConnectionPointContainer;
struct IEnumConnections;

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID *iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer **container) = 0;
    virtual HRESULT Advise(IUnknown *sink, DWORD *cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections **connections) = 0;
};

struct IEnumConnectionPoints : IUnknown {
    virtual HRESULT Next(ULONG count, IConnectionPoint **points, ULONG *fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnectionPoints **copy) = 0;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints **points) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint **point) = 0;
};

#endif

/* The language-selection interface, dual: dispatch IDs 1-4 and 6-10 in this
 * order (5 is not used). */
struct IComMUI : IDispatch {
    virtual HRESULT GetLangNameArray(BSTR *pstrLangNameArray) = 0;                     /* 1 */
    virtual HRESULT SetMultipleLanguage(BSTR *pcLanguageName, COMLONG lLanguageId) = 0; /* 2 */
    virtual HRESULT CreateIniFile(BSTR *pcLangName) = 0;                               /* 3 */
    virtual HRESULT IsMLSLPC(VARIANT_BOOL *bMlsplc) = 0;                               /* 4 */
    virtual HRESULT SetLanguageToRegistry(BSTR pstrLangName, COMLONG *plReturnValue) = 0; /* 6 */
    virtual HRESULT DeleteFirstBootFlagFiles(COMLONG *plReturnValue) = 0;              /* 7 */
    virtual HRESULT RecoverLPCBCD(COMLONG *plReturnValue) = 0;                         /* 8 */
    virtual HRESULT SetBCDToWinRE(COMLONG *plReturnValue) = 0;                         /* 9 */
    virtual HRESULT SetBCDToWinPE(COMLONG *plReturnValue) = 0;                         /* 10 */
};

/* Identities */
#if !defined(_WIN32)
constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IEnumConnectionPoints = {0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
#endif

constexpr GUID LIBID_MuiChooserLib = {0x3F6B2A91, 0x7C4E, 0x4D18, {0x9E, 0x52, 0xA1, 0xC7, 0xD3, 0x0B, 0x8E, 0x64}};
constexpr CLSID CLSID_ComMUI = {0xB7E0D4C2, 0x5A19, 0x4F83, {0x8D, 0x6E, 0x2C, 0x94, 0xF1, 0xA0, 0x7B, 0x35}};
constexpr IID IID_IComMUI = {0x6C1F9E3A, 0xD285, 0x4B70, {0xA4, 0xE9, 0x0F, 0x3B, 0x7C, 0x21, 0xD9, 0x58}};
constexpr IID DIID__IComMUIEvents = {0xA4D83B17, 0x96EC, 0x4E25, {0xB1, 0xF0, 0x7E, 0x5A, 0x2C, 0x9D, 0x40, 0x36}};
constexpr GUID APPID_MuiChooser = {0x2E97C5B0, 0x41FA, 0x4D6C, {0x9B, 0x83, 0xD5, 0x0E, 0x6A, 0x1F, 0x7C, 0x29}};

/* plReturnValue codes */
constexpr COMLONG MUI_ERROR_REGISTRY = 1000;
constexpr COMLONG MUI_ERROR_FIRSTBOOT = 1001;
constexpr COMLONG MUI_ERROR_RECOVER_BCD = 1002;
constexpr COMLONG MUI_ERROR_NO_BCD = 1003;
constexpr COMLONG MUI_ERROR_BCD_TOOL = 1004;
constexpr COMLONG MUI_ERROR_BCD_ATTRIBUTES = 1005;
constexpr COMLONG MUI_ERROR_ACTIVATE = 1006;
constexpr COMLONG MUI_ERROR_DEACTIVATE = 1007;

/* Exports */
#if defined(_WIN32)
MUICHOOSER_API HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID *object);
MUICHOOSER_API HRESULT STDAPICALLTYPE DllCanUnloadNow(void);
MUICHOOSER_API HRESULT STDAPICALLTYPE DllRegisterServer(void);
MUICHOOSER_API HRESULT STDAPICALLTYPE DllUnregisterServer(void);
MUICHOOSER_API HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line);
#else
MUICHOOSER_API HRESULT DllGetClassObject(const GUID *clsid, const GUID *iid, void **object);
MUICHOOSER_API HRESULT DllCanUnloadNow(void);
MUICHOOSER_API HRESULT DllRegisterServer(void);
MUICHOOSER_API HRESULT DllUnregisterServer(void);
MUICHOOSER_API HRESULT DllInstall(bool install, const char16_t *command_line);

MUICHOOSER_API BSTR SysAllocString(const OLECHAR *text);
MUICHOOSER_API BSTR SysAllocStringLen(const OLECHAR *text, UINT length);
MUICHOOSER_API void SysFreeString(BSTR text);
MUICHOOSER_API UINT SysStringLen(BSTR text);
#endif
