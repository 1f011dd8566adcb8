// WIM header scrambling: image files may come with the first 16 bytes of
// their header scrambled by a fixed key. The same routine scrambles and
// unscrambles, in place.
#pragma once

#include <string>

namespace halcyon::image {

// True when the file's first 16 bytes (up to their first zero byte) do not
// hold the WIM signature "MSWIM"; false for a plain file or one that cannot
// be opened (the imaging call then reports the error).
bool IsWimScrambled(const std::string &path);

// Applies the key to the first 16 bytes of the file in place; applying it
// twice restores the file. False when the file does not exist, is a
// symbolic link (never written through) or cannot be opened for reading and
// writing, or the bytes cannot be written back.
bool EncryptDecryptWim(const std::string &path);

} // namespace halcyon::image
