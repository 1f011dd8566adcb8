// ScrambleIdf: turns a plain IDF into its scrambled form (every byte XOR
// 0x5C) or back. The direction the caller expects is checked on the result
// before anything is written; the output is written beside its final place
// and renamed over it, so neither the input nor an earlier output is ever
// left half written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/path_map.h"

using namespace halcyon;

namespace {

constexpr unsigned char kMask = 0x5C;
constexpr std::string_view kXmlSignature = "<?xml version";
constexpr uint64_t kOptionScramble = 0x40000; // bit 18: the input is plain XML

constexpr int32_t kAlreadyScrambled = 78;
constexpr int32_t kNotScrambled = 79;
constexpr int32_t kOutputFailed = 80;
constexpr int32_t kInputFailed = 81;
constexpr int32_t kBadLength = 82;
constexpr int32_t kOutputCloseFailed = 84;
constexpr int32_t kInputCloseFailed = 85;
constexpr int32_t kOutputSizeFailed = 86;
constexpr int32_t kInputSizeFailed = 87;
constexpr int32_t kSizesDiffer = 88;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    bool Close()
    {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool ReadAll(int fd, unsigned char *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    // The length taken first must be the whole file.
    unsigned char extra;
    ssize_t n;
    while ((n = ::read(fd, &extra, 1)) < 0 && errno == EINTR) {
    }
    return n == 0;
}

bool WriteAll(int fd, const unsigned char *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string &hostPath)
{
    size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

// Writes `data` to a new file beside `outHost` and renames it over it.
bool ReplaceFile(const std::string &outHost, const std::vector<unsigned char> &data)
{
    // A short name of its own, so that an output name of any length leaves
    // room for it.
    std::string temp = FolderOf(outHost) + "/.scramble-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    Fd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.ok())
        return false;
    temp.assign(name.data());
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd.get(), 0666 & ~mask) == 0 && WriteAll(fd.get(), data.data(), data.size()) &&
              ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), outHost.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    Fd dir(::open(FolderOf(outHost).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.ok())
        ::fsync(dir.get());
    return true;
}

// Step 7: the sizes of both files, each opened and closed again.
int32_t CompareSizes(const std::string &inHost, const std::string &outHost)
{
    struct stat inStat{}, outStat{};
    {
        Fd in(::open(inHost.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!in.ok())
            return kInputFailed;
        if (::fstat(in.get(), &inStat) != 0)
            return kInputSizeFailed;
        if (!in.Close())
            return kInputCloseFailed;
    }
    {
        Fd out(::open(outHost.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!out.ok())
            return kOutputFailed;
        if (::fstat(out.get(), &outStat) != 0)
            return kOutputSizeFailed;
        if (!out.Close())
            return kOutputCloseFailed;
    }
    return inStat.st_size == outStat.st_size ? 0 : kSizesDiffer;
}

int32_t Scramble(const std::string &inPath, const std::string &outPath, uint64_t options)
{
    const std::string inHost = platform::HostPath(inPath);
    // Non-blocking open: a FIFO or device named as input is refused below
    // instead of waiting for a writer.
    Fd in(inPath.empty() ? -1 : ::open(inHost.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat inStat{};
    if (!in.ok() || ::fstat(in.get(), &inStat) != 0 || !S_ISREG(inStat.st_mode))
        return kInputFailed;
    if (inStat.st_size < 1 || inStat.st_size > INT32_MAX)
        return kBadLength;

    std::vector<unsigned char> data(static_cast<size_t>(inStat.st_size));
    if (!ReadAll(in.get(), data.data(), data.size()))
        return kInputFailed;
    in.Close();

    for (unsigned char &b : data)
        b ^= kMask;
    const bool signature = data.size() >= kXmlSignature.size() &&
                           std::memcmp(data.data(), kXmlSignature.data(), kXmlSignature.size()) == 0;
    if ((options & kOptionScramble) && signature)
        return kAlreadyScrambled;
    if (!(options & kOptionScramble) && !signature)
        return kNotScrambled;

    // The input is never changed: an output that is the input file itself
    // (by any name) is refused.
    if (outPath.empty())
        return kOutputFailed;
    const std::string outHost = platform::HostPath(outPath);
    struct stat outStat{};
    if (::stat(outHost.c_str(), &outStat) == 0) {
        if (outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino)
            return kOutputFailed;
        if (!S_ISREG(outStat.st_mode))
            return kOutputFailed;
    }
    if (!ReplaceFile(outHost, data))
        return kOutputFailed;
    data.clear();
    data.shrink_to_fit();

    return CompareSizes(inHost, outHost);
}

} // namespace

extern "C" HALCYON_API int32_t ScrambleIdf(const char *in, const char *out, uint64_t options)
{
    return frame::RunVerb<int32_t>("ScrambleIdf", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        return Scramble(frame::Arg(in), frame::Arg(out), options);
    });
}
