// The status record of a run: a few "key=value" lines that factory-run and
// recovery-run replace as their stages and modules progress, in the run's
// folder of the machine ("status.txt") and, with --report-to DIR, in a shared
// folder (one file per machine). "halcyon status" and "halcyon line" read
// them; nothing else does, so a record that cannot be written never stops a
// run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

class ProgressDisplay;

struct RunStatus {
    std::string name;     // the machine's name ([Identity] Name, else its folder's name)
    std::string machine;  // the machine folder
    std::string command;  // "factory-run", "recovery-run"
    std::string state;    // "running", "done", "failed"
    std::string stage;    // the stage running, or the one that failed
    std::string done;     // the stages done so far, comma-separated
    std::string media, target;
    std::string progress; // "module 3 of 12  NAME"
    int percent = -1;     // of the stage's progress; -1 when unknown
    int64_t code = 0;     // the failing stage's code
    std::string reason;   // why it failed
    std::string host;
    int64_t pid = 0;
    int64_t started = 0, updated = 0; // seconds since 1970
};

// The record as text, and back. Unknown keys are ignored; false when the
// text holds no record (no "command" line).
std::string FormatRunStatus(const RunStatus &s);
bool ParseRunStatus(const std::string &text, RunStatus &out);
// One JSON object.
std::string RunStatusJson(const RunStatus &s);

// Replaces `file` with `text` in one step (a new file next to it, renamed
// over it), never writing through a link. False with `error` set otherwise.
bool ReplaceFile(const std::filesystem::path &file, const std::string &text, std::string &error);

// The file a machine reports to in a shared folder: its name made safe,
// then a short hash of its folder (two machines may share a name).
std::string ReportFileName(const std::string &name, const std::string &machineFolder);

// --report-to: an existing folder. False with `error` set otherwise.
bool ValidReportFolder(const std::optional<std::string> &dir, std::string &error);

// The machine's name: [Identity] Name of its machine.ini, else the folder's
// last component.
std::string MachineName(const std::string &machineFolder);

// Keeps a run's record up to date: the run's own copy in its folder, and the
// shared one when a report folder was given.
class RunReport {
public:
    // Starts the record as "running" and writes the log header (version,
    // start time, command line) to `log`.
    void Open(const std::string &command, const std::vector<std::string> &args, const std::filesystem::path &work,
              const std::filesystem::path &machine, const std::filesystem::path &target, const std::string &media,
              const std::filesystem::path &log, const std::optional<std::string> &reportDir);

    void StageStarted(const std::string &stage);
    void StageEnded(const std::string &stage, int64_t code);
    void Progress(const std::string &text, int percent);
    void Finish(int64_t code, const std::string &failedStage, const std::string &reason);

    const RunStatus &Status() const { return s_; }

private:
    void Write();

    RunStatus s_;
    std::filesystem::path own_, shared_;
    bool open_ = false, warned_ = false;
};

// The image stage's progress in the record: a WimMessageCallback whose user
// data is an ImageReport. It passes each message to the display (when there
// is one; without, every message is answered with success) and records each
// new percent.
struct ImageReport {
    ProgressDisplay *display;
    RunReport *report;
    int last = -1;
};
uint32_t ReportingWimCallback(uint32_t message, uintptr_t wparam, intptr_t lparam, void *userData);

// The record of the run in `work` ("status.txt"), when there is one.
std::optional<RunStatus> ReadRunStatus(const std::filesystem::path &work);

} // namespace halcyon::cli
