// The volumes a recovery run works on besides its target: the recovery
// partition the media are copied to and the recovery environment's own
// volume X:, where the language-selection server reads its language list
// and writes the choice.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/real_machine.h"

namespace halcyon::cli {

// The option that names the recovery partition, shown on Windows only (the
// emulated machine's partition is its drive folder d).
inline constexpr const char *kPartitionUsage =
    kRealMachine ? "\n  --partition DRIVE  drive of the recovery partition the media are copied to (default D:;\n"
                   "                   remembered for a resume); the recovery environment is drive X:"
                 : "";

struct RecoveryVolumes {
    std::filesystem::path partition, environment;
};

// On the emulated machine its drive folders d and x; on Windows the drives
// themselves: `partition` (a drive letter, "E:" or "E:\", default D:) and X:.
// False with `error` when `partition` is no drive letter, or is X:.
bool RecoveryVolumesOf(const std::filesystem::path &machine, const std::optional<std::string> &partition,
                       RecoveryVolumes &volumes, std::string &error);

// The sample media a run takes from `recovery` (the sample's recovery
// folder): the two discs, or on Windows the USB medium, which holds them
// both, as a drive there is switched by the operator and not by the run.
std::vector<std::string> SampleRecoveryMedia(const std::filesystem::path &recovery);

// A folder's text with one separator at its end, the form the engine joins
// names to ("D:\" stays as it is).
std::string FolderWithSeparator(const std::filesystem::path &folder);

} // namespace halcyon::cli
