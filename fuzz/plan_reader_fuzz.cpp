// Fuzz target: any text as an install plan, through the INI store, the plan
// check (both with and without a required recovery image) and the plan
// readers. The store's text must read back as itself, and the check must
// change nothing.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/frame/plan_records.h"
#include "engine/plan/verify_ini.h"
#include "fuzz/fuzz_scratch.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        fuzz::QuietStdout();
        // A machine that names its identity, so the image reader asks no firmware.
        auto &scratch = fuzz::ScratchFor("plan_reader_fuzz");
        std::filesystem::create_directories(scratch.Path("machine"));
        return fuzz::WriteWhole(scratch.Path("machine/machine.ini"),
                                "[Identity]\r\nBLID=BL0001\r\nRMIDOnOEMString1=False\r\n");
    }();
    (void)ready;
    support::CMemoryIniIO store(true);
    store.LoadText(std::string_view(reinterpret_cast<const char *>(data), size));
    const std::string text = store.ToText();
    {
        support::CMemoryIniIO again;
        again.LoadText(text);
        FUZZ_CHECK(again.ToText() == text);
    }

    VerifyIni(store, "", 0);
    VerifyIni(store, "", kVerifyAllowNoRecoveryImage);
    FUZZ_CHECK(store.ToText() == text);

    ModuleRecord record;
    for (const char *family : {"", "PE", "Image App"})
        for (int i = 1; i <= 16; ++i)
            if (ReadModuleRecord(std::string(family) + std::to_string(i), &store, record) != 0)
                break;
    std::string name, machineId, path, file, releaseId;
    for (uint64_t options : {0x0ull, 0x4ull, 0x200000ull})
        LoadGenericImage("", &store, name, machineId, path, file, releaseId, options, false);
    return 0;
}
