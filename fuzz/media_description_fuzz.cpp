// Fuzz target: any text as a recovery media description (nrvhdrcv.ini).
// What is read must survive being written again: the entries of every
// medium and the source lists read back unchanged. The same text is then
// checked against a small plan, as the recovery media check does.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/frame/plan_records.h"
#include "engine/image/media_description.h"
#include "fuzz/fuzz_scratch.h"
#include "halcyon/HalcyonDLL.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

constexpr const char *kPlan = "[Image]\r\nReleaseName=Foundation\r\nReleaseID=300100\r\nPathToRelease=data\\300100\r\n"
                              "BLID=BL0001\r\n\r\n[RecoveryImage]\r\nReleaseName=Recovery\r\nReleaseID=300200\r\n"
                              "PathToRelease=data\\300200\r\n\r\n[1]\r\nPartId=P1\r\nInstallerType=EXE\r\n"
                              "ReleaseName=Tools\r\nReleaseID=300310\r\nPathToRelease=mods\\300310\r\n"
                              "SetupFile=setup.sh\r\nMajorVersion=1\r\nDetailedVersion=1.0\r\nBasePlus=True\r\n"
                              "Temporary=False\r\nRecoverable=True\r\nPartType=Module\r\nTotalSize=10\r\n\r\n"
                              "[2]\r\nEnd=True\r\n";

struct Read {
    std::string winre, fi;
    std::vector<std::vector<std::string>> media;
};

Read ReadDescription(const support::CMemoryIniIO &store, std::string_view type)
{
    Read r;
    r.winre = store.GetString(image::kMediaSourceSection, image::kWinrePartKey, "", image::kMediaValueChars + 1);
    r.fi = store.GetString(image::kMediaSourceSection, image::kFiPartKey, "", image::kMediaValueChars + 1);
    for (const auto &value : image::ReadMediaValues(store, type))
        r.media.push_back(image::SplitMediaEntries(value));
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::Scratch &scratch = [&]() -> fuzz::Scratch & {
        auto &s = fuzz::ScratchFor("media_description_fuzz");
        std::filesystem::create_directories(s.Path("machine"));
        fuzz::WriteWhole(s.Path("machine/machine.ini"), "[Identity]\r\nBLID=BL0001\r\nRMIDOnOEMString1=False\r\n");
        fuzz::WriteWhole(s.Path("halcyon.ini"), kPlan);
        return s;
    }();
    static const std::string description = scratch.Path("nrvhdrcv.ini"), again = scratch.Path("again.ini"),
                             plan = scratch.Path("halcyon.ini");
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    support::CMemoryIniIO store;
    store.LoadText(text);
    for (const char *type : {"RDVD", "RUFD"}) {
        const Read first = ReadDescription(store, type);
        image::MediaDescription d;
        d.winrePart = first.winre;
        d.fiPart = first.fi;
        d.mediaType = type;
        d.media = first.media;
        // A lone CR is no line end when reading, so it can sit inside a
        // value; writing refuses it rather than break the layout.
        if (!d.Save(again)) {
            FUZZ_CHECK(text.find('\r') != std::string_view::npos);
            continue;
        }
        support::CMemoryIniIO reread;
        FUZZ_CHECK(reread.LoadFile(again));
        const Read second = ReadDescription(reread, type);
        FUZZ_CHECK(second.media == first.media);
        FUZZ_CHECK(second.winre == first.winre && second.fi == first.fi);
    }

    if (fuzz::WriteWhole(description, text))
        for (uint64_t options : {0x0ull, 0x400ull})
            CompareNrvIniToHalIni(description.c_str(), plan.c_str(), options);
    return 0;
}
