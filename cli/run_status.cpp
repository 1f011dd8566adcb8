#include "cli/run_status.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <ctime>
#include <system_error>

#include "cli/help.h"
#include "cli/progress.h"
#include "cli/run_frame.h"
#include "platform/environment.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"
#include "platform/profile.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

namespace {

// A value on one line.
std::string OneLine(std::string v)
{
    for (char &c : v)
        if (c == '\n' || c == '\r')
            c = ' ';
    return v;
}

int64_t ToInt(const std::string &v)
{
    char *end = nullptr;
    long long n = std::strtoll(v.c_str(), &end, 10);
    return v.empty() || (end && *end) ? 0 : n;
}

std::string LocalTime(std::time_t when)
{
    char text[32] = "";
    std::tm tm{};
    if (platform::LocalCivilTime(when, &tm))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::string CommandLine(const std::string &command, const std::vector<std::string> &args)
{
    std::string line = "halcyon " + command;
    for (const auto &a : args)
        line += a.find_first_of(" \t\"'") == std::string::npos && !a.empty() ? " " + a : " \"" + a + "\"";
    return line;
}

} // namespace

std::string FormatRunStatus(const RunStatus &s)
{
    std::string out;
    auto put = [&](const char *key, const std::string &value) { out += std::string(key) + "=" + OneLine(value) + "\n"; };
    put("name", s.name);
    put("machine", s.machine);
    put("command", s.command);
    put("state", s.state);
    put("stage", s.stage);
    put("done", s.done);
    put("media", s.media);
    put("target", s.target);
    put("progress", s.progress);
    put("percent", std::to_string(s.percent));
    put("code", std::to_string(s.code));
    put("reason", s.reason);
    put("host", s.host);
    put("pid", std::to_string(s.pid));
    put("started", std::to_string(s.started));
    put("updated", std::to_string(s.updated));
    return out;
}

bool ParseRunStatus(const std::string &text, RunStatus &out)
{
    RunStatus s;
    bool any = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), v = line.substr(eq + 1);
        if (key == "name") s.name = v;
        else if (key == "machine") s.machine = v;
        else if (key == "command") { s.command = v; any = !v.empty(); }
        else if (key == "state") s.state = v;
        else if (key == "stage") s.stage = v;
        else if (key == "done") s.done = v;
        else if (key == "media") s.media = v;
        else if (key == "target") s.target = v;
        else if (key == "progress") s.progress = v;
        else if (key == "percent") s.percent = static_cast<int>(ToInt(v));
        else if (key == "code") s.code = ToInt(v);
        else if (key == "reason") s.reason = v;
        else if (key == "host") s.host = v;
        else if (key == "pid") s.pid = ToInt(v);
        else if (key == "started") s.started = ToInt(v);
        else if (key == "updated") s.updated = ToInt(v);
    }
    if (any)
        out = s;
    return any;
}

std::string RunStatusJson(const RunStatus &s)
{
    auto str = [](const char *key, const std::string &v) { return "\"" + std::string(key) + "\":\"" + JsonText(v) + "\""; };
    auto num = [](const char *key, int64_t v) { return "\"" + std::string(key) + "\":" + std::to_string(v); };
    return "{" + str("name", s.name) + "," + str("machine", s.machine) + "," + str("command", s.command) + "," +
           str("state", s.state) + "," + str("stage", s.stage) + "," + str("done", s.done) + "," +
           str("media", s.media) + "," + str("target", s.target) + "," + str("progress", s.progress) + "," +
           num("percent", s.percent) + "," + num("code", s.code) + "," + str("reason", s.reason) + "," +
           str("host", s.host) + "," + num("pid", s.pid) + "," + num("started", s.started) + "," +
           num("updated", s.updated) + "}";
}

bool ReplaceFile(const fs::path &file, const std::string &text, std::string &error)
{
    // A name of this process's own: a new file is made, so a link planted
    // under the name is never written through; the rename replaces a link
    // at the final name instead of following it.
    const fs::path temp = file.parent_path() /
                          ("." + platform::PathUtf8(file.filename()) + "." +
                           std::to_string(platform::CurrentProcessId()) + ".tmp");
    const std::string tempText = platform::PathUtf8(temp);
    std::error_code ec;
    fs::remove(temp, ec);
    platform::HostFile f;
    if (int err = f.Open(tempText, platform::FileAccess::Write, platform::FileCreation::CreateNew)) {
        error = "cannot create " + tempText + ": " + std::strerror(err);
        return false;
    }
    int err = f.Write(text.data(), text.size());
    if (!err)
        err = f.Close();
    if (err) {
        f.Close();
        fs::remove(temp, ec);
        error = "cannot write " + tempText + ": " + std::strerror(err);
        return false;
    }
    if (int err = platform::ReplaceHostFile(tempText, platform::PathUtf8(file), false)) {
        fs::remove(temp, ec);
        error = "cannot replace " + platform::PathUtf8(file) + ": " + std::strerror(err);
        return false;
    }
    return true;
}

std::string ReportFileName(const std::string &name, const std::string &machineFolder)
{
    std::string safe;
    for (char c : name)
        safe += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    if (safe.size() > 40)
        safe.resize(40);
    uint32_t h = 2166136261u; // FNV-1a
    for (unsigned char c : machineFolder)
        h = (h ^ c) * 16777619u;
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", h);
    return (safe.empty() ? std::string("machine") : safe) + "-" + hash + ".status";
}

bool ValidReportFolder(const std::optional<std::string> &dir, std::string &error)
{
    std::error_code ec;
    if (dir && (dir->empty() || !fs::is_directory(platform::FsPath(*dir), ec))) {
        error = "--report-to needs an existing folder" + (dir->empty() ? std::string() : ": " + *dir);
        return false;
    }
    return true;
}

std::string MachineName(const std::string &machineFolder)
{
    const fs::path folder = platform::FsPath(machineFolder);
    std::string name = platform::GetPrivateProfileString("Identity", "Name", "", platform::PathUtf8(folder / "machine.ini"));
    return name.empty() ? platform::PathUtf8(folder.filename()) : name;
}

void RunReport::Open(const std::string &command, const std::vector<std::string> &args, const fs::path &work,
                     const fs::path &machine, const fs::path &target, const std::string &media, const fs::path &log,
                     const std::optional<std::string> &reportDir)
{
    const std::string machineText = platform::PathUtf8(machine);
    s_.name = MachineName(machineText);
    s_.machine = machineText;
    s_.command = command;
    s_.state = "running";
    s_.media = media;
    s_.target = platform::PathUtf8(target);
    s_.host = platform::HostName();
    s_.pid = platform::CurrentProcessId();
    s_.started = static_cast<int64_t>(std::time(nullptr));
    own_ = work / "status.txt";
    if (reportDir)
        shared_ = fs::absolute(platform::FsPath(*reportDir)) / ReportFileName(s_.name, machineText);
    open_ = true;

    // Each start of a run says who started it and how in the log.
    platform::HostFile f;
    if (f.Open(platform::PathUtf8(log), platform::FileAccess::Append, platform::FileCreation::OpenOrCreate) == 0) {
        const std::string header = "==== halcyon " + std::string(Version()) + ", " + command + " started " +
                                   LocalTime(static_cast<std::time_t>(s_.started)) + "\r\n==== command line: " +
                                   CommandLine(command, args) + "\r\n==== machine: " + machineText + "\r\n";
        (void)f.Write(header.data(), header.size());
    }
    Write();
}

void RunReport::StageStarted(const std::string &stage)
{
    s_.stage = stage;
    s_.progress.clear();
    s_.percent = -1;
    Write();
}

void RunReport::StageEnded(const std::string &stage, int64_t code)
{
    if (code != 0)
        return; // Finish tells the failure with its reason
    s_.done += (s_.done.empty() ? "" : ",") + stage;
    s_.progress.clear();
    s_.percent = -1;
    Write();
}

void RunReport::Progress(const std::string &text, int percent)
{
    s_.progress = text;
    s_.percent = percent;
    Write();
}

void RunReport::Finish(int64_t code, const std::string &failedStage, const std::string &reason)
{
    s_.state = code == 0 ? "done" : "failed";
    s_.code = code;
    if (code != 0) {
        s_.stage = failedStage;
        s_.reason = reason.empty() ? "code " + std::to_string(code) : reason;
    } else {
        s_.stage.clear();
        s_.reason.clear();
    }
    s_.progress.clear();
    s_.percent = code == 0 ? 100 : s_.percent;
    Write();
}

void RunReport::Write()
{
    if (!open_)
        return;
    s_.updated = static_cast<int64_t>(std::time(nullptr));
    const std::string text = FormatRunStatus(s_);
    std::string error;
    (void)ReplaceFile(own_, text, error);
    if (!shared_.empty() && !ReplaceFile(shared_, text, error) && !warned_) {
        // The shared folder is for watching; the run goes on without it.
        warned_ = true;
        std::fprintf(stderr, "halcyon %s: the line report stops: %s\n", s_.command.c_str(), error.c_str());
    }
}

uint32_t ReportingWimCallback(uint32_t message, uintptr_t wparam, intptr_t lparam, void *userData)
{
    auto *image = static_cast<ImageReport *>(userData);
    if (!image)
        return WIM_MSG_SUCCESS;
    if (message == WIM_MSG_PROGRESS && image->report && static_cast<int>(wparam) != image->last && wparam <= 100) {
        image->last = static_cast<int>(wparam);
        image->report->Progress("image " + std::to_string(image->last) + "%", image->last);
    }
    return image->display ? ProgressDisplay::WimCallback(message, wparam, lparam, image->display) : WIM_MSG_SUCCESS;
}

std::optional<RunStatus> ReadRunStatus(const fs::path &work)
{
    RunStatus s;
    if (!ParseRunStatus(ReadWholeFile(work / "status.txt"), s))
        return std::nullopt;
    return s;
}

} // namespace halcyon::cli
