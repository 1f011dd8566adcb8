// halcyon factory-run: installs one machine end to end the way the factory's
// front end does — pick the IDF for the machine's BOM, pre-check its OS,
// build the plan, apply the image, install the image's applications and
// drivers, the PE modules and the modules across their restarts, then check
// what was laid down — with progress on screen. Completed stages are recorded
// in the machine folder together with the media and the target, so a run that
// was stopped goes on where it stopped, from any working folder. A machine
// has one run at a time.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "cli/command.h"
#include "cli/machine_lock.h"
#include "cli/preflight.h"
#include "cli/progress.h"
#include "cli/real_machine.h"
#include "cli/run_frame.h"
#include "cli/run_status.h"
#include "cli/sample_media.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/plan/idf_library.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/ini/ini_store.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration
    kReg("factory-run", "install one machine end to end: plan, image, applications, modules, checks (resumable)",
         std::string("halcyon factory-run (--media DIR | --sample) [--target DIR]") +
             (kRealMachine ? "" : " [--machine DIR]") +
             " [--json] [--fresh] [--verbose]\n"
             "                    [--report-to DIR] [--check]\n"
             "  --media DIR    factory share holding the BOM (*.bom) and the IDF (*.xml), or an IDF library\n"
             "                 (idf\\<family>\\<snapshot>\\*.xml with its status file) to pick the IDF from\n"
             "  --sample       make sample media first (in ./halcyon-sample/media)\n" +
             std::string(
                 kRealMachine
                     ? "  --target DIR   folder the image is applied to (default .\\halcyon-sample\\target); the\n"
                       "                 installers act on this machine; the run's journal, plan, log and temp\n"
                       "                 folder lie in %HALCYON_MACHINE%\\factory (default %ProgramData%\\Halcyon)\n"
                     : "  --target DIR   folder that becomes the machine's drive C: (default ./halcyon-sample/target)\n"
                       "  --machine DIR  emulated machine folder (default $HALCYON_MACHINE, else "
                       "~/.local/state/halcyon/machine)\n") +
             "  --json         print a machine-readable summary instead of progress\n"
             "  --fresh        forget earlier progress (machine and target) and start again\n"
             "  --verbose      show the engine's own operator lines as well\n"
             "  --check        check media, IDF and BOM, the BLID against the image, the language and free\n"
             "                 space, list every problem and stop (exit 1 when there is one); touches nothing\n"
             "  --report-to DIR  keep this machine's status file in DIR (a folder the line shares;\n"
             "                 'halcyon line DIR' shows every machine reporting there)\n"
             "  A stopped run goes on where it stopped when started again; it remembers its media and target,\n" +
             std::string(
                 kRealMachine
                     ? "  so it resumes from any folder. One run per machine at a time."
                     : "  so only --machine is needed to resume from another folder. One run per machine at a time."),
         Run);

constexpr uint64_t kWriteEpid = modules::OPTION_WRITE_EPID;
constexpr uint64_t kSystemImage = 0x200000ull; // the image verb's: the image is a "system.*" file

// The answer IdentifyIdf logged: the path after the last "set Idf=".
std::string IdentifiedIdf(const std::string &log)
{
    const std::string all = ReadWholeFile(log);
    size_t at = all.rfind("set Idf=");
    if (at == std::string::npos)
        return {};
    at += 8;
    size_t end = all.find_first_of("\r\n", at);
    return all.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("factory-run");
    Options o(args, kRunFlags);
    if (auto rc = RunStopsEarly(self, o, [&] { return CheckFactoryRunCommand(o); }))
        return *rc;
    const bool sample = o.Has("sample"), fresh = o.Has("fresh");
    auto refuse = [&](const std::string &message) { return Refuse("factory-run", o.Has("json"), message); };

    // Everything that can be told from the arguments is checked before
    // anything is written.
    const RunPlaces planned = RunPlacesOf("factory-run", o.Get("machine"), "factory");
    fs::path media;
    if (o.Get("media")) {
        media = fs::absolute(platform::FsPath(*o.Get("media"))).lexically_normal();
        if (!fs::is_directory(media))
            return refuse("the media folder " + platform::PathUtf8(media) +
                          (fs::exists(media) ? " is not a folder" : " does not exist"));
    } else if (!sample && (fresh || !RecordedValue(planned, "Media"))) {
        return UsageError(self, "--media DIR or --sample is required");
    }

    RunPlaces r;
    CommandLocks locks;
    std::string error;
    if (!PrepareRun("factory-run", o.Get("machine"), o.Get("target"), fresh, "factory", r, locks, error))
        return refuse(error);
    // What the machine's run recorded, read while holding the machine (--fresh
    // has forgotten it).
    const std::optional<std::string> recorded = RecordedValue(r, "Media");
    if (recorded && media.empty()) {
        media = platform::FsPath(*recorded);
        // Sample media not written to the end are written again.
        const bool rewritten = RecordedValue(r, "Sample").value_or("") == "yes" &&
                               platform::GetPrivateProfileString("Stages", "media", "",
                                                                 platform::PathUtf8(r.journal)) != "Done";
        if (!rewritten && !fs::is_directory(media))
            return refuse("this machine's run uses the media " + *recorded +
                          ", which no longer exists; give --fresh to start over (or --machine DIR for another "
                          "machine)");
    } else if (media.empty()) {
        if (!sample) // the record went away meanwhile
            return UsageError(self, "--media DIR or --sample is required");
        media = fs::absolute("halcyon-sample") / "media";
    }
    if (recorded && platform::FsPath(*recorded) != media)
        return refuse("this machine's run uses the media " + *recorded + "; give --fresh to start over with " +
                      platform::PathUtf8(media));
    if (FoldersNest(platform::PathUtf8(media), platform::PathUtf8(r.target)) ||
        FoldersNest(platform::PathUtf8(media), platform::PathUtf8(r.machine)))
        return refuse("the media " + platform::PathUtf8(media) + " must lie outside the machine and the target");
    std::vector<std::pair<std::string, std::string>> settings{{"Media", platform::PathUtf8(media)}};
    if (!recorded && !o.Get("media"))
        settings.emplace_back("Sample", "yes");
    if (!RecordRunStart(r, settings, error))
        return refuse(error);

    StartedRun run("factory-run", args, r, o, platform::PathUtf8(media), "Machine installed.",
                   "Machine NOT installed.");
    Screen &screen = run.screen;
    RunJournal &journal = run.journal;
    Summary &summary = run.summary;

    if (int64_t rc = journal.Stage("media", [&]() -> int64_t {
            // A sample run writes its media (again, when a stopped run left
            // them unfinished).
            if (journal.Value("Sample").value_or("") != "yes")
                return 0;
            SampleMedia m;
            if (!WriteSampleMedia(platform::PathUtf8(media), m, error)) {
                screen.Line("  sample media: " + error);
                return 1;
            }
            if (!ApplySampleIdentity(m))
                return 1;
            screen.Line("  sample media written to " + platform::PathUtf8(media));
            return 0;
        });
        rc != 0)
        return run.Finish(rc, "media", error);

    // Which IDF: the one the share's IDF library releases for this BOM, else
    // the share's own.
    const std::string bom = FindOne(media, ".bom");
    if (int64_t rc = journal.Stage("identify", [&]() -> int64_t {
            std::string idf;
            if (fs::is_directory(media / "idf")) {
                screen.Line("  looking for the IDF of " + bom + " in " + platform::PathUtf8(media / "idf"));
                uint32_t code = IdentifyIdf(bom.c_str(), platform::PathUtf8(media / "idf").c_str(), "", "",
                                            platform::PathUtf8(r.log).c_str(), plan::kOptionSetIdfForm);
                if (code != 0) {
                    error = "IdentifyIdf returned " + std::to_string(code);
                    return code;
                }
                idf = IdentifiedIdf(platform::PathUtf8(r.log));
            } else {
                idf = FindOne(media, ".xml");
            }
            if (idf.empty() || bom.empty()) {
                error = "no IDF (*.xml) and BOM (*.bom) in " + platform::PathUtf8(media);
                return 4; // as IdentifyIdf: no IDF found
            }
            // One kind of separator in what is shown and recorded.
            idf = platform::MapPathText(idf);
            screen.Line("  IDF " + idf);
            journal.SetValue("Idf", idf);
            return 0;
        });
        rc != 0)
        return run.Finish(rc, "identify", error);
    const std::string idf = journal.Value("Idf").value_or("");

    if (int64_t rc = journal.Stage("os-check", [&]() -> int64_t {
            char os[261] = {};
            uint32_t code =
                ReadIdfForOSArchCheck(os, sizeof os, idf.c_str(), platform::PathUtf8(r.log).c_str(), 0, 0, "");
            if (code != 0) {
                error = "ReadIdfForOSArchCheck returned " + std::to_string(code);
                return code;
            }
            if (os[0] == '\0') {
                error = "the IDF names no OS for its foundation image";
                return 1;
            }
            screen.Line(std::string("  the foundation image carries ") + os);
            journal.SetValue("OS", os);
            return 0;
        });
        rc != 0)
        return run.Finish(rc, "os-check", error);
    summary.facts.emplace_back("idf", idf);
    summary.facts.emplace_back("os", journal.Value("OS").value_or(""));

    // The releases' folders (PathToRelease) lie below the share's "sources".
    const fs::path source = media / "sources";
    const std::string planText = platform::PathUtf8(r.plan), sourceText = platform::PathUtf8(source),
                      targetText = platform::PathUtf8(r.target), mountText = platform::PathUtf8(r.mount),
                      logText = platform::PathUtf8(r.log);

    if (int64_t rc = journal.Stage("plan", [&]() -> int64_t {
            screen.Line("  building the plan from " + idf);
            return MakeIniX(idf.c_str(), bom.c_str(), platform::PathUtf8(r.plan).c_str(),
                            platform::PathUtf8(r.log).c_str(), 0, 0);
        });
        rc != 0)
        return run.Finish(rc, "plan");

    if (int64_t rc = journal.Stage("image", [&]() -> int64_t {
            ProgressDisplay bar(screen.out(), screen.tty);
            ImageReport image{screen.json ? nullptr : &bar, &run.report};
            return LoadImgX(platform::PathUtf8(r.plan).c_str(), platform::PathUtf8(source).c_str(),
                            platform::PathUtf8(r.target).c_str(), platform::PathUtf8(r.temp).c_str(), "",
                            platform::PathUtf8(r.log).c_str(), kSystemImage | kWriteEpid, &ReportingWimCallback, &image, "", "");
        });
        rc != 0)
        return run.Finish(rc, "image");

    if (int64_t rc = journal.Stage("applications", [&]() -> int64_t {
            support::CMemoryIniIO plan(true);
            if (plan.LoadFile(platform::PathUtf8(r.plan)) && !plan.SectionExists("Image App1")) {
                screen.Line("  the image has no applications");
                return 0;
            }
            const fs::path apply = r.work / "apps";
            std::error_code ec;
            fs::remove_all(apply, ec);
            fs::create_directories(apply, ec);
            ModuleStage progress{&screen, "application"};
            int32_t code =
                AppSetupX(platform::PathUtf8(r.plan).c_str(), platform::PathUtf8(r.plan).c_str(),
                          platform::PathUtf8(source).c_str(), platform::PathUtf8(r.target).c_str(),
                          platform::PathUtf8(apply).c_str(), "", "", "", "", platform::PathUtf8(r.log).c_str(), 1, 0,
                          ModuleProgress, reinterpret_cast<uintptr_t>(&progress));
            summary.moduleSeconds.insert(summary.moduleSeconds.end(), progress.seconds.begin(),
                                         progress.seconds.end());
            if (code == 0)
                fs::remove_all(apply, ec);
            return code;
        });
        rc != 0)
        return run.Finish(rc, "applications");

    if (int64_t rc = journal.Stage("pe-modules", [&] {
            return InstallModules(screen, planText, sourceText, targetText, mountText, logText,
                                  modules::OPTION_PE_MODULES | kWriteEpid, summary, error);
        });
        rc != 0)
        return run.Finish(rc, "pe-modules", error);
    if (int64_t rc = journal.Stage("modules", [&] {
            return InstallModules(screen, planText, sourceText, targetText, mountText, logText, kWriteEpid,
                                  summary, error);
        });
        rc != 0)
        return run.Finish(rc, "modules", error);

    // The checks run on every start, so the report is always shown.
    std::string why;
    int64_t rc = journal.Always(
        "verify", [&] { return VerifyInstallation(screen, r, platform::PathUtf8(source), summary, why); });
    return run.Finish(rc, rc ? "verify" : "", why);
}

} // namespace
} // namespace halcyon::cli
