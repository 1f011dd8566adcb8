#include "tests/common/test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace halcyon::test {

TempDir::TempDir(std::string_view tag)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(tag) + "-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

MachineScope::MachineScope() : dir_("halcyon-machine")
{
    if (const char *p = std::getenv("HALCYON_MACHINE")) {
        previous_ = p;
        hadPrevious_ = true;
    }
    ::setenv("HALCYON_MACHINE", dir_.path().c_str(), 1);
}

MachineScope::~MachineScope()
{
    if (hadPrevious_)
        ::setenv("HALCYON_MACHINE", previous_.c_str(), 1);
    else
        ::unsetenv("HALCYON_MACHINE");
}

void SetEnv(const std::string &name, const char *value)
{
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, std::string_view data)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

} // namespace halcyon::test
