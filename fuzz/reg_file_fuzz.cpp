// Fuzz target: any bytes imported as a registry text file, then the keys it
// made exported again, and the same bytes read as a private profile file
// and written to.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/profile.h"
#include "platform/reg_file.h"
#include "platform/registry.h"

using namespace halcyon::platform;

namespace {

const std::string &Root()
{
    static const std::string root = [] {
        char tmpl[] = "/tmp/reg-file-fuzz-XXXXXX";
        const char *made = mkdtemp(tmpl);
        std::string r = made ? made : "/tmp/reg-file-fuzz";
        setenv("HALCYON_MACHINE", r.c_str(), 1);
        return r;
    }();
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &root = Root();
    std::string bytes(reinterpret_cast<const char *>(data), size);

    std::string error;
    reg::ImportRegText(bytes, 0, &error);
    for (reg::HKEY r : {reg::HKEY_LOCAL_MACHINE, reg::HKEY_CURRENT_USER, reg::HKEY_CLASSES_ROOT}) {
        std::string text;
        if (reg::ExportRegText(r, "", 0, &text) == reg::ERROR_SUCCESS) {
            // What was exported imports again.
            if (reg::ImportRegText(text, 0, &error) == reg::ERROR_INVALID_DATA)
                __builtin_trap();
        }
        reg::RegDeleteTree(r, "");
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
