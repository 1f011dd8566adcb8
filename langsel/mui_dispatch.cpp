// IDispatch of CComMUI: names and dispatch IDs of IComMUI, and late-bound
// calls with their arguments converted the way automation clients pass them.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "langsel/com_mui.h"
#include "langsel/server_module.h"
#include "langsel/bstr_text.h"
#include "langsel/text16.h"

namespace halcyon::langsel {

namespace {

enum class ParamKind { Bstr, BstrRef, Long };
enum class Result { None, Bstr, Bool, Long };

struct Member {
    DISPID id;
    const char16_t *name;
    std::u16string_view params[2]; // names of the [in] parameters
    ParamKind kinds[2];
    int inCount;
    Result result;
};

const Member kMembers[] = {
    {1, u"GetLangNameArray", {}, {}, 0, Result::Bstr},
    {2, u"SetMultipleLanguage", {u"pcLanguageName", u"lLanguageId"}, {ParamKind::BstrRef, ParamKind::Long}, 2, Result::None},
    {3, u"CreateIniFile", {u"pcLangName"}, {ParamKind::BstrRef}, 1, Result::None},
    {4, u"IsMLSLPC", {}, {}, 0, Result::Bool},
    {6, u"SetLanguageToRegistry", {u"pstrLangName"}, {ParamKind::Bstr}, 1, Result::Long},
    {7, u"DeleteFirstBootFlagFiles", {}, {}, 0, Result::Long},
    {8, u"RecoverLPCBCD", {}, {}, 0, Result::Long},
    {9, u"SetBCDToWinRE", {}, {}, 0, Result::Long},
    {10, u"SetBCDToWinPE", {}, {}, 0, Result::Long},
};

bool SameName(std::u16string_view a, const OLECHAR *b)
{
    size_t i = 0;
    for (; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (y == 0)
            return false;
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z')
            y = static_cast<char16_t>(y + 32);
        if (x != y)
            return false;
    }
    return b[i] == 0;
}

const Member *FindMember(DISPID id)
{
    for (const Member &m : kMembers)
        if (m.id == id)
            return &m;
    return nullptr;
}

// The argument for parameter `index`: named arguments first, then the
// positional ones, which come in reverse order.
VARIANT *Argument(const DISPPARAMS &params, int index, UINT *position)
{
    for (UINT i = 0; i < params.cNamedArgs; ++i)
        if (params.rgdispidNamedArgs[i] == index) {
            *position = i;
            return &params.rgvarg[i];
        }
    UINT positional = params.cArgs - params.cNamedArgs;
    if (static_cast<UINT>(index) >= positional)
        return nullptr;
    *position = params.cArgs - 1 - static_cast<UINT>(index);
    return &params.rgvarg[*position];
}

// A variant holding a VARIANT by reference stands for that variant.
const VARIANT *Deref(const VARIANT *v)
{
    while (v && v->vt == (VT_VARIANT | VT_BYREF))
        v = v->pvarVal;
    return v;
}

bool ToBstr(const VARIANT *v, BSTR **slot, BSTR *local)
{
    v = Deref(v);
    if (!v)
        return false;
    if (v->vt == VT_BSTR) {
        *local = v->bstrVal;
        *slot = local;
        return true;
    }
    if (v->vt == (VT_BSTR | VT_BYREF) && v->pbstrVal) {
        *slot = v->pbstrVal;
        return true;
    }
    return false;
}

bool ToLong(const VARIANT *v, COMLONG *out)
{
    v = Deref(v);
    if (!v)
        return false;
    bool byRef = (v->vt & VT_BYREF) != 0;
    if (byRef && !v->byref)
        return false;
    int64_t value = 0;
    switch (v->vt & ~VT_BYREF) {
    case VT_I1: value = byRef ? *static_cast<int8_t *>(v->byref) : v->cVal; break;
    case VT_UI1: value = byRef ? *static_cast<uint8_t *>(v->byref) : v->bVal; break;
    case VT_I2: value = byRef ? *static_cast<int16_t *>(v->byref) : v->iVal; break;
    case VT_UI2: value = byRef ? *static_cast<uint16_t *>(v->byref) : v->uiVal; break;
    case VT_I4:
    case VT_INT: value = byRef ? *static_cast<int32_t *>(v->byref) : v->lVal; break;
    case VT_UI4:
    case VT_UINT: value = byRef ? *static_cast<uint32_t *>(v->byref) : v->ulVal; break;
    case VT_BSTR: {
        std::string text = ToUtf8(BstrView(byRef ? *v->pbstrVal : v->bstrVal));
        if (text.empty())
            return false;
        char *end = nullptr;
        errno = 0;
        long long parsed = std::strtoll(text.c_str(), &end, 10);
        if (*end || errno)
            return false;
        value = parsed;
        break;
    }
    default: return false;
    }
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    *out = static_cast<COMLONG>(value);
    return true;
}

} // namespace

HRESULT CComMUI::GetTypeInfoCount(UINT *count)
{
    if (!count)
        return E_POINTER;
    *count = 0; // no type library is served on this platform
    return S_OK;
}

HRESULT CComMUI::GetTypeInfo(UINT, LCID, ITypeInfo **info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT CComMUI::GetIDsOfNames(REFIID riid, OLECHAR **names, UINT count, LCID, DISPID *ids)
{
    if (!(riid == IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const Member *member = nullptr;
    for (const Member &m : kMembers)
        if (names[0] && SameName(m.name, names[0]))
            member = &m;
    if (!member)
        return DISP_E_UNKNOWNNAME;
    ids[0] = member->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        for (int p = 0; p < member->inCount; ++p)
            if (names[i] && SameName(member->params[p], names[i]))
                ids[i] = p;
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT CComMUI::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                        EXCEPINFO *, UINT *argError)
{
    return ComBarrier([&]() -> HRESULT {
        if (!(riid == IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        const Member *member = FindMember(id);
        if (!member || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) ||
            (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)))
            return DISP_E_MEMBERNOTFOUND;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        const DISPPARAMS &args = params ? *params : none;
        if (args.cNamedArgs > args.cArgs || (args.cArgs && !args.rgvarg) ||
            (args.cNamedArgs && !args.rgdispidNamedArgs))
            return E_INVALIDARG;
        if (args.cArgs != static_cast<UINT>(member->inCount))
            return DISP_E_BADPARAMCOUNT;

        BSTR *bstrSlot = nullptr;
        BSTR bstrLocal = nullptr;
        COMLONG number = 0;
        for (int p = 0; p < member->inCount; ++p) {
            UINT position = 0;
            const VARIANT *arg = Argument(args, p, &position);
            if (!arg)
                return DISP_E_PARAMNOTFOUND;
            bool converted = member->kinds[p] == ParamKind::Long ? ToLong(arg, &number)
                                                                 : ToBstr(arg, &bstrSlot, &bstrLocal);
            if (!converted) {
                if (argError)
                    *argError = position;
                return DISP_E_TYPEMISMATCH;
            }
        }

        BSTR text = nullptr;
        VARIANT_BOOL flag = VARIANT_FALSE;
        COMLONG code = 0;
        HRESULT hr = S_OK;
        switch (id) {
        case 1: hr = GetLangNameArray(&text); break;
        case 2: hr = SetMultipleLanguage(bstrSlot, number); break;
        case 3: hr = CreateIniFile(bstrSlot); break;
        case 4: hr = IsMLSLPC(&flag); break;
        case 6: hr = SetLanguageToRegistry(*bstrSlot, &code); break;
        case 7: hr = DeleteFirstBootFlagFiles(&code); break;
        case 8: hr = RecoverLPCBCD(&code); break;
        case 9: hr = SetBCDToWinRE(&code); break;
        case 10: hr = SetBCDToWinPE(&code); break;
        }

        if (!result) {
            SysFreeString(text);
            return hr;
        }
        *result = VARIANT{};
        switch (member->result) {
        case Result::None: result->vt = VT_EMPTY; break;
        case Result::Bstr:
            result->vt = VT_BSTR;
            result->bstrVal = text;
            break;
        case Result::Bool:
            result->vt = VT_BOOL;
            result->boolVal = flag;
            break;
        case Result::Long:
            result->vt = VT_I4;
            result->lVal = code;
            break;
        }
        return hr;
    });
}

} // namespace halcyon::langsel
