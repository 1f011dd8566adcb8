// Scratch space of a fuzz target: one folder per process on tmpfs
// (/dev/shm, falling back to /tmp), so that targets which must hand the
// engine real files stay fast, and removed again when the process exits
// normally. The emulated machine of the engine points into it as well, so
// no target touches a machine folder of the user.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/non_copyable.h"

namespace halcyon::fuzz {

class Scratch : NonCopyable {
public:
    explicit Scratch(const char *name)
    {
        for (const char *base : {"/dev/shm", "/tmp"}) {
            std::string tmpl = std::string(base) + "/" + name + "-XXXXXX";
            if (::mkdtemp(tmpl.data())) {
                root_ = tmpl;
                break;
            }
        }
        if (root_.empty())
            std::abort();
        ::setenv("HALCYON_MACHINE", (root_ + "/machine").c_str(), 1);
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    const std::string &root() const { return root_; }
    std::string Path(std::string_view name) const { return root_ + "/" + std::string(name); }

private:
    std::string root_;
};

// The process's scratch folder, made on first use.
inline Scratch &ScratchFor(const char *name)
{
    static Scratch scratch(name);
    return scratch;
}

// Replaces the file at `path` with `data`; false when it cannot be written.
inline bool WriteWhole(const std::string &path, std::string_view data)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string ReadWhole(const std::string &path)
{
    std::string out;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[8192];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

// Sends standard output (the engine's echoed operator lines) to /dev/null;
// libFuzzer reports on standard error.
inline void QuietStdout()
{
    static const bool done = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)done;
}

// Stops the run with a message when a property of the reader does not
// hold; libFuzzer reports the abort with the input that caused it.
#define FUZZ_CHECK(cond)                                                                                         \
    do {                                                                                                         \
        if (!(cond)) {                                                                                           \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                 \
            std::abort();                                                                                        \
        }                                                                                                        \
    } while (0)

} // namespace halcyon::fuzz
