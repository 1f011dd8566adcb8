// Checks of plan values that the module installers join below the folders
// they were given. A value that fails is refused before anything is touched.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::modules {

// A relative part that stays below the folder it is joined to and names a
// folder of its own: platform::IsSafeRelativePart, and no "." component
// (MountDir + "." would name MountDir itself, which is then deleted).
bool IsSafeSubfolder(std::string_view part);

// The last component of `path` (after its last backslash or slash), trailing
// separators ignored: "mods\300100\" gives "300100".
std::string LastComponent(std::string_view path);

// True when the drive form ("C:\...") holds no ".." component, so that it
// stays on the drive it names.
bool IsSafeDrivePath(std::string_view path);

} // namespace halcyon::modules
