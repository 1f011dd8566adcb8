// halcyon status: where the runs of one machine stand — stage, media, target,
// the last error with its reason, who holds the machine and the progress —
// read from the machine's records alone. It changes nothing and takes no
// lock, so it may be asked while a run goes on.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/lock_state.h"
#include "cli/machine_location.h"
#include "cli/run_frame.h"
#include "cli/run_status.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/profile.h"
#include "support/ini/ini_store.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg("status", "where the runs of a machine stand: stage, media, target, last error, holder",
                               "halcyon status [--machine DIR] [--json]\n"
                               "  --json   one JSON object: the machine, its holder and one record per run\n"
                               "  Reads the machine's records only: changes nothing and takes no lock.",
                               Run);

std::string When(int64_t seconds)
{
    char text[32] = "";
    std::tm tm{};
    if (seconds > 0 && platform::LocalCivilTime(static_cast<std::time_t>(seconds), &tm))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// The record of the run kept in `sub` of the machine, completed from its
// journal (a run from before the records, or one stopped before its first
// stage); nothing when the machine has no such run.
std::optional<RunStatus> RunRecord(const fs::path &machine, const std::string &sub, const std::string &command,
                                   const LockState &lock)
{
    const fs::path work = machine / sub, journalFile = work / (command + ".ini");
    std::optional<RunStatus> s = ReadRunStatus(work);
    std::error_code ec;
    if (!s && !fs::exists(journalFile, ec))
        return std::nullopt;
    if (!s) {
        s.emplace();
        s->command = command;
        s->machine = platform::PathUtf8(machine);
        s->state = "unknown";
        support::CMemoryIniIO journal(true);
        if (journal.LoadFile(platform::PathUtf8(journalFile))) {
            s->target = journal.GetString("Run", "Target", "", 1024);
            s->media = journal.GetString("Run", journal.KeyExists("Run", "Media") ? "Media" : "Media1", "", 1024);
            for (const auto &[stage, value] : journal.Entries("Stages"))
                if (value == "Done")
                    s->done += (s->done.empty() ? "" : ",") + stage;
        }
    }
    // A record that says "running" while nobody holds the machine belongs to
    // a run that was stopped (killed, or the machine switched off).
    if (s->state == "running" && (!lock.held || lock.holder.find(command) == std::string::npos))
        s->state = "stopped";
    s->name = MachineName(platform::PathUtf8(machine));
    return s;
}

void PrintText(const std::string &machine, const LockState &lock, const std::vector<RunStatus> &runs)
{
    std::printf("machine   %s (%s)\n", machine.c_str(), MachineName(machine).c_str());
    std::printf("holder    %s\n", lock.held ? lock.holder.c_str() : "none");
    if (runs.empty())
        std::printf("no run recorded on this machine\n");
    for (const auto &s : runs) {
        std::printf("\n%s: %s\n", s.command.c_str(), s.state.c_str());
        auto line = [](const char *label, const std::string &value) {
            if (!value.empty())
                std::printf("  %-9s %s\n", label, value.c_str());
        };
        line("stage", s.stage);
        std::string done = s.done;
        for (size_t at = 0; (at = done.find(',', at)) != std::string::npos; at += 2)
            done.replace(at, 1, ", ");
        line("done", done);
        line("media", s.media);
        line("target", s.target);
        if (s.state == "failed")
            line("error", "code " + std::to_string(s.code) + ": " + s.reason);
        if (!s.progress.empty())
            line("progress", s.progress + (s.percent >= 0 ? " (" + std::to_string(s.percent) + "%)" : ""));
        line("started", When(s.started));
        line("updated", When(s.updated));
    }
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("status");
    Options o(args, {"json"});
    if (!o.Positional().empty())
        return UsageError(self, "unexpected argument " + o.Positional().front());
    const std::string machine = SelectMachine(o.Get("machine"));
    std::error_code ec;
    if (!fs::is_directory(platform::FsPath(machine), ec)) {
        std::fprintf(stderr, "halcyon status: no machine at %s\n", machine.c_str());
        return 1;
    }
    const LockState lock = QueryMachineLock(machine);
    std::vector<RunStatus> runs;
    for (const auto &[sub, command] : {std::pair<const char *, const char *>{"factory", "factory-run"},
                                       std::pair<const char *, const char *>{"recovery", "recovery-run"}})
        if (auto s = RunRecord(platform::FsPath(machine), sub, command, lock))
            runs.push_back(*s);

    if (o.Has("json")) {
        std::printf("{\"machine\":\"%s\",\"name\":\"%s\",\"holder\":{\"held\":%s,\"text\":\"%s\"},\"runs\":[",
                    JsonText(machine).c_str(), JsonText(MachineName(machine)).c_str(), lock.held ? "true" : "false",
                    JsonText(lock.holder).c_str());
        for (size_t i = 0; i < runs.size(); ++i)
            std::printf("%s%s", i ? "," : "", RunStatusJson(runs[i]).c_str());
        std::printf("]}\n");
    } else {
        PrintText(machine, lock, runs);
    }
    return 0;
}

} // namespace
} // namespace halcyon::cli
