// The shared libraries export exactly their verbs, and loading the engine
// creates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <set>
#include <sstream>

#include "engine/frame/module_state.h"
#include "engine/frame/verb.h"
#include <stdexcept>
#include "halcyon/HalcyonDLL.h"
#include "tests/common/test_env.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string &lib)
{
    std::set<std::string> names;
    std::string cmd = "nm -D --defined-only '" + lib + "'";
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p)
        return names;
    std::array<char, 512> line{};
    while (std::fgets(line.data(), line.size(), p)) {
        std::string l = line.data();
        // "address type name"
        auto last = l.find_last_of(' ');
        if (last == std::string::npos)
            continue;
        std::string type = l.substr(l.find(' ') + 1, 1);
        std::string name = l.substr(last + 1);
        name.erase(name.find_last_not_of("\n\r") + 1);
        name.erase(std::min(name.find('@'), name.size())); // "MakeIniX@@HALCYONDLL_0"
        if (type == "T" || type == "W" || type == "D" || type == "B")
            names.insert(name);
    }
    ::pclose(p);
    return names;
}

TEST(Exports, EngineExportsExactlyTheTwentyFourVerbs)
{
    std::set<std::string> expected = {
        "MakeIniX", "MakeIniFromMcode", "IdentifyIdf", "ReadIdfForOSArchCheck", "ScrambleIdf", "LoadImgX",
        "GetWimTagValue", "CompareBlid", "CompareReleaseid", "ImgCopyX", "GetFoundationImage", "CopyDiscToDisk",
        "CompareNrvIniToHalIni", "GetMiniCDriveSize", "ModCopyX", "ModExtractX", "ModSetupX", "AppSetupX",
        "SingleAppSetupX_s", "ExecuteProgram", "IsCleanSweep", "IsLastModuleRecoverable", "EpicCrcCheck",
        "ValidateRegistry"};
    EXPECT_EQ(expected, DefinedDynamicSymbols(HALCYON_DLL_PATH));
}

std::string CommandOutput(const std::string &cmd)
{
    std::string out;
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p)
        return out;
    std::array<char, 512> buf{};
    while (size_t n = std::fread(buf.data(), 1, buf.size(), p))
        out.append(buf.data(), n);
    ::pclose(p);
    return out;
}

// An ABI change shows in the soname and the symbols' version node; every
// export carries the node as its default version.
TEST(Exports, SonameAndVersionNodeOfEachLibrary)
{
    struct Case {
        const char *path, *soname, *node;
    } cases[] = {{HALCYON_DLL_PATH, "libHalcyonDLL.so.0", "HALCYONDLL_0"},
                 {VERGAUGE_DLL_PATH, "libVerGauge.so.0", "VERGAUGE_0"},
                 {MUICHOOSER_DLL_PATH, "libMuiChooser.so.0", "MUICHOOSER_0"}};
    for (const auto &c : cases) {
        std::string headers = CommandOutput(std::string("objdump -p '") + c.path + "'");
        EXPECT_NE(std::string::npos, headers.find(std::string("SONAME               ") + c.soname)) << c.path;
        std::string symbols = CommandOutput(std::string("nm -D --defined-only --with-symbol-versions '") + c.path +
                                            "' | grep -v ' A '");
        std::istringstream lines(symbols);
        int exports = 0;
        for (std::string line; std::getline(lines, line); ++exports)
            EXPECT_NE(std::string::npos, line.find(std::string("@@") + c.node)) << line;
        EXPECT_GT(exports, 0) << c.path;
    }
}

TEST(Exports, LoadingTheEngineCreatesNoMachine)
{
    halcyon::test::TempDir dir;
    std::string machine = dir / "machine";
    ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
    void *h = ::dlopen(HALCYON_DLL_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, h) << ::dlerror();
    EXPECT_NE(nullptr, ::dlsym(h, "ModSetupX"));
    ::dlclose(h);
    ::unsetenv("HALCYON_MACHINE");
    EXPECT_FALSE(std::filesystem::exists(machine));
}

TEST(ModuleState, VerbBoundarySwitchesAndRestoresOnEveryPath)
{
    using namespace halcyon::frame;
    ModuleState mine{"caller"};
    SetCurrentModuleState(&mine);
    const ModuleState *seen = nullptr;
    EXPECT_EQ(7, RunVerb<int>("T", -1, [&] {
                  seen = CurrentModuleState();
                  return 7;
              }));
    EXPECT_EQ(EngineModuleState(), seen);
    EXPECT_EQ(&mine, CurrentModuleState());

    // An exception inside the verb becomes its error result; the state is
    // restored all the same.
    EXPECT_EQ(-1, RunVerb<int>("T", -1, []() -> int { throw std::runtime_error("boom"); }));
    EXPECT_EQ(&mine, CurrentModuleState());

    // The verbs that keep the caller's state do not switch.
    EXPECT_EQ(0, RunVerbKeepingState<int>("T", -1, [&] {
                  seen = CurrentModuleState();
                  return 0;
              }));
    EXPECT_EQ(&mine, seen);
    SetCurrentModuleState(nullptr);
}

} // namespace
