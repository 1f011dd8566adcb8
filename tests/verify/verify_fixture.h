// Shared pieces of the verification tests: plan text with numbered module
// sections, module folders with manifests, and the log read back as lines.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/frame/folder_crc.h"
#include "platform/non_copyable.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

struct PlanModule {
    std::string name = "Module";
    std::string path = "mods\\a"; // PathToRelease; empty leaves the key out
    std::string installerType = "EXE/BATCH";
    std::string label = "Norv";
    std::string partId = "P0001";
    std::string basePlus = "True";
};

// Builds plan text section by section.
class PlanText {
public:
    PlanText &Module(const std::string &section, const PlanModule &m)
    {
        text_ += "[" + section + "]\r\n";
        Key("ReleaseName", m.name);
        Key("ReleaseID", "300" + section);
        if (!m.path.empty())
            Key("PathToRelease", m.path);
        Key("SetupFile", "setup.bat");
        Key("Temporary", "False");
        Key("Recoverable", "True");
        Key("PartType", "Application");
        Key("InstallerType", m.installerType);
        Key("MajorVersion", "1");
        Key("DetailedVersion", "1.0.0");
        Key("CustomerLabel", m.label);
        Key("BasePlus", m.basePlus);
        Key("PartId", m.partId);
        Key("TotalSize", "1024");
        text_ += "\r\n";
        return *this;
    }
    PlanText &End(const std::string &section)
    {
        text_ += "[" + section + "]\r\nEnd=True\r\n\r\n";
        return *this;
    }
    PlanText &Raw(const std::string &text)
    {
        text_ += text;
        return *this;
    }
    const std::string &str() const { return text_; }

private:
    void Key(const char *key, const std::string &value) { text_ += std::string(key) + "=" + value + "\r\n"; }
    std::string text_;
};

// The texts of the log's lines, time stamps removed; the empty lines that
// texts ending with a line feed leave are dropped.
inline std::vector<std::string> LogTexts(const std::string &logPath)
{
    const std::string all = ReadFile(logPath);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find("\r\n", pos);
        if (end == std::string::npos)
            end = all.size();
        std::string line = all.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty())
            continue;
        // "YYYY.MM.DD hh:mm:ss " is 20 characters.
        if (line.size() >= 20 && line[4] == '.' && line[13] == ':')
            line.erase(0, 20);
        lines.push_back(line);
    }
    return lines;
}

// Lines of the log that start with `prefix`.
inline std::vector<std::string> LogLinesStarting(const std::string &logPath, const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &l : LogTexts(logPath))
        if (l.rfind(prefix, 0) == 0)
            out.push_back(l);
    return out;
}

inline bool LogHas(const std::string &logPath, const std::string &text)
{
    for (const std::string &l : LogTexts(logPath))
        if (l == text)
            return true;
    return false;
}

// A module folder with two files, a subfolder and its manifest.
inline void MakeModuleFolder(const std::string &folder, const std::string &content = "payload")
{
    WriteFile(folder + "/setup.bat", "@echo off\r\n");
    WriteFile(folder + "/data/" + content + ".bin", content);
    std::string message;
    ASSERT_EQ(0, frame::WriteFolderManifest(folder, message)) << message;
}

// Changes the current folder for the object's lifetime.
class CurrentFolder : NonCopyable {
public:
    explicit CurrentFolder(const std::string &path) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(path);
    }
    ~CurrentFolder()
    {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }

private:
    std::filesystem::path previous_;
};

} // namespace halcyon::test
