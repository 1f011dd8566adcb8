// The check made before a folder is copied into a target below a root the
// verb was given (DestDir, a drive): no symbolic link on the way to the
// target nor at any place the copy will write below it.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::modules {

// Empty when copying `source` into `target` writes only below `root` and
// through no symbolic link; otherwise the reason ("PATH is a symbolic link",
// "PATH is outside ROOT"). Paths are Windows or host path text.
std::string CopyTargetLinkProblem(std::string_view root, std::string_view source, std::string_view target);

// Host path text, normalised and without trailing separators, so that a
// link at the last component is seen as the link it is.
std::string HostNoTrailing(std::string_view path);

} // namespace halcyon::modules
