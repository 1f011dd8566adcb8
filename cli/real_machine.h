// Whether the command runs on a real Windows machine or on the emulated one.
#pragma once

namespace halcyon::cli {

// True on Windows: drive C: and the registry are the system's own, so a run's
// target is only the folder the image is applied to, the installers act on
// the machine itself and setup programs are command scripts (.cmd). False on
// the emulated machine, whose drive C: is the target.
#if defined(_WIN32)
inline constexpr bool kRealMachine = true;
#else
inline constexpr bool kRealMachine = false;
#endif

} // namespace halcyon::cli
