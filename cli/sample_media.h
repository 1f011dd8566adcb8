// A complete, self-consistent factory share made at run time: an IDF and a
// BOM (and an IDF library to pick the IDF from), a scrambled foundation image
// with its application image, module images with setup scripts that really
// change the target and CRC manifests on their folders, the machine identity
// that matches them, and the recovery media cut from the share (two discs and
// a USB medium).
#pragma once

#include <string>
#include <vector>

namespace halcyon::cli {

struct SampleMedia {
    std::string root;      // the share
    std::string idf;       // <root>/nx500.xml
    std::string bom;       // <root>/nx500.bom
    std::string blid;      // the BLID the machine must carry
    int modules = 0;       // numbered module sections the plan will hold
    std::vector<std::string> discs; // recovery discs <root>/recovery/rdvd1, rdvd2
    std::string usb;                // the recovery USB medium <root>/recovery/rufd1
};

// Writes the share into `root` (created when missing). False with a message
// in `error` when something cannot be written.
bool WriteSampleMedia(const std::string &root, SampleMedia &media, std::string &error);

// Gives the emulated machine the identity the sample image was built for.
bool ApplySampleIdentity(const SampleMedia &media);

} // namespace halcyon::cli
