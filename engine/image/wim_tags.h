// Reading single elements of a WIM's XML metadata straight from the end of
// the file, and the comparisons that tie an image to machines (BLID list)
// and to a release (RELEASEID). None of them logs. The exported forms are
// GetWimTagValue, CompareBlid and CompareReleaseid (halcyon/HalcyonDLL.h).
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::image {

// Codes of the tag readers and comparisons.
inline constexpr int32_t WIMTAG_NO_BLID_MATCH = 44;      // no piece of the BLID list matches the machine
inline constexpr int32_t WIMTAG_MACHINE_BLID_EMPTY = 46; // the machine BLID is empty
inline constexpr int32_t WIMTAG_GET_BLID_FAILED = 47;    // the machine BLID could not be read
inline constexpr int32_t WIMTAG_ELEMENT_ABSENT = 48;     // the element is not present after the first "<IMAGE"
inline constexpr int32_t WIMTAG_OPEN_FAILED = 51;        // the WIM file cannot be opened
inline constexpr int32_t WIMTAG_NO_METADATA = 52;        // no XML metadata start within the last 32768 bytes
inline constexpr int32_t WIMTAG_RELEASEID_EMPTY = 56;    // the WIM names a release but the given ID is empty
inline constexpr int32_t WIMTAG_RELEASEID_DIFFERS = 57;  // the release IDs differ
inline constexpr int32_t WIMTAG_PLAN_MISSING = 70;       // RMID machine and the plan file does not exist
inline constexpr int32_t WIMTAG_NO_IMAGE = 75;           // the XML text holds no "<IMAGE"
inline constexpr int32_t WIMTAG_BLID_EMPTY = 119;        // the WIM's BLID element is empty

// A short operator's text for one of the codes above (and for a caller's
// buffer that is too short); "" for other values.
const char *WimTagResultText(int32_t code);

// How far back from the end of the file the metadata start is looked for.
inline constexpr int64_t kWimXmlSearchSpan = 32768;

// The text of element `tag` (upper-cased) of the first image of the WIM at
// `wimPath`, trimmed. 0 and `value` set, or one of the codes above (51, 52,
// 75, 48); `value` is left alone on failure.
int32_t ReadWimTagValue(const std::string &wimPath, const std::string &tag, std::string &value);

// The same on XML text already read (UTF-16LE bytes after the byte-order
// mark): 0, 75 or 48.
int32_t FindWimTagInXml(const std::string &xmlUtf16Bytes, const std::string &tag, std::string &value);

// 0 when the machine's BLID is in the WIM's BLID list, else 44, 46, 47, 48,
// 51, 52, 70, 75 or 119. `planPath` is read for [Image] BLID on machines
// whose RMID sits in OEM string 1.
int32_t CompareWimBlid(const std::string &wimPath, const std::string &planPath);

// 0 when the WIM's RELEASEID is empty or equals `releaseId` without regard
// to case, else 56, 57, 48, 51, 52 or 75.
int32_t CompareWimReleaseId(const std::string &wimPath, const std::string &releaseId);

} // namespace halcyon::image
