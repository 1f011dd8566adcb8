// One shape for every symbolic-link escape test: a link planted at each
// component a verb joins below its root, pointing to a canary folder that the
// verb must leave exactly as it was.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon::test {

// A folder with known contents (a file and a subfolder with a file).
class Canary {
public:
    explicit Canary(std::string path);
    const std::string &path() const { return path_; }
    std::string file() const { return path_ + "/canary.txt"; }
    // Empty when every entry is as it was; otherwise what changed.
    std::string Changes() const;

private:
    static std::map<std::string, std::string> Snapshot(const std::string &path);
    std::string path_;
    std::map<std::string, std::string> before_;
};

// One run of the verb with the link in place.
struct LinkEscapeScene {
    std::string root;         // host folder the components are joined below
    std::function<int()> run; // the verb; its return code
    // What the link points to; empty: the canary folder (or its file). A
    // scene that wants a particular file outside (a scrambled image) puts it
    // in "<scratch>/canary" and names it here: it is part of the canary.
    std::string linkTarget;
};

struct LinkEscapeResult {
    std::string linkAt; // host path of the planted link
    int rc = 0;
    bool linkKept = false; // the link is still a link after the run
};

// For each prefix of `joined` ("a/b/c": "a", "a/b", "a/b/c"): `setup` builds
// a fresh scene in a fresh scratch folder, the prefix below scene.root is
// replaced by a symbolic link to a canary folder (or, with `toFile`, to the
// canary's file; the components before it are created as folders) and the
// verb runs. Adds a test failure when anything in the canary changed; the
// caller judges the codes and links in what is returned.
std::vector<LinkEscapeResult> ExpectNoLinkEscape(std::string_view joined,
                                                 const std::function<LinkEscapeScene(const std::string &scratch)> &setup,
                                                 bool toFile = false);

} // namespace halcyon::test
