// A factory line installs many machines at once from one read-only share:
// several `halcyon factory-run --media` processes on the same share, each
// with its own machine and target, must all end as a single run ends, and
// the share must be byte for byte what it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
using halcyon::test::ReadFile;
using halcyon::test::TempDir;

namespace {

constexpr int kMachines = 8;

// Relative path -> what it is: contents checksum and size for a file, the
// link text for a link, "<DIR>" for a folder; with the permission bits, so
// that a changed mode shows as well.
using Tree = std::map<std::string, std::string>;

std::string Checksum(const std::string &data)
{
    uint64_t h = 1469598103934665603ull; // FNV-1a 64
    for (unsigned char c : data)
        h = (h ^ c) * 1099511628211ull;
    return std::to_string(h) + ":" + std::to_string(data.size());
}

Tree Snapshot(const std::string &root, bool withModes)
{
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path &p = it->path();
        std::string what;
        const fs::file_status st = it->symlink_status(ec);
        if (fs::is_symlink(st))
            what = "-> " + fs::read_symlink(p, ec).string();
        else if (fs::is_directory(st))
            what = "<DIR>";
        else
            what = Checksum(ReadFile(p.string()));
        if (withModes)
            what += " mode " + std::to_string(static_cast<unsigned>(st.permissions()));
        tree[fs::relative(p, root).string()] = what;
    }
    return tree;
}

void SetWritable(const std::string &root, bool writable)
{
    std::error_code ec;
    const auto bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    const auto how = writable ? fs::perm_options::add : fs::perm_options::remove;
    fs::permissions(root, writable ? fs::perms::owner_write : bits, how, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (!it->is_symlink())
            fs::permissions(it->path(), writable ? fs::perms::owner_write : bits, how, ec);
}

// Every key and value below "Installed Software" of a machine's registry.
void DumpKey(platform::reg::HKEY key, const std::string &path, std::map<std::string, std::string> &out)
{
    using namespace platform::reg;
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; RegEnumValue(key, i, &name, &type, &data) == ERROR_SUCCESS; ++i)
        out[path + "|" + name] = std::to_string(type) + ":" + std::string(data.begin(), data.end());
    for (uint32_t i = 0; RegEnumKeyEx(key, i, &name) == ERROR_SUCCESS; ++i) {
        UniqueKey sub;
        if (RegOpenKeyEx(key, name, KEY_READ, sub.out()) == ERROR_SUCCESS)
            DumpKey(sub.get(), path + "\\" + name, out);
    }
}

struct MachineState {
    std::map<std::string, std::string> registry;
    std::string nrvinst;
    Tree target;
};

MachineState Inspect(const std::string &machine, const std::string &target)
{
    MachineState s;
    ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
    {
        using namespace platform::reg;
        UniqueKey base;
        if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norv Corporation\\Installed Software", KEY_READ,
                         base.out()) == ERROR_SUCCESS)
            DumpKey(base.get(), "", s.registry);
    }
    ::unsetenv("HALCYON_MACHINE");
    s.nrvinst = ReadFile(target + "/Windows/System32/nrvinst.oem");
    s.target = Snapshot(target, false);
    return s;
}

struct Machine {
    std::string run, machine, target;
    pid_t pid = -1;
};

Machine Prepare(const TempDir &work, const std::string &name, const std::string &blid)
{
    Machine m{work / (name + "-run"), work / (name + "-machine"), work / (name + "-target")};
    fs::create_directories(m.run);
    // The machine's identity, as a fresh machine carries it; the run lays
    // out the rest of the machine.
    fs::create_directories(m.machine);
    test::WriteFile(m.machine + "/machine.ini", "[Identity]\r\nBLID=" + blid + "\r\nRMIDOnOEMString1=False\r\n");
    return m;
}

// Starts the factory run of `m` from its own working folder.
void Start(Machine &m, const std::string &share)
{
    const std::string bin = test::HalcyonBinary();
    m.pid = ::fork();
    if (m.pid == 0) {
        if (::chdir(m.run.c_str()) != 0)
            ::_exit(126);
        const int out = ::open((m.run + "/run.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execl(bin.c_str(), bin.c_str(), "factory-run", "--media", share.c_str(), "--machine", m.machine.c_str(),
                "--target", m.target.c_str(), "--json", nullptr);
        ::_exit(127);
    }
}

int Wait(const Machine &m)
{
    int status = 0;
    if (m.pid < 0 || ::waitpid(m.pid, &status, 0) != m.pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(SharedMedia, ManyMachinesFromOneReadOnlyShareEndLikeOneAndLeaveItUntouched)
{
    TempDir work("halcyon-shared-media");
    const std::string share = work / "share";
    std::string out;
    ASSERT_EQ(0, test::RunHalcyon("sample-media '" + share + "'", out)) << out;
    const size_t at = out.find("machine BLID ");
    ASSERT_NE(std::string::npos, at) << out;
    const std::string blid = out.substr(at + 13, out.find('\n', at) - at - 13);

    SetWritable(share, false);
    const Tree before = Snapshot(share, true);
    ASSERT_GT(before.size(), 3u);

    Machine single = Prepare(work, "single", blid);
    Start(single, share);
    ASSERT_EQ(0, Wait(single)) << ReadFile(single.run + "/run.out");
    const MachineState expected = Inspect(single.machine, single.target);
    ASSERT_FALSE(expected.registry.empty());
    ASSERT_FALSE(expected.nrvinst.empty());

    std::vector<Machine> line;
    for (int i = 0; i < kMachines; ++i)
        line.push_back(Prepare(work, "m" + std::to_string(i), blid));
    for (auto &m : line)
        Start(m, share);
    std::vector<int> codes;
    for (const auto &m : line)
        codes.push_back(Wait(m));

    for (int i = 0; i < kMachines; ++i) {
        const Machine &m = line[static_cast<size_t>(i)];
        ASSERT_EQ(0, codes[static_cast<size_t>(i)]) << "machine " << i << "\n" << ReadFile(m.run + "/run.out");
        const MachineState got = Inspect(m.machine, m.target);
        EXPECT_EQ(expected.registry, got.registry) << "machine " << i;
        EXPECT_EQ(expected.nrvinst, got.nrvinst) << "machine " << i;
        EXPECT_EQ(expected.target, got.target) << "machine " << i;
    }

    EXPECT_EQ(before, Snapshot(share, true)) << "the share changed";
    SetWritable(share, true);
}

} // namespace
