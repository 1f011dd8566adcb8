// A complete, self-consistent factory share made at run time: an IDF and a
// BOM, a scrambled foundation image, module images with setup scripts that
// really change the target, and the machine identity that matches them.
#pragma once

#include <string>

namespace halcyon::cli {

struct SampleMedia {
    std::string root;      // the share
    std::string idf;       // <root>/nx500.xml
    std::string bom;       // <root>/nx500.bom
    std::string blid;      // the BLID the machine must carry
    int modules = 0;       // numbered module sections the plan will hold
};

// Writes the share into `root` (created when missing). False with a message
// in `error` when something cannot be written.
bool WriteSampleMedia(const std::string &root, SampleMedia &media, std::string &error);

// Gives the emulated machine the identity the sample image was built for.
bool ApplySampleIdentity(const SampleMedia &media);

} // namespace halcyon::cli
