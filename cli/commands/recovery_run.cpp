// halcyon recovery-run: restores a machine from its recovery media the way
// the recovery front end does — check the media against the plan, copy them
// to the recovery partition (asking for each medium), rebuild the foundation
// image, start the recovery environment and set its display language through
// the language-selection server, lay down the push-button-reset image,
// install the recovery modules across their restarts and check what was laid
// down. Like factory-run it is resumable, remembers its media and target,
// and holds the machine for itself.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/fs_path.h"
#include "cli/command.h"
#include "cli/machine_lock.h"
#include "cli/media_changer.h"
#include "cli/mui_session.h"
#include "cli/preflight.h"
#include "cli/progress.h"
#include "cli/recovery_volumes.h"
#include "cli/run_frame.h"
#include "cli/run_status.h"
#include "cli/sample_media.h"
#include "cli/joined.h"
#include "engine/image/image_choice.h"
#include "engine/staging/mod_setup_options.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/MuiChooser.h"
// On Windows the COM header brings <windows.h>, whose ANSI/wide macros would
// rename the profile interface's calls below.
#undef GetPrivateProfileString
#undef WritePrivateProfileString
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "support/files/confined_path.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg(
    "recovery-run", "restore a machine from its recovery media: copy, foundation image, language, image, modules (resumable)",
    "halcyon recovery-run (--media DIR [--media DIR ...] | --sample) [--target DIR] [--machine DIR]\n"
    "                     [--language TAG] [--json] [--fresh] [--verbose] [--report-to DIR]\n"
    "                     [--check]\n"
    "  --media DIR     a recovery medium (a disc RDVD<n> or a USB medium RUFD<n>, told by its\n"
    "                  sources\\<type><n> marker); once per medium, in any order\n"
    "  --sample        use the discs of the sample media (written to ./halcyon-sample/media first)\n"
    "  --target DIR    folder that becomes the machine's drive C: (default ./halcyon-sample/target)\n"
    "  --machine DIR   emulated machine folder (default $HALCYON_MACHINE, else\n"
    "                  ~/.local/state/halcyon/machine); the media are copied to its recovery\n"
    "                  partition D:, the recovery environment runs on X:\n"
    "  --language TAG  display language of the recovery environment (default: the first one the\n"
    "                  recovery image offers)\n"
    "  --json, --fresh, --verbose, --report-to DIR as for factory-run.\n"
    "  --check         check the media (markers, numbers, IDF), the language against those the\n"
    "                  recovery environment offers and free space, list every problem and stop\n"
    "  A medium that is not among --media is asked for on a terminal; otherwise the run stops and\n"
    "  names it. A stopped run goes on where it stopped; only --machine is needed to resume." +
        std::string(kPartitionUsage),
    Run);

// Option bits of the image and copy verbs; the module verb's are the engine's.
constexpr uint64_t kRecovery = 0x4ull;
constexpr uint64_t kDirect = 0x8ull;
constexpr uint64_t kSkipBlid = 0x1000000000ull;
constexpr uint64_t kCopyAll = 0x10000ull;
constexpr uint32_t kDiscRequest = 1004;
constexpr const char *kLanguageChoice = "X:\\Norv\\Language.ini";
constexpr int kMaxMedia = 999; // the most media a description is read for
constexpr const char *kMuiClsid = "{B7E0D4C2-5A19-4F83-8D6E-2C94F1A07B35}";

// A medium as its marker file tells it: sources\RDVD2 is disc 2. `number`
// is 0 when the marker's number is out of any set's range (`key` keeps the
// marker's name for the message).
struct Medium {
    std::string dir, type, key;
    int number = 0;
};

// Media numbers beyond this are no set's (a set lists its media one by one).
constexpr size_t kMaxNumberDigits = 6;

// The medium in `dir`, or nullopt with `error` set: no marker, or more than
// one.
std::optional<Medium> Identify(const std::string &dir, std::string &error)
{
    static const std::regex marker("(RDVD|RUFD)([1-9][0-9]*)");
    std::error_code ec;
    std::optional<Medium> found;
    for (auto &e : fs::directory_iterator(platform::FsPath(dir) / "sources", ec)) {
        std::smatch m;
        const std::string name = platform::PathUtf8(e.path().filename());
        std::error_code typeEc;
        if (!e.is_regular_file(typeEc) || !std::regex_match(name, m, marker))
            continue;
        if (found) {
            error = "wrong medium: " + dir + " carries two markers (sources\\" + found->key + " and sources\\" +
                    name + ")";
            return std::nullopt;
        }
        const std::string digits = m[2];
        found = Medium{dir, m[1], name, digits.size() <= kMaxNumberDigits ? std::stoi(digits) : 0};
    }
    if (!found)
        error = "wrong medium: " + dir + " is not a recovery medium (no sources\\RDVD<n> or sources\\RUFD<n>)";
    return found;
}

// A short digest of a text (FNV-1a, 64 bits, in hex): the identity of a set
// is the digest of its media description.
std::string Digest(const std::string &text)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text)
        h = (h ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

// The set of media of this run: one type, each number once, all carrying the
// same description (a medium of another set is a wrong medium).
struct MediaSet {
    std::string type;
    std::vector<std::string> dirs; // medium n at [n-1]; "" when not given
    int count = 0;                 // media the description lists
    std::string description;       // sources\nrvhdrcv.ini of medium 1

    std::string Key(int n) const { return type + std::to_string(n); }

    // Why `m` is no medium of this set ("" when it is one): another type, a
    // number the description does not list, or another description.
    std::string Foreign(const Medium &m) const
    {
        if (m.type != type)
            return "wrong medium: " + m.dir + " is " + m.key + ", the others are " + type + " media";
        if (m.number < 1 || m.number > count)
            return "wrong medium: " + m.dir + " is " + m.key + ", but the set has " + std::to_string(count) +
                   " media";
        const std::string own = ReadWholeFile(platform::FsPath(m.dir) / "sources" / "nrvhdrcv.ini");
        if (!own.empty() && own != description)
            return "wrong medium: " + m.dir + " belongs to another recovery set (its nrvhdrcv.ini differs)";
        return {};
    }
};

bool ReadMediaSet(const std::vector<std::string> &given, MediaSet &set, std::string &error)
{
    std::vector<Medium> media;
    for (const auto &dir : given) {
        auto m = Identify(dir, error);
        if (!m)
            return false;
        media.push_back(*m);
    }
    if (media.empty()) {
        error = "no recovery media given";
        return false;
    }
    set.type = media.front().type;
    const Medium *first = nullptr;
    for (const auto &m : media) {
        if (m.type != set.type) {
            error = "wrong medium: " + m.dir + " is " + m.key + ", the others are " + set.type + " media";
            return false;
        }
        if (m.number == 1 && first && platform::FsPath(first->dir) != platform::FsPath(m.dir)) {
            error = "wrong medium: " + first->dir + " and " + m.dir + " are both " + set.Key(1);
            return false;
        }
        if (m.number == 1)
            first = &m;
    }
    if (!first) {
        error = "medium 1 (" + set.Key(1) + ") is missing: it carries the plan and the media description";
        return false;
    }
    const fs::path ini = platform::FsPath(first->dir) / "sources" / "nrvhdrcv.ini";
    set.description = ReadWholeFile(ini);
    while (set.count < kMaxMedia &&
           platform::GetPrivateProfileValue("MEDIA:" + set.type, set.Key(set.count + 1), platform::PathUtf8(ini)))
        ++set.count;
    if (set.count == 0) {
        error = first->dir + " carries no description of its " + set.type + " media (sources\\nrvhdrcv.ini)";
        return false;
    }
    // Every medium is checked against the set before any is taken.
    set.dirs.assign(static_cast<size_t>(set.count), "");
    for (const auto &m : media) {
        if (error = set.Foreign(m); !error.empty())
            return false;
        std::string &slot = set.dirs[static_cast<size_t>(m.number - 1)];
        if (!slot.empty() && platform::FsPath(slot) != platform::FsPath(m.dir)) {
            error = "wrong medium: " + slot + " and " + m.dir + " are both " + m.key;
            return false;
        }
        slot = m.dir;
    }
    return true;
}

// Answers the engine's requests for the next medium: from the media given,
// or on a terminal from the operator, who names the medium's folder.
struct MediaRequests {
    Screen *screen = nullptr;
    MediaChanger *changer = nullptr;
    const MediaSet *set = nullptr;
    ProgressDisplay *progress = nullptr;
    bool interactive = false;
    RunJournal *journal = nullptr; // records a medium the operator named
    std::string missing;           // the medium that could not be had

    // Puts medium `n` in the drive. `engineAsked`: the engine asks for it
    // because the drive lacks its marker, so a medium already in the drive
    // has lost it and is not taken again.
    bool Provide(size_t n, bool engineAsked = false)
    {
        if (progress)
            progress->Finish();
        if (changer->Current() == n && !engineAsked)
            return true;
        if (n == 0 || n > set->dirs.size()) {
            missing = "the engine asks for medium " + std::to_string(n) + ", but the set has " +
                      std::to_string(set->dirs.size()) + " media";
            return false;
        }
        if (changer->Insert(n)) {
            screen->Line("  medium " + std::to_string(n) + " (" + set->Key(static_cast<int>(n)) + ") inserted");
            return true;
        }
        const std::string key = set->Key(static_cast<int>(n));
        while (interactive) {
            std::fprintf(screen->out(), "Insert medium %zu (%s): its folder (q gives up): ", n, key.c_str());
            std::fflush(screen->out());
            char line[4096];
            if (!std::fgets(line, sizeof line, stdin))
                break;
            std::string dir = line;
            while (!dir.empty() && (dir.back() == '\n' || dir.back() == '\r'))
                dir.pop_back();
            if (dir == "q" || dir == "Q")
                break;
            // The same checks as for the media given with --media.
            std::string why;
            auto m = Identify(dir, why);
            if (m)
                why = set->Foreign(*m);
            if (!why.empty()) {
                screen->Line("  " + why);
                continue;
            }
            if (static_cast<size_t>(m->number) != n) {
                screen->Line("  wrong medium: that is " + m->key + ", not " + key);
                continue;
            }
            if (changer->InsertFolder(n, dir)) {
                int k = 1;
                while (journal->Value("Media" + std::to_string(k)))
                    ++k;
                journal->SetValue("Media" + std::to_string(k),
                                  platform::PathUtf8(fs::absolute(platform::FsPath(dir)).lexically_normal()));
                return true;
            }
        }
        missing = "medium " + std::to_string(n) + " (" + key + ") is missing: give its folder with --media";
        return false;
    }
};

uint32_t CopyMessage(uint32_t message, uintptr_t wparam, intptr_t lparam, void *user)
{
    auto *r = static_cast<MediaRequests *>(user);
    if (message == WIM_MSG_PROGRESS) {
        if (r->progress && !r->screen->json)
            r->progress->Update(static_cast<unsigned>(wparam), std::nullopt);
        return 0;
    }
    if (message != 0)
        return 0;
    return r->Provide(static_cast<size_t>(lparam), true) ? 0 : 1;
}

void CourierMessage(uint32_t message, int64_t param, void *opaque)
{
    auto *r = static_cast<MediaRequests *>(opaque);
    switch (message) {
    case WIM_MSG_SETRANGE:
        if (r->progress)
            r->progress->SetTotalBytes(static_cast<uint64_t>(param));
        break;
    case WIM_MSG_PROGRESS:
        if (r->progress && !r->screen->json)
            r->progress->Update(static_cast<unsigned>(param), std::nullopt);
        break;
    case kDiscRequest:
        if (!r->Provide(static_cast<size_t>(param), true)) {
            // The engine waits for the disc without end: nothing more can
            // come, so the run stops here; the stage is not recorded as done
            // and starts again with the medium given.
            r->screen->Line("halcyon recovery-run: " + r->missing);
            std::fflush(nullptr);
            std::_Exit(1);
        }
        break;
    default:
        break;
    }
}

// The language-selection server, created by its class ID through the
// machine's registry as the recovery front end creates it; registered from
// its file (beside this command, else the installed one) when the machine
// does not know it yet.
bool OpenChooser(MuiSession &mui, std::string &error)
{
    HRESULT hr = mui.Open(kMuiClsid, error);
    if (hr == REGDB_E_CLASSNOTREG) {
        const std::string server = DefaultMuiServer();
        std::string why;
        if (RegisterServerFile(server, true, false, why) != S_OK) {
            error = "cannot register the language-selection server " + server;
            return false;
        }
        hr = mui.Open(kMuiClsid, error);
    }
    if (hr != S_OK)
        error = "language-selection server: " + error;
    return hr == S_OK;
}

std::vector<std::string> SplitList(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');)
        if (!item.empty())
            out.push_back(item);
    return out;
}

int64_t SetLanguage(Screen &screen, const std::string &wanted, std::string &chosen, std::string &error)
{
    MuiSession mui;
    if (!OpenChooser(mui, error))
        return 2;
    BSTR names = nullptr;
    if (mui->GetLangNameArray(&names) != S_OK) {
        error = "the recovery environment offers no languages (X:\\Norv\\ZRPLP.ini)";
        return 1;
    }
    const std::vector<std::string> offered = SplitList(mui.Text(names));
    mui.Free(names);
    screen.Line("  offered: " + Joined(offered, ", "));
    if (offered.empty()) {
        error = "the recovery environment offers no languages (X:\\Norv\\ZRPLP.ini)";
        return 1;
    }
    chosen = wanted.empty() ? offered.front() : wanted;
    auto at = std::find(offered.begin(), offered.end(), chosen);
    if (at == offered.end()) {
        error = "the language " + chosen + " is not offered";
        return 1;
    }
    BSTR text = mui.Make(chosen);
    HRESULT hr = mui->SetMultipleLanguage(&text, static_cast<COMLONG>(at - offered.begin() + 1));
    if (hr == S_OK)
        hr = mui->CreateIniFile(&text);
    COMLONG code = -1;
    if (hr == S_OK)
        hr = mui->SetLanguageToRegistry(text, &code);
    mui.Free(text);
    if (hr != S_OK || code != 0) {
        error = "the language " + chosen + " could not be set (result " + std::to_string(code) + ")";
        return code > 0 ? code : 1;
    }
    // The server reports success whether or not its choice file could be
    // written; one the environment image put behind a link it never writes.
    const std::string driveX = platform::MapPathText("X:\\");
    const std::string choice = platform::HostPath(kLanguageChoice);
    support::ConfinedCheck check;
    if (support::CheckConfinedWrite(driveX, choice, &check) != 0) {
        error = "the language choice was not written: " + support::DescribeConfinement(check, driveX, choice);
        return RETURN_UNSAFE_PATH;
    }
    if (platform::GetPrivateProfileString("Lang", "Lang", "", choice) != chosen) {
        error = "the language choice was not written to " + std::string(kLanguageChoice);
        return 1;
    }
    screen.Line("  display language: " + chosen);
    return 0;
}

int Run(const Args &all)
{
    const Command &self = *FindCommand("recovery-run");
    // --media may be given many times.
    Args args;
    std::vector<std::string> given;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] == "--media" && i + 1 < all.size()) {
            given.push_back(platform::PathUtf8(fs::absolute(platform::FsPath(all[++i])).lexically_normal()));
        } else if (all[i].rfind("--media=", 0) == 0) {
            given.push_back(platform::PathUtf8(fs::absolute(platform::FsPath(all[i].substr(8))).lexically_normal()));
        } else if (all[i] == "--media") {
            return UsageError(self, "--media needs a folder");
        } else {
            args.push_back(all[i]);
        }
    }
    Options o(args, kRunFlags);
    if (auto rc = RunStopsEarly(self, o, [&] { return CheckRecoveryRunCommand(o, given); }))
        return *rc;
    const bool sample = o.Has("sample"), fresh = o.Has("fresh");
    auto refuse = [&](const std::string &message) { return Refuse("recovery-run", o.Has("json"), message); };

    // The media: those given, else those of the unfinished run on this
    // machine, else the sample discs. Checked before anything is written.
    const RunPlaces planned = RunPlacesOf("recovery-run", o.Get("machine"), "recovery");
    std::vector<std::string> recorded;
    for (int n = 1; !fresh; ++n) {
        auto v = RecordedValue(planned, "Media" + std::to_string(n));
        if (!v)
            break;
        recorded.push_back(*v);
    }
    const std::optional<std::string> recordedSample = fresh ? std::nullopt : RecordedValue(planned, "Sample");
    const fs::path sampleMedia = fs::absolute("halcyon-sample") / "media";
    const bool resumed = given.empty() && !recorded.empty();
    if (given.empty())
        given = recorded;
    if (given.empty() && !sample)
        return UsageError(self, "--media DIR (once per medium) or --sample is required");
    std::string sampleRoot = recordedSample.value_or("");
    if (given.empty()) {
        given = SampleRecoveryMedia(sampleMedia / "recovery");
        sampleRoot = platform::PathUtf8(sampleMedia);
    }
    // Sample media are (re)written by the run itself.
    auto missingMedium = [&]() -> std::string {
        if (sampleRoot.empty())
            for (const auto &dir : given)
                if (!fs::is_directory(platform::FsPath(dir)))
                    return dir;
        return {};
    };
    if (const std::string dir = missingMedium(); !dir.empty() && !resumed)
        return refuse("the medium " + dir + " does not exist");
    // The recovery partition of a stopped run is the one it copied to.
    RecoveryVolumes volumes;
    const std::optional<std::string> began = fresh ? std::nullopt : RecordedValue(planned, "Partition");
    if (std::string bad; !RecoveryVolumesOf(planned.machine, o.Get("partition") ? o.Get("partition") : began, volumes,
                                            bad))
        return refuse(bad);
    if (began && *began != platform::PathUtf8(volumes.partition))
        return refuse("this machine's run copied its media to " + *began + "; give --fresh to start over with " +
                      platform::PathUtf8(volumes.partition));

    RunPlaces r;
    CommandLocks locks;
    std::string error;
    if (!PrepareRun("recovery-run", o.Get("machine"), o.Get("target"), fresh, "recovery", r, locks, error))
        return refuse(error);
    if (const std::string dir = missingMedium(); !dir.empty())
        return refuse("this machine's run uses the medium " + dir +
                      ", which no longer exists; give --fresh to start over (or --machine DIR for another machine)");
    for (const auto &dir : given)
        if (FoldersNest(dir, platform::PathUtf8(r.target)) || FoldersNest(dir, platform::PathUtf8(r.machine)) ||
            FoldersNest(dir, platform::PathUtf8(volumes.partition)))
            return refuse("the medium " + dir + " must lie outside the machine, the target and the recovery partition");
    std::vector<std::pair<std::string, std::string>> settings;
    if (!sampleRoot.empty())
        settings.emplace_back("Sample", sampleRoot);
    if (kRealMachine)
        settings.emplace_back("Partition", platform::PathUtf8(volumes.partition));
    // Once a run has taken its set, the media are recorded only after they
    // have passed the set's identity check below.
    if (!RecordedValue(r, "Set"))
        for (size_t i = 0; i < given.size(); ++i)
            settings.emplace_back("Media" + std::to_string(i + 1), given[i]);
    if (auto language = o.Get("language"))
        settings.emplace_back("Language", *language);
    if (!RecordRunStart(r, settings, error))
        return refuse(error);
    StartedRun run("recovery-run", all, r, o, Joined(given, ", "), "Machine recovered.", "Machine NOT recovered.");
    Screen &screen = run.screen;
    RunJournal &journal = run.journal;
    Summary &summary = run.summary;

    if (int64_t rc = journal.Stage("media", [&]() -> int64_t {
            // The sample media are written unless complete already (the USB
            // medium is written last).
            const std::string root = journal.Value("Sample").value_or("");
            if (root.empty() || fs::exists(platform::FsPath(root) / "recovery" / "rufd1" / "sources" / "RUFD1"))
                return 0;
            SampleMedia m;
            if (!WriteSampleMedia(root, m, error))
                return 1;
            screen.Line("  sample media written to " + root);
            return 0;
        });
        rc != 0)
        return run.Finish(rc, "media", error);

    MediaSet set;
    if (!ReadMediaSet(given, set, error))
        return run.Finish(RETURN_INSERT_DISC, "media", error);
    // A stopped run goes on only with the set it began with: its stages
    // left that set's files on the recovery partition.
    const std::string identity = Digest(set.description);
    if (auto began = journal.Value("Set"); began && *began != identity)
        return run.Finish(RETURN_INSERT_DISC, "media",
                    "wrong medium: " + set.dirs[0] + " belongs to another recovery set (nrvhdrcv.ini digest " +
                        identity + ") than the one this run began with, " +
                        journal.Value("SetMedium").value_or("?") + " (digest " + *began +
                        "); give that set, or --fresh to start over");
    journal.SetValue("Set", identity);
    journal.SetValue("SetMedium", set.dirs[0]);
    for (size_t i = 0; i < given.size(); ++i)
        journal.SetValue("Media" + std::to_string(i + 1), given[i]);
    for (size_t i = given.size(); journal.Value("Media" + std::to_string(i + 1)); ++i)
        platform::WritePrivateProfileString("Run", "Media" + std::to_string(i + 1), std::nullopt,
                                            platform::PathUtf8(r.journal));
    const fs::path disk = volumes.partition;
    const fs::path driveX = volumes.environment;
    const fs::path description = r.work / "nrvhdrcv.ini";
    const bool interactive = platform::IsTerminal(stdin) && !screen.json;
    std::string missing;
    for (int n = 1; n <= set.count; ++n)
        if (set.dirs[static_cast<size_t>(n - 1)].empty())
            missing += (missing.empty() ? "" : ", ") + set.Key(n);
    if (!missing.empty())
        screen.Line("  not given: " + missing + (interactive ? " (asked for when needed)" : ""));

    if (int64_t rc = journal.Stage("check", [&]() -> int64_t {
            // The plan: built for the M-code of the IDF medium 1 carries, for
            // these media; else the plan the medium carries.
            const fs::path first = platform::FsPath(set.dirs[0]) / "sources";
            std::error_code ec;
            fs::copy_file(first / "nrvhdrcv.ini", description, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                error = "medium 1 lacks its media description: " + ec.message();
                return RETURN_RCVINI_NOEXIST;
            }
            if (const std::string idf = FindOne(first, ".xml"); !idf.empty()) {
                screen.Line("  the plan for the M-code of " + idf + " (MakeIniFromMcode)");
                if (uint32_t code = MakeIniFromMcode(platform::PathUtf8(r.plan).c_str(), idf.c_str(),
                                                     platform::PathUtf8(r.log).c_str(), 0, nullptr,
                                                     platform::PathUtf8(description).c_str());
                    code != 0) {
                    error = "MakeIniFromMcode returned " + std::to_string(code);
                    return code;
                }
            } else {
                fs::copy_file(first / "halcyon.ini", r.plan, fs::copy_options::overwrite_existing, ec);
                if (ec) {
                    error = "medium 1 carries neither an IDF nor a plan";
                    return RETURN_HALINI_NOEXIST;
                }
            }
            screen.Line("  the media against the plan (CompareNrvIniToHalIni)");
            int32_t code =
                CompareNrvIniToHalIni(platform::PathUtf8(description).c_str(), platform::PathUtf8(r.plan).c_str(), 0);
            if (code == 92)
                error = "a folder the plan needs is on no recovery disc";
            return code;
        });
        rc != 0)
        return run.Finish(rc, "check", error);

    MediaChanger changer(set.dirs);
    MediaRequests requests{&screen, &changer, &set, nullptr, interactive, &journal};
    if (!changer.Ready())
        return run.Finish(1, "copy", "cannot make the media drive");
    if (int64_t rc = journal.Stage("copy", [&]() -> int64_t {
            std::error_code ec;
            fs::create_directories(disk, ec);
            if (!requests.Provide(1))
                return RETURN_INSERT_DISC;
            ProgressDisplay bar(screen.out(), screen.tty);
            requests.progress = &bar;
            int32_t code = CopyDiscToDisk(changer.Drive().c_str(), platform::PathUtf8(disk).c_str(),
                                          platform::PathUtf8(r.plan).c_str(), platform::PathUtf8(description).c_str(),
                                          set.type.c_str(), "", kCopyAll, CopyMessage, &requests, "",
                                          platform::PathUtf8(r.log).c_str());
            requests.progress = nullptr;
            if (code == RETURN_INSERT_DISC)
                error = requests.missing;
            return code;
        });
        rc != 0)
        return run.Finish(rc, "copy", error);

    if (int64_t rc = journal.Stage("foundation", [&]() -> int64_t {
            if (!requests.Provide(1))
                return RETURN_INSERT_DISC;
            ProgressDisplay bar(screen.out(), screen.tty);
            requests.progress = &bar;
            const std::string source = changer.Drive() + "/sources/";
            int32_t code =
                GetFoundationImage(source.c_str(), platform::PathUtf8(disk).c_str(), platform::PathUtf8(r.plan).c_str(),
                                   platform::PathUtf8(description).c_str(), set.type.c_str(), 0x80000, "",
                                   CourierMessage, &requests, platform::PathUtf8(r.log).c_str());
            requests.progress = nullptr;
            if (code == 125)
                error = "the foundation image parts do not join: a part is missing or corrupt";
            return code;
        });
        rc != 0)
        return run.Finish(rc, "foundation", error);

    if (int64_t rc = journal.Stage("environment", [&]() -> int64_t {
            std::error_code ec;
            fs::create_directories(driveX, ec);
            screen.Line("  the recovery environment on X:");
            return LoadImgX(
                platform::PathUtf8(r.plan).c_str(), platform::PathUtf8(disk / "sources").c_str(),
                platform::PathUtf8(driveX).c_str(), platform::PathUtf8(r.temp).c_str(), "",
                platform::PathUtf8(r.log).c_str(), kRecovery | kSkipBlid,
                [](uint32_t, uintptr_t, intptr_t, void *) -> uint32_t { return 0; }, nullptr, "", "");
        });
        rc != 0)
        return run.Finish(rc, "environment");

    if (int64_t rc = journal.Stage("language", [&]() -> int64_t {
            std::string chosen;
            int64_t code = SetLanguage(screen, journal.Value("Language").value_or(""), chosen, error);
            if (code == 0)
                journal.SetValue("Chosen", chosen);
            return code;
        });
        rc != 0)
        return run.Finish(rc, "language", error);
    summary.facts.emplace_back("language", journal.Value("Chosen").value_or(""));

    if (int64_t rc = journal.Stage("image", [&]() -> int64_t {
            ProgressDisplay bar(screen.out(), screen.tty);
            ImageReport image{screen.json ? nullptr : &bar, &run.report};
            const std::string source = FolderWithSeparator(disk);
            return LoadImgX(platform::PathUtf8(r.plan).c_str(), source.c_str(), platform::PathUtf8(r.target).c_str(),
                            platform::PathUtf8(r.temp).c_str(), "Norv.wim", platform::PathUtf8(r.log).c_str(),
                            kDirect | halcyon::image::kOptionPushButtonReset | modules::OPTION_WRITE_EPID, &ReportingWimCallback, &image, "", "");
        });
        rc != 0)
        return run.Finish(rc, "image");

    std::vector<std::string> failures;
    auto installModules = [&](uint64_t options) -> int64_t {
        failures.clear();
        int64_t code =
            InstallModules(screen, platform::PathUtf8(r.plan), platform::PathUtf8(disk / "sources"),
                           platform::PathUtf8(r.target), platform::PathUtf8(r.mount), platform::PathUtf8(r.log),
                           options | modules::OPTION_RECOVERY | modules::OPTION_FILTER_TEMPORARY | modules::OPTION_WRITE_EPID, summary, error, &failures);
        if (code == 0 && !failures.empty()) {
            error = "failed: ";
            for (const auto &f : failures)
                error += f + (&f == &failures.back() ? "" : "; ");
            return RETURN_MODULE_NONZERO_RETURN;
        }
        // What the verb knows only in this process, kept for a resumed run.
        journal.SetValue("LastModuleRecoverable", IsLastModuleRecoverable() ? "yes" : "no");
        return code;
    };
    if (int64_t rc = journal.Stage("pe-modules", [&] { return installModules(modules::OPTION_PE_MODULES); }); rc != 0)
        return run.Finish(rc, "pe-modules", error);
    if (int64_t rc = journal.Stage("modules", [&] { return installModules(0); }); rc != 0)
        return run.Finish(rc, "modules", error);
    summary.facts.emplace_back("last module recoverable", journal.Value("LastModuleRecoverable").value_or("no"));
    summary.facts.emplace_back("clean sweep", IsCleanSweep(platform::PathUtf8(r.plan).c_str()) ? "yes" : "no");

    std::string why;
    int64_t rc = journal.Always(
        "verify", [&] { return VerifyInstallation(screen, r, platform::PathUtf8(disk / "sources"), summary, why); });
    return run.Finish(rc, rc ? "verify" : "", why);
}

} // namespace
} // namespace halcyon::cli
