#include "verprobe/result_codes.h"

namespace halcyon::verprobe {

const char *ResultMeaning(uint32_t code)
{
    switch (code) {
    case kOk: return "success";
    case kFileNotFound: return "file not found, or not a regular file (copyright: no translation table)";
    case kNoVersionOrMismatch: return "no readable version resource, or version or date mismatch";
    case kRegistryMismatch: return "registry value or key name does not match (copyright: no LegalCopyright string)";
    case kTextNotFound: return "text file cannot be opened or no line matches (copyright: no version resource)";
    case kEmptyTarget: return "target path empty or absent";
    case kEmptyExpected: return "expected text empty or absent";
    case kNoBackslash: return "registry path has no backslash";
    case kUnknownRoot: return "registry root name unknown";
    case kNoValueName: return "registry path has no value-name part";
    case kKeyOpenFailed: return "registry key cannot be opened";
    case kValueReadFailed: return "registry value cannot be read";
    case kUnsupportedType: return "registry value type not supported";
    case kEmptyText: return "the read produced an empty text";
    case kZeroSize: return "output buffer size is 0";
    case kTextTooLong: return "a text is longer than 255 characters";
    case kInternalError: return "internal error";
    default: return "unknown result";
    }
}

} // namespace halcyon::verprobe
