#include "tests/common/link_escape.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <system_error>

#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

// Every entry below `folder`, links not followed: relative path -> content
// ("<dir>", "<link>target", or the file's bytes).
std::map<std::string, std::string> Snapshot(const std::string &folder)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string rel = fs::relative(it->path(), folder).string();
        const fs::file_status st = it->symlink_status();
        if (fs::is_symlink(st))
            out[rel] = "<link>" + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(st))
            out[rel] = "<dir>";
        else
            out[rel] = ReadFile(it->path().string());
        // A rewrite with the same bytes still counts as a change.
        struct stat info{};
        if (::lstat(it->path().c_str(), &info) == 0)
            out[rel] += "@" + std::to_string(info.st_ino) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
                        std::to_string(info.st_mtim.tv_nsec);
    }
    return out;
}

// True when a file named like the canary's marker lies below `folder`
// (links not followed).
bool HoldsCanaryCopy(const std::string &folder)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename() == "canary.txt" && fs::is_regular_file(it->symlink_status()))
            return true;
    return false;
}

} // namespace

void ExpectNoLinkEscape(const LinkEscapeRow &row)
{
    std::string prefix = row.root;
    size_t start = 0;
    while (start < row.relative.size()) {
        const size_t slash = row.relative.find('/', start);
        const std::string part = row.relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        start = slash == std::string::npos ? row.relative.size() : slash + 1;
        const std::string component = prefix + "/" + part;
        prefix = component;

        TempDir canaryDir{"canary"};
        const std::string canary = canaryDir / "c";
        const std::string aside = component + ".aside";
        const bool existed = fs::exists(fs::symlink_status(component));
        std::error_code ec;
        if (existed && fs::is_directory(fs::symlink_status(component)))
            fs::copy(component, canary, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        else if (existed)
            fs::copy(component, canary, fs::copy_options::copy_symlinks, ec);
        if (!fs::exists(canary))
            fs::create_directories(canary);
        if (fs::is_directory(canary))
            WriteFile(canary + "/canary.txt", "canary");
        const auto before = Snapshot(fs::is_directory(canary) ? canary : canaryDir.path());
        if (existed)
            fs::rename(component, aside);
        fs::create_directories(fs::path(component).parent_path());
        fs::create_symlink(canary, component);

        const int32_t rc = row.run();
        // On the source side a link to a file cannot be told from its copy
        // in the output: the verb must refuse it.
        const bool linkKept = fs::is_symlink(fs::symlink_status(component)) && fs::read_symlink(component) == canary &&
                              (row.out.empty() || fs::is_directory(canary));
        EXPECT_TRUE(rc != 0 || linkKept) << row.name << ": a link at " << component << " was followed (rc 0)";
        if (!row.out.empty()) {
            EXPECT_FALSE(HoldsCanaryCopy(row.out)) << row.name << ": what " << component << " points to was copied";
        }
        EXPECT_EQ(Snapshot(fs::is_directory(canary) ? canary : canaryDir.path()), before)
            << row.name << ": the canary behind " << component << " changed";

        fs::remove_all(component, ec);
        if (existed)
            fs::rename(aside, component);
    }
}

} // namespace halcyon::test
