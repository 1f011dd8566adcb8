// The halcyon command's own options: --version, COMMAND --help, the manual
// page and completion made from the help texts, and the one rule that picks
// the emulated machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using halcyon::test::RunHalcyon;
using halcyon::test::TempDir;

namespace {

// Sets (or with nullopt removes) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<std::string> value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char *name_;
    std::optional<std::string> old_;
};

std::string Output(const std::string &arguments, int *status = nullptr)
{
    std::string out;
    int rc = RunHalcyon(arguments, out);
    if (status)
        *status = rc;
    return out;
}

std::vector<std::string> CommandNames()
{
    std::vector<std::string> names;
    std::istringstream in(Output("help"));
    std::string line;
    while (std::getline(in, line) && line != "commands:") {
    }
    while (std::getline(in, line) && line.size() > 2 && line[0] == ' ')
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    return names;
}

} // namespace

TEST(CommandLine, VersionAndHelpForms)
{
    int rc = -1;
    EXPECT_TRUE(std::regex_match(Output("--version", &rc), std::regex("halcyon [0-9]+\\.[0-9]+\\.[0-9]+\n")));
    EXPECT_EQ(0, rc);

    struct Case {
        const char *arguments;
        int status;
        const char *sameAs; // output equal to this command's, when given
    } cases[] = {
        {"reg --help", 0, "help reg"},
        {"factory-run --sample --help", 0, "help factory-run"},
        {"crc -h", 0, "help crc"},
        {"--machine /nonexistent wim --help", 0, "help wim"},
        {"--help", 0, "help"},
        {"no-such-command --help", 2, nullptr},
        {"reg query --machine", 2, nullptr},
        {"", 2, nullptr},
    };
    for (const auto &c : cases) {
        std::string out = Output(c.arguments, &rc);
        EXPECT_EQ(c.status, rc) << c.arguments << "\n" << out;
        if (c.sameAs) {
            EXPECT_EQ(Output(c.sameAs), out) << c.arguments;
        }
    }
}

TEST(CommandLine, ManualAndCompletionCoverEveryCommand)
{
    const std::vector<std::string> names = CommandNames();
    ASSERT_GT(names.size(), 20u);
    const std::string manual = Output("help --man");
    for (const auto &name : names)
        EXPECT_NE(std::string::npos, manual.find(".SS " + std::regex_replace(name, std::regex("-"), "\\-") + "\n"))
            << name;

    TempDir dir;
    ASSERT_EQ(0, std::system(("'" + halcyon::test::HalcyonBinary() + "' help --bash-completion > '" +
                              (dir / "halcyon") + "'")
                                 .c_str()));
    auto complete = [&](const std::string &words, int cword) {
        std::string script = "source '" + (dir / "halcyon") + "'; COMP_WORDS=(" + words +
                             "); COMP_CWORD=" + std::to_string(cword) + "; _halcyon; echo \"${COMPREPLY[*]}\"";
        std::string out;
        halcyon::test::RunShellCommand("bash -c '" + std::regex_replace(script, std::regex("'"), "'\\''") + "'", out);
        return out;
    };
    struct Case {
        const char *words;
        int cword;
        const char *expected;
    } cases[] = {
        {"halcyon fac", 1, "factory-run\n"},
        {"halcyon factory-run --sa", 2, "--sample\n"},
        {"halcyon --machine /m reg q", 4, "query\n"},
        {"halcyon mui re", 2, "recover-bcd register\n"},
        {"halcyon help mod-s", 2, "mod-setup\n"},
        {"halcyon factory-run --media ''", 3, "\n"}, // a folder: left to file name completion
        {"halcyon --vers", 1, "--version\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, complete(c.words, c.cword)) << c.words;
    for (const auto &name : names) {
        std::istringstream offered(complete("halcyon " + name, 1));
        std::vector<std::string> words{std::istream_iterator<std::string>(offered), {}};
        EXPECT_NE(words.end(), std::find(words.begin(), words.end(), name)) << name;
    }
}

TEST(CommandLine, EveryCommandChoosesTheMachineByOneRule)
{
    TempDir dir;
    const fs::path before = fs::current_path();
    ASSERT_EQ(0, ::chdir(dir.path().c_str()));
    const std::string env = dir / "env", xdg = dir / "xdg", home = dir / "home";
    struct Case {
        const char *placement; // %s: where --machine goes, if anywhere
        std::optional<std::string> option, machineVar, xdgVar;
        std::string expected;
    } cases[] = {
        {"%s reg add", dir / "opt", env, xdg, dir / "opt"},
        {"reg add %s", dir / "opt", env, xdg, dir / "opt"},
        {"reg add %s", "rel/m", env, xdg, dir / "rel/m"},
        {"reg add", std::nullopt, env, xdg, env},
        {"reg add", std::nullopt, std::nullopt, xdg, xdg + "/halcyon/machine"},
        {"reg add", std::nullopt, std::nullopt, std::nullopt, home + "/.local/state/halcyon/machine"},
    };
    for (const auto &c : cases) {
        fs::remove_all(dir / "opt");
        fs::remove_all(dir / "rel");
        fs::remove_all(env);
        fs::remove_all(xdg);
        fs::remove_all(home);
        ScopedEnv m("HALCYON_MACHINE", c.machineVar), x("XDG_STATE_HOME", c.xdgVar), h("HOME", home);
        std::string arguments = std::regex_replace(c.placement, std::regex("%s"),
                                                   c.option ? "--machine '" + *c.option + "'" : std::string());
        std::string out = Output(arguments + R"( 'HKLM\SOFTWARE\Probe' /v V /d 1 /f)");
        EXPECT_TRUE(fs::exists(c.expected + "/registry.db")) << arguments << "\n" << out;
    }
    ASSERT_EQ(0, ::chdir(before.c_str()));
}
