// The frame the three setup verbs share: the arguments every one of them
// takes (the caller's filters, the log and the option word), the exported
// boundary they run in, and the publication of their arguments record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/frame/verb.h"
#include "engine/modules/installed_software_keys.h"
#include "engine/modules/installer_arguments.h"
#include "engine/modules/module_selection.h"
#include "engine/staging/module_log.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/ini/ini_store.h"

namespace halcyon::modules {

// The arguments common to the setup verbs.
struct SetupCallArguments {
    std::string installerType;
    std::string partType;
    std::string recoverable;
    std::string temporary;
    std::string logFile;
    uint64_t options = 0;

    // Takes the verb's C string arguments (NULL reads as empty).
    void Take(const char *installer_type, const char *part_type, const char *recoverable_, const char *temporary_,
              const char *log, uint64_t options_);
    // The selection filters of these arguments, restricted to the option
    // bits in `filterBits`.
    ModuleFilters Filters(uint64_t filterBits = ~uint64_t{0}) const;
    // Copies these arguments into the published record.
    void Fill(InstallerArguments &record) const;
};

// The arguments of the setup verbs that walk a list and report progress on
// it (AppSetupX, ModSetupX).
struct SequencedSetupArguments : SetupCallArguments {
    int32_t start = 1;
    ModuleProgressCallback callback = nullptr;
    uintptr_t userData = 0;

    void TakeProgress(int32_t start_, ModuleProgressCallback callback_, uintptr_t userData_)
    {
        start = start_;
        callback = callback_;
        userData = userData_;
    }
};

// Runs a setup verb's body at the exported boundary (an escaping exception
// ends the verb with RETURN_INTERNAL_ERROR).
template <typename Body>
int32_t RunSetupVerb(const char *name, Body &&body) noexcept
{
    return frame::RunVerb<int32_t>(name, static_cast<int32_t>(RETURN_INTERNAL_ERROR), std::forward<Body>(body));
}

// Publishes the record's values in one registry transaction; the result is
// not examined, as the publisher's is not.
void PublishInOneBatch(InstallerArgumentsPublisher &publisher);

// Publishes `record` (completed with the common arguments) for the
// installers to read while `run` works, writes the verb's begin line and
// runs it; the record is taken back when the run ends.
template <typename Run>
int32_t PublishAndRun(InstallerArguments record, const SetupCallArguments &a, std::string_view beginLine, Run &&run)
{
    a.Fill(record);
    InstallerArgumentsPublisher publisher(kInstallerArgumentsKey, record);
    PublishInOneBatch(publisher);
    LogLine(beginLine, a.logFile, true);
    return std::forward<Run>(run)();
}

// Loads a store the verb reads. On failure logs `failedLine` (echoed) and
// `pathLabel` with the path, and answers RETURN_UNABLE_OPEN_INI.
int32_t LoadSetupIni(support::CMemoryIniIO &ini, const std::string &path, std::string_view failedLine,
                     std::string_view pathLabel, std::string_view log);

} // namespace halcyon::modules
