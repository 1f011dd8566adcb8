// libFuzzer target: the PE version-resource reader and the version block
// tree on arbitrary bytes. Any read outside the input is caught by the
// address sanitizer the fuzz build uses.
#include <cstddef>
#include <cstdint>

#include "verprobe/pe_reader.h"
#include "verprobe/version_info.h"

using namespace halcyon::verprobe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MemorySource source(data, size);
    if (auto resource = FindVersionResource(source)) {
        VersionInfo info(std::move(*resource));
        info.FixedFileVersion();
        if (auto translation = info.QueryBytes("\\VarFileInfo\\Translation"))
            (void)translation->size();
        info.QueryText("\\StringFileInfo\\040904b0\\LegalCopyright");
    }
    // The block tree alone, as if the whole input were the resource.
    VersionInfo raw(std::vector<uint8_t>(data, data + size));
    raw.FixedFileVersion();
    raw.QueryText("\\StringFileInfo\\040904b0\\LegalCopyright");
    return 0;
}
