// Windows file attributes on a POSIX file system.
//
// FILE_ATTRIBUTE_READONLY is the file's write permission: set, every write
// bit is cleared; cleared, the owner may write. FILE_ATTRIBUTE_DIRECTORY
// comes from the file type. The other attribute bits (HIDDEN, SYSTEM,
// ARCHIVE, ...) have no POSIX counterpart and are kept as a decimal number
// in the extended attribute "user.halcyon.attributes" of the file itself, so
// they travel with it and vanish with it. A file without that attribute
// reads as FILE_ATTRIBUTE_NORMAL (or READONLY / DIRECTORY alone).
#pragma once

#include <cstdint>
#include <string_view>

namespace halcyon::platform {

inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// True where files carry POSIX owner, group and mode bits that an image
// keeps (the emulated machine); Windows keeps its own security instead.
#if defined(_WIN32)
inline constexpr bool kHostHasPosixModes = false;
#else
inline constexpr bool kHostHasPosixModes = true;
#endif
// The extended attribute that holds the bits without a POSIX counterpart.
inline constexpr const char *kAttributesXattr = "user.halcyon.attributes";

// The attributes of a file or folder (Windows or host path text);
// INVALID_FILE_ATTRIBUTES when it does not exist.
uint32_t GetFileAttributes(std::string_view path);

// Sets the attributes as Windows does: FILE_ATTRIBUTE_NORMAL alone clears
// every other bit; DIRECTORY and NORMAL are not stored. False when the path
// does not exist, its mode cannot be changed, or bits beyond READONLY must
// be stored and the file system keeps no user extended attributes.
bool SetFileAttributes(std::string_view path, uint32_t attributes);

} // namespace halcyon::platform
