// halcyon reg: the emulated machine's registry with the Windows reg tool's
// syntax and output (query, add, delete, import, export).
#include <cstdio>
#include <iostream>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "cli/command.h"
#include "platform/path_map.h"
#include "platform/reg_file.h"
#include "platform/registry.h"

namespace halcyon::cli {

namespace {

namespace reg = platform::reg;

constexpr const char *kUsage =
    "reg query KEY [/v NAME | /ve] [/s] [/reg:32 | /reg:64]\n"
    "       reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f] [/reg:32 | /reg:64]\n"
    "       reg delete KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]\n"
    "       reg import FILE [/reg:32 | /reg:64]\n"
    "       reg export KEY FILE [/y] [/reg:32 | /reg:64]\n"
    "KEY is ROOT\\SubKey with ROOT one of HKLM HKCU HKCR HKU HKCC (or the long names).\n"
    "TYPE is REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE.";

const char *kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
const char *kDone = "The operation completed successfully.";

// The command line split into switches (case-insensitive, '/' or '-') and
// positional words. Words that merely start with '/' (host paths) stay
// positional.
struct RegArgs {
    std::vector<std::string> positional;
    std::optional<std::string> v, t, d, s;
    bool ve = false, va = false, f = false, y = false, recurse = false;
    uint32_t view = 0;
    std::string error;
};

RegArgs ParseArgs(const Args &args, bool sTakesValue)
{
    RegArgs r;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        std::string sw = a.size() >= 2 && (a[0] == '/' || a[0] == '-') ? platform::ToLowerAscii(a.substr(1)) : "";
        auto value = [&](std::optional<std::string> &slot) {
            if (i + 1 >= args.size())
                r.error = "ERROR: Invalid syntax.";
            else
                slot = args[++i];
        };
        if (sw == "v")
            value(r.v);
        else if (sw == "t")
            value(r.t);
        else if (sw == "d")
            value(r.d);
        else if (sw == "s" && sTakesValue)
            value(r.s);
        else if (sw == "s")
            r.recurse = true;
        else if (sw == "ve")
            r.ve = true;
        else if (sw == "va")
            r.va = true;
        else if (sw == "f")
            r.f = true;
        else if (sw == "y")
            r.y = true;
        else if (sw == "reg:32")
            r.view = reg::KEY_WOW64_32KEY;
        else if (sw == "reg:64")
            r.view = reg::KEY_WOW64_64KEY;
        else
            r.positional.push_back(a);
    }
    return r;
}

int Fail(const std::string &message, const char *verb = nullptr)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    if (verb)
        std::fprintf(stderr, "Type \"REG %s /?\" for usage.\n", verb);
    return 1;
}

// A store failure (corrupt or locked registry.db) or a missing key.
int StoreFail(reg::LONG r)
{
    if (r == reg::ERROR_FILE_NOT_FOUND || r == reg::ERROR_KEY_DELETED)
        return Fail(kNotFound);
    if (r == reg::ERROR_ACCESS_DENIED)
        return Fail("ERROR: Access is denied.");
    std::string detail = reg::LastRegistryError();
    return Fail("ERROR: " + (detail.empty() ? "registry error " + std::to_string(r) : detail));
}

bool Confirm(const std::string &question)
{
    std::printf("%s (Yes/No)? ", question.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer))
        answer.clear();
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

std::string TypeName(uint32_t type)
{
    switch (type) {
    case reg::REG_NONE: return "REG_NONE";
    case reg::REG_SZ: return "REG_SZ";
    case reg::REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case reg::REG_BINARY: return "REG_BINARY";
    case reg::REG_DWORD: return "REG_DWORD";
    case reg::REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case reg::REG_MULTI_SZ: return "REG_MULTI_SZ";
    case reg::REG_QWORD: return "REG_QWORD";
    default: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "REG_0x%x", type);
        return buf;
    }
    }
}

std::optional<uint32_t> TypeFromName(const std::string &name)
{
    for (uint32_t t : {reg::REG_NONE, reg::REG_SZ, reg::REG_EXPAND_SZ, reg::REG_BINARY, reg::REG_DWORD,
                       reg::REG_DWORD_BIG_ENDIAN, reg::REG_MULTI_SZ, reg::REG_QWORD})
        if (platform::EqualsNoCase(name, TypeName(t)))
            return t;
    return std::nullopt;
}

uint64_t LittleEndian(const std::vector<uint8_t> &d)
{
    uint64_t v = 0;
    for (size_t i = d.size(); i-- > 0;)
        v = v << 8 | d[i];
    return v;
}

std::string FormatData(uint32_t type, const std::vector<uint8_t> &data)
{
    std::string bytes(data.begin(), data.end());
    char buf[32];
    switch (type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
        return bytes.substr(0, bytes.find('\0'));
    case reg::REG_MULTI_SZ: {
        std::string out;
        size_t pos = 0;
        while (pos < bytes.size()) {
            size_t nul = bytes.find('\0', pos);
            std::string part = bytes.substr(pos, nul == std::string::npos ? std::string::npos : nul - pos);
            if (part.empty() && nul != std::string::npos)
                break;
            if (!out.empty() || pos > 0)
                out += "\\0";
            out += part;
            pos = nul == std::string::npos ? bytes.size() : nul + 1;
        }
        return out;
    }
    case reg::REG_DWORD:
        if (data.size() == 4) {
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<uint32_t>(LittleEndian(data)));
            return buf;
        }
        break;
    case reg::REG_QWORD:
        if (data.size() == 8) {
            std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(LittleEndian(data)));
            return buf;
        }
        break;
    default:
        break;
    }
    std::string out;
    for (uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

void PrintValue(const std::string &name, uint32_t type, const std::vector<uint8_t> &data)
{
    std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), TypeName(type).c_str(),
                FormatData(type, data).c_str());
}

struct KeyName {
    reg::HKEY root = 0;
    std::string sub;
    std::string display; // "HKEY_LOCAL_MACHINE\SOFTWARE\X"
};

std::optional<KeyName> ParseKey(const std::string &text)
{
    KeyName k;
    if (!reg::SplitKeyPath(text, &k.root, &k.sub))
        return std::nullopt;
    k.display = reg::RootName(k.root) + (k.sub.empty() ? "" : "\\" + k.sub);
    return k;
}

// Prints `key` (and with `recurse` its subtree); counts matches of `only`.
reg::LONG QueryKey(reg::HKEY key, const std::string &display, const std::optional<std::string> &only, bool recurse,
                   int *matches)
{
    std::vector<std::tuple<std::string, uint32_t, std::vector<uint8_t>>> values;
    {
        // Values as stored (a name asked for shows with its stored spelling).
        std::string name;
        uint32_t type = 0;
        std::vector<uint8_t> data;
        for (uint32_t i = 0;; ++i) {
            reg::LONG r = reg::RegEnumValue(key, i, &name, &type, &data);
            if (r == reg::ERROR_NO_MORE_ITEMS)
                break;
            if (r)
                return r;
            if (!only || platform::EqualsNoCase(name, *only))
                values.emplace_back(name, type, data);
        }
    }
    std::vector<std::string> subkeys;
    std::string name;
    for (uint32_t i = 0;; ++i) {
        reg::LONG r = reg::RegEnumKeyEx(key, i, &name);
        if (r == reg::ERROR_NO_MORE_ITEMS)
            break;
        if (r)
            return r;
        subkeys.push_back(name);
    }
    if (!only || !values.empty()) {
        std::printf("\n%s\n", display.c_str());
        for (const auto &[n, t, d] : values)
            PrintValue(n, t, d);
        *matches += static_cast<int>(values.size());
    }
    if (!recurse) {
        if (!only) {
            std::printf("\n");
            for (const auto &s : subkeys)
                std::printf("%s\\%s\n", display.c_str(), s.c_str());
        }
        return reg::ERROR_SUCCESS;
    }
    for (const auto &s : subkeys) {
        reg::UniqueKey sub;
        if (reg::LONG r = reg::RegOpenKeyEx(key, s, reg::KEY_READ, sub.out()))
            return r;
        if (reg::LONG r = QueryKey(sub.get(), display + "\\" + s, only, recurse, matches))
            return r;
    }
    return reg::ERROR_SUCCESS;
}

int Query(const RegArgs &a)
{
    if (a.positional.size() != 1 || (a.v && a.ve) || a.t || a.d || a.f || a.va || a.y)
        return Fail("ERROR: Invalid syntax.", "QUERY");
    auto key = ParseKey(a.positional[0]);
    if (!key)
        return Fail("ERROR: Invalid key name.", "QUERY");
    reg::UniqueKey k;
    if (reg::LONG r = reg::RegOpenKeyEx(key->root, key->sub, reg::KEY_READ | a.view, k.out()))
        return StoreFail(r);
    std::optional<std::string> only = a.ve ? std::optional<std::string>("") : a.v;
    int matches = 0;
    if (reg::LONG r = QueryKey(k.get(), key->display, only, a.recurse, &matches))
        return StoreFail(r);
    if (only && a.recurse) {
        std::printf("\nEnd of search: %d match(es) found.\n", matches);
        return matches ? 0 : 1;
    }
    if (only && matches == 0) {
        if (a.ve) {
            // The default value always exists for the tool, set or not.
            std::printf("\n%s\n    (Default)    REG_SZ    (value not set)\n\n", key->display.c_str());
            return 0;
        }
        return Fail(kNotFound);
    }
    if (a.recurse || only)
        std::printf("\n");
    return 0;
}

std::optional<std::string> ParseNumber(const std::string &text, uint64_t max)
{
    if (text.empty())
        return std::nullopt;
    size_t end = 0;
    uint64_t v = 0;
    try {
        v = std::stoull(text, &end, 0);
    } catch (...) {
        return std::nullopt;
    }
    if (end != text.size() || v > max || text[0] == '-')
        return std::nullopt;
    std::string out;
    for (int i = 0; i < (max > 0xFFFFFFFFull ? 8 : 4); ++i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

std::optional<std::string> EncodeData(uint32_t type, const std::string &text, const std::string &separator)
{
    switch (type) {
    case reg::REG_DWORD:
        return ParseNumber(text.empty() ? "0" : text, 0xFFFFFFFFull);
    case reg::REG_QWORD:
        return ParseNumber(text.empty() ? "0" : text, ~0ull);
    case reg::REG_DWORD_BIG_ENDIAN: {
        auto le = ParseNumber(text.empty() ? "0" : text, 0xFFFFFFFFull);
        if (le)
            return std::string(le->rbegin(), le->rend());
        return std::nullopt;
    }
    case reg::REG_BINARY: {
        if (text.size() % 2)
            return std::nullopt;
        std::string out;
        for (size_t i = 0; i < text.size(); i += 2) {
            auto hex = [](char c) {
                return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                      : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            };
            int hi = hex(text[i]), lo = hex(text[i + 1]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
        }
        return out;
    }
    case reg::REG_MULTI_SZ: {
        if (separator.empty())
            return std::nullopt;
        std::string out;
        size_t pos = 0;
        while (pos <= text.size() && !text.empty()) {
            size_t sep = text.find(separator, pos);
            std::string part = text.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
            if (part.empty() && sep != std::string::npos)
                return std::nullopt; // empty strings cannot be stored in a list
            out += part;
            out += '\0';
            if (sep == std::string::npos)
                break;
            pos = sep + separator.size();
        }
        out += '\0';
        return out;
    }
    default:
        return text; // strings: the bytes given, no terminator
    }
}

int Add(const RegArgs &a)
{
    if (a.positional.size() != 1 || (a.v && a.ve) || a.recurse || a.va || a.y)
        return Fail("ERROR: Invalid syntax.", "ADD");
    auto key = ParseKey(a.positional[0]);
    if (!key || key->sub.empty())
        return Fail("ERROR: Invalid key name.", "ADD");
    uint32_t type = reg::REG_SZ;
    if (a.t) {
        auto t = TypeFromName(*a.t);
        if (!t)
            return Fail("ERROR: Invalid syntax.", "ADD");
        type = *t;
    }
    if (a.s && type != reg::REG_MULTI_SZ)
        return Fail("ERROR: Invalid syntax.", "ADD");
    auto data = EncodeData(type, a.d.value_or(""), a.s.value_or("\\0"));
    if (!data)
        return Fail("ERROR: Invalid syntax.", "ADD");

    reg::UniqueKey k;
    if (reg::LONG r = reg::RegCreateKeyEx(key->root, key->sub, reg::KEY_ALL_ACCESS | a.view, k.out()))
        return StoreFail(r);
    bool setValue = a.v || a.ve || a.t || a.d;
    if (setValue) {
        std::string name = a.v.value_or("");
        reg::LONG exists = reg::RegQueryValueEx(k.get(), name, nullptr, nullptr);
        if (exists == reg::ERROR_SUCCESS && !a.f &&
            !Confirm("Value " + (name.empty() ? std::string("(Default)") : name) + " exists, overwrite")) {
            std::printf("The operation was canceled by the user.\n");
            return 1;
        }
        if (reg::LONG r = reg::RegSetValueEx(k.get(), name, type, data->data(), data->size()))
            return StoreFail(r);
    }
    std::printf("%s\n", kDone);
    return 0;
}

int Delete(const RegArgs &a)
{
    if (a.positional.size() != 1 || (int(a.v.has_value()) + int(a.ve) + int(a.va)) > 1 || a.t || a.d ||
        a.recurse || a.y)
        return Fail("ERROR: Invalid syntax.", "DELETE");
    auto key = ParseKey(a.positional[0]);
    if (!key || key->sub.empty())
        return Fail("ERROR: Invalid key name.", "DELETE");
    reg::UniqueKey k;
    if (reg::LONG r = reg::RegOpenKeyEx(key->root, key->sub, reg::KEY_ALL_ACCESS | a.view, k.out()))
        return StoreFail(r);
    if (a.v || a.ve) {
        std::string name = a.v.value_or("");
        if (reg::RegQueryValueEx(k.get(), name, nullptr, nullptr) != reg::ERROR_SUCCESS)
            return Fail(kNotFound);
        if (!a.f && !Confirm("Delete the registry value " + (name.empty() ? std::string("(Default)") : name))) {
            std::printf("The operation was canceled by the user.\n");
            return 1;
        }
        if (reg::LONG r = reg::RegDeleteValue(k.get(), name))
            return StoreFail(r);
    } else if (a.va) {
        if (!a.f && !Confirm("Delete all values under the registry key " + key->display)) {
            std::printf("The operation was canceled by the user.\n");
            return 1;
        }
        reg::RegBatch batch;
        std::string name;
        while (reg::RegEnumValue(k.get(), 0, &name, nullptr, nullptr) == reg::ERROR_SUCCESS)
            if (reg::LONG r = reg::RegDeleteValue(k.get(), name))
                return StoreFail(r);
        if (reg::LONG r = batch.Commit())
            return StoreFail(r);
    } else {
        if (!a.f && !Confirm("Permanently delete the registry key " + key->display)) {
            std::printf("The operation was canceled by the user.\n");
            return 1;
        }
        k.reset();
        if (reg::LONG r = reg::RegDeleteTree(key->root, key->sub, a.view))
            return StoreFail(r);
    }
    std::printf("%s\n", kDone);
    return 0;
}

int Import(const RegArgs &a)
{
    if (a.positional.size() != 1 || a.v || a.ve || a.va || a.t || a.d || a.f || a.y || a.recurse)
        return Fail("ERROR: Invalid syntax.", "IMPORT");
    std::string error;
    reg::LONG r = reg::ImportRegFile(platform::HostPath(a.positional[0]), a.view, &error);
    if (r == reg::ERROR_FILE_NOT_FOUND)
        return Fail("ERROR: Error opening the file. There may be a disk or file system error.");
    if (r) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return Fail("ERROR: Error accessing the registry.");
    }
    std::printf("%s\n", kDone);
    return 0;
}

int Export(const RegArgs &a)
{
    if (a.positional.size() != 2 || a.v || a.ve || a.va || a.t || a.d || a.f || a.recurse)
        return Fail("ERROR: Invalid syntax.", "EXPORT");
    auto key = ParseKey(a.positional[0]);
    if (!key)
        return Fail("ERROR: Invalid key name.", "EXPORT");
    std::string file = platform::HostPath(a.positional[1]);
    if (FILE *f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        if (!a.y && !Confirm("File " + a.positional[1] + " already exists. Overwrite")) {
            std::printf("The operation was canceled by the user.\n");
            return 1;
        }
    }
    reg::LONG r = reg::ExportRegFile(key->root, key->sub, a.view, file);
    if (r == reg::ERROR_ACCESS_DENIED)
        return Fail("ERROR: Error opening the file. There may be a disk or file system error.");
    if (r)
        return StoreFail(r);
    std::printf("%s\n", kDone);
    return 0;
}

int RunReg(const Args &args)
{
    const Command &cmd = *FindCommand("reg");
    if (args.empty())
        return UsageError(cmd, "expected an operation: query, add, delete, import or export");
    std::string op = platform::ToLowerAscii(args[0]);
    RegArgs a = ParseArgs(Args(args.begin() + 1, args.end()), op == "add");
    if (!a.error.empty())
        return Fail(a.error, platform::ToUpperAscii(op).c_str());
    if (op == "query")
        return Query(a);
    if (op == "add")
        return Add(a);
    if (op == "delete")
        return Delete(a);
    if (op == "import")
        return Import(a);
    if (op == "export")
        return Export(a);
    return UsageError(cmd, "unknown operation '" + args[0] + "'");
}

const CommandRegistration kReg("reg", "query and change the emulated machine's registry (reg tool syntax)", kUsage,
                               RunReg);

} // namespace

} // namespace halcyon::cli
