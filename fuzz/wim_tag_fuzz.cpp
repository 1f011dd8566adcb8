// Fuzz target: arbitrary bytes as the tail of a WIM file, read for metadata
// elements and compared, and the same bytes taken as metadata text.
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/image/wim_scramble.h"
#include "fuzz/fuzz_scratch.h"
#include "engine/image/wim_tags.h"

using namespace halcyon;

namespace {

std::string TempFile()
{
    static const std::string path = fuzz::ScratchFor("wim_tag_fuzz").Path("image.wim");
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    // The first byte picks a prefix of FF FE "<WIM>" so that the search
    // often finds a start and the element scan is exercised.
    std::string content = bytes;
    if (!bytes.empty() && (bytes[0] & 1))
        content = std::string("\xFF\xFE<\0W\0I\0M\0>\0", 12) + bytes.substr(1);

    const std::string path = TempFile();
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    std::string value;
    for (const char *tag : {"BLID", "RELEASEID", "TOTALBYTES", "image", ""})
        image::ReadWimTagValue(path, tag, value);
    image::CompareWimReleaseId(path, "300100");
    image::IsWimScrambled(path);
    image::EncryptDecryptWim(path);
    image::FindWimTagInXml(bytes, "BLID", value);
    return 0;
}
