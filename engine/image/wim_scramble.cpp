#include "engine/image/wim_scramble.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/path_map.h"

namespace halcyon::image {

namespace {

constexpr char kKey[16] = {'K', 'e', 's', 't', 'r', 'e', 'l', ' ', 'L', 'a', 'n', 't', 'e', 'r', 'n', 's'};
constexpr size_t kBlock = sizeof(kKey);

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

bool IsWimScrambled(const std::string &path)
{
    const std::string host = platform::HostPath(path);
    std::error_code ec;
    // Only a file can be opened as one (a folder opens on Linux, not on
    // Windows).
    if (!std::filesystem::is_regular_file(host, ec))
        return false;
    File file(std::fopen(host.c_str(), "rb"));
    if (!file)
        return false;
    unsigned char block[kBlock] = {};
    const size_t got = std::fread(block, 1, kBlock, file.get());
    (void)got;
    file.reset();
    const size_t len = strnlen(reinterpret_cast<const char *>(block), kBlock);
    const std::string_view text(reinterpret_cast<const char *>(block), len);
    return text.find("MSWIM") == std::string_view::npos;
}

bool EncryptDecryptWim(const std::string &path)
{
    const std::string host = platform::HostPath(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(host, ec))
        return false;
    File file(std::fopen(host.c_str(), "r+b"));
    if (!file)
        return false;
    unsigned char block[kBlock] = {};
    if (std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    const size_t got = std::fread(block, 1, kBlock, file.get());
    if (std::ferror(file.get()))
        return false;
    for (size_t i = 0; i < kBlock; ++i)
        block[i] = static_cast<unsigned char>(block[i] ^ static_cast<unsigned char>(kKey[i]));
    // Only the bytes that were there are written back: a file shorter than
    // the block keeps its length, so a second pass restores it.
    if (std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    if (std::fwrite(block, 1, got, file.get()) != got)
        return false;
    return std::fclose(file.release()) == 0;
}

} // namespace halcyon::image
