// halcyon sample-media DIR: writes a complete sample factory share and the
// recovery media cut from it.
#include <cstdio>

#include "cli/command.h"
#include "cli/sample_media.h"

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg("sample-media", "write a complete sample factory share (IDF, BOM, images, modules, recovery media)",
                               "halcyon sample-media DIR", Run);

int Run(const Args &args)
{
    Options o(args);
    if (o.Positional().size() != 1)
        return UsageError(*FindCommand("sample-media"), "one folder expected");
    SampleMedia media;
    std::string error;
    if (!WriteSampleMedia(o.Positional()[0], media, error)) {
        std::fprintf(stderr, "halcyon sample-media: %s\n", error.c_str());
        return 1;
    }
    std::printf("sample media written to %s\n  IDF  %s\n  BOM  %s\n  machine BLID %s\n", media.root.c_str(),
                media.idf.c_str(), media.bom.c_str(), media.blid.c_str());
    for (const auto &disc : media.discs)
        std::printf("  recovery disc  %s\n", disc.c_str());
    std::printf("  recovery USB medium  %s\n", media.usb.c_str());
    return 0;
}

} // namespace
} // namespace halcyon::cli
