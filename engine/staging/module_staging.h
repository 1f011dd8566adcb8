// The walk shared by the module staging verbs (module copy and module
// extraction): the plan loaded, the source and destination folders checked,
// and every numbered module section handed to the verb in turn until the
// "End" section.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/frame/plan_records.h"

namespace halcyon::modules {

struct StagingWalk {
    const char *verb = "";          // "ModCopyX", "ModExtractX": names the end line
    const char *progressLine = "";  // echoed once the folders are known to exist
    std::string plan;
    std::string source;             // a trailing backslash is added
    std::string dest;               // a trailing backslash is added
    std::string log;
    uint64_t options = 0;
};

// The walk of a staging verb's C string arguments (NULL reads as empty).
StagingWalk MakeStagingWalk(const char *verb, const char *progressLine, const char *plan, const char *source,
                            const char *dest, const char *log, uint64_t options);

// Runs the walk. `handle` receives each module record read (selection is
// the verb's business) and returns 0 to go on or the verb's code. Once the
// "End" section is reached, everything written below the destination is
// flushed to disk (one flush for all modules; 58 when it fails). Returns 0
// when the "End" section was reached ("<verb> End" logged), 2, 34 or 35 for
// the plan or folders, 27 when the progress line cannot be written, the
// reader's code for a broken section, or the first code `handle` returned.
int32_t RunStagingWalk(StagingWalk &walk, const std::function<int32_t(const ModuleRecord &)> &handle);

// 0 when `path` (Windows or host path text) stays below `root` with no
// symbolic link at any existing component below it; otherwise the reason
// is logged ("Error: <component> is a symbolic link (RETURN_UNSAFE_PATH)")
// and RETURN_UNSAFE_PATH returned. A component that is a file, or one that
// cannot be examined, is left for the copy itself to fail on.
int32_t CheckJoinedPath(const std::string &root, const std::string &path, const std::string &log);

// The code of a module folder copy: 0, 117 for the destination running out
// of space (support::kCopyDiskFull), 58 for any other failure. A failure
// logs the file that could not be written (with `log` given).
int32_t StagingCopyResult(int32_t copyResult, const std::string &log = {});

} // namespace halcyon::modules
