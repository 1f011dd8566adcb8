#include "cli/preflight.h"

#include <algorithm>
#include <cstdio>
#include <regex>
#include <system_error>

#include "cli/command.h"
#include "cli/joined.h"
#include "cli/lock_state.h"
#include "cli/machine_location.h"
#include "cli/machine_lock.h"
#include "cli/progress.h"
#include "cli/run_frame.h"
#include "platform/console.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/fs_path.h"
#include "platform/host_file_rw.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "support/ini/ini_store.h"
#include "support/wim/wim_tchar.h"
#include "support/wim/wimlib_session.h"
#include "platform/non_copyable.h"

#include <wimlib.h>

namespace fs = std::filesystem;

namespace halcyon::cli {

namespace {

constexpr uint64_t kSetIdfForm = 0x2ull;

// A folder of this check's own under the system's temporary folder, removed
// with what it holds.
class ScratchFolder : NonCopyable {
public:
    ScratchFolder()
    {
        std::error_code ec;
        static int made = 0;
        path_ = fs::temp_directory_path(ec) / ("halcyon-check-" + std::to_string(platform::CurrentProcessId()) + "-" +
                                               std::to_string(++made));
        fs::remove_all(path_, ec);
        fs::create_directories(path_, ec);
        ok_ = !ec;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    bool ok() const { return ok_; }
    std::string operator/(const char *name) const { return platform::PathUtf8(path_ / name); }

private:
    fs::path path_;
    bool ok_ = false;
};

// The value of attribute `name` on the IDF's root element.
std::string RootAttribute(const std::string &idf, const std::string &name)
{
    const std::string head = ReadWholeFile(platform::FsPath(idf)).substr(0, 8192);
    std::smatch m;
    const std::regex re("<IDF\\b[^>]*\\b" + name + "=\"([^\"]*)\"");
    return std::regex_search(head, m, re) ? m[1].str() : std::string();
}

// A "Key=Value" line of the BOM.
std::string BomValue(const std::string &bom, const std::string &key)
{
    const std::string all = ReadWholeFile(platform::FsPath(bom));
    std::smatch m;
    const std::regex re("(^|\\n)" + key + "=([^\\r\\n]*)");
    return std::regex_search(all, m, re) ? m[2].str() : std::string();
}

// A machine that carries its RMID in OEM string 1 has its image checked
// against the plan's own BLID, not its identity.
bool RmidMachine()
{
    const std::string oem = platform::MachineSetting("Identity", "RMIDOnOEMString1").value_or("");
    return oem == "True" || oem == "true";
}

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The list's rule: an entry names one BLID, and a 10-character entry every
// 11-character BLID it begins.
bool BlidListed(const std::string &list, const std::string &blid)
{
    const std::string machine = Upper(blid);
    size_t pos = 0;
    const std::string all = Upper(list);
    while (pos <= all.size()) {
        const size_t comma = std::min(all.find(',', pos), all.size());
        std::string piece = all.substr(pos, comma - pos);
        pos = comma + 1;
        piece.erase(0, piece.find_first_not_of(' '));
        piece.erase(piece.find_last_not_of(' ') + 1);
        if (piece.empty())
            continue;
        if (piece.size() == 10 && machine.size() == 11 ? machine.compare(0, 10, piece) == 0 : piece == machine)
            return true;
    }
    return false;
}

// The plan's sizes (TotalSize, in KiB) of the image and of every module.
uint64_t PlanBytes(const support::CMemoryIniIO &plan)
{
    uint64_t kib = 0;
    auto add = [&](const std::string &section) {
        kib += std::strtoull(plan.GetString(section, "TotalSize", "0", 64).c_str(), nullptr, 10);
    };
    add("Image");
    for (const char *prefix : {"", "PE", "Image App"})
        for (int n = 1; plan.SectionExists(prefix + std::to_string(n)) && !plan.KeyExists(prefix + std::to_string(n), "End");
             ++n)
            add(prefix + std::to_string(n));
    return kib * 1024;
}

// What the machine and the target need whatever the media: a free machine,
// folders not nested, room on the target's file system.
void CheckPlaces(Preflight &p, const fs::path &machine, const fs::path &target, uint64_t needed)
{
    const LockState lock = QueryMachineLock(platform::PathUtf8(machine));
    if (lock.held)
        p.problems.push_back("the machine " + platform::PathUtf8(machine) + " is in use by " +
                             (lock.holder.empty() ? std::string("another run") : lock.holder));
    if (FoldersNest(platform::PathUtf8(machine), platform::PathUtf8(target)))
        p.problems.push_back("the machine folder " + platform::PathUtf8(machine) + " and the target " +
                             platform::PathUtf8(target) + " lie one inside the other");
    // The target may not exist yet: its nearest existing folder tells.
    fs::path existing = target;
    std::error_code ec;
    while (!existing.empty() && !fs::exists(existing, ec) && existing != existing.parent_path())
        existing = existing.parent_path();
    const auto free = platform::FreeDiskSpace(platform::PathUtf8(existing));
    if (!free) {
        p.problems.push_back("the free space of the target's file system (" + platform::PathUtf8(existing) +
                             ") cannot be read");
    } else {
        p.facts.emplace_back("free space", FormatBytes(*free));
        if (needed > *free)
            p.problems.push_back("the target's file system has " + FormatBytes(*free) + " free; the plan needs " +
                                 FormatBytes(needed));
    }
}

// The languages the recovery environment (sources/boot.wim of the first
// medium) offers: "LangN=" of its Norv/ZRPLP.ini, read into `scratch`.
std::vector<std::string> OfferedLanguages(const fs::path &bootWim, const ScratchFolder &scratch, std::string &error)
{
    std::vector<std::string> offered;
    support::wim::EnsureWimlibReady();
    WIMStruct *wim = nullptr;
    const auto wimText = support::wim::ToWimText(platform::PathUtf8(bootWim));
    int rc = wimlib_open_wim(wimText.c_str(), 0, &wim);
    if (rc != 0) {
        error = "cannot open " + platform::PathUtf8(bootWim) + ": " + support::wim::WimlibErrorText(rc);
        return offered;
    }
    const auto into = support::wim::ToWimText(scratch / "");
    const auto file = support::wim::ToWimText("/Norv/ZRPLP.ini");
    const wimlib_tchar *paths[] = {file.c_str()};
    rc = wimlib_extract_paths(wim, 1, into.c_str(), paths, 1, WIMLIB_EXTRACT_FLAG_NO_PRESERVE_DIR_STRUCTURE);
    wimlib_free(wim);
    if (rc != 0) {
        error = "the recovery environment " + platform::PathUtf8(bootWim) + " has no Norv\\ZRPLP.ini";
        return offered;
    }
    for (int n = 1;; ++n) {
        const auto v = platform::GetPrivateProfileValue("Lang", "Lang" + std::to_string(n), scratch / "ZRPLP.ini");
        if (!v || v->empty())
            break;
        offered.push_back(*v);
    }
    return offered;
}

} // namespace

int Preflight::Print(const std::string &command, bool json, std::FILE *out) const
{
    if (json) {
        std::fprintf(out, "{\"ready\":%s,\"problems\":[", problems.empty() ? "true" : "false");
        for (size_t i = 0; i < problems.size(); ++i)
            std::fprintf(out, "%s\"%s\"", i ? "," : "", JsonText(problems[i]).c_str());
        std::fprintf(out, "],\"found\":{");
        for (size_t i = 0; i < facts.size(); ++i)
            std::fprintf(out, "%s\"%s\":\"%s\"", i ? "," : "", JsonText(facts[i].first).c_str(),
                        JsonText(facts[i].second).c_str());
        std::fprintf(out, "}}\n");
    } else {
        for (const auto &[name, value] : facts)
            std::fprintf(out, "  %-12s %s\n", name.c_str(), value.c_str());
        if (problems.empty()) {
            std::fprintf(out, "%s: ready\n", command.c_str());
        } else {
            std::fprintf(out, "%s: %zu problem%s:\n", command.c_str(), problems.size(), problems.size() == 1 ? "" : "s");
            for (const auto &problem : problems)
                std::fprintf(out, "  - %s\n", problem.c_str());
        }
    }
    std::fflush(out);
    return problems.empty() ? 0 : 1;
}

Preflight CheckFactoryRun(const fs::path &media, bool sampleMedia, const fs::path &machine, const fs::path &target)
{
    Preflight p;
    uint64_t needed = 0;
    std::error_code ec;
    const bool mediaThere = fs::is_directory(media, ec);
    if (FoldersNest(platform::PathUtf8(media), platform::PathUtf8(target)) ||
        FoldersNest(platform::PathUtf8(media), platform::PathUtf8(machine)))
        p.problems.push_back("the media " + platform::PathUtf8(media) + " must lie outside the machine and the target");
    if (!mediaThere && sampleMedia) {
        p.facts.emplace_back("media", "the sample media are written by the run");
    } else if (!mediaThere) {
        p.problems.push_back("the media " + platform::PathUtf8(media) + " are not a folder");
    } else {
        ScratchFolder scratch;
        const std::string log = scratch / "check.log", plan = scratch / "halcyon.ini";
        const std::string bom = FindOne(media, ".bom");
        std::string idf;
        if (bom.empty())
            p.problems.push_back("no BOM (*.bom) in " + platform::PathUtf8(media));
        if (fs::is_directory(media / "idf", ec)) {
            if (!bom.empty()) {
                const uint32_t code = IdentifyIdf(bom.c_str(), platform::PathUtf8(media / "idf").c_str(), "", "",
                                                  log.c_str(), kSetIdfForm);
                const std::string all = ReadWholeFile(platform::FsPath(log));
                if (size_t at = all.rfind("set Idf="); code == 0 && at != std::string::npos)
                    idf = all.substr(at + 8, all.find_first_of("\r\n", at) - at - 8);
                if (idf.empty())
                    p.problems.push_back("the IDF library " + platform::PathUtf8(media / "idf") +
                                         " releases no IDF for " + bom + " (IdentifyIdf returned " +
                                         std::to_string(code) + ")");
            }
        } else {
            idf = FindOne(media, ".xml");
            if (idf.empty())
                p.problems.push_back("no IDF (*.xml) in " + platform::PathUtf8(media));
        }
        if (!idf.empty()) {
            p.facts.emplace_back("idf", idf);
            char os[261] = {};
            const uint32_t code = ReadIdfForOSArchCheck(os, sizeof os, idf.c_str(), log.c_str(), 0, 0, "");
            if (code != 0 || os[0] == '\0')
                p.problems.push_back("the IDF names no OS for its foundation image (ReadIdfForOSArchCheck returned " +
                                     std::to_string(code) + ")");
            else
                p.facts.emplace_back("os", os);
            const std::string idfLanguage = RootAttribute(idf, "LangRegion");
            const std::string bomLanguage = bom.empty() ? "" : BomValue(bom, "LangRegion");
            if (!idfLanguage.empty())
                p.facts.emplace_back("language", idfLanguage);
            if (!bomLanguage.empty() && !idfLanguage.empty() && Upper(bomLanguage) != Upper(idfLanguage))
                p.problems.push_back("the BOM asks for the language " + bomLanguage + ", the IDF is for " +
                                     idfLanguage);
        }
        if (!idf.empty() && !bom.empty()) {
            const uint32_t code = MakeIniX(idf.c_str(), bom.c_str(), plan.c_str(), log.c_str(), 0, 0);
            support::CMemoryIniIO made(true);
            if (code != 0 || !made.LoadFile(plan)) {
                p.problems.push_back("the IDF and the BOM make no plan (MakeIniX returned " + std::to_string(code) +
                                     ")");
            } else {
                needed = PlanBytes(made);
                const std::string list = made.GetString("Image", "BLID", "", 4096);
                const std::string id = platform::MachineSetting("Identity", "BLID").value_or("");
                if (RmidMachine())
                    p.facts.emplace_back("blid", "not the machine's (its RMID is on OEM string 1)");
                else if (id.empty())
                    p.problems.push_back("the machine has no BLID (halcyon machine identity --blid ...)");
                else if (!list.empty() && !BlidListed(list, id))
                    p.problems.push_back("the machine's BLID " + id + " is not in the image's BLID list " + list);
                else
                    p.facts.emplace_back("blid", id + " (in the image's list)");
            }
        }
        if (!scratch.ok())
            p.problems.push_back("no temporary folder to build the plan in");
    }
    CheckPlaces(p, machine, target, needed);
    return p;
}

Preflight CheckRecoveryRun(const std::vector<std::string> &media, const std::string &language, const fs::path &machine,
                           const fs::path &target)
{
    Preflight p;
    static const std::regex marker("(RDVD|RUFD)([1-9][0-9]*)");
    std::string type, idf;
    std::vector<int> numbers;
    std::error_code ec;
    for (const auto &dir : media) {
        if (FoldersNest(dir, platform::PathUtf8(target)) || FoldersNest(dir, platform::PathUtf8(machine)))
            p.problems.push_back("the medium " + dir + " must lie outside the machine and the target");
        std::smatch m;
        std::string found;
        for (auto &e : fs::directory_iterator(platform::FsPath(dir) / "sources", ec)) {
            const std::string name = platform::PathUtf8(e.path().filename());
            if (e.is_regular_file() && std::regex_match(name, m, marker)) {
                found = name;
                break;
            }
        }
        if (found.empty()) {
            p.problems.push_back(dir + " is not a recovery medium (no sources\\RDVD<n> or sources\\RUFD<n>)");
            continue;
        }
        std::regex_match(found, m, marker);
        if (type.empty())
            type = m[1];
        else if (type != m[1].str())
            p.problems.push_back(dir + " is " + found + ", the others are " + type + " media");
        const int n = std::stoi(m[2]);
        if (std::find(numbers.begin(), numbers.end(), n) != numbers.end())
            p.problems.push_back("two media are " + found);
        numbers.push_back(n);
        if (n == 1)
            idf = FindOne(platform::FsPath(dir) / "sources", ".xml");
    }
    if (!media.empty() && std::find(numbers.begin(), numbers.end(), 1) == numbers.end())
        p.problems.push_back("the first medium (" + (type.empty() ? std::string("RDVD") : type) + "1) is not among the media");
    else if (!numbers.empty() && idf.empty())
        p.problems.push_back("the first medium carries no IDF (sources\\*.xml)");
    if (!idf.empty()) {
        p.facts.emplace_back("idf", idf);
        ScratchFolder scratch;
        std::string error;
        const std::vector<std::string> offered =
            OfferedLanguages(platform::FsPath(idf).parent_path() / "boot.wim", scratch, error);
        const std::string list = Joined(offered, ", ");
        if (offered.empty())
            p.problems.push_back(error.empty() ? "the recovery environment offers no languages" : error);
        else
            p.facts.emplace_back("languages", list);
        if (!language.empty() && !offered.empty() &&
            std::find(offered.begin(), offered.end(), language) == offered.end())
            p.problems.push_back("the language " + language + " is not offered (" + list + ")");
    }
    uint64_t needed = 0;
    for (const auto &dir : media)
        for (auto it = fs::recursive_directory_iterator(platform::FsPath(dir), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec))
                needed += it->file_size(ec);
    CheckPlaces(p, machine, target, needed);
    return p;
}

namespace {

// The run's places as the run would take them, read without writing: the
// target and media given, else those the machine's unfinished run recorded.
struct RunTarget {
    fs::path machine, target;
    std::string journal;
};

RunTarget Resolve(const Options &o, const std::string &command, const std::string &sub, Preflight &p)
{
    RunTarget c;
    c.machine = platform::FsPath(SelectMachine(o.Get("machine")));
    c.journal = platform::PathUtf8(c.machine / sub / (command + ".ini"));
    const auto recorded = o.Has("fresh") ? std::nullopt : platform::GetPrivateProfileValue("Run", "Target", c.journal);
    if (o.Get("target"))
        c.target = fs::absolute(platform::FsPath(*o.Get("target"))).lexically_normal();
    else
        c.target = recorded ? platform::FsPath(*recorded) : fs::absolute("halcyon-sample") / "target";
    if (recorded && platform::FsPath(*recorded) != c.target)
        p.problems.push_back("this machine's run uses the target " + *recorded + "; give --fresh to start over with " +
                             platform::PathUtf8(c.target));
    return c;
}

} // namespace

int CheckFactoryRunCommand(const Options &o)
{
    // The engine's operator lines go to the null device unless asked for.
    platform::QuietStandardOutput quiet;
    if (!o.Has("verbose"))
        quiet.Divert();
    Preflight p;
    const RunTarget c = Resolve(o, "factory-run", "factory", p);
    const auto recorded = o.Has("fresh") ? std::nullopt : platform::GetPrivateProfileValue("Run", "Media", c.journal);
    fs::path media;
    bool sample = false;
    if (o.Get("media")) {
        media = fs::absolute(platform::FsPath(*o.Get("media"))).lexically_normal();
        if (recorded && platform::FsPath(*recorded) != media)
            p.problems.push_back("this machine's run uses the media " + *recorded + "; give --fresh to start over with " +
                                 platform::PathUtf8(media));
    } else if (recorded) {
        media = platform::FsPath(*recorded);
    } else if (o.Has("sample")) {
        media = fs::absolute("halcyon-sample") / "media";
        sample = true;
    } else {
        p.problems.push_back("no media: give --media DIR or --sample");
    }
    if (!media.empty()) {
        Preflight found = CheckFactoryRun(media, sample, c.machine, c.target);
        p.problems.insert(p.problems.end(), found.problems.begin(), found.problems.end());
        p.facts = found.facts;
    }
    return p.Print("factory-run --check", o.Has("json"), quiet.Original());
}

int CheckRecoveryRunCommand(const Options &o, std::vector<std::string> media)
{
    platform::QuietStandardOutput quiet;
    if (!o.Has("verbose"))
        quiet.Divert();
    Preflight p;
    const RunTarget c = Resolve(o, "recovery-run", "recovery", p);
    if (media.empty() && !o.Has("fresh"))
        for (int n = 1;; ++n) {
            auto v = platform::GetPrivateProfileValue("Run", "Media" + std::to_string(n), c.journal);
            if (!v)
                break;
            media.push_back(*v);
        }
    const fs::path sample = fs::absolute("halcyon-sample") / "media" / "recovery";
    if (media.empty() && o.Has("sample"))
        media = {platform::PathUtf8(sample / "rdvd1"), platform::PathUtf8(sample / "rdvd2")};
    if (media.empty())
        p.problems.push_back("no media: give --media DIR (once per medium) or --sample");
    Preflight found = CheckRecoveryRun(media, o.GetOr("language", ""), c.machine, c.target);
    p.problems.insert(p.problems.end(), found.problems.begin(), found.problems.end());
    p.facts = found.facts;
    return p.Print("recovery-run --check", o.Has("json"), quiet.Original());
}

} // namespace halcyon::cli
