#include "engine/image/wim_scramble.h"

#include <cstring>
#include <string_view>

#include "platform/host_file.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"

namespace halcyon::image {

namespace {

constexpr char kKey[16] = {'K', 'e', 's', 't', 'r', 'e', 'l', ' ', 'L', 'a', 'n', 't', 'e', 'r', 'n', 's'};
constexpr size_t kBlock = sizeof(kKey);

// Opens the file at `path` when it is a regular file (a folder opens on
// Linux, not on Windows): for reading, or for a change in place, where a
// link at the path is refused and never written through.
bool OpenWimFile(const std::string &path, bool inPlace, platform::HostFile &file)
{
    const std::string host = platform::HostPath(path);
    const auto status = inPlace ? platform::LinkStatHostPath(host) : platform::StatHostPath(host);
    if (!status || !status->regular)
        return false;
    if (inPlace)
        return file.OpenNoFollow(host, platform::FileAccess::ReadWrite, platform::FileCreation::OpenExisting) == 0;
    return file.Open(host, platform::FileAccess::Read, platform::FileCreation::OpenExisting) == 0;
}

} // namespace

bool IsWimScrambled(const std::string &path)
{
    platform::HostFile file;
    if (!OpenWimFile(path, false, file))
        return false;
    unsigned char block[kBlock] = {};
    size_t got = 0;
    (void)file.ReadAt(0, block, kBlock, &got);
    const size_t len = strnlen(reinterpret_cast<const char *>(block), kBlock);
    const std::string_view text(reinterpret_cast<const char *>(block), len);
    return text.find("MSWIM") == std::string_view::npos;
}

bool EncryptDecryptWim(const std::string &path)
{
    platform::HostFile file;
    if (!OpenWimFile(path, true, file))
        return false;
    unsigned char block[kBlock] = {};
    size_t got = 0;
    if (file.ReadAt(0, block, kBlock, &got) != 0)
        return false;
    for (size_t i = 0; i < kBlock; ++i)
        block[i] = static_cast<unsigned char>(block[i] ^ static_cast<unsigned char>(kKey[i]));
    // Only the bytes that were there are written back: a file shorter than
    // the block keeps its length, so a second pass restores it.
    if (file.WriteAt(0, block, got) != 0)
        return false;
    return file.Close() == 0;
}

} // namespace halcyon::image
