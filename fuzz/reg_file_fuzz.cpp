// Fuzz target: any bytes imported as a registry text file; what that made is
// exported, imported into an empty registry and exported again, and the two
// exports must be equal byte for byte (malformed files are refused whole). The same bytes are read as a private
// profile file and written to.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/reg_fuzz_scratch.h"
#include "platform/profile.h"
#include "platform/reg_file.h"
#include "platform/registry.h"

using namespace halcyon::platform;

namespace {

// HKCR is a view of the two Classes keys, exported with their roots.
constexpr reg::HKEY kRoots[] = {reg::HKEY_CURRENT_USER, reg::HKEY_LOCAL_MACHINE, reg::HKEY_USERS,
                                reg::HKEY_PERFORMANCE_DATA, reg::HKEY_CURRENT_CONFIG, reg::HKEY_DYN_DATA};

std::vector<std::string> ExportAll()
{
    std::vector<std::string> files;
    for (reg::HKEY r : kRoots) {
        files.emplace_back();
        if (reg::ExportRegText(r, "", 0, &files.back()) != reg::ERROR_SUCCESS)
            __builtin_trap();
    }
    return files;
}

void Clear()
{
    for (reg::HKEY r : kRoots)
        reg::RegDeleteTree(r, "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &root = halcyon::fuzz::ScratchMachine("reg-file-fuzz");
    std::string bytes(reinterpret_cast<const char *>(data), size);

    // All of it in one transaction that is rolled back: the store is empty
    // again for the next input and nothing is written to the disk.
    reg::RegBatch scratch;
    std::string error;
    if (reg::ImportRegText(bytes, 0, &error) == reg::ERROR_SUCCESS) {
        std::vector<std::string> first = ExportAll();
        Clear();
        for (const auto &file : first)
            if (reg::ImportRegText(file, 0, &error) != reg::ERROR_SUCCESS)
                __builtin_trap();
        if (ExportAll() != first)
            __builtin_trap();
    }

    const std::string ini = root + "/fuzz.ini";
    {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    for (const auto &section : GetPrivateProfileSectionNames(ini)) {
        for (const auto &key : GetPrivateProfileKeys(section, ini))
            GetPrivateProfileInt(section, key, 0, ini);
        WritePrivateProfileString(section, "Fuzz", "value", ini);
    }
    WritePrivateProfileString("New", "Key", "v", ini);
    if (GetPrivateProfileString("New", "Key", "", ini) != "v")
        __builtin_trap();
    return 0;
}
