// What factory-run and recovery-run share: the operator's screen, the module
// progress lines, the stage journal kept in the machine folder (so that a
// stopped run goes on where it stopped, from any working folder), the
// machine's one-owner lock and the summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/machine_lock.h"
#include "cli/owner_lock.h"
#include "cli/options.h"
#include "cli/real_machine.h"
#include "cli/run_status.h"
#include "platform/console.h"

namespace halcyon::cli {

// What the operator sees. The engine echoes its operator lines on standard
// output; unless --verbose asks for them they go only to the log, and the run
// draws its own stage and module lines on the original output.
class Screen {
public:
    bool tty = false;
    bool json = false;
    RunReport *report = nullptr; // told of every bar, when the run keeps a status record

    void Open(bool verbose);
    std::FILE *out() const { return quiet_.Original(); }

    void Line(const std::string &text);
    // A bar redrawn in place on a terminal; a plain line otherwise.
    void Bar(const std::string &text, int percent);
    void EndBar();

private:
    platform::QuietStandardOutput quiet_;
    bool midLine_ = false;
};

// Follows the module callback of ModSetupX: (n-1, total, label) announces
// module n, (0, 0, label) follows at once, (n, total, label) tells that it
// was installed; negative indexes are recovery reports (a tolerated failure).
struct ModuleStage {
    Screen *screen;
    std::string noun = "module";
    int installed = 0;
    int announced = 0;
    int total = 0;
    std::string pending;
    std::vector<std::string> failures; // "label (code N)" of recovery reports
    std::chrono::steady_clock::time_point since; // when `pending` was announced
    std::vector<std::pair<std::string, double>> seconds; // each installed module and its time
};
int32_t ModuleProgress(int32_t index, int32_t total, const char *label, uintptr_t user);

struct StageResult {
    std::string name;
    double seconds = 0;
    int64_t code = 0;
    bool skipped = false;
};

// One line of the final report: a module or application, its installed
// version and the result of its check.
struct ReportLine {
    std::string kind;    // "module", "PE module", "application", "data module" (installs nothing)
    std::string name;
    std::string version; // as registered; empty when not registered
    std::string check;   // "ok", or what failed
};

// The places of one run.
struct RunPlaces {
    std::filesystem::path machine, target, work, journal, plan, log, temp, mount;
};

// The places of a run of `command` on the machine `machineArg` chooses,
// without touching the machine (the target is left empty).
RunPlaces RunPlacesOf(const std::string &command, const std::optional<std::string> &machineArg,
                      const std::string &sub);
// A setting ("Media", "Target", ...) the machine's run recorded.
std::optional<std::string> RecordedValue(const RunPlaces &places, const std::string &key);

// A run refused before it started: the message on standard error and, with
// `json`, as {"schemaVersion":..,"result":status,"error":message} on standard
// output. Returns `status`.
int Refuse(const std::string &command, bool json, const std::string &message, int status = 1);

// Sets up a run on a machine: resolves --machine and --target (the target
// recorded by an earlier, unfinished run is used when none is given), refuses
// nested machine and target folders, takes the machine's lock and the
// target's, forgets earlier progress with `fresh`, creates the folders, makes the target drive
// C: and points the engine and the installers at this machine. `sub` names
// the run's folder in the machine ("factory", "recovery"). False with
// `error` set when the run cannot start.
bool PrepareRun(const std::string &command, const std::optional<std::string> &machineArg,
                const std::optional<std::string> &targetArg, bool fresh, const std::string &sub, RunPlaces &places,
                CommandLocks &locks, std::string &error);

// Records that the run has started: its target and `values` ("Media", ...)
// in the journal, so that the run resumes with them. A run refused before
// this records nothing.
bool RecordRunStart(const RunPlaces &places, const std::vector<std::pair<std::string, std::string>> &values,
                    std::string &error);

// Removes the machine's own files: its registry, identity, drives and the
// runs' working folders. Anything else in the folder (a wrongly named
// machine folder may be someone's home) is left alone, and so is the lock
// file, which the running command holds open. Drive folders are links or
// folders; a link is removed as a link.
void ClearMachine(const std::filesystem::path &machine);

// The stage journal: "[Stages] name=Done" and the run's recorded settings
// "[Run] key=value".
class RunJournal {
public:
    RunJournal(std::string file, Screen &screen) : file_(std::move(file)), screen_(screen) {}

    bool Done(const std::string &stage) const;
    std::optional<std::string> Value(const std::string &key) const;
    bool SetValue(const std::string &key, const std::string &value);

    // Runs `fn` as stage `name` unless an earlier run finished it; records it
    // as done when `fn` returns 0.
    template <class Fn> int64_t Stage(const std::string &name, Fn &&fn)
    {
        StageResult s;
        s.name = name;
        if (Done(name)) {
            s.skipped = true;
            if (report)
                report->StageEnded(name, 0);
            stages.push_back(s);
            return 0;
        }
        screen_.Line("== " + name);
        if (report)
            report->StageStarted(name);
        const auto t0 = std::chrono::steady_clock::now();
        s.code = fn();
        s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        screen_.EndBar();
        stages.push_back(s);
        if (report)
            report->StageEnded(name, s.code);
        if (s.code == 0)
            MarkDone(name);
        return s.code;
    }
    void MarkDone(const std::string &stage);

    // Runs `fn` as stage `name` on every start (checks that report).
    template <class Fn> int64_t Always(const std::string &name, Fn &&fn)
    {
        screen_.Line("== " + name);
        if (report)
            report->StageStarted(name);
        const auto t0 = std::chrono::steady_clock::now();
        StageResult s{name};
        s.code = fn();
        if (report)
            report->StageEnded(name, s.code);
        s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        stages.push_back(s);
        return s.code;
    }

    std::vector<StageResult> stages;
    RunReport *report = nullptr; // told of every stage, when the run keeps a status record

private:
    std::string file_;
    Screen &screen_;
};

// The summary at the end of a run; returns the command's exit status (0, or
// 1 when `code` is not 0).
struct Summary {
    std::string doneTitle, failedTitle;
    const RunPlaces *places = nullptr;
    const std::vector<StageResult> *stages = nullptr;
    std::vector<ReportLine> report;
    std::vector<std::pair<std::string, std::string>> facts; // extra "name: value" lines / JSON fields
    int modulesInstalled = 0;
    int restarts = 0;
    std::vector<std::pair<std::string, double>> moduleSeconds; // per installed module, in order

    int Print(Screen &screen, int64_t code, const std::string &failedStage, const std::string &why = "") const;
};

// Calls ModSetupX until it returns anything but the restart request; counts
// restarts and installed modules into `summary`. On a failure `why` names the
// module being installed; `failures` receives the failures a recovery run
// carried past.
int64_t InstallModules(Screen &screen, const std::string &plan, const std::string &source,
                       const std::string &target, const std::string &mount, const std::string &log, uint64_t options,
                       Summary &summary, std::string &why, std::vector<std::string> *failures = nullptr);

// The final checks of a run: EpicCrcCheck over the module folders below
// `source` and ValidateRegistry over the plan's registration keys, then the
// per-module report. 0, or the first failing check's code with `why` naming
// the module.
int64_t VerifyInstallation(Screen &screen, const RunPlaces &places, const std::string &source, Summary &summary,
                           std::string &why);

// The flags factory-run and recovery-run take.
inline const std::vector<std::string> kRunFlags{"sample", "json", "fresh", "verbose", "check"};

// What a run checks before anything else: no positional argument, --check
// answered by `check` alone, and a report folder that can be used. The exit
// status when the run goes no further, else nothing.
std::optional<int> RunStopsEarly(const Command &self, const Options &o, const std::function<int()> &check);

// A run past its start: the operator's screen (--json, --verbose), the stage
// journal, the status record (--report-to) and the summary, told of one
// another. `media` is what the status record shows as the run's media.
struct StartedRun {
    StartedRun(const std::string &command, const Args &args, const RunPlaces &places, const Options &o,
               const std::string &media, std::string doneTitle, std::string failedTitle);

    // Ends the run with `code`, failed at `stage` unless 0: the status record
    // and the summary; the command's exit status.
    int Finish(int64_t code, const std::string &stage, const std::string &why = "");

    Screen screen;
    RunJournal journal;
    RunReport report;
    Summary summary;
};

// The whole contents of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::filesystem::path &path);

// The first regular file with extension `ext` in `dir` (by name), or "".
std::string FindOne(const std::filesystem::path &dir, const std::string &ext);
std::string JsonText(const std::string &s);

} // namespace halcyon::cli
