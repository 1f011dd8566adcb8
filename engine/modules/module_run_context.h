// What the module installers share with the module setup driver for one
// call: the folders, the log, the option word, the child-wait time, the
// caller's exit-code slot and the progress callback.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"

namespace halcyon::modules {

struct ModuleRunContext {
    // Source trees, each ending in a backslash.
    std::string permSourceDir;
    std::string tempSourceDir;
    std::string trueFulSourceDir;
    // Each ends in a backslash when not empty.
    std::string destDir;
    std::string mountDir;
    std::string logFile;
    uint64_t options = 0;
    uint32_t waitSeconds = 0;       // the plan's "WaitForSetupDelay"
    uint32_t *exitCodeOut = nullptr; // the caller's slot for each installer's exit code
    ModuleProgressCallback callback = nullptr;
    uintptr_t userData = 0;

    bool Has(uint64_t bit) const { return (options & bit) != 0; }
    // Calls the progress callback (when there is one); its result is ignored.
    void Report(int32_t index, int32_t total, const std::string &label) const
    {
        if (callback)
            callback(index, total, label.c_str(), userData);
    }
};

// What an installer step hands back. A non-zero `stopCode` ends the run with
// that code; otherwise the module's result is judged by its verification.
struct InstallOutcome {
    int32_t stopCode = 0;
    int32_t launchResult = 0; // 0, or why the installer could not run / the copy failed
    uint32_t exitCode = 0;    // the installer's exit code (EXE/BATCH only)
    bool hasExitCode = false; // false for FILE COPY modules and failed launches
    bool imageUsed = false;   // an image was applied or mounted into `mountFolder`
    bool failureReported = false; // a recovery run already reported this module's failure
    std::string mountFolder;

    static InstallOutcome Stop(int32_t code)
    {
        InstallOutcome o;
        o.stopCode = code;
        return o;
    }
};

} // namespace halcyon::modules
