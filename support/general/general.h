// Message pumping and memory size of the support library.
#pragma once

#include <cstdint>
#include <functional>

namespace halcyon::support {

// A front end that has a message loop registers its pump here; DoEvents runs
// it once. With no pump registered (the default) DoEvents returns at once.
using MessagePump = std::function<void()>;
void SetMessagePump(MessagePump pump); // empty function: none
// Processes the calling thread's pending messages and returns.
void DoEvents();

// Installed physical memory in bytes (the machine's PhysicalMemoryMB).
// False when it is not known.
bool GetPhysicalMemorySize(int64_t &bytes);

} // namespace halcyon::support
