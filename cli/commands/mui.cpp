// halcyon mui: the language-selection server from the command line. The
// server is registered from its file like a self-registering server, and
// every other subcommand creates the class through the registry the way the
// recovery front end does.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/mui_session.h"
#include "halcyon/MuiChooser.h"
#include "langsel/text16.h"

namespace halcyon::cli {

namespace {

constexpr const char *kUsage =
    "halcyon mui register|unregister [--user] [--server PATH]\n"
    "       halcyon mui languages | is-lpc | select NAME [--id N] | delete-firstboot | recover-bcd\n"
    "       halcyon mui bcd winre|winpe | call METHOD [ARGUMENT...]\n"
    "  register/unregister: DllRegisterServer/DllUnregisterServer of the server file (default: libMuiChooser.so\n"
    "    beside the halcyon command, else the installed libMuiChooser.so.0); --user registers for the current\n"
    "    user (DllInstall \"user\").\n"
    "  languages: the offered display languages (GetLangNameArray).\n"
    "  select: switches Windows PE to NAME when --id (1-21) is given, then writes X:\\Norv\\Language.ini and\n"
    "    the registry value SelectedLanguage.\n"
    "  call: a late-bound call by method name; arguments are passed as strings.\n"
    "  Exit status: 0 success, 1 the server answered S_FALSE or a result code, the class could not\n"
    "  be created or called (the reason is printed) or another run holds the machine, 2 usage error.";

int Usage(const Command &self, const std::string &message)
{
    return UsageError(self, message);
}

int Registration(const Options &opts, bool install)
{
    std::string path = opts.GetOr("server", DefaultMuiServer());
    std::string error;
    const HRESULT hr = RegisterServerFile(path, install, opts.Has("user"), error);
    if (!error.empty()) {
        std::fprintf(stderr, "halcyon mui: %s\n", error.c_str());
        return 1;
    }
    if (hr != S_OK) {
        std::fprintf(stderr, "halcyon mui: %s failed: %s\n", install ? "registration" : "unregistration",
                     HresultText(hr).c_str());
        return 1;
    }
    std::printf("%s %s%s\n", install ? "registered" : "unregistered", path.c_str(),
                opts.Has("user") ? " for the current user" : "");
    return 0;
}

// One object and the server's string functions for a subcommand's life.
class Session : public MuiSession {
public:
    bool Open()
    {
        std::string error;
        const HRESULT hr = MuiSession::Open("MuiChooser.ComMUI", error);
        if (hr != S_OK)
            std::fprintf(stderr, "halcyon mui: %s%s\n", error.c_str(),
                         hr == REGDB_E_CLASSNOTREG ? " (class not registered; run \"halcyon mui register\")" : "");
        return hr == S_OK;
    }
};

// Prints a method's outcome; 0 only for S_OK with result 0.
int Outcome(const char *method, HRESULT hr, COMLONG code)
{
    std::printf("%s: %s, result %d\n", method,
                hr == S_OK      ? "S_OK"
                : hr == S_FALSE ? "S_FALSE"
                                : HresultText(hr).c_str(),
                static_cast<int>(code));
    if (hr < 0)
        return 1;
    return hr == S_OK && code == 0 ? 0 : 1;
}

int Select(Session &s, const Options &opts, const std::string &name)
{
    BSTR text = s.Make(name);
    int status = 0;
    if (opts.Get("id")) {
        bool ok = true;
        long n = static_cast<long>(opts.GetNumber("id", 0, &ok));
        if (!ok) {
            s.Free(text);
            return Usage(*FindCommand("mui"), "--id takes a number");
        }
        HRESULT hr = s->SetMultipleLanguage(&text, static_cast<COMLONG>(n));
        std::printf("SetMultipleLanguage: %s\n", hr == S_OK ? "S_OK" : "S_FALSE (language ID outside 1-21)");
        if (hr != S_OK)
            status = 1;
    }
    VARIANT_BOOL lpc = VARIANT_FALSE;
    s->IsMLSLPC(&lpc);
    HRESULT hr = s->CreateIniFile(&text);
    std::printf("CreateIniFile: %s%s\n", hr == S_OK ? "S_OK" : "S_FALSE", lpc ? " (LP-C build)" : "");
    COMLONG code = -1;
    hr = s->SetLanguageToRegistry(text, &code);
    int stored = Outcome("SetLanguageToRegistry", hr, code);
    s.Free(text);
    return status ? status : stored;
}

int Call(Session &s, const std::vector<std::string> &pos)
{
    std::u16string method = langsel::ToUtf16(pos[1]);
    OLECHAR *names[1] = {reinterpret_cast<OLECHAR *>(method.data())};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = s->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (hr != S_OK) {
        std::fprintf(stderr, "halcyon mui: no method %s: %s\n", pos[1].c_str(), HresultText(hr).c_str());
        return 1;
    }
    std::vector<VARIANT> args(pos.size() - 2);
    for (size_t i = 0; i < args.size(); ++i) {
        args[args.size() - 1 - i].vt = VT_BSTR; // last argument first
        args[args.size() - 1 - i].bstrVal = s.Make(pos[2 + i]);
    }
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT result{};
    UINT argError = 0;
    hr = s->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, &argError);
    for (VARIANT &a : args)
        s.Free(a.bstrVal);
    if (hr < 0) {
        std::fprintf(stderr, "halcyon mui: %s failed: %s\n", pos[1].c_str(), HresultText(hr).c_str());
        return 1;
    }
    switch (result.vt) {
    case VT_BSTR:
        std::printf("%s\n", s.Text(result.bstrVal).c_str());
        s.Free(result.bstrVal);
        break;
    case VT_BOOL: std::printf("%s\n", result.boolVal ? "true" : "false"); break;
    case VT_I4: std::printf("%d\n", static_cast<int>(result.lVal)); break;
    default: break;
    }
    if (hr != S_OK)
        return 1;
    return result.vt == VT_I4 && result.lVal != 0 ? 1 : 0;
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("mui");
    Options opts(args, {"user"});
    const auto &pos = opts.Positional();
    if (pos.empty())
        return Usage(self, "which subcommand?");
    const std::string &what = pos[0];
    if (what == "register" || what == "unregister") {
        if (pos.size() != 1)
            return Usage(self, what + " takes no arguments");
        CommandLocks locks;
        if (!LockForVerb(locks, "mui " + what))
            return 1;
        return Registration(opts, what == "register");
    }

    struct Shape {
        const char *name;
        size_t arguments;
    };
    static const Shape kShapes[] = {{"languages", 0}, {"is-lpc", 0},      {"select", 1}, {"delete-firstboot", 0},
                                    {"recover-bcd", 0}, {"bcd", 1}};
    bool known = false;
    for (const Shape &shape : kShapes)
        if (what == shape.name) {
            known = true;
            if (pos.size() != shape.arguments + 1)
                return Usage(self, what + (shape.arguments ? " takes one argument" : " takes no arguments"));
        }
    if (what == "call") {
        if (pos.size() < 2)
            return Usage(self, "call takes a method name");
        known = true;
    }
    if (!known)
        return Usage(self, "unknown subcommand '" + what + "'");
    if (what == "bcd" && pos[1] != "winre" && pos[1] != "winpe")
        return Usage(self, "bcd takes winre or winpe");
    if (what == "select" && opts.Get("id")) {
        bool ok = true;
        opts.GetNumber("id", 0, &ok);
        if (!ok)
            return Usage(self, "--id must be a number");
    }

    // All but the two questions change the machine.
    CommandLocks locks;
    if (what != "languages" && what != "is-lpc" && !LockForVerb(locks, "mui " + what))
        return 1;
    Session s;
    if (!s.Open())
        return 1;
    if (what == "languages") {
        BSTR names = nullptr;
        HRESULT hr = s->GetLangNameArray(&names);
        if (hr != S_OK) {
            std::fprintf(stderr, "halcyon mui: no language list (X:\\Norv\\ZRPLP.ini missing)\n");
            return 1;
        }
        std::printf("%s\n", s.Text(names).c_str());
        s.Free(names);
        return 0;
    }
    if (what == "is-lpc") {
        VARIANT_BOOL lpc = VARIANT_FALSE;
        s->IsMLSLPC(&lpc);
        std::printf("%s\n", lpc ? "LP-C build" : "not an LP-C build");
        return 0;
    }
    if (what == "select")
        return Select(s, opts, pos[1]);
    if (what == "call")
        return Call(s, pos);
    COMLONG code = -1;
    HRESULT hr;
    const char *method;
    if (what == "delete-firstboot") {
        method = "DeleteFirstBootFlagFiles";
        hr = s->DeleteFirstBootFlagFiles(&code);
    } else if (what == "recover-bcd") {
        method = "RecoverLPCBCD";
        hr = s->RecoverLPCBCD(&code);
    } else if (pos[1] == "winre") {
        method = "SetBCDToWinRE";
        hr = s->SetBCDToWinRE(&code);
    } else {
        method = "SetBCDToWinPE";
        hr = s->SetBCDToWinPE(&code);
    }
    return Outcome(method, hr, code);
}

const CommandRegistration kRegistration("mui", "the language-selection COM server (MuiChooser)", kUsage, Run);

} // namespace

} // namespace halcyon::cli
