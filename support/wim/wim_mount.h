// Mounting a WIM image below a folder: wimlib's FUSE mount where it works,
// otherwise an extraction that stands in for it. Host paths throughout.
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::support::wim {

// False with `error` (last-error value) and `text` set on failure.
bool MountWimImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                   const std::string &tempFolder, uint32_t &error, std::string &text);
// Ends a mount (FUSE) or removes the stand-in extraction, leaving the empty
// folder. `wimPath` (may be empty) must be the image's file when given.
bool UnmountWimImage(const std::string &mountFolder, const std::string &wimPath, uint32_t &error,
                     std::string &text);

} // namespace halcyon::support::wim
