#include "tests/common/media_set.h"

#include <filesystem>

#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

std::string ModuleSection(const std::string &name, const MediaPlanModule &m)
{
    return "[" + name + "]\r\nReleaseName=Module " + m.releaseId + "\r\nReleaseID=" + m.releaseId +
           "\r\nPathToRelease=" + m.Path() + "\r\nSetupFile=setup.exe\r\nTemporary=" + m.temporary +
           "\r\nRecoverable=True\r\nPartType=Module\r\nInstallerType=" + m.installerType +
           "\r\nMajorVersion=1\r\nDetailedVersion=1.0.0\r\nBasePlus=" + m.basePlus + "\r\nPartId=P" + m.releaseId +
           "\r\nTotalSize=" + m.totalSize + "\r\n\r\n";
}

} // namespace

std::string MediaPlan::Text() const
{
    std::string text = "[IDF]\r\nIdfVersion=1\r\n\r\n";
    if (image)
        text += "[Image]\r\nReleaseName=Foundation\r\nReleaseID=FI0001\r\nPathToRelease=" + imagePath +
                "\r\nBLID=" + blid + "\r\nTotalSize=4096\r\n\r\n";
    if (recoveryImage)
        text += "[RecoveryImage]\r\nReleaseName=Recovery\r\nReleaseID=P10001\r\nPathToRelease=" + recoveryPath +
                "\r\nTotalSize=" + recoverySize + "\r\n\r\n";
    for (size_t i = 0; i < modules.size(); ++i)
        text += ModuleSection(std::to_string(i + 1), modules[i]);
    if (endSections)
        text += "[" + std::to_string(modules.size() + 1) + "]\r\nEnd=True\r\n\r\n";
    for (size_t i = 0; i < peModules.size(); ++i)
        text += ModuleSection("PE" + std::to_string(i + 1), peModules[i]);
    if (endSections)
        text += "[PE" + std::to_string(peModules.size() + 1) + "]\r\nEnd=True\r\n\r\n";
    return text;
}

void MediaPlan::Write(const std::string &path) const { WriteFile(path, Text()); }

std::string Below(const std::string &root, const std::string &relative)
{
    std::string host = relative;
    for (char &c : host)
        if (c == '\\')
            c = '/';
    return root + "/" + host;
}

void MakeMedium(const std::string &root, const std::string &type, int number,
                const std::vector<std::pair<std::string, std::string>> &files, bool marker)
{
    fs::create_directories(root + "/sources");
    if (marker)
        WriteFile(root + "/sources/" + type + std::to_string(number), "");
    for (const auto &[relative, contents] : files) {
        const std::string path = Below(root, relative);
        fs::create_directories(fs::path(path).parent_path());
        WriteFile(path, contents);
    }
}

} // namespace halcyon::test
