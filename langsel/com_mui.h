// CComMUI: the language-selection object. Answers IUnknown, IDispatch,
// IComMUI and IConnectionPointContainer (one connection point for
// _IComMUIEvents, never fired). It can be aggregated: its interfaces then
// delegate IUnknown to the outer object, and the outer object holds the
// inner, non-delegating IUnknown.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "halcyon/MuiChooser.h"
#include "langsel/connection_point.h"
#include "support/partition/acrcvprt.h"
#include "platform/non_copyable.h"

namespace halcyon::langsel {

class CComMUI final : public IComMUI, public IConnectionPointContainer, NonCopyable {
public:
    // Creates an object and asks it for `riid` (the class factory's work).
    static HRESULT Create(IUnknown *outer, REFIID riid, void **object);

    // IUnknown, delegating to the controlling unknown.
    HRESULT QueryInterface(REFIID riid, void **object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT *count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo **info) override;
    HRESULT GetIDsOfNames(REFIID riid, OLECHAR **names, UINT count, LCID lcid, DISPID *ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                   EXCEPINFO *exception, UINT *argError) override;

    // IComMUI
    HRESULT GetLangNameArray(BSTR *pstrLangNameArray) override;
    HRESULT SetMultipleLanguage(BSTR *pcLanguageName, COMLONG lLanguageId) override;
    HRESULT CreateIniFile(BSTR *pcLangName) override;
    HRESULT IsMLSLPC(VARIANT_BOOL *bMlsplc) override;
    HRESULT SetLanguageToRegistry(BSTR pstrLangName, COMLONG *plReturnValue) override;
    HRESULT DeleteFirstBootFlagFiles(COMLONG *plReturnValue) override;
    HRESULT RecoverLPCBCD(COMLONG *plReturnValue) override;
    HRESULT SetBCDToWinRE(COMLONG *plReturnValue) override;
    HRESULT SetBCDToWinPE(COMLONG *plReturnValue) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints **points) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint **point) override;

private:
    // The object's own IUnknown: reference count and interface table.
    class Inner final : public IUnknown {
    public:
        explicit Inner(CComMUI *owner) : owner_(owner) {}
        HRESULT QueryInterface(REFIID riid, void **object) override;
        ULONG AddRef() override;
        ULONG Release() override;

    private:
        CComMUI *owner_;
        std::atomic<ULONG> refs_{0};
    };

    explicit CComMUI(IUnknown *outer);
    ~CComMUI();

    bool LocateWinREPartition();
    HRESULT SetBCDTo(bool winRE, COMLONG *plReturnValue);

    Inner inner_;
    IUnknown *controlling_; // the outer object, or inner_
    ConnectionPoint events_;

    std::vector<std::string> languages_;
    char16_t winREDriveLetter_ = u'0';
    bool lpcBuild_ = false;
    support::AcRcvPrt partitions_;
};

} // namespace halcyon::langsel
