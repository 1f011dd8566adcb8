#include "cli/run_frame.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

#include "cli/failure_reason.h"
#include "cli/machine_location.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/environment.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/program.h"
#include "support/ini/ini_store.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

// ---- Screen

void Screen::Open(bool verbose)
{
    tty = platform::IsTerminal(stdout);
    // In JSON mode standard output holds the summary alone: the engine's own
    // lines, when asked for, go to standard error.
    if (json && verbose)
        platform::SetEnvironmentVariable("HALCYON_ECHO", "stderr");
    if (!verbose)
        quiet_.Divert();
}

void Screen::Line(const std::string &text)
{
    if (json)
        return;
    EndBar();
    std::fprintf(out(), "%s\n", text.c_str());
    std::fflush(out());
}

void Screen::Bar(const std::string &text, int percent)
{
    if (report)
        report->Progress(text, percent);
    if (json)
        return;
    if (!tty) {
        Line("  " + text);
        return;
    }
    const int cells = 24;
    int filled = std::clamp(percent, 0, 100) * cells / 100;
    std::string line = "  [" + std::string(filled, '#') + std::string(cells - filled, '.') + "] " + text;
    // One line less than the terminal's width, so that it never wraps (cut
    // between characters, not inside one).
    const size_t columns = platform::TerminalColumns(out());
    const size_t width = columns > 1 ? columns - 1 : 79;
    if (line.size() > width) {
        size_t cut = width;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        line.resize(cut);
    }
    std::fprintf(out(), "\r%s\033[K", line.c_str());
    std::fflush(out());
    midLine_ = true;
}

void Screen::EndBar()
{
    if (midLine_)
        std::fprintf(out(), "\n");
    midLine_ = false;
}

// ---- module progress

int32_t ModuleProgress(int32_t index, int32_t total, const char *label, uintptr_t user)
{
    auto *stage = reinterpret_cast<ModuleStage *>(user);
    std::string name = label ? label : "";
    if (index < 0) {
        // (-1, 0, label): an in-box module left for later; (-2, code, label)
        // and (-3, 29, label@_@exit): a failure a recovery run carries past.
        if (index == -1) {
            stage->screen->Line(name.empty() ? "  applying the application image"
                                             : "  " + name + ": left for after the first start");
            return 0;
        }
        std::string shown = name;
        if (size_t at = shown.find("@_@"); at != std::string::npos)
            shown = shown.substr(0, at) + " (exit code " + shown.substr(at + 3) + ")";
        stage->failures.push_back(shown + ", code " + std::to_string(total));
        stage->screen->Line("  FAILED " + shown + ": code " + std::to_string(total));
        return 0;
    }
    if (index == 0 && total == 0) {
        stage->pending = name;
        stage->since = std::chrono::steady_clock::now();
        stage->screen->Bar(stage->noun + " " + std::to_string(stage->announced) + " of " + std::to_string(stage->total) +
                               "  " + name,
                           stage->total ? (stage->announced - 1) * 100 / stage->total : 0);
        return 0;
    }
    if (index > 0 && !stage->pending.empty() && name == stage->pending) {
        ++stage->installed;
        stage->seconds.emplace_back(
            name, std::chrono::duration<double>(std::chrono::steady_clock::now() - stage->since).count());
        stage->pending.clear();
        stage->screen->Bar(stage->noun + " " + std::to_string(index) + " of " + std::to_string(total) + "  " + name +
                               "  installed",
                           total ? index * 100 / total : 100);
        return 0;
    }
    stage->announced = index + 1;
    stage->total = total;
    return 0;
}

// ---- helpers

std::string FindOne(const fs::path &dir, const std::string &ext)
{
    std::error_code ec;
    std::vector<std::string> found;
    for (auto &e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().extension() == ext)
            found.push_back(platform::PathUtf8(e.path()));
    std::sort(found.begin(), found.end());
    return found.empty() ? std::string() : found.front();
}

std::string ReadWholeFile(const fs::path &path)
{
    std::string all;
    std::FILE *f = platform::OpenHostFileForRead(platform::PathUtf8(path));
    if (!f)
        return all;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        all.append(buf, n);
    std::fclose(f);
    return all;
}

std::string JsonText(const std::string &s)
{
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            continue;
        }
        out += c;
    }
    return out;
}

namespace {

std::string Tail(const std::string &log, size_t lines)
{
    std::string all = ReadWholeFile(log);
    all.erase(std::remove(all.begin(), all.end(), '\r'), all.end());
    if (all.empty()) // no log yet: the run stopped before the engine wrote one
        return all;
    size_t pos = all.size();
    for (size_t k = 0; k <= lines && pos > 0 && pos != std::string::npos; ++k)
        pos = all.rfind('\n', pos - 1);
    return all.substr(pos == std::string::npos ? 0 : pos + 1);
}

// A target that --fresh may delete whole: never the file system root, the
// home folder or a folder holding the current one.
bool DisposableTarget(const fs::path &target)
{
    std::error_code ec;
    const fs::path t = fs::weakly_canonical(target, ec);
    if (ec || t == t.root_path())
        return false;
    for (const char *name : {"HOME", "USERPROFILE"})
        if (auto home = platform::GetEnvironmentVariable(name);
            home && !home->empty() && fs::equivalent(t, platform::FsPath(*home), ec))
            return false;
    // The target may lie below the current folder (the default one does),
    // but must not hold it.
    const fs::path here = fs::weakly_canonical(fs::current_path(ec), ec);
    if (ec)
        return true;
    auto h = here.begin();
    for (auto part = t.begin(); part != t.end(); ++part, ++h)
        if (part->empty() && std::next(part) == t.end())
            break; // a trailing separator
        else if (h == here.end() || *h != *part)
            return true;
    return false;
}

// The run's target, owned by this run; with `forgotten` (the target of the
// run --fresh forgets) both are emptied, the forgotten one while it is owned
// and then removed (unless it holds the machine or lies around the new
// target or inside it: then only the new target is emptied).
bool TakeRunTarget(const std::string &command, const RunPlaces &p, const std::optional<std::string> &forgotten,
                   TargetLock &lock, std::string &error)
{
    std::error_code ec;
    fs::create_directories(p.target, ec);
    if (!lock.Acquire(platform::PathUtf8(p.target), "halcyon " + command, error))
        return false;
    if (forgotten && !FoldersNest(*forgotten, platform::PathUtf8(p.target)) &&
        !FoldersNest(*forgotten, platform::PathUtf8(p.machine)) && fs::is_directory(platform::FsPath(*forgotten), ec)) {
        TargetLock old;
        if (!old.Acquire(*forgotten, "halcyon " + command, error))
            return false;
        EmptyTarget(*forgotten);
        old.Release();
        fs::remove_all(platform::FsPath(*forgotten), ec);
    }
    if (forgotten)
        EmptyTarget(platform::PathUtf8(p.target));
    return true;
}

} // namespace

// ---- set-up

void ClearMachine(const fs::path &machine)
{
    static const char *const kOwn[] = {"registry.db", "registry.db-wal", "registry.db-shm", "registry.db-journal",
                                       "machine.ini", "drives", "factory", "recovery"};
    std::error_code ec;
    for (const char *name : kOwn)
        fs::remove_all(machine / name, ec);
}

RunPlaces RunPlacesOf(const std::string &command, const std::optional<std::string> &machineArg,
                      const std::string &sub)
{
    RunPlaces p;
    p.machine = platform::FsPath(SelectMachine(machineArg));
    p.work = p.machine / sub;
    p.journal = p.work / (command + ".ini");
    p.plan = p.work / "halcyon.ini";
    p.log = p.work / "halcyon.log";
    p.temp = p.work / "temp";
    p.mount = p.work / "mount";
    return p;
}

std::optional<std::string> RecordedValue(const RunPlaces &places, const std::string &key)
{
    return platform::GetPrivateProfileValue("Run", key, platform::PathUtf8(places.journal));
}

std::optional<int> RunStopsEarly(const Command &self, const Options &o, const std::function<int()> &check)
{
    if (int rc = RefusePositional(self, o))
        return rc;
    if (o.Has("check"))
        return check();
    if (std::string bad; !ValidReportFolder(o.Get("report-to"), bad))
        return UsageError(self, bad);
    return std::nullopt;
}

StartedRun::StartedRun(const std::string &command, const Args &args, const RunPlaces &places, const Options &o,
                       const std::string &media, std::string doneTitle, std::string failedTitle)
    : journal(platform::PathUtf8(places.journal), screen),
      summary{std::move(doneTitle), std::move(failedTitle), &places, &journal.stages}
{
    screen.json = o.Has("json");
    screen.Open(o.Has("verbose"));
    report.Open(command, args, places.work, places.machine, places.target, media, places.log, o.Get("report-to"));
    screen.report = journal.report = &report;
}

int StartedRun::Finish(int64_t code, const std::string &stage, const std::string &why)
{
    report.Finish(code, stage, why);
    return summary.Print(screen, code, stage, why);
}

int Refuse(const std::string &command, bool json, const std::string &message, int status)
{
    std::fprintf(stderr, "halcyon %s: %s\n", command.c_str(), message.c_str());
    if (json)
        std::printf("{\"schemaVersion\":%d,\"result\":%d,\"error\":\"%s\"}\n", kJsonSchemaVersion, status,
                    JsonText(message).c_str());
    return status;
}

bool PrepareRun(const std::string &command, const std::optional<std::string> &machineArg,
                const std::optional<std::string> &targetArg, bool fresh, const std::string &sub, RunPlaces &p,
                CommandLocks &locks, std::string &error)
{
    const fs::path work = fs::absolute("halcyon-sample");
    p = RunPlacesOf(command, machineArg, sub);

    // The target: the one given, else the one of the run this machine
    // remembers, else the default.
    const std::optional<std::string> recorded =
        platform::GetPrivateProfileValue("Run", "Target", platform::PathUtf8(p.journal));
    if (targetArg)
        p.target = fs::absolute(platform::FsPath(*targetArg)).lexically_normal();
    else
        p.target = recorded && !fresh ? platform::FsPath(*recorded) : (work / "target");
    if (FoldersNest(platform::PathUtf8(p.machine), platform::PathUtf8(p.target))) {
        error = "the machine folder " + platform::PathUtf8(p.machine) + " and the target " +
                platform::PathUtf8(p.target) + " must not lie one inside the other";
        return false;
    }

    // Nothing of the machine is changed by a run that does not own it.
    if (!locks.machine.Acquire(platform::PathUtf8(p.machine), "halcyon " + command, error))
        return false;

    if (fresh) {
        for (const fs::path &t : {recorded ? platform::FsPath(*recorded) : p.target, p.target})
            if (!DisposableTarget(t)) {
                error = "--fresh would delete " + platform::PathUtf8(t) + " whole; give another --target";
                return false;
            }
    } else if (recorded && platform::FsPath(*recorded) != p.target) {
        error = "this machine's run uses the target " + *recorded + "; give --fresh to start over with " +
                platform::PathUtf8(p.target);
        return false;
    } else if (recorded && !fs::is_directory(platform::FsPath(*recorded))) {
        error = "this machine's run uses the target " + *recorded +
                ", which no longer exists; give --fresh to start over (or --machine DIR for another machine)";
        return false;
    }
    // Nor is a target that another machine's run installs into.
    if (!TakeRunTarget(command, p, fresh ? recorded : std::nullopt, locks.target, error))
        return false;
    if (fresh)
        ClearMachine(p.machine);

    // The engine, the installers it starts and any halcyon command they run
    // see this run's machine, target and command.
    platform::SetEnvironmentVariable("HALCYON_MACHINE", platform::PathUtf8(p.machine));
    platform::SetEnvironmentVariable("HALCYON_TARGET", platform::PathUtf8(p.target));
    platform::SetEnvironmentVariable("HALCYON_BIN", platform::ProgramFile());
    ExportOwner();

    std::error_code ec;
    std::vector<fs::path> folders = {p.work, p.target, p.temp, p.mount};
    if (!kRealMachine)
        folders.push_back(p.machine / "drives");
    for (const auto &dir : folders) {
        fs::create_directories(dir, ec);
        if (ec) {
            error = "cannot create " + platform::PathUtf8(dir) + ": " + ec.message();
            return false;
        }
    }
    if (!kRealMachine) {
        // The target is the emulated machine's drive C:.
        fs::path driveC = p.machine / "drives" / "c";
        // A machine set up before its first run has an empty drive C: of its own.
        if (fs::is_directory(fs::symlink_status(driveC)) && fs::is_empty(driveC, ec))
            fs::remove(driveC, ec);
        if (!fs::exists(fs::symlink_status(driveC)))
            fs::create_directory_symlink(p.target, driveC, ec);
        if (ec || !fs::equivalent(driveC, p.target, ec)) {
            error = platform::PathUtf8(driveC) + " is not the target " + platform::PathUtf8(p.target);
            return false;
        }
    }
    return true;
}

bool RecordRunStart(const RunPlaces &places, const std::vector<std::pair<std::string, std::string>> &values,
                    std::string &error)
{
    const std::string journal = platform::PathUtf8(places.journal);
    if (!platform::WritePrivateProfileString("Run", "Target", platform::PathUtf8(places.target), journal)) {
        error = "cannot write " + journal;
        return false;
    }
    for (const auto &[key, value] : values)
        if (!platform::WritePrivateProfileString("Run", key, value, journal)) {
            error = "cannot write " + journal;
            return false;
        }
    return true;
}

// ---- journal

bool RunJournal::Done(const std::string &stage) const
{
    return platform::GetPrivateProfileString("Stages", stage, "", file_) == "Done";
}

void RunJournal::MarkDone(const std::string &stage)
{
    platform::WritePrivateProfileString("Stages", stage, "Done", file_);
}

std::optional<std::string> RunJournal::Value(const std::string &key) const
{
    return platform::GetPrivateProfileValue("Run", key, file_);
}

bool RunJournal::SetValue(const std::string &key, const std::string &value)
{
    return platform::WritePrivateProfileString("Run", key, value, file_);
}

// ---- modules

int64_t InstallModules(Screen &screen, const std::string &plan, const std::string &source, const std::string &target,
                       const std::string &mount, const std::string &log, uint64_t options, Summary &summary,
                       std::string &why, std::vector<std::string> *failures)
{
    ModuleStage progress{&screen};
    for (;;) {
        uint32_t exitCode = 0;
        // Recovery runs install only the permanent modules the media carry.
        const bool recovery = (options & 0x4) != 0;
        int32_t rc = ModSetupX(plan.c_str(), source.c_str(), source.c_str(), source.c_str(), target.c_str(),
                               mount.c_str(), "", "", "", recovery ? "False" : "", log.c_str(), 1, options,
                               ModuleProgress, reinterpret_cast<uintptr_t>(&progress), "", &exitCode);
        summary.moduleSeconds.insert(summary.moduleSeconds.end(), progress.seconds.begin(), progress.seconds.end());
        progress.seconds.clear();
        if (rc != RETURN_REBOOT_REQUIRED) {
            summary.modulesInstalled += progress.installed;
            if (rc != 0 && !progress.pending.empty())
                why = "while installing " + progress.pending;
            if (failures)
                failures->insert(failures->end(), progress.failures.begin(), progress.failures.end());
            return rc;
        }
        ++summary.restarts;
        progress.pending.clear();
        screen.Line("  restart requested");
    }
}

// ---- verification

namespace {

struct PlanModule {
    std::string section, kind, name, label, partId, version, path;
};

// The modules a run installed, in plan order: the "%d" and "PE%d" families
// (without temporary ones when `permanentOnly`), plus the applications of the
// image ("Image App%d"). "Data" modules, which carry values for the plan and
// install nothing, come with the kind "data module".
std::vector<PlanModule> InstalledModules(const support::CMemoryIniIO &plan, bool permanentOnly)
{
    std::vector<PlanModule> out;
    struct Family {
        const char *prefix, *kind;
    };
    // A recovery lays down the push-button-reset image, which carries the
    // image's applications already; only a factory run installs them.
    std::vector<Family> families = {{"", "module"}, {"PE", "PE module"}};
    if (!permanentOnly)
        families.push_back({"Image App", "application"});
    for (const Family &f : families) {
        for (int n = 1;; ++n) {
            const std::string section = f.prefix + std::to_string(n);
            if (!plan.SectionExists(section) || plan.KeyExists(section, "End"))
                break;
            auto value = [&](const char *key) { return plan.GetString(section, key, "", 1024); };
            std::string type = value("InstallerType");
            std::transform(type.begin(), type.end(), type.begin(), ::tolower);
            std::string temporary = value("Temporary");
            std::transform(temporary.begin(), temporary.end(), temporary.begin(), ::tolower);
            if (permanentOnly && temporary != "false")
                continue;
            out.push_back({section, type == "data" ? "data module" : f.kind, value("ReleaseName"), value("CustomerLabel"), value("PartId"),
                           value("DetailedVersion"), value("PathToRelease")});
        }
    }
    return out;
}

// The plan cut down to what was installed, in the shape EpicCrcCheck and
// ValidateRegistry read: the module families renumbered, each ended, and the
// two image families present but empty.
bool WriteCheckPlan(const support::CMemoryIniIO &plan, const std::vector<PlanModule> &modules,
                    const std::string &path)
{
    support::CMemoryIniIO out(true);
    int numbered = 0, pe = 0;
    for (const auto &m : modules) {
        if (m.kind == "application" || m.kind == "data module")
            continue;
        const std::string section = m.kind == "module" ? std::to_string(++numbered) : "PE" + std::to_string(++pe);
        for (const auto &[key, value] : plan.Entries(m.section))
            out.WriteString(section, key, value);
    }
    out.WriteString(std::to_string(numbered + 1), "End", "True");
    out.WriteString("PE" + std::to_string(pe + 1), "End", "True");
    out.WriteString("Image1", "End", "True");
    out.WriteString("RecoveryImage1", "End", "True");
    for (const auto &[key, value] : plan.Entries("CleanSweep"))
        out.WriteString("CleanSweep", key, value);
    return out.SaveToFile(path);
}

// The section EpicCrcCheck was checking when it stopped (its last
// "Checking <section>: <folder>" line).
std::string LastChecked(const std::string &log)
{
    std::string tail = Tail(log, 40);
    size_t at = tail.rfind("Checking ");
    if (at == std::string::npos)
        return {};
    at += 9;
    size_t colon = tail.find(':', at);
    return colon == std::string::npos ? std::string() : tail.substr(at, colon - at);
}

} // namespace

int64_t VerifyInstallation(Screen &screen, const RunPlaces &places, const std::string &source, Summary &summary,
                           std::string &why)
{
    support::CMemoryIniIO plan(true);
    if (!plan.LoadFile(platform::PathUtf8(places.plan))) {
        why = "cannot read the plan " + platform::PathUtf8(places.plan);
        return RETURN_UNABLE_OPEN_INI;
    }
    const bool recovery = places.work.filename() == "recovery";
    std::vector<PlanModule> modules = InstalledModules(plan, recovery);
    const std::string checkPlan = platform::PathUtf8(places.work / "check.ini");
    if (!WriteCheckPlan(plan, modules, checkPlan)) {
        why = "cannot write " + checkPlan;
        return RETURN_UNABLE_OPEN_INI;
    }

    screen.Line("  module folders against their CRC manifests (EpicCrcCheck)");
    int32_t crc = EpicCrcCheck(checkPlan.c_str(), source.c_str(), "", platform::PathUtf8(places.log).c_str(), 0);
    std::string crcFailed;
    if (crc == 112) {
        const std::string section = LastChecked(platform::PathUtf8(places.log));
        support::CMemoryIniIO check(true);
        check.LoadFile(checkPlan);
        crcFailed = check.GetString(section, "ReleaseName", section, 1024);
    }
    screen.Line("  registration keys (ValidateRegistry)");
    int32_t reg = ValidateRegistry("SOFTWARE", checkPlan.c_str(), platform::PathUtf8(places.log).c_str(), 0x80000002u);

    using namespace platform::reg;
    const std::string base = "SOFTWARE\\Norv Corporation\\Installed Software\\";
    std::vector<std::string> missing, appsMissing;
    for (const auto &m : modules) {
        if (m.kind == "data module") {
            summary.report.push_back({m.kind, m.name, "", "not installed: carries data for the plan"});
            continue;
        }
        ReportLine line{m.kind, m.name, "", "ok"};
        const char *family = m.kind != "application" ? "Modules\\" : nullptr;
        std::string key;
        if (family) {
            key = base + family + m.label + " " + m.partId;
        } else {
            // Applications are registered by their part type; only those
            // whose version check passed are.
            std::string partType = plan.GetString(m.section, "PartType", "", 64);
            std::transform(partType.begin(), partType.end(), partType.begin(), ::tolower);
            key = base + (partType == "driver" ? "Drivers\\" : "Applications\\") + m.label + " " + m.partId;
        }
        std::string version;
        const char *versionValue = family ? "DetailedVersion" : "MinorDetailedVersion";
        if (KeyExists(HKEY_LOCAL_MACHINE, key)) {
            if (GetString(HKEY_LOCAL_MACHINE, key, versionValue, &version) != ERROR_SUCCESS)
                version.clear();
            line.version = version.empty() ? m.version : version;
        } else {
            line.check = "not registered";
            (family ? missing : appsMissing).push_back(m.name);
        }
        if (!crcFailed.empty() && m.name == crcFailed)
            line.check = "folder fails its CRC manifest";
        summary.report.push_back(line);
    }

    if (crc != 0) {
        why = crc == 112 ? "the module folder of " + crcFailed + " fails its CRC manifest"
                         : "EpicCrcCheck returned " + std::to_string(crc);
        return crc;
    }
    if (reg != 0) {
        why = "ValidateRegistry returned " + std::to_string(reg);
        if (!missing.empty()) {
            why += ": not registered:";
            for (const auto &m : missing)
                why += " " + m + (&m == &missing.back() ? "" : ",");
        }
        return reg;
    }
    // An application is registered only when its version check passed
    // after its installation.
    if (!appsMissing.empty()) {
        why = "version check failed, not registered:";
        for (const auto &m : appsMissing)
            why += " " + m + (&m == &appsMissing.back() ? "" : ",");
        return RETURN_FAILED_MATCH;
    }
    return 0;
}

// ---- summary

namespace {

// "clean sweep" as a JSON key: "cleanSweep".
std::string JsonKey(const std::string &name)
{
    std::string key;
    bool upper = false;
    for (char c : name) {
        if (c == ' ' || c == '-' || c == '_') {
            upper = !key.empty();
            continue;
        }
        key += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return key;
}

// Output paths with one kind of separator: the host's.
std::string ShownPath(const fs::path &path)
{
    return platform::PathUtf8(path.lexically_normal().make_preferred());
}

} // namespace

int Summary::Print(Screen &screen, int64_t code, const std::string &failedStage, const std::string &why) const
{
    screen.EndBar();
    std::FILE *out = screen.out();
    const RunPlaces &r = *places;
    // A resumed run installed its modules in earlier starts: count what is registered.
    int installed = modulesInstalled;
    if (installed == 0)
        for (const auto &line : report)
            if ((line.kind == "module" || line.kind == "PE module") && line.check != "not registered")
                ++installed;
    std::string codeMeaning, reason = why, logLine;
    bool rerun = true;
    if (code != 0) {
        codeMeaning = CodeMeaning(code);
        logLine = LastErrorLine(platform::PathUtf8(r.log));
        if (reason.empty())
            reason = !logLine.empty() ? logLine : codeMeaning;
        rerun = RerunCanSucceed(failedStage, code);
    }
    if (screen.json) {
        std::fprintf(out,
                     "{\"schemaVersion\":%d,\"result\":%lld,\"failedStage\":\"%s\",\"why\":\"%s\",\"codeMeaning\":\"%s\","
                     "\"logError\":\"%s\",\"resumable\":%s,\"modulesInstalled\":%d,"
                     "\"restarts\":%d,\"log\":\"%s\",\"plan\":\"%s\",\"target\":\"%s\",\"machine\":\"%s\"",
                     kJsonSchemaVersion, static_cast<long long>(code), failedStage.c_str(), JsonText(reason).c_str(),
                     JsonText(codeMeaning).c_str(), JsonText(logLine).c_str(), code != 0 && rerun ? "true" : "false",
                     installed, restarts, JsonText(ShownPath(r.log)).c_str(), JsonText(ShownPath(r.plan)).c_str(),
                     JsonText(ShownPath(r.target)).c_str(), JsonText(ShownPath(r.machine)).c_str());
        for (const auto &[name, value] : facts)
            std::fprintf(out, ",\"%s\":\"%s\"", JsonKey(name).c_str(), JsonText(value).c_str());
        std::fprintf(out, ",\"stages\":[");
        for (size_t i = 0; i < stages->size(); ++i) {
            const StageResult &s = (*stages)[i];
            std::fprintf(out, "%s{\"name\":\"%s\",\"seconds\":%.3f,\"code\":%lld,\"skipped\":%s}", i ? "," : "",
                         s.name.c_str(), s.seconds, static_cast<long long>(s.code), s.skipped ? "true" : "false");
        }
        std::fprintf(out, "],\"moduleTimings\":[");
        for (size_t i = 0; i < moduleSeconds.size(); ++i)
            std::fprintf(out, "%s{\"name\":\"%s\",\"seconds\":%.3f}", i ? "," : "",
                         JsonText(moduleSeconds[i].first).c_str(), moduleSeconds[i].second);
        std::fprintf(out, "],\"report\":[");
        for (size_t i = 0; i < report.size(); ++i)
            std::fprintf(out, "%s{\"kind\":\"%s\",\"name\":\"%s\",\"version\":\"%s\",\"check\":\"%s\"}", i ? "," : "",
                         report[i].kind.c_str(), JsonText(report[i].name).c_str(),
                         JsonText(report[i].version).c_str(), JsonText(report[i].check).c_str());
        std::fprintf(out, "]}\n");
    } else {
        std::fprintf(out, "\n%s\n", code == 0 ? doneTitle.c_str() : failedTitle.c_str());
        for (const auto &s : *stages) {
            if (s.skipped)
                std::fprintf(out, "  %-12s done earlier\n", s.name.c_str());
            else if (s.code)
                std::fprintf(out, "  %-12s %7.2f s  code %lld\n", s.name.c_str(), s.seconds,
                             static_cast<long long>(s.code));
            else
                std::fprintf(out, "  %-12s %7.2f s\n", s.name.c_str(), s.seconds);
        }
        if (!report.empty()) {
            std::fprintf(out, "\n  %-12s %-22s %-10s %s\n", "installed", "name", "version", "check");
            for (const auto &l : report)
                std::fprintf(out, "  %-12s %-22s %-10s %s\n", l.kind.c_str(), l.name.c_str(),
                             l.version.empty() ? "-" : l.version.c_str(), l.check.c_str());
            std::fprintf(out, "\n");
        }
        if (!moduleSeconds.empty()) {
            std::fprintf(out, "  %-36s %s\n", "installed this run", "time");
            for (const auto &[name, seconds] : moduleSeconds)
                std::fprintf(out, "  %-36s %7.2f s\n", name.c_str(), seconds);
            std::fprintf(out, "\n");
        }
        for (const auto &[name, value] : facts)
            std::fprintf(out, "  %s: %s\n", name.c_str(), value.c_str());
        std::fprintf(out,
                     "  modules installed: %d, restarts taken: %d\n  log:    %s\n  plan:   %s\n"
                     "  target: %s%s\n",
                     installed, restarts, ShownPath(r.log).c_str(), ShownPath(r.plan).c_str(),
                     ShownPath(r.target).c_str(), kRealMachine ? "" : " (drive C:)");
    }
    std::fflush(out);
    if (code != 0) {
        // The failure goes to standard error, in JSON mode too.
        std::string said = reason;
        while (!said.empty() && said.back() == '.')
            said.pop_back();
        std::fprintf(stderr, "\nStage %s failed with code %lld%s%s%s%s.\n", failedStage.c_str(),
                     static_cast<long long>(code), codeMeaning.empty() ? "" : " (", codeMeaning.c_str(),
                     codeMeaning.empty() ? "" : ")", said.empty() ? "" : (": " + said).c_str());
        if (!logLine.empty() && logLine != reason)
            std::fprintf(stderr, "The log says: %s\n", logLine.c_str());
        if (!screen.json)
            std::fprintf(stderr, "Last log lines:\n%s\n", Tail(platform::PathUtf8(r.log), 12).c_str());
        if (rerun)
            std::fprintf(stderr, "Run the same command again to resume.\n");
        else
            std::fprintf(stderr, "Running the same command again fails the same way: fix the cause above first, or "
                                 "start over with --fresh.\n");
        std::fflush(stderr);
    }
    return code == 0 ? 0 : 1;
}

} // namespace halcyon::cli
