// halcyon machine: sets a machine up, shows it, sets its identity and resets
// it — instead of editing machine.ini by hand. Every change holds the
// machine's lock, so none happens under a running factory or recovery run.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/lock_state.h"
#include "cli/machine_location.h"
#include "cli/machine_lock.h"
#include "cli/real_machine.h"
#include "cli/run_frame.h"
#include "cli/run_status.h"
#include "platform/fs_path.h"
#include "platform/machine.h"
#include "platform/machine_prefix.h"
#include "support/ini/ini_store.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg(
    "machine", "set up, show, name and reset a machine (its identity in machine.ini)",
    "halcyon machine init|reset|show|identity [--machine DIR] [ARGS]\n"
    "  init [IDENTITY]      set up a new machine (folder, drive C:) with the identity given\n"
    "  show [--json]        the machine's identity, drives, registry and runs\n"
    "  identity IDENTITY    change the identity of a machine that exists\n"
    "  reset --yes          delete the machine's registry, identity, drives and runs' files\n"
    "                       (its targets stay); the folder is kept\n"
    "  IDENTITY: [--name NAME] [--blid BLID] [--rmid RMID] [--rmid-on-oem-string yes|no]\n"
    "            [--memory MB]\n"
    "  --name NAME          the name 'halcyon line' shows (letters, digits, space, . _ -)\n"
    "  --blid BLID, --rmid RMID  the machine's identifiers (letters, digits, _ -; up to 32)\n"
    "  --rmid-on-oem-string  yes: the machine carries its RMID in OEM string 1 instead of a BLID\n"
    "  --memory MB          physical memory the engine sees",
    Run);

struct IdentityKey {
    const char *option, *key;
};
constexpr IdentityKey kIdentity[] = {{"name", "Name"},
                                     {"blid", "BLID"},
                                     {"rmid", "RMID"},
                                     {"rmid-on-oem-string", "RMIDOnOEMString1"},
                                     {"memory", "PhysicalMemoryMB"}};

bool AllOf(const std::string &v, const char *extra)
{
    for (char c : v)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr(extra, c))
            return false;
    return true;
}

// The identity options given, as machine.ini values; false with `error`
// naming the first bad one (nothing is written then).
bool ReadIdentity(const Options &o, std::vector<std::pair<std::string, std::string>> &values, std::string &error)
{
    for (const auto &k : kIdentity) {
        auto v = o.Get(k.option);
        if (!v)
            continue;
        const std::string opt = std::string("--") + k.option;
        std::string value = *v;
        bool ok = true;
        if (std::string(k.option) == "name")
            ok = !value.empty() && value.size() <= 64 && AllOf(value, " ._-") && value.front() != ' ';
        else if (std::string(k.option) == "blid" || std::string(k.option) == "rmid")
            ok = !value.empty() && value.size() <= 32 && AllOf(value, "_-");
        else if (std::string(k.option) == "memory")
            ok = !value.empty() && value.size() <= 9 && AllOf(value, "") &&
                 value.find_first_not_of("0123456789") == std::string::npos && std::stoul(value) > 0;
        else if (value == "yes" || value == "no")
            value = value == "yes" ? "True" : "False";
        else
            ok = false;
        if (!ok) {
            error = "bad value for " + opt + ": '" + *v + "'";
            return false;
        }
        values.emplace_back(k.key, value);
    }
    return true;
}

bool WriteIdentity(const std::vector<std::pair<std::string, std::string>> &values, std::string &error)
{
    for (const auto &[key, value] : values)
        if (!platform::SetMachineSetting("Identity", key, value)) {
            error = "cannot write " + key + " to machine.ini";
            return false;
        }
    return true;
}

bool Lock(MachineLock &lock, const std::string &machine, const std::string &what)
{
    std::string error;
    if (lock.Acquire(machine, "halcyon machine " + what, error))
        return true;
    std::fprintf(stderr, "halcyon machine %s: %s\n", what.c_str(), error.c_str());
    return false;
}

int Show(const std::string &machine, bool json)
{
    const fs::path folder = platform::FsPath(machine);
    support::CMemoryIniIO ini(true);
    const bool hasIni = ini.LoadFile(platform::PathUtf8(folder / "machine.ini"));
    std::vector<std::pair<std::string, std::string>> settings; // "Section.Key", value
    if (hasIni)
        for (const char *section : {"Identity", "Power", "Partitions"})
            for (const auto &[key, value] : ini.Entries(section))
                settings.emplace_back(std::string(section) + "." + key, value);
    std::vector<std::pair<std::string, std::string>> drives; // letter, where
    std::error_code ec;
    for (auto &e : fs::directory_iterator(folder / "drives", ec)) {
        const fs::path p = e.path();
        std::string where = fs::is_symlink(fs::symlink_status(p, ec)) ? platform::PathUtf8(fs::read_symlink(p, ec))
                                                                      : platform::PathUtf8(p);
        drives.emplace_back(platform::PathUtf8(p.filename()), where);
    }
    std::sort(drives.begin(), drives.end());
    const uint64_t registry = fs::is_regular_file(folder / "registry.db", ec) ? fs::file_size(folder / "registry.db", ec) : 0;
    const LockState lock = QueryMachineLock(machine);
    std::vector<RunStatus> runs;
    for (const char *sub : {"factory", "recovery"})
        if (auto s = ReadRunStatus(folder / sub))
            runs.push_back(*s);

    if (json) {
        std::printf("{\"machine\":\"%s\",\"name\":\"%s\",\"settings\":{", JsonText(machine).c_str(),
                    JsonText(MachineName(machine)).c_str());
        for (size_t i = 0; i < settings.size(); ++i)
            std::printf("%s\"%s\":\"%s\"", i ? "," : "", JsonText(settings[i].first).c_str(),
                        JsonText(settings[i].second).c_str());
        std::printf("},\"drives\":{");
        for (size_t i = 0; i < drives.size(); ++i)
            std::printf("%s\"%s\":\"%s\"", i ? "," : "", JsonText(drives[i].first).c_str(),
                        JsonText(drives[i].second).c_str());
        std::printf("},\"registryBytes\":%llu,\"holder\":\"%s\",\"runs\":{", static_cast<unsigned long long>(registry),
                    JsonText(lock.holder).c_str());
        for (size_t i = 0; i < runs.size(); ++i)
            std::printf("%s\"%s\":\"%s\"", i ? "," : "", runs[i].command.c_str(), JsonText(runs[i].state).c_str());
        std::printf("}}\n");
        return 0;
    }
    std::printf("machine    %s\nname       %s\n", machine.c_str(), MachineName(machine).c_str());
    if (settings.empty())
        std::printf("settings   none (machine.ini %s)\n", hasIni ? "is empty" : "is missing");
    for (const auto &[key, value] : settings)
        std::printf("  %-28s %s\n", key.c_str(), value.c_str());
    if (!kRealMachine) {
        for (const auto &[letter, where] : drives)
            std::printf("drive %s:   %s\n", letter.c_str(), where.c_str());
        std::printf("registry   %s\n", registry ? (std::to_string(registry) + " bytes").c_str() : "none");
    }
    std::printf("holder     %s\n", lock.held ? lock.holder.c_str() : "none");
    for (const auto &s : runs)
        std::printf("run        %s: %s\n", s.command.c_str(), s.state.c_str());
    return 0;
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("machine");
    Options o(args, {"json", "yes"});
    if (o.Positional().size() != 1)
        return UsageError(self, o.Positional().empty() ? "which: init, reset, show or identity?"
                                                       : "unexpected argument " + o.Positional()[1]);
    const std::string verb = o.Positional()[0];
    const std::string machine = SelectMachine(o.Get("machine"));
    const fs::path folder = platform::FsPath(machine);
    std::error_code ec;
    const bool exists = fs::is_directory(folder, ec);
    std::vector<std::pair<std::string, std::string>> identity;
    std::string error;

    if (verb == "show") {
        if (!exists) {
            std::fprintf(stderr, "halcyon machine show: no machine at %s\n", machine.c_str());
            return 1;
        }
        return Show(machine, o.Has("json"));
    }
    if (verb == "init" || verb == "identity") {
        if (!ReadIdentity(o, identity, error))
            return UsageError(self, error);
        if (verb == "identity" && identity.empty())
            return UsageError(self, "give at least one of --name, --blid, --rmid, --rmid-on-oem-string, --memory");
        if (verb == "identity" && !exists) {
            std::fprintf(stderr, "halcyon machine identity: no machine at %s; 'halcyon machine init' sets one up\n",
                         machine.c_str());
            return 1;
        }
        if (verb == "init" && (fs::exists(folder / "machine.ini", ec) || fs::exists(folder / "registry.db", ec))) {
            std::fprintf(stderr,
                         "halcyon machine init: %s is set up already; 'halcyon machine identity' changes it, "
                         "'halcyon machine reset --yes' clears it\n",
                         machine.c_str());
            return 1;
        }
        {
            MachineLock lock;
            if (!Lock(lock, machine, verb))
                return 1;
            if (verb == "init" && !platform::EnsureMachine()) {
                std::fprintf(stderr, "halcyon machine init: cannot set up %s\n", machine.c_str());
                return 1;
            }
            // A new machine gets a machine.ini even with no identity given.
            if (verb == "init" && identity.empty())
                identity.emplace_back("Name", MachineName(machine));
            if (!WriteIdentity(identity, error)) {
                std::fprintf(stderr, "halcyon machine %s: %s\n", verb.c_str(), error.c_str());
                return 1;
            }
        }
        return Show(machine, false);
    }
    if (verb == "reset") {
        if (!o.Has("yes"))
            return UsageError(self, "reset deletes the machine's registry, identity, drives and runs' files; give "
                                    "--yes to go on");
        if (!exists) {
            std::fprintf(stderr, "halcyon machine reset: no machine at %s\n", machine.c_str());
            return 1;
        }
        MachineLock lock;
        if (!Lock(lock, machine, "reset"))
            return 1;
        ClearMachine(folder);
        std::printf("machine %s reset\n", machine.c_str());
        return 0;
    }
    return UsageError(self, "unknown machine command '" + verb + "'");
}

} // namespace
} // namespace halcyon::cli
