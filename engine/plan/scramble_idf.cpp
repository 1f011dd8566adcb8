// ScrambleIdf: turns a plain IDF into its scrambled form (every byte XOR
// 0x5C) or back. The direction the caller expects is checked on the result
// before anything is written; the output is written beside its final place
// and renamed over it, so neither the input nor an earlier output is ever
// left half written.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"
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

// Reads exactly `size` bytes, and the length taken first must be the whole
// file.
bool ReadAll(platform::HostFile &file, unsigned char *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        size_t got = 0;
        if (file.Read(data + done, size - done, &got) != 0 || got == 0)
            return false;
        done += got;
    }
    unsigned char extra;
    size_t got = 0;
    return file.Read(&extra, 1, &got) == 0 && got == 0;
}

std::string FolderOf(const std::string &hostPath)
{
    size_t slash = hostPath.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? hostPath.substr(0, 1) : hostPath.substr(0, slash);
}

// Writes `data` to a new file beside `outHost` and renames it over it.
bool ReplaceFile(const std::string &outHost, const std::vector<unsigned char> &data)
{
    // A short name of its own, so that an output name of any length leaves
    // room for it.
    const std::string stem = FolderOf(outHost) + "/.scramble-" + std::to_string(platform::CurrentProcessId()) + "-";
    platform::HostFile file;
    std::string temp;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temp = stem + std::to_string(attempt);
        err = file.Open(temp, platform::FileAccess::Write, platform::FileCreation::CreateNew);
    }
    if (err != 0)
        return false;
    bool ok = file.Write(data.data(), data.size()) == 0 && file.Flush() == 0;
    ok = file.Close() == 0 && ok;
    // The rename is made durable with the folder.
    ok = ok && platform::ReplaceHostFile(temp, outHost, true) == 0;
    if (!ok) {
        platform::RemoveHostFile(temp);
        return false;
    }
    return true;
}

// The size of a file, opened and closed again; the codes are the input's or
// the output's.
int32_t SizeOf(const std::string &host, uint64_t &size, int32_t openFailed, int32_t sizeFailed,
               int32_t closeFailed)
{
    platform::HostFile file;
    if (file.Open(host, platform::FileAccess::Read, platform::FileCreation::OpenExisting) != 0)
        return openFailed;
    if (file.Size(&size) != 0)
        return sizeFailed;
    if (file.Close() != 0)
        return closeFailed;
    return 0;
}

// Step 7: the sizes of both files, each opened and closed again.
int32_t CompareSizes(const std::string &inHost, const std::string &outHost)
{
    uint64_t inSize = 0, outSize = 0;
    if (int32_t r = SizeOf(inHost, inSize, kInputFailed, kInputSizeFailed, kInputCloseFailed))
        return r;
    if (int32_t r = SizeOf(outHost, outSize, kOutputFailed, kOutputSizeFailed, kOutputCloseFailed))
        return r;
    return inSize == outSize ? 0 : kSizesDiffer;
}

int32_t Scramble(const std::string &inPath, const std::string &outPath, uint64_t options)
{
    const std::string inHost = platform::HostPath(inPath);
    // Only a regular file is opened: a FIFO or device named as input is
    // refused instead of waiting for a writer.
    const auto inStatus = inPath.empty() ? std::nullopt : platform::StatHostPath(inHost);
    if (!inStatus || !inStatus->regular)
        return kInputFailed;
    platform::HostFile in;
    uint64_t inSize = 0;
    if (in.Open(inHost, platform::FileAccess::Read, platform::FileCreation::OpenExisting) != 0 ||
        in.Size(&inSize) != 0)
        return kInputFailed;
    if (inSize < 1 || inSize > INT32_MAX)
        return kBadLength;

    std::vector<unsigned char> data(static_cast<size_t>(inSize));
    if (!ReadAll(in, data.data(), data.size()))
        return kInputFailed;
    (void)in.Close();

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
    if (const auto outStatus = platform::StatHostPath(outHost)) {
        std::error_code ec;
        if (std::filesystem::equivalent(platform::FsPath(inHost), platform::FsPath(outHost), ec) || ec)
            return kOutputFailed;
        if (!outStatus->regular)
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
