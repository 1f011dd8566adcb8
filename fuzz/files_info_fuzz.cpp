// Fuzz target: the manifest listing "files.info". A folder is laid out from
// the input (records split at '|': the first is the listing's contents, the
// others "name=contents" files or "name/" empty folders) and checked. The
// listing is never read for the check, so any contents must give the result
// an empty listing gives; a manifest written for the folder must then check
// as sound, and its listing must name every entry with its size, one line
// each. The folder is kept in memory (the check reads through its file-tree
// interface).
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/frame/folder_crc.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/memory_crc_tree.h"

using namespace halcyon;

namespace {

// A file-name piece of the input: no separator, NUL or line break, not "."
// or "..", not the manifest folder itself.
std::string Name(std::string_view raw)
{
    std::string n;
    for (char c : raw)
        if (c != '/' && c != '\0' && c != '\r' && c != '\n' && c != '\t')
            n.push_back(c);
    if (n.empty() || n == "." || n == ".." || n.find(frame::kCrcManifestFolder) != std::string::npos)
        n = "n";
    return n.substr(0, 60);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::QuietStdout();
    static const std::string folder = "/fuzz/m";
    static const std::string manifest = folder + "/" + frame::kCrcManifestFolder;
    static const std::string listingPath = manifest + "/" + frame::kFilesInfoFile;
    static const std::string infoPath = manifest + "/" + frame::kCrcInfoFile;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    fuzz::MemoryCrcTree &tree = fuzz::TreeWithManifest(manifest);
    tree.PutFile(infoPath, std::string("\0\0\0\0\0\0\0\0\0\0", 10));

    std::string_view listing;
    size_t pos = 0;
    for (int index = 0; pos <= input.size() && index < 12; ++index) {
        const size_t bar = std::min(input.find('|', pos), input.size());
        const std::string_view record = input.substr(pos, bar - pos);
        pos = bar + 1;
        if (index == 0) {
            listing = record;
            continue;
        }
        const size_t eq = record.find('=');
        if (!record.empty() && record.back() == '/' && eq == std::string_view::npos)
            tree.AddFolder(folder + "/" + Name(record.substr(0, record.size() - 1)));
        else
            tree.PutFile(folder + "/" + Name(record.substr(0, eq)),
                         eq == std::string_view::npos ? std::string_view() : record.substr(eq + 1));
    }

    std::string message;
    frame::CFolderCrc crc(&tree);
    tree.PutFile(listingPath, "");
    const int32_t plain = crc.CheckFolder(folder, message);
    tree.PutFile(listingPath, listing);
    FUZZ_CHECK(crc.CheckFolder(folder, message) == plain);

    // The writer fails only as the check fails before it reads the CRC.
    uint32_t value = 0;
    const int32_t written = crc.ComputeFolderCrc(folder, value, message);
    FUZZ_CHECK(written == 0 || written == plain);
    if (written != 0)
        return 0;
    const frame::FolderManifest m = frame::ComposeFolderManifest(crc, value);
    FUZZ_CHECK(tree.PutFile(infoPath, m.crcInfo) && tree.PutFile(listingPath, m.filesInfo));
    FUZZ_CHECK(crc.CheckFolder(folder, message) == 0);

    // One "name<TAB>size" or "name<TAB><DIR>" line per entry, in table order.
    const std::string &text = *tree.FileData(listingPath);
    size_t at = 0;
    for (size_t i = 0; i < crc.Entries().size(); ++i) {
        const size_t end = text.find("\r\n", at);
        FUZZ_CHECK(end != std::string::npos);
        const std::string expected =
            crc.RelativeName(i) + "\t" +
            (crc.Entries()[i].IsFile() ? std::to_string(crc.Sizes()[i]) : std::string("<DIR>"));
        FUZZ_CHECK(text.compare(at, end - at, expected) == 0);
        at = end + 2;
    }
    FUZZ_CHECK(at == text.size());
    return 0;
}
