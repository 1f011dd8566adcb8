// Fuzz target: a folder laid out from the input (file names, contents,
// empty folders, a crc.info of any length) checked against its manifest.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/frame/folder_crc.h"
#include "fuzz/fuzz_scratch.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

const std::string &Root() { return fuzz::ScratchFor("crc_manifest_fuzz").root(); }

void Write(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

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
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::string folder = Root() + "/m";
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder + "/_FS_SWRINFO", ec);
    Write(folder + "/_FS_SWRINFO/files.info", "");

    // Records separated by '|': the first is crc.info, the others
    // "name=contents" files or "name/" empty folders (one level deep).
    size_t pos = 0;
    int index = 0;
    while (pos <= input.size() && index < 16) {
        const size_t bar = std::min(input.find('|', pos), input.size());
        const std::string record = input.substr(pos, bar - pos);
        pos = bar + 1;
        if (index++ == 0) {
            Write(folder + "/_FS_SWRINFO/crc.info", record);
            continue;
        }
        const size_t eq = record.find('=');
        if (!record.empty() && record.back() == '/' && eq == std::string::npos)
            fs::create_directories(folder + "/" + Name(record.substr(0, record.size() - 1)), ec);
        else
            Write(folder + "/" + Name(record.substr(0, eq)), eq == std::string::npos ? "" : record.substr(eq + 1));
    }
    std::string message;
    frame::CheckFolder(folder, message);
    frame::CheckFolder(folder + "\\\\", message);
    frame::WriteFolderManifest(folder, message);
    frame::CheckFolder(folder, message);
    return 0;
}
