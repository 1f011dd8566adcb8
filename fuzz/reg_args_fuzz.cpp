// Fuzz target: the command line of `halcyon reg`. The input is split into
// words at NUL or line feed bytes; the first word is the operation. The key
// name read back from its display form must name the same key, and the data
// `reg add` would store must have the shape of its type.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/commands/reg_args.h"
#include "platform/path_map.h"

using namespace halcyon::cli::regargs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> words(1);
    for (size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n')
            words.emplace_back();
        else
            words.back() += c;
    }
    std::string op = halcyon::platform::ToLowerAscii(words[0]);
    RegArgs a = ParseArgs(std::vector<std::string>(words.begin() + 1, words.end()), op == "add");
    if (!a.error.empty() || !SyntaxFits(op, a))
        return 0;
    auto key = ParseKey(a.positional[0]);
    if (!key)
        return 0;
    auto again = ParseKey(key->display);
    if (!again || again->root != key->root || again->display != key->display)
        __builtin_trap();
    if (op != "add")
        return 0;
    uint32_t type = reg::REG_SZ;
    if (a.t) {
        auto t = TypeFromName(*a.t);
        if (!t)
            return 0;
        if (!halcyon::platform::EqualsNoCase(TypeName(*t), *a.t))
            __builtin_trap();
        type = *t;
    }
    std::string text = a.d.value_or("");
    auto bytes = EncodeData(type, text, a.s.value_or("\\0"));
    if (!bytes)
        return 0;
    bool shaped = true;
    switch (type) {
    case reg::REG_DWORD:
    case reg::REG_DWORD_BIG_ENDIAN: shaped = bytes->size() == 4; break;
    case reg::REG_QWORD: shaped = bytes->size() == 8; break;
    case reg::REG_EXPAND_SZ: shaped = *bytes == text + '\0'; break;
    case reg::REG_SZ: shaped = *bytes == text; break;
    case reg::REG_NONE: shaped = bytes->size() % 2 == 0 && bytes->size() >= 2 && bytes->substr(bytes->size() - 2) == std::string(2, '\0'); break;
    case reg::REG_MULTI_SZ: shaped = !bytes->empty() && bytes->back() == '\0'; break;
    case reg::REG_BINARY: shaped = bytes->size() * 2 == text.size(); break;
    default: break;
    }
    if (!shaped)
        __builtin_trap();
    return 0;
}
