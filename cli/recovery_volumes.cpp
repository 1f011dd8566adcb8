#include "cli/recovery_volumes.h"

#include <cctype>

#include "cli/real_machine.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

// "E:" or "E:\" (either separator) as the drive's root "E:\"; nullopt for
// anything else.
std::optional<std::string> DriveRoot(const std::string &text)
{
    if (text.size() < 2 || text.size() > 3 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] != ':' ||
        (text.size() == 3 && text[2] != '\\' && text[2] != '/'))
        return std::nullopt;
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])))) + ":\\";
}

} // namespace

bool RecoveryVolumesOf(const fs::path &machine, const std::optional<std::string> &partition,
                       RecoveryVolumes &volumes, std::string &error)
{
    if (!kRealMachine) {
        volumes = {machine / "drives" / "d", machine / "drives" / "x"};
        return true;
    }
    const std::optional<std::string> root = DriveRoot(partition.value_or("D:"));
    if (!root || *root == "X:\\") {
        error = "--partition takes the drive letter of the recovery partition (D:), not " + partition.value_or("") +
                (root ? " (X: is the recovery environment's own drive)" : "");
        return false;
    }
    volumes = {platform::FsPath(*root), platform::FsPath("X:\\")};
    std::error_code ec;
    for (const fs::path &drive : {volumes.partition, volumes.environment})
        if (!fs::is_directory(drive, ec)) {
            error = "there is no drive " + platform::PathUtf8(drive) +
                    (drive == volumes.partition ? " for the recovery partition" : " for the recovery environment");
            return false;
        }
    return true;
}

std::vector<std::string> SampleRecoveryMedia(const fs::path &recovery)
{
    if (kRealMachine)
        return {platform::PathUtf8(recovery / "rufd1")};
    return {platform::PathUtf8(recovery / "rdvd1"), platform::PathUtf8(recovery / "rdvd2")};
}

std::string FolderWithSeparator(const fs::path &folder)
{
    std::string text = platform::PathUtf8(folder);
    if (text.empty() || (text.back() != '/' && text.back() != '\\'))
        text += kRealMachine ? '\\' : '/';
    return text;
}

} // namespace halcyon::cli
