// Recovery media that tests build as folders: media roots carrying their
// marker files and entries, and the install plan that selects from them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace halcyon::test {

struct MediaPlanModule {
    std::string releaseId = "300100";
    std::string pathToRelease;            // empty: "data\" + releaseId
    std::string installerType = "EXE/BATCH";
    std::string temporary = "False";
    std::string basePlus = "True";
    std::string totalSize = "100";

    std::string Path() const { return pathToRelease.empty() ? "data\\" + releaseId : pathToRelease; }
    std::string Folder() const { return "sources\\" + Path(); }
};

// The parts of halcyon.ini the media verbs read.
struct MediaPlan {
    std::vector<MediaPlanModule> modules;
    std::vector<MediaPlanModule> peModules;
    bool recoveryImage = true;
    std::string recoveryPath = "data\\P1";
    std::string recoverySize = "2048";
    bool image = true;
    std::string imagePath = "data\\FI";
    std::string blid = "ABC1234567Z";
    bool endSections = true;              // the module families end with "End"

    std::string Text() const;
    void Write(const std::string &path) const;
};

// A medium's root folder (host path): its marker file "sources\<type><n>"
// (unless `marker` is false) and the files given as (relative Windows path,
// contents).
void MakeMedium(const std::string &root, const std::string &type, int number,
                const std::vector<std::pair<std::string, std::string>> &files, bool marker = true);

// The host path of a Windows relative path below `root`.
std::string Below(const std::string &root, const std::string &relative);

} // namespace halcyon::test
