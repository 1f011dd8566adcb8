// halcyon reg: the machine's registry (on Linux the emulated one's) with the Windows reg tool's
// syntax and output (query, add, delete, import, export).
#include <cstdio>
#include <iostream>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/commands/reg_args.h"
#include "cli/machine_location.h"
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

using regargs::KeyName;
using regargs::ParseKey;
using regargs::RegArgs;
using regargs::TypeName;

int Fail(const std::string &message, const char *verb = nullptr)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    if (verb)
        std::fprintf(stderr, "Type \"halcyon reg --help\" for the %s syntax.\n", verb);
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

// True when `forced` or the user agrees to `question`; else false after
// telling that the user canceled.
bool Agreed(bool forced, const std::string &question)
{
    if (forced || Confirm(question))
        return true;
    std::printf("The operation was canceled by the user.\n");
    return false;
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
    // A subkey deleted while the walk goes on is left out.
    for (const auto &s : subkeys) {
        reg::UniqueKey sub;
        reg::LONG r = reg::RegOpenKeyEx(key, s, reg::KEY_READ, sub.out());
        if (r == reg::ERROR_SUCCESS)
            r = QueryKey(sub.get(), display + "\\" + s, only, recurse, matches);
        if (r != reg::ERROR_SUCCESS && r != reg::ERROR_FILE_NOT_FOUND && r != reg::ERROR_KEY_DELETED)
            return r;
    }
    return reg::ERROR_SUCCESS;
}

int Query(const RegArgs &a, const KeyName &key)
{
    if (const std::string missing = MissingMachine(); !missing.empty())
        return Fail("ERROR: " + missing);
    reg::UniqueKey k;
    if (reg::LONG r = reg::RegOpenKeyEx(key.root, key.sub, reg::KEY_READ | a.view, k.out()))
        return StoreFail(r);
    std::optional<std::string> only = a.ve ? std::optional<std::string>("") : a.v;
    int matches = 0;
    reg::RegSnapshot snapshot; // one state of the tree for the whole walk
    if (reg::LONG r = QueryKey(k.get(), key.display, only, a.recurse, &matches))
        return StoreFail(r);
    if (only && a.recurse) {
        std::printf("\nEnd of search: %d match(es) found.\n", matches);
        return matches ? 0 : 1;
    }
    if (only && matches == 0) {
        if (a.ve) {
            // The default value always exists for the tool, set or not.
            std::printf("\n%s\n    (Default)    REG_SZ    (value not set)\n\n", key.display.c_str());
            return 0;
        }
        return Fail(kNotFound);
    }
    if (a.recurse || only)
        std::printf("\n");
    return 0;
}

int Add(const RegArgs &a, const KeyName &key)
{
    uint32_t type = reg::REG_SZ;
    if (a.t) {
        auto t = regargs::TypeFromName(*a.t);
        if (!t)
            return Fail("ERROR: Invalid syntax.", "ADD");
        type = *t;
    }
    if (a.s && type != reg::REG_MULTI_SZ)
        return Fail("ERROR: Invalid syntax.", "ADD");
    auto data = regargs::EncodeData(type, a.d.value_or(""), a.s.value_or("\\0"));
    if (!data)
        return Fail("ERROR: Invalid syntax.", "ADD");

    reg::UniqueKey k;
    if (reg::LONG r = reg::RegCreateKeyEx(key.root, key.sub, reg::KEY_ALL_ACCESS | a.view, k.out()))
        return StoreFail(r);
    bool setValue = a.v || a.ve || a.t || a.d;
    if (setValue) {
        std::string name = a.v.value_or("");
        reg::LONG exists = reg::RegQueryValueEx(k.get(), name, nullptr, nullptr);
        if (exists == reg::ERROR_SUCCESS &&
            !Agreed(a.f, "Value " + (name.empty() ? std::string("(Default)") : name) + " exists, overwrite"))
            return 1;
        if (reg::LONG r = reg::RegSetValueEx(k.get(), name, type, data->data(), data->size()))
            return StoreFail(r);
    }
    std::printf("%s\n", kDone);
    return 0;
}

int Delete(const RegArgs &a, const KeyName &key)
{
    reg::UniqueKey k;
    if (reg::LONG r = reg::RegOpenKeyEx(key.root, key.sub, reg::KEY_ALL_ACCESS | a.view, k.out()))
        return StoreFail(r);
    if (a.v || a.ve) {
        std::string name = a.v.value_or("");
        if (reg::RegQueryValueEx(k.get(), name, nullptr, nullptr) != reg::ERROR_SUCCESS)
            return Fail(kNotFound);
        if (!Agreed(a.f, "Delete the registry value " + (name.empty() ? std::string("(Default)") : name)))
            return 1;
        if (reg::LONG r = reg::RegDeleteValue(k.get(), name))
            return StoreFail(r);
    } else if (a.va) {
        if (!Agreed(a.f, "Delete all values under the registry key " + key.display))
            return 1;
        reg::RegBatch batch;
        std::string name;
        while (reg::RegEnumValue(k.get(), 0, &name, nullptr, nullptr) == reg::ERROR_SUCCESS)
            if (reg::LONG r = reg::RegDeleteValue(k.get(), name))
                return StoreFail(r);
        if (reg::LONG r = batch.Commit())
            return StoreFail(r);
    } else {
        if (!Agreed(a.f, "Permanently delete the registry key " + key.display))
            return 1;
        k.reset();
        if (reg::LONG r = reg::RegDeleteTree(key.root, key.sub, a.view))
            return StoreFail(r);
    }
    std::printf("%s\n", kDone);
    return 0;
}

int Import(const RegArgs &a)
{
    if (!regargs::SyntaxFits("import", a))
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

int Export(const RegArgs &a, const KeyName &key)
{
    if (const std::string missing = MissingMachine(); !missing.empty())
        return Fail("ERROR: " + missing);
    std::string file = platform::HostPath(a.positional[1]);
    if (FILE *f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        if (!Agreed(a.y, "File " + a.positional[1] + " already exists. Overwrite"))
            return 1;
    }
    std::vector<std::string> skipped;
    reg::LONG r = reg::ExportRegFile(key.root, key.sub, a.view, file, &skipped);
    if (r == reg::ERROR_ACCESS_DENIED)
        return Fail("ERROR: Error opening the file. There may be a disk or file system error.");
    if (r)
        return StoreFail(r);
    // Keys that could not be read are in the file as empty keys: the export
    // is partial, which the exit status says.
    for (const auto &path : skipped)
        std::fprintf(stderr, "WARNING: the key %s could not be read; it is exported as an empty key.\n",
                     path.c_str());
    if (!skipped.empty()) {
        std::printf("The export is partial: %zu key(s) could not be read.\n", skipped.size());
        return 1;
    }
    std::printf("%s\n", kDone);
    return 0;
}

// Runs `operation` on the key its arguments name first, after the syntax
// check; with `subKey` a root alone is refused.
int OnKey(const RegArgs &a, const std::string &operation, bool subKey, int (*run)(const RegArgs &, const KeyName &))
{
    const std::string upper = platform::ToUpperAscii(operation);
    if (!regargs::SyntaxFits(operation, a))
        return Fail("ERROR: Invalid syntax.", upper.c_str());
    const auto key = ParseKey(a.positional[0]);
    if (!key || (subKey && key->sub.empty()))
        return Fail("ERROR: Invalid key name.", upper.c_str());
    return run(a, *key);
}

int RunReg(const Args &args)
{
    const Command &cmd = *FindCommand("reg");
    if (args.empty())
        return UsageError(cmd, "expected an operation: query, add, delete, import or export");
    std::string op = platform::ToLowerAscii(args[0]);
    RegArgs a = regargs::ParseArgs(Args(args.begin() + 1, args.end()), op == "add");
    if (!a.error.empty())
        return Fail(a.error, platform::ToUpperAscii(op).c_str());
    if (op == "query")
        return OnKey(a, op, false, Query);
    // The operations that change the registry change the machine.
    CommandLocks locks;
    if ((op == "add" || op == "delete" || op == "import") && !LockForVerb(locks, "reg " + op))
        return 1;
    if (op == "add")
        return OnKey(a, op, true, Add);
    if (op == "delete")
        return OnKey(a, op, true, Delete);
    if (op == "import")
        return Import(a);
    if (op == "export")
        return OnKey(a, op, false, Export);
    return UsageError(cmd, "unknown operation '" + args[0] + "'");
}

#if defined(_WIN32)
const CommandRegistration kReg("reg", "query and change this machine's registry (reg tool syntax)", kUsage,
#else
const CommandRegistration kReg("reg", "query and change the emulated machine's registry (reg tool syntax)", kUsage,
#endif
                               RunReg);

} // namespace

} // namespace halcyon::cli
