// The command line of `halcyon reg`: switches, key names and the data of
// `reg add`, read the way the Windows reg tool reads them. Kept apart from
// the command so that it can be tested and fuzzed on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace halcyon::cli::regargs {

namespace reg = platform::reg;

// The words after "reg OPERATION" split into switches (case-insensitive, '/'
// or '-') and positional words. Words that merely start with '/' (host paths)
// stay positional.
struct RegArgs {
    std::vector<std::string> positional;
    std::optional<std::string> v, t, d, s;
    bool ve = false, va = false, f = false, y = false, recurse = false;
    uint32_t view = 0;
    std::string error;
};

// `sTakesValue`: "/s SEPARATOR" (reg add) rather than "/s" (recurse).
RegArgs ParseArgs(const std::vector<std::string> &args, bool sTakesValue);

// Whether the switches and positional words fit `operation` ("query", "add",
// "delete", "import" or "export", lower case).
bool SyntaxFits(const std::string &operation, const RegArgs &a);

struct KeyName {
    reg::HKEY root = 0;
    std::string sub;
    std::string display; // "HKEY_LOCAL_MACHINE\SOFTWARE\X"
};
std::optional<KeyName> ParseKey(const std::string &text);

std::string TypeName(uint32_t type);
std::optional<uint32_t> TypeFromName(const std::string &name);

// The bytes `reg add /t TYPE /d TEXT` stores, as the reg tool stores them:
// numbers little-endian (big-endian for REG_DWORD_BIG_ENDIAN), REG_BINARY
// from hex digits, REG_MULTI_SZ as NUL-separated strings ending in two NULs,
// REG_EXPAND_SZ with its terminating NUL, REG_NONE as UTF-16LE text with its
// terminator, REG_SZ as the text given. Nothing when TEXT does not fit TYPE.
std::optional<std::string> EncodeData(uint32_t type, const std::string &text, const std::string &separator);

} // namespace halcyon::cli::regargs
