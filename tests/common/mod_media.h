// Module media that tests build for themselves: source trees holding module
// folders with ".mod" WIM images (optionally scrambled, optionally with a
// CRC manifest) whose setup scripts record that they ran, exit with chosen
// codes and may leave children behind; and the plan (halcyon.ini) for them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::test {

struct MediaModule {
    // Plan values.
    std::string releaseName;          // empty: "Module " + releaseId
    std::string releaseId = "300100";
    std::string pathToRelease;        // empty: "mods\" + releaseId
#if defined(_WIN32)
    std::string setupFile = "setup.cmd";
#else
    std::string setupFile = "setup.sh";
#endif
    std::string cmdLineArgs;
    std::string temporary = "FALSE";
    std::string recoverable = "True";
    std::string partType = "Module";
    std::string moduleType = "Module";
    std::string installerType = "EXE/BATCH";
    std::string customerLabel;        // empty: "Label " + releaseId
    std::string partId;               // empty: "P" + releaseId
    std::string basePlus = "True";
    std::string installAfterOOBE;
    std::string rebootBefore;
    std::string rebootAfter;
    std::string verificationType = "ReturnCode";
    std::string verificationMode = "None";
    std::string verCheckAfter;
    std::string versionPath;
    std::string majorVersion = "1";
    std::string detailedVersion = "1.0.0";
    std::string totalSize = "100";

    // Media.
    int exitCode = 0;                 // the setup script's exit status
    bool scrambled = false;           // the ".mod" header is scrambled
    bool crcManifest = false;         // the module folder carries "_FS_SWRINFO"
    bool noImage = false;             // the setup script lies in the module folder itself
    bool buildMedia = true;           // false: the plan names a module folder that is not there
    std::string imageReleaseId;       // RELEASEID of the image; empty: releaseId
    int childSeconds = 0;             // the script leaves a child running this long
    double sleepSeconds = 0;          // the script takes this long
    std::string scriptExtra;          // further shell lines, run before the exit
    // Further files: in the image (or the folder of a FILE COPY module).
    std::vector<std::pair<std::string, std::string>> files;

    std::string Label() const { return customerLabel.empty() ? "Label " + releaseId : customerLabel; }
    std::string Path() const { return pathToRelease.empty() ? "mods\\" + releaseId : pathToRelease; }
    std::string Part() const { return partId.empty() ? "P" + releaseId : partId; }
    std::string Name() const { return releaseName.empty() ? "Module " + releaseId : releaseName; }
};

struct PlanSettings {
    std::string waitForSetupDelay;    // [IDF] WaitForSetupDelay; empty: key not written
    bool peFamily = false;            // the modules form the "PE%d" family ("%d" holds only End)
    bool endSection = true;           // the family ends with an End section
    std::string cleanSweep = "False";
};

// The filters and options of one call of the setup verb.
struct ModSetupCall {
    std::string installerType;
    std::string partType;
    std::string recoverable;
    std::string temporary;
    int32_t start = 1;
    uint64_t options = 0;
    ModuleProgressCallback callback = nullptr;
    uintptr_t userData = 0;
    std::string nrvinst;              // empty: the media's nrvinst path
    uint32_t *exitCode = nullptr;
};

class ModMedia {
public:
    // Lays out perm/, temp/, truefulfill/, dest/, mount/ and the log below
    // `root` (a host folder).
    explicit ModMedia(std::string root);

    // Builds the module's folder (and image) in the source tree its
    // Temporary value names.
    void Build(const MediaModule &module) const;
    // Builds every module and writes the plan.
    void Make(const std::vector<MediaModule> &modules, const PlanSettings &settings = {}) const;
    void WritePlan(const std::vector<MediaModule> &modules, const PlanSettings &settings = {}) const;

    // Calls the setup verb on this media.
    int32_t Call(const ModSetupCall &call = {}) const;
    // The command-line arguments of "halcyon mod-setup" for this media.
    std::vector<std::string> CommandArgs(const ModSetupCall &call = {}) const;

    // Lines the setup scripts wrote: "<releaseId> cwd=<folder> args=[a][b]".
    std::vector<std::string> Runs() const;
    // Release IDs in the order their scripts ran.
    std::vector<std::string> RunIds() const;
    std::string LogText() const;

    std::string root, perm, temp, trueFul, dest, mount, log, plan, runLog, nrvinst;

    std::string SourceTree(const std::string &temporary) const;
};

// `windowsPart` ("a\\b") below `folder` with the host's separators, as the
// media's own paths are joined.
std::string HostChild(const std::string &folder, const std::string &windowsPart);

// The text of every value under a registry key of HKLM and its subkeys,
// one "key|name=value" line each, sorted (for comparing machines).
std::string DumpRegistryTree(const std::string &key);

// The labels recorded for a progress callback; pass &Progress as user data.
struct ProgressLog {
    struct Call {
        int32_t index;
        int32_t total;
        std::string label;
    };
    std::vector<Call> calls;
    static int32_t Callback(int32_t index, int32_t total, const char *label, uintptr_t user);
};

} // namespace halcyon::test
