#include "tests/common/halcyon_command.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace halcyon::test {

std::string HalcyonBinary()
{
    const char *dir = std::getenv("HALCYON_TEST_BIN_DIR");
    return std::string(dir && *dir ? dir : HALCYON_TEST_BIN_DIR) + "/halcyon";
}

int RunHalcyon(const std::string &arguments, std::string &output, const std::string &input)
{
    std::string command = HalcyonBinary() + " " + arguments + " 2>&1";
    if (!input.empty())
        command = "printf '" + input + "' | " + command;
    else
        command += " </dev/null";
    return RunShellCommand(command, output);
}

int RunShellCommand(const std::string &command, std::string &output)
{
    output.clear();
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        output.append(buf, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace halcyon::test
