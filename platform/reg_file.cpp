#include "platform/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/host_file_rw.h"
#include "platform/line_text.h"
#include "platform/text_utf16.h"
#include "platform/registry_tree.h"
#include "platform/non_copyable.h"

namespace halcyon::platform::reg {

namespace {

constexpr const char *kHeader = "Windows Registry Editor Version 5.00";

// ---- export ---------------------------------------------------------------

// A quoted name or string: backslash and quote escaped, line breaks written
// as \n and \r so that a multi-line string stays on one line.
std::string Quote(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '\r') {
            out += "\\r";
            continue;
        }
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsStringType(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// `prefix` followed by the bytes as "xx,xx,...", wrapped the way the Windows
// tools wrap them (lines of at most 80 characters, continued by "\").
std::string HexLine(const std::string &prefix, std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = prefix;
    out.reserve(prefix.size() + bytes.size() * 3 + bytes.size() / 24 * 5);
    size_t lineLen = out.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        lineLen += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++lineLen;
            if (lineLen > 76) {
                out += "\\\r\n  ";
                lineLen = 2;
            }
        }
    }
    return out;
}

// `terminated`: the stored string data end in a UTF-16 terminator that the
// text form left out; the hex form writes the stored bytes, so it comes back.
std::string ValueLine(const std::string &name, uint32_t type, const std::vector<uint8_t> &data, bool terminated)
{
    std::string lhs = name.empty() ? "@=" : Quote(ToValidUtf8(name)) + "=";
    std::string_view bytes(reinterpret_cast<const char *>(data.data()), data.size());
    // A string goes quoted unless it holds a NUL; the file is UTF-16 text, so
    // malformed UTF-8 in it is written as U+FFFD.
    if (type == REG_SZ && bytes.find('\0') == std::string_view::npos)
        return lhs + Quote(ToValidUtf8(bytes));
    if (type == REG_DWORD && data.size() == 4) {
        char buf[16];
        uint32_t v = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                     static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        std::snprintf(buf, sizeof buf, "dword:%08x", v);
        return lhs + buf;
    }
    if (type == REG_BINARY)
        return HexLine(lhs + "hex:", bytes);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
    if (IsStringType(type))
        return HexLine(lhs + prefix, Utf8ToUtf16Le(bytes) + (terminated ? std::string(2, '\0') : std::string()));
    return HexLine(lhs + prefix, bytes);
}

// A store failure ends the export; any other error of a key (one that is
// listed but cannot be opened or listed, such as a system's performance
// counter keys) leaves that key empty in the text and is noted in `skipped`.
bool IsStoreFailure(LONG r) { return r == ERROR_REGISTRY_CORRUPT || r == ERROR_REGISTRY_IO_FAILED; }

LONG ExportKey(HKEY key, const std::string &path, std::string &out, std::vector<std::string> &skipped)
{
    out += "[" + ToValidUtf8(path) + "]\r\n";
    const size_t keyStart = out.size();
    auto unreadable = [&](LONG r) {
        if (IsStoreFailure(r))
            return r;
        out.resize(keyStart);
        out += "\r\n";
        skipped.push_back(path);
        return ERROR_SUCCESS;
    };
    std::vector<std::string> lines;
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    for (uint32_t i = 0;; ++i) {
        LONG r = RegEnumValue(key, i, &name, &type, &data);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r)
            return unreadable(r);
        const bool hexText =
            type == REG_EXPAND_SZ || (type == REG_SZ && std::find(data.begin(), data.end(), 0) != data.end());
        std::string line = ValueLine(name, type, data, hexText && StringDataDropsTerminator(key, name));
        // The default value comes first.
        if (name.empty())
            lines.insert(lines.begin(), std::move(line));
        else
            lines.push_back(std::move(line));
    }
    for (const auto &l : lines)
        out += l + "\r\n";
    out += "\r\n";
    for (uint32_t i = 0;; ++i) {
        LONG r = RegEnumKeyEx(key, i, &name);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r)
            return unreadable(r);
        UniqueKey sub;
        LONG o = RegOpenKeyEx(key, name, KEY_READ, sub.out());
        if (o == ERROR_FILE_NOT_FOUND)
            continue; // deleted since it was listed
        if (o) {
            if (IsStoreFailure(o))
                return o;
            out += "[" + ToValidUtf8(path + "\\" + name) + "]\r\n\r\n";
            skipped.push_back(path + "\\" + name);
            continue;
        }
        if (LONG e = ExportKey(sub.get(), path + "\\" + name, out, skipped))
            return e;
    }
    return ERROR_SUCCESS;
}

// Where the export text goes as it is made: kept as UTF-8 text, or written
// to a file as UTF-16LE in large pieces.
class ExportOut : NonCopyable {
public:
    explicit ExportOut(std::string *text) : text_(text) {}
    explicit ExportOut(HostFile *file) : file_(file) {}
    ~ExportOut() = default;

    // Whole lines of valid UTF-8 (so that each piece converts on its own).
    void Put(std::string_view utf8)
    {
        if (text_) {
            text_->append(utf8);
            return;
        }
        AppendUtf16Le(utf8, &pending_);
        if (pending_.size() >= kPiece)
            Flush();
    }
    // False when the file could not be written.
    bool Flush()
    {
        if (file_ && !pending_.empty()) {
            failed_ = failed_ || file_->Write(pending_.data(), pending_.size()) != 0;
            pending_.clear();
        }
        return !failed_;
    }

private:
    static constexpr size_t kPiece = 1 << 20;
    std::string *text_ = nullptr;
    HostFile *file_ = nullptr;
    std::string pending_;
    bool failed_ = false;
};

// The export of a tree read whole (RegReadTree): each key's text is made
// and passed on as the walk reaches it.
struct TreeExport {
    ExportOut &out;
    std::string path;            // of the key visited last
    std::vector<size_t> lengths; // length of `path` at each depth
    std::string block;           // the text of one key, reused
};

LONG ExportTreeKey(size_t depth, const std::string &name, const std::vector<RegTreeValue> &values, void *context)
{
    auto &t = *static_cast<TreeExport *>(context);
    if (depth > 0) {
        t.path.resize(t.lengths[depth - 1]);
        t.path += '\\';
        t.path += name;
    }
    t.lengths.resize(depth + 1);
    t.lengths[depth] = t.path.size();
    t.block = "[" + ToValidUtf8(t.path) + "]\r\n";
    // The default value comes first.
    for (const bool defaultValue : {true, false}) {
        for (const RegTreeValue &v : values) {
            if (v.name.empty() != defaultValue)
                continue;
            t.block += ValueLine(v.name, v.type, v.data, false);
            t.block += "\r\n";
        }
    }
    t.block += "\r\n";
    t.out.Put(t.block);
    return ERROR_SUCCESS;
}

// The export of `key` (named `path`): read whole where the store allows it,
// key by key otherwise.
LONG ExportTree(HKEY key, const std::string &path, ExportOut &out, std::vector<std::string> &skipped)
{
    TreeExport t{out, path, {}, {}};
    const LONG r = RegReadTree(key, &ExportTreeKey, &t);
    if (r != ERROR_CALL_NOT_IMPLEMENTED)
        return r;
    std::string text;
    if (LONG r = ExportKey(key, path, text, skipped))
        return r;
    out.Put(text);
    return ERROR_SUCCESS;
}

// ---- import ---------------------------------------------------------------

struct Op {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind;
    HKEY root;
    std::string subKey;
    std::string name;
    uint32_t type = 0;
    std::string data;
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted string starting at s[0] == '"'; `used` gets its length. The
// escapes are \\, \", \n (line feed) and \r (carriage return); `error` says
// what is wrong otherwise.
std::optional<std::string> Unquote(std::string_view s, size_t *used, std::string *error)
{
    std::string out;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\') {
            if (i + 1 >= s.size())
                break;
            char e = s[++i];
            if (e == '\\' || e == '"') {
                out += e;
            } else if (e == 'n') {
                out += '\n';
            } else if (e == 'r') {
                out += '\r';
            } else {
                *error = std::string("unknown escape \"\\") + ToValidUtf8(std::string_view(&s[i], 1)) + "\"";
                return std::nullopt;
            }
        } else if (s[i] == '"') {
            *used = i + 1;
            return out;
        } else {
            out += s[i];
        }
    }
    *error = "missing closing quote";
    return std::nullopt;
}

// What may follow a value: blanks and a comment.
bool OnlyComment(std::string_view rest)
{
    rest = TrimLine(rest);
    return rest.empty() || rest[0] == ';';
}

std::optional<std::string> HexBytes(std::string_view list)
{
    std::string out;
    list = TrimLine(list);
    if (list.empty())
        return out;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t comma = list.find(',', pos);
        std::string_view tok =
            TrimLine(list.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
        if (tok.empty() && comma == std::string_view::npos && !out.empty())
            break; // a trailing comma
        if (tok.empty() || tok.size() > 2)
            return std::nullopt;
        int v = 0;
        for (char c : tok) {
            int d = HexDigit(c);
            if (d < 0)
                return std::nullopt;
            v = v * 16 + d;
        }
        out += static_cast<char>(v);
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return out;
}

// The value part after '=' (a hex list already joined over its lines, without
// comments): fills type/data or marks a delete; `error` says what is wrong.
bool ParseValue(std::string_view v, Op &op, std::string *error)
{
    v = TrimLine(v);
    *error = "malformed value data";
    if (v.substr(0, 1) == "-" && OnlyComment(v.substr(1))) {
        op.kind = Op::DeleteValue;
        return true;
    }
    op.kind = Op::SetValue;
    if (!v.empty() && v[0] == '"') {
        size_t used = 0;
        std::string why;
        auto s = Unquote(v, &used, &why);
        if (!s) {
            *error = why + " in the value data";
            return false;
        }
        if (!OnlyComment(v.substr(used)))
            return false;
        op.type = REG_SZ;
        op.data = std::move(*s);
        return true;
    }
    if (v.substr(0, 6) == "dword:") {
        std::string_view digits = v.substr(6);
        digits = TrimLine(digits.substr(0, digits.find(';')));
        if (digits.empty() || digits.size() > 8)
            return false;
        uint32_t n = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0)
                return false;
            n = n * 16 + static_cast<uint32_t>(d);
        }
        op.type = REG_DWORD;
        op.data = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                   static_cast<char>(n >> 24)};
        return true;
    }
    std::string_view list;
    if (v.substr(0, 4) == "hex:") {
        op.type = REG_BINARY;
        list = v.substr(4);
    } else if (v.substr(0, 4) == "hex(") {
        size_t close = v.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12)
            return false;
        uint32_t t = 0;
        for (char c : v.substr(4, close - 4)) {
            int d = HexDigit(c);
            if (d < 0)
                return false;
            t = t * 16 + static_cast<uint32_t>(d);
        }
        op.type = t;
        list = v.substr(close + 2);
    } else {
        return false;
    }
    auto bytes = HexBytes(list);
    if (!bytes)
        return false;
    if (IsStringType(op.type)) {
        // UTF-16 text, kept as UTF-8. A last odd byte is read as a character
        // of its own (its high byte zero), as a UTF-16 reader of the stored
        // bytes would see it.
        if (bytes->size() % 2)
            *bytes += '\0';
        op.data = Utf16LeToUtf8(*bytes);
    } else {
        op.data = std::move(*bytes);
    }
    return true;
}

size_t LineOf(std::string_view text, size_t offset, char lf)
{
    size_t line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        line += text[i] == lf;
    return line;
}

// The file's text as UTF-8: UTF-16LE after its BOM, UTF-8 with or without
// one. Malformed text is refused (its line in `error`): a value read wrong
// would be stored wrong.
bool Decode(std::string_view bytes, std::string *text, std::string *error)
{
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
        std::string_view body = bytes.substr(2);
        size_t bad = FindInvalidUtf16Le(body);
        if (bad != std::string_view::npos) {
            size_t line = 1;
            for (size_t i = 0; i + 1 < bad; i += 2)
                line += body[i] == '\n' && body[i + 1] == '\0';
            *error = "line " + std::to_string(line) + ": the text is not valid UTF-16";
            return false;
        }
        *text = Utf16LeToUtf8(body);
        return true;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    size_t bad = FindInvalidUtf8(bytes);
    if (bad != std::string_view::npos) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<uint8_t>(bytes[bad])));
        *error = "line " + std::to_string(LineOf(bytes, bad, '\n')) + ": the text is not valid UTF-8 (byte " + hex +
                 ")";
        return false;
    }
    text->assign(bytes);
    return true;
}

// The number of names in a key path (A\B\C: 3; empty names not counted).
size_t KeyDepth(std::string_view subKey)
{
    size_t depth = 0;
    bool inName = false;
    for (char c : subKey) {
        if (c == '\\')
            inName = false;
        else if (!inName) {
            inName = true;
            ++depth;
        }
    }
    return depth;
}

LONG Parse(std::string_view bytes, std::vector<Op> &ops, std::string *error)
{
    std::string text;
    std::string why;
    if (!Decode(bytes, &text, &why)) {
        if (error)
            *error = why;
        return ERROR_INVALID_DATA;
    }
    std::vector<std::string> raw;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        raw.emplace_back(TrimLine(std::string_view(text).substr(pos, lf == std::string::npos ? std::string::npos : lf - pos)));
        pos = lf == std::string::npos ? text.size() : lf + 1;
    }
    auto fail = [&](size_t line, const std::string &what) {
        if (error)
            *error = "line " + std::to_string(line) + ": " + what;
        return ERROR_INVALID_DATA;
    };
    size_t first = 0;
    while (first < raw.size() && raw[first].empty())
        ++first;
    if (first == raw.size() || raw[first] != kHeader)
        return fail(first + 1, std::string("the file does not start with \"") + kHeader + "\"");

    bool haveKey = false;
    HKEY root = 0;
    std::string subKey;
    for (size_t i = first + 1; i < raw.size(); ++i) {
        size_t lineNo = i + 1;
        std::string line = raw[i];
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']')
                return fail(lineNo, "a key line must end with ']'");
            std::string_view path = std::string_view(line).substr(1, line.size() - 2);
            bool del = !path.empty() && path[0] == '-';
            if (del)
                path.remove_prefix(1);
            // A name with a NUL could never be opened again by name.
            if (path.find('\0') != std::string_view::npos)
                return fail(lineNo, "a key name cannot hold a NUL character");
            if (!SplitKeyPath(path, &root, &subKey))
                return fail(lineNo, "unknown root in \"" + std::string(path) + "\"");
            if (del && subKey.empty())
                return fail(lineNo, "a root cannot be deleted");
            // Refused before anything is written; a deeper key could not be
            // created anyway.
            if (KeyDepth(subKey) > kMaxKeyDepth) {
                fail(lineNo, "the key is nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
                return ERROR_BADKEY;
            }
            ops.push_back({del ? Op::DeleteKey : Op::CreateKey, root, subKey, {}, 0, {}});
            haveKey = !del;
            continue;
        }
        Op op{Op::SetValue, root, subKey, {}, 0, {}};
        size_t eq;
        if (line[0] == '@') {
            eq = 1;
        } else if (line[0] == '"') {
            size_t used = 0;
            std::string why;
            auto name = Unquote(line, &used, &why);
            if (!name)
                return fail(lineNo, why + " in the value name");
            op.name = std::move(*name);
            eq = used;
        } else {
            return fail(lineNo, "expected a key, a value or a comment");
        }
        while (eq < line.size() && (line[eq] == ' ' || line[eq] == '\t'))
            ++eq;
        if (eq >= line.size() || line[eq] != '=')
            return fail(lineNo, "expected '=' after the value name");
        if (!haveKey)
            return fail(lineNo, "a value outside of a key");
        std::string data = line.substr(eq + 1);
        std::string_view head = TrimLine(data);
        if (head.substr(0, 3) == "hex") {
            // A hex list goes on over lines ending in '\'; comments (after
            // ';', never part of a list) and comment lines are left out.
            auto uncomment = [](std::string s) {
                size_t semi = s.find(';');
                if (semi != std::string::npos)
                    s.erase(semi);
                return std::string(TrimLine(s));
            };
            data = uncomment(data);
            while (!data.empty() && data.back() == '\\' && i + 1 < raw.size()) {
                data.pop_back();
                ++i;
                if (!raw[i].empty() && raw[i][0] == ';') {
                    data += '\\';
                    continue;
                }
                data += uncomment(raw[i]);
            }
        }
        std::string why;
        if (!ParseValue(data, op, &why))
            return fail(lineNo, why);
        ops.push_back(std::move(op));
    }
    return ERROR_SUCCESS;
}

// Creates keys and sets values without a handle per line where the store
// allows it; ERROR_CALL_NOT_IMPLEMENTED leaves the line to the handle calls.
LONG ApplyDirect(RegTreeWriter &writer, const Op &op, uint32_t view)
{
    if (op.kind == Op::CreateKey)
        return writer.CreateKey(op.root, op.subKey, view);
    if (op.kind == Op::SetValue)
        return writer.SetValue(op.root, op.subKey, view, op.name, op.type, op.data.data(), op.data.size());
    writer.Forget();
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG Apply(const std::vector<Op> &ops, uint32_t view)
{
    RegBatch batch;
    if (batch.status())
        return batch.status();
    RegTreeWriter writer;
    for (const Op &op : ops) {
        LONG r = ERROR_SUCCESS;
        r = ApplyDirect(writer, op, view);
        if (r != ERROR_CALL_NOT_IMPLEMENTED) {
            if (r)
                return r; // the batch is rolled back
            continue;
        }
        r = ERROR_SUCCESS;
        switch (op.kind) {
        case Op::CreateKey: {
            UniqueKey k;
            r = RegCreateKeyEx(op.root, op.subKey, KEY_ALL_ACCESS | view, k.out());
            break;
        }
        case Op::DeleteKey:
            r = RegDeleteTree(op.root, op.subKey, view);
            if (r == ERROR_FILE_NOT_FOUND)
                r = ERROR_SUCCESS;
            break;
        case Op::SetValue: {
            UniqueKey k;
            r = RegCreateKeyEx(op.root, op.subKey, KEY_ALL_ACCESS | view, k.out());
            if (!r)
                r = RegSetValueEx(k.get(), op.name, op.type, op.data.data(), op.data.size());
            break;
        }
        case Op::DeleteValue: {
            UniqueKey k;
            r = RegOpenKeyEx(op.root, op.subKey, KEY_ALL_ACCESS | view, k.out());
            if (!r)
                r = RegDeleteValue(k.get(), op.name);
            if (r == ERROR_FILE_NOT_FOUND)
                r = ERROR_SUCCESS;
            break;
        }
        }
        if (r)
            return r; // the batch is rolled back
    }
    return batch.Commit();
}

} // namespace

namespace {

// The export into `out`, from one consistent picture of the tree.
LONG Export(HKEY root, std::string_view subKey, uint32_t view, ExportOut &out, std::vector<std::string> *skipped)
{
    // One transaction gives a consistent picture of the tree; writers of
    // other processes are not held up meanwhile.
    RegSnapshot snapshot;
    if (snapshot.status())
        return snapshot.status();
    UniqueKey key;
    if (LONG r = RegOpenKeyEx(root, subKey, KEY_READ | view, key.out()))
        return r;
    std::string path = RootName(root);
    std::string sub(subKey);
    while (!sub.empty() && sub.back() == '\\')
        sub.pop_back();
    if (!sub.empty())
        path += "\\" + sub;
    out.Put(std::string(kHeader) + "\r\n\r\n");
    std::vector<std::string> unreadable;
    if (LONG r = ExportTree(key.get(), path, out, unreadable))
        return r;
    if (skipped)
        *skipped = std::move(unreadable);
    return ERROR_SUCCESS;
}

} // namespace

LONG ExportRegText(HKEY root, std::string_view subKey, uint32_t view, std::string *text,
                   std::vector<std::string> *skipped)
{
    std::string made;
    ExportOut out(&made);
    if (LONG r = Export(root, subKey, view, out, skipped))
        return r;
    if (text)
        *text = std::move(made);
    return ERROR_SUCCESS;
}

LONG ExportRegFile(HKEY root, std::string_view subKey, uint32_t view, const std::string &hostPath,
                   std::vector<std::string> *skipped)
{
    // A missing key is reported as such before any file is made.
    {
        UniqueKey probe;
        if (LONG r = RegOpenKeyEx(root, subKey, KEY_READ | view, probe.out()))
            return r;
    }
    // Written under a temporary name as it is made, then put in place whole.
    const std::string tmp = hostPath + ".tmp" + std::to_string(CurrentProcessId());
    HostFile file;
    if (file.Open(tmp, FileAccess::Write, FileCreation::CreateOrTruncate) != 0)
        return ERROR_ACCESS_DENIED;
    ExportOut out(&file);
    out.Put("\xEF\xBB\xBF"); // the byte order mark, U+FEFF
    LONG r = Export(root, subKey, view, out, skipped);
    const bool written = out.Flush();
    const bool closed = file.Close() == 0;
    if (r == ERROR_SUCCESS && !(written && closed && ReplaceHostFile(tmp, hostPath, false) == 0))
        r = ERROR_ACCESS_DENIED;
    if (r != ERROR_SUCCESS)
        RemoveHostFile(tmp);
    return r;
}

LONG ImportRegText(std::string_view bytes, uint32_t view, std::string *error)
{
    std::vector<Op> ops;
    if (LONG r = Parse(bytes, ops, error))
        return r;
    LONG r = Apply(ops, view);
    if (r && error)
        *error = LastRegistryError();
    return r;
}

LONG ImportRegFile(const std::string &hostPath, uint32_t view, std::string *error)
{
    HostFile in;
    std::string bytes;
    bool ok = in.Open(hostPath, FileAccess::Read, FileCreation::OpenExisting) == 0;
    for (char chunk[65536]; ok;) {
        size_t got = 0;
        ok = in.Read(chunk, sizeof chunk, &got) == 0;
        if (!ok || got == 0)
            break;
        bytes.append(chunk, got);
    }
    if (!ok) {
        if (error)
            *error = hostPath + ": cannot be read";
        return ERROR_FILE_NOT_FOUND;
    }
    return ImportRegText(bytes, view, error);
}

} // namespace halcyon::platform::reg
