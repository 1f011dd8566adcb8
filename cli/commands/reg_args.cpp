#include "cli/commands/reg_args.h"

#include <cstdio>

#include "platform/path_map.h"
#include "platform/text_utf16.h"

namespace halcyon::cli::regargs {

RegArgs ParseArgs(const std::vector<std::string> &args, bool sTakesValue)
{
    RegArgs r;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        std::string sw = a.size() >= 2 && (a[0] == '/' || a[0] == '-') ? platform::ToLowerAscii(a.substr(1)) : "";
        auto value = [&](std::optional<std::string> &slot) {
            if (i + 1 >= args.size())
                r.error = "ERROR: Invalid syntax.";
            else
                slot = args[++i];
        };
        if (sw == "v")
            value(r.v);
        else if (sw == "t")
            value(r.t);
        else if (sw == "d")
            value(r.d);
        else if (sw == "s" && sTakesValue)
            value(r.s);
        else if (sw == "s")
            r.recurse = true;
        else if (sw == "ve")
            r.ve = true;
        else if (sw == "va")
            r.va = true;
        else if (sw == "f")
            r.f = true;
        else if (sw == "y")
            r.y = true;
        else if (sw == "reg:32")
            r.view = reg::KEY_WOW64_32KEY;
        else if (sw == "reg:64")
            r.view = reg::KEY_WOW64_64KEY;
        else
            r.positional.push_back(a);
    }
    return r;
}

bool SyntaxFits(const std::string &op, const RegArgs &a)
{
    if (op == "query")
        return a.positional.size() == 1 && !(a.v && a.ve) && !a.t && !a.d && !a.f && !a.va && !a.y;
    if (op == "add")
        return a.positional.size() == 1 && !(a.v && a.ve) && !a.recurse && !a.va && !a.y;
    if (op == "delete")
        return a.positional.size() == 1 && (int(a.v.has_value()) + int(a.ve) + int(a.va)) <= 1 && !a.t && !a.d &&
               !a.recurse && !a.y;
    if (op == "import")
        return a.positional.size() == 1 && !a.v && !a.ve && !a.va && !a.t && !a.d && !a.f && !a.y && !a.recurse;
    if (op == "export")
        return a.positional.size() == 2 && !a.v && !a.ve && !a.va && !a.t && !a.d && !a.f && !a.recurse;
    return false;
}

std::optional<KeyName> ParseKey(const std::string &text)
{
    KeyName k;
    if (!reg::SplitKeyPath(text, &k.root, &k.sub))
        return std::nullopt;
    k.display = reg::RootName(k.root) + (k.sub.empty() ? "" : "\\" + k.sub);
    return k;
}

std::string TypeName(uint32_t type)
{
    switch (type) {
    case reg::REG_NONE: return "REG_NONE";
    case reg::REG_SZ: return "REG_SZ";
    case reg::REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case reg::REG_BINARY: return "REG_BINARY";
    case reg::REG_DWORD: return "REG_DWORD";
    case reg::REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case reg::REG_MULTI_SZ: return "REG_MULTI_SZ";
    case reg::REG_QWORD: return "REG_QWORD";
    default: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "REG_0x%x", type);
        return buf;
    }
    }
}

std::optional<uint32_t> TypeFromName(const std::string &name)
{
    for (uint32_t t : {reg::REG_NONE, reg::REG_SZ, reg::REG_EXPAND_SZ, reg::REG_BINARY, reg::REG_DWORD,
                       reg::REG_DWORD_BIG_ENDIAN, reg::REG_MULTI_SZ, reg::REG_QWORD})
        if (platform::EqualsNoCase(name, TypeName(t)))
            return t;
    return std::nullopt;
}

namespace {

std::optional<std::string> ParseNumber(const std::string &text, uint64_t max)
{
    if (text.empty())
        return std::nullopt;
    size_t end = 0;
    uint64_t v = 0;
    try {
        v = std::stoull(text, &end, 0);
    } catch (...) {
        return std::nullopt;
    }
    if (end != text.size() || v > max || text[0] == '-')
        return std::nullopt;
    std::string out;
    for (int i = 0; i < (max > 0xFFFFFFFFull ? 8 : 4); ++i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

int HexDigit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

} // namespace

std::optional<std::string> EncodeData(uint32_t type, const std::string &text, const std::string &separator)
{
    switch (type) {
    case reg::REG_DWORD:
        return ParseNumber(text.empty() ? "0" : text, 0xFFFFFFFFull);
    case reg::REG_QWORD:
        return ParseNumber(text.empty() ? "0" : text, ~0ull);
    case reg::REG_DWORD_BIG_ENDIAN: {
        auto le = ParseNumber(text.empty() ? "0" : text, 0xFFFFFFFFull);
        if (le)
            return std::string(le->rbegin(), le->rend());
        return std::nullopt;
    }
    case reg::REG_BINARY: {
        if (text.size() % 2)
            return std::nullopt;
        std::string out;
        for (size_t i = 0; i < text.size(); i += 2) {
            int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
        }
        return out;
    }
    case reg::REG_MULTI_SZ: {
        if (separator.empty())
            return std::nullopt;
        std::string out;
        size_t pos = 0;
        while (pos <= text.size() && !text.empty()) {
            size_t sep = text.find(separator, pos);
            std::string part = text.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
            if (part.empty() && sep != std::string::npos)
                return std::nullopt; // empty strings cannot be stored in a list
            out += part;
            out += '\0';
            if (sep == std::string::npos)
                break;
            pos = sep + separator.size();
        }
        out += '\0';
        return out;
    }
    case reg::REG_EXPAND_SZ:
        return text + '\0';
    case reg::REG_NONE:
        // Not a string type of the store: the UTF-16 bytes themselves.
        return platform::Utf8ToUtf16Le(text) + std::string(2, '\0');
    default:
        return text; // REG_SZ: the bytes given
    }
}

} // namespace halcyon::cli::regargs
