#include "cli/line_view.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <map>
#include <system_error>

#include "cli/run_frame.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

namespace {

constexpr size_t kMaxRecord = 16 * 1024;
constexpr size_t kMaxMachines = 1024;

bool ProcessGone(int64_t pid)
{
    return pid > 0 && !platform::ProcessHandle::Open(static_cast<pid_t>(pid));
}

std::string Ago(int64_t now, int64_t then)
{
    if (then <= 0)
        return "-";
    const int64_t s = std::max<int64_t>(0, now - then);
    if (s < 120)
        return std::to_string(s) + "s ago";
    if (s < 7200)
        return std::to_string(s / 60) + "m ago";
    if (s < 172800)
        return std::to_string(s / 3600) + "h ago";
    return std::to_string(s / 86400) + "d ago";
}

std::string Fit(const std::string &text, size_t width)
{
    if (text.size() <= width)
        return text + std::string(width - text.size(), ' ');
    return text.substr(0, width - 1) + "~";
}

// The file's text when it holds at most kMaxRecord bytes (read no further,
// so a file that grows meanwhile costs nothing).
std::optional<std::string> ReadSmallFile(const fs::path &path)
{
    std::FILE *f = platform::OpenHostFileForRead(platform::PathUtf8(path));
    if (!f)
        return std::nullopt;
    std::string text(kMaxRecord + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    if (text.size() > kMaxRecord)
        return std::nullopt;
    return text;
}

} // namespace

bool ReadLine(const std::string &dir, std::vector<RunStatus> &machines, std::string &error)
{
    machines.clear();
    std::error_code ec;
    fs::directory_iterator it(platform::FsPath(dir), ec);
    if (ec) {
        error = "cannot read " + dir + ": " + ec.message();
        return false;
    }
    const std::string host = platform::HostName();
    for (; it != fs::directory_iterator() && machines.size() < kMaxMachines; it.increment(ec)) {
        const fs::path p = it->path();
        const std::string name = platform::PathUtf8(p.filename());
        if (p.extension() != ".status" || name[0] == '.')
            continue;
        const fs::file_status st = fs::symlink_status(p, ec);
        if (ec || !fs::is_regular_file(st))
            continue;
        const std::optional<std::string> text = ReadSmallFile(p);
        RunStatus s;
        if (!text || !ParseRunStatus(*text, s))
            continue;
        if (s.state == "running" && !host.empty() && s.host == host && ProcessGone(s.pid))
            s.state = "stopped";
        machines.push_back(std::move(s));
    }
    if (ec) {
        error = "cannot read " + dir + ": " + ec.message();
        return false;
    }
    std::sort(machines.begin(), machines.end(), [](const RunStatus &a, const RunStatus &b) {
        return a.name != b.name ? a.name < b.name : a.machine < b.machine;
    });
    return true;
}

std::string LineCounts(const std::vector<RunStatus> &machines)
{
    std::map<std::string, int> count;
    for (const auto &m : machines)
        ++count[m.state];
    std::string out = std::to_string(machines.size()) + (machines.size() == 1 ? " machine" : " machines");
    const char *sep = ": ";
    for (const char *state : {"running", "done", "failed", "stopped"})
        if (count[state]) {
            out += sep + std::to_string(count[state]) + " " + state;
            sep = ", ";
        }
    return out;
}

std::string LineTable(const std::vector<RunStatus> &machines, int64_t now, size_t width)
{
    std::string out = Fit("MACHINE", 20) + " " + Fit("RUN", 13) + " " + Fit("STATE", 8) + " " + Fit("STAGE", 12) +
                      " " + Fit("PROGRESS", 30) + " " + Fit("UPDATED", 8) + " REASON\n";
    for (const auto &m : machines) {
        std::string progress = m.progress;
        if (m.percent >= 0 && m.state == "running")
            progress = std::to_string(m.percent) + "% " + progress;
        std::string row = Fit(m.name, 20) + " " + Fit(m.command, 13) + " " + Fit(m.state, 8) + " " +
                          Fit(m.stage, 12) + " " + Fit(progress, 30) + " " + Fit(Ago(now, m.updated), 8) + " " +
                          (m.state == "failed" ? "code " + std::to_string(m.code) + ": " + m.reason : "");
        while (!row.empty() && row.back() == ' ')
            row.pop_back();
        out += row + "\n";
    }
    out += LineCounts(machines) + "\n";
    if (width == 0)
        return out;
    std::string cut;
    size_t col = 0;
    for (char c : out) {
        if (c == '\n')
            col = 0;
        else if (col++ >= width)
            continue;
        cut += c;
    }
    return cut;
}

std::string LineJson(const std::vector<RunStatus> &machines, int64_t now)
{
    std::string out = "{\"counts\":\"" + JsonText(LineCounts(machines)) + "\",\"now\":" + std::to_string(now) +
                      ",\"machines\":[";
    for (size_t i = 0; i < machines.size(); ++i)
        out += (i ? "," : "") + RunStatusJson(machines[i]);
    return out + "]}";
}

} // namespace halcyon::cli
