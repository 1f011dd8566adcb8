// The frame the three setup verbs share: the arguments every one of them
// takes (the caller's filters, the log and the option word), the exported
// boundary they run in, and the publication of their arguments record.
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame/verb.h"
#include "engine/modules/installer_arguments.h"
#include "engine/modules/module_selection.h"
#include "halcyon/ReturnCodes.h"

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

} // namespace halcyon::modules
