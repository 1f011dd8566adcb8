#include "tests/common/link_escape.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

Canary::Canary(std::string path) : path_(std::move(path))
{
    WriteFile(path_ + "/canary.txt", "canary\n");
    WriteFile(path_ + "/sub/keep.txt", "keep\n");
    before_ = Snapshot(path_);
}

std::map<std::string, std::string> Canary::Snapshot(const std::string &path)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        std::string rel = fs::relative(it->path(), path).string();
        std::error_code sec;
        auto st = it->symlink_status(sec);
        if (fs::is_symlink(st))
            out[rel] = "link";
        else if (fs::is_directory(st))
            out[rel] = "folder";
        else
            out[rel] = "file " + std::to_string(static_cast<unsigned>(st.permissions())) + ":" +
                       ReadFile(it->path().string());
    }
    return out;
}

std::string Canary::Changes() const
{
    auto now = Snapshot(path_);
    std::string out;
    for (const auto &[name, what] : before_) {
        auto it = now.find(name);
        if (it == now.end())
            out += "removed " + name + "; ";
        else if (it->second != what)
            out += "changed " + name + "; ";
    }
    for (const auto &[name, what] : now)
        if (!before_.count(name))
            out += "added " + name + "; ";
    return out;
}

std::vector<LinkEscapeResult> ExpectNoLinkEscape(std::string_view joined,
                                                 const std::function<LinkEscapeScene(const std::string &)> &setup,
                                                 bool toFile)
{
    std::vector<std::string> parts;
    for (const auto &p : fs::path(std::string(joined)))
        if (!p.empty() && p != "." && p != "/")
            parts.push_back(p.string());

    std::vector<LinkEscapeResult> results;
    std::string prefix;
    for (const auto &part : parts) {
        prefix += (prefix.empty() ? "" : "/") + part;
        TempDir scratch("link-escape");
        LinkEscapeScene scene = setup(scratch.path());
        Canary canary(scratch / "canary");
        LinkEscapeResult r;
        r.linkAt = scene.root + "/" + prefix;
        SCOPED_TRACE("link at " + r.linkAt);
        std::error_code ec;
        fs::remove_all(r.linkAt, ec);
        fs::create_directories(fs::path(r.linkAt).parent_path(), ec);
        fs::create_symlink(!scene.linkTarget.empty() ? scene.linkTarget : toFile ? canary.file() : canary.path(),
                           r.linkAt, ec);
        EXPECT_FALSE(ec) << ec.message();
        r.rc = scene.run();
        r.linkKept = fs::is_symlink(fs::symlink_status(r.linkAt, ec));
        EXPECT_EQ(canary.Changes(), "") << "verb returned " << r.rc;
        results.push_back(r);
    }
    return results;
}

} // namespace halcyon::test
