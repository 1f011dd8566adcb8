// Making WIM files for tests and sample media: capture a folder as an image
// with the properties the engine reads from the image XML, add further
// images, split a WIM into parts with a chosen suffix.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace halcyon::support::wim {

enum class WimCompression { None, Xpress, Lzx };

struct WimImageSpec {
    std::string sourceFolder;  // host path or Windows path text of the folder to capture
    std::string name;          // image NAME; empty: "Image <n>"
    std::string description;   // DESCRIPTION ("FOUNDATION IMAGE 1", ...); empty: none
    std::string blid;          // BLID list ("ABC1234567,XYZ..."); empty: no element
    std::string releaseId;     // RELEASEID; empty: no element
    bool emptyBlid = false;    // write an empty BLID element
    bool emptyReleaseId = false; // write an empty RELEASEID element
    // Further elements of the image, "NAME" or "PARENT/CHILD" = value.
    std::vector<std::pair<std::string, std::string>> properties;
    bool unixData = true;      // keep owner, group and mode (restored on apply) where the host has them
};

// Captures each spec as one image, in order, into a new WIM at `wimPath`
// (replaced when present). 0 on success, else a wimlib error code with a
// description in `error` (may be null).
int32_t CreateWim(const std::string &wimPath, const std::vector<WimImageSpec> &images,
                  WimCompression compression = WimCompression::Xpress, std::string *error = nullptr);
inline int32_t CreateWim(const std::string &wimPath, const WimImageSpec &image,
                         WimCompression compression = WimCompression::Xpress, std::string *error = nullptr)
{
    return CreateWim(wimPath, std::vector<WimImageSpec>{image}, compression, error);
}

// Splits `wimPath` into parts of at most `partBytes` bytes (a single large
// file may exceed it). The first part is `firstPartPath` ("D:\X.nrv",
// "install.swm"); the others take its name with 2, 3, ... before the suffix
// ("X2.nrv"). `partPaths` (may be null) receives every part written, in
// order. 0 on success, else a wimlib error code.
int32_t SplitWim(const std::string &wimPath, const std::string &firstPartPath, uint64_t partBytes,
                 std::vector<std::string> *partPaths = nullptr, std::string *error = nullptr);

} // namespace halcyon::support::wim
