// What each host's machine.cpp answers for the host-neutral machine calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace halcyon::platform {

// The system's physical memory in megabytes; 0 when unknown.
uint64_t SystemPhysicalMemoryMB();

// The system's free bytes of the file system holding host path `hostPath`
// (not empty); nullopt when it cannot be read.
std::optional<uint64_t> SystemFreeDiskSpace(const std::string &hostPath);

} // namespace halcyon::platform
