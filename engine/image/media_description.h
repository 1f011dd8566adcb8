// The recovery media description (nrvhdrcv.ini): which entry (a folder or a
// file relative to a medium's root) lies on which medium of a set of
// recovery discs ("RDVD") or a flash medium ("RUFD").
//
//   [SOURCE]
//   WINREPart=<entries of the recovery environment, comma-separated>
//   FIPart=<file names of the split foundation-image parts>
//   [MEDIA:<type>]
//   <type>1=<entries on medium 1, comma-separated>
//   <type>2=...
//
// The media keys are numbered from 1 without gaps; the first missing key
// ends the list. Medium n carries the marker file "sources\<type><n>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/ini/ini_store.h"

namespace halcyon::image {

inline constexpr const char *kMediaSourceSection = "SOURCE";
inline constexpr const char *kWinrePartKey = "WINREPart";
inline constexpr const char *kFiPartKey = "FIPart";
// Longest value read from the description, in characters.
inline constexpr size_t kMediaValueChars = 16384;

// "MEDIA:" + type.
std::string MediaSection(std::string_view mediaType);
// type + n ("RDVD2"): the key of medium n and the name of its marker file.
std::string MediaKey(std::string_view mediaType, int number);
// The marker file of medium n below a medium's root (ending in a
// backslash): root + "sources\" + type + n.
std::string MediaMarkerPath(std::string_view mediumRoot, std::string_view mediaType, int number);

// The entry list of medium n. False when the key is absent (the end of the
// list); an empty value is present and holds no entries.
bool ReadMediaValue(const support::CMemoryIniIO &store, std::string_view mediaType, int number,
                    std::string &value);
// Every medium's entry list, in order, up to the first absent key.
std::vector<std::string> ReadMediaValues(const support::CMemoryIniIO &store, std::string_view mediaType);

// The entries of a comma-separated list, trimmed of spaces and tabs; empty
// entries are dropped.
std::vector<std::string> SplitMediaEntries(std::string_view value);

// A whole description, for writing one (media authoring, tests).
struct MediaDescription {
    std::string winrePart;
    std::string fiPart;
    std::string mediaType = "RDVD";
    std::vector<std::vector<std::string>> media; // entries of medium 1, 2, ...

    // Writes the file. False when it cannot be written or a value would
    // break the layout (a line break in an entry).
    bool Save(std::string_view path) const;
};

// Loads the plan ("halcyon.ini") and the media description ("nrvhdrcv.ini"),
// each path logged first. 0; RETURN_HALINI_NOEXIST or RETURN_RCVINI_NOEXIST
// for a missing file, RETURN_UNABLE_OPEN_INI for one that cannot be loaded
// (the reason and the path logged).
int32_t LoadPlanAndMediaIni(const std::string &planPath, const std::string &mediaIniPath, support::CMemoryIniIO &plan,
                            support::CMemoryIniIO &media, std::string_view log);

} // namespace halcyon::image
