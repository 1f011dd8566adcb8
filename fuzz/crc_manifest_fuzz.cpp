// Fuzz target: a folder laid out from the input (file names, contents,
// empty folders, a crc.info of any length) checked against its manifest,
// then given a fresh manifest that must check as sound. The folder is kept
// in memory (the check reads through its file-tree interface).
#include <cstdint>
#include <string>

#include "engine/frame/folder_crc.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/memory_crc_tree.h"

using namespace halcyon;

namespace {

// A file-name-safe piece of the input: no "/", no NUL, not "." or "..".
std::string Name(const std::string &raw)
{
    std::string n;
    for (char c : raw)
        if (c != '/' && c != '\0')
            n.push_back(c);
    if (n.empty() || n == "." || n == "..")
        n = "n";
    return n.substr(0, 60);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::QuietStdout();
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::string folder = "/fuzz/m";
    const std::string manifest = folder + "/" + frame::kCrcManifestFolder;
    fuzz::MemoryCrcTree &tree = fuzz::TreeWithManifest(manifest);
    tree.PutFile(manifest + "/" + frame::kFilesInfoFile, "");

    // Records separated by '|': the first is crc.info, the others
    // "name=contents" files or "name/" empty folders (one level deep).
    size_t pos = 0;
    int index = 0;
    while (pos <= input.size() && index < 16) {
        const size_t bar = std::min(input.find('|', pos), input.size());
        const std::string record = input.substr(pos, bar - pos);
        pos = bar + 1;
        if (index++ == 0) {
            tree.PutFile(manifest + "/" + frame::kCrcInfoFile, record);
            continue;
        }
        const size_t eq = record.find('=');
        if (!record.empty() && record.back() == '/' && eq == std::string::npos)
            tree.AddFolder(folder + "/" + Name(record.substr(0, record.size() - 1)));
        else
            tree.PutFile(folder + "/" + Name(record.substr(0, eq)), eq == std::string::npos ? "" : record.substr(eq + 1));
    }
    std::string message;
    frame::CFolderCrc crc(&tree);
    const int32_t first = crc.CheckFolder(folder, message);
    FUZZ_CHECK(crc.CheckFolder(folder + "\\\\", message) == first);

    // A manifest written for the folder as it is makes it check as sound.
    uint32_t value = 0;
    if (crc.ComputeFolderCrc(folder, value, message) != 0)
        return 0;
    const frame::FolderManifest written = frame::ComposeFolderManifest(crc, value);
    if (!tree.PutFile(manifest + "/" + frame::kCrcInfoFile, written.crcInfo) ||
        !tree.PutFile(manifest + "/" + frame::kFilesInfoFile, written.filesInfo))
        return 0; // a file name of the input took the manifest's place
    FUZZ_CHECK(crc.CheckFolder(folder, message) == 0);
    return 0;
}
