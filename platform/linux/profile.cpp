// Private profile files: each call reads the file afresh; writes change only
// the affected line and keep the file's encoding and line ends.
#include "platform/profile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/line_text.h"
#include "platform/path_map.h"
#include "platform/text_utf16.h"

namespace halcyon::platform {

namespace {

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct ProfileText {
    std::vector<std::string> lines;
    Encoding encoding = Encoding::Utf8;
    std::string eol = "\r\n";
};

bool Load(const std::string &path, ProfileText &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string raw = ss.str();
    std::string text;
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFF && static_cast<uint8_t>(raw[1]) == 0xFE) {
        out.encoding = Encoding::Utf16Le;
        text = Utf16LeToUtf8(std::string_view(raw).substr(2));
    } else if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        out.encoding = Encoding::Utf8Bom;
        text = raw.substr(3);
    } else {
        text = std::move(raw);
    }
    size_t firstLf = text.find('\n');
    out.eol = firstLf != std::string::npos && (firstLf == 0 || text[firstLf - 1] != '\r') ? "\n" : "\r\n";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.lines.push_back(std::move(line));
        pos = lf == std::string::npos ? text.size() : lf + 1;
    }
    return true;
}

// Removes the temporary copies "<path>.tmp<pid>" that a writer killed
// between writing and renaming left behind (its process is gone).
void RemoveStaleCopies(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove(e.path(), ec);
    }
}

bool Save(const std::string &path, const ProfileText &t)
{
    std::string text;
    for (const auto &l : t.lines)
        text += l + t.eol;
    std::string bytes;
    if (t.encoding == Encoding::Utf16Le)
        bytes = "\xFF\xFE" + Utf8ToUtf16Le(text);
    else if (t.encoding == Encoding::Utf8Bom)
        bytes = "\xEF\xBB\xBF" + text;
    else
        bytes = std::move(text);

    // Replace the file whole: a crash leaves either the old or the new text.
    std::string tmp = path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777);
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    RemoveStaleCopies(path);
    return true;
}

// "[name]" -> name; false for other lines.
bool SectionName(const std::string &line, std::string_view *name)
{
    std::string_view t = TrimLine(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return false;
    *name = TrimLine(t.substr(1, close - 1));
    return true;
}

// "key=value" -> key, value; false for comments and other lines.
bool KeyValue(const std::string &line, std::string_view *key, std::string_view *value)
{
    std::string_view t = TrimLine(line);
    if (t.empty() || t.front() == ';' || t.front() == '[')
        return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    *key = TrimLine(t.substr(0, eq));
    *value = TrimLine(t.substr(eq + 1));
    return true;
}

std::string Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// Line range [begin, end) of the body of the first section `section`;
// begin = npos when absent.
std::pair<size_t, size_t> FindSection(const ProfileText &t, std::string_view section)
{
    size_t begin = std::string::npos;
    for (size_t i = 0; i < t.lines.size(); ++i) {
        std::string_view name;
        if (!SectionName(t.lines[i], &name))
            continue;
        if (begin != std::string::npos)
            return {begin, i};
        if (EqualsNoCase(name, section))
            begin = i + 1;
    }
    return {begin, t.lines.size()};
}

size_t FindKey(const ProfileText &t, std::pair<size_t, size_t> range, std::string_view key)
{
    for (size_t i = range.first; i < range.second; ++i) {
        std::string_view k, v;
        if (KeyValue(t.lines[i], &k, &v) && EqualsNoCase(k, key))
            return i;
    }
    return std::string::npos;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

} // namespace

std::string ProfileHostPath(std::string_view file)
{
    if (file.find_first_of("\\/") == std::string_view::npos && !HasDrive(file))
        return HostPath("C:\\Windows\\" + std::string(file));
    return HostPath(file);
}

std::optional<std::string> GetPrivateProfileValue(std::string_view section, std::string_view key,
                                                  std::string_view file)
{
    ProfileText t;
    if (!Load(ProfileHostPath(file), t))
        return std::nullopt;
    auto range = FindSection(t, section);
    if (range.first == std::string::npos)
        return std::nullopt;
    size_t line = FindKey(t, range, key);
    if (line == std::string::npos)
        return std::nullopt;
    std::string_view k, v;
    KeyValue(t.lines[line], &k, &v);
    return Unquote(v);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view fallback,
                                    std::string_view file)
{
    auto v = GetPrivateProfileValue(section, key, file);
    return v ? *v : std::string(TrimLine(fallback));
}

uint32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t fallback, std::string_view file)
{
    auto v = GetPrivateProfileValue(section, key, file);
    if (!v || v->empty())
        return static_cast<uint32_t>(fallback);
    // Leading sign and decimal digits; anything else ends the number.
    std::string_view s = *v;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    uint32_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    return negative ? 0u - n : n;
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                               std::string_view file)
{
    // Names or values with line breaks would change the file's structure.
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        (value && HasLineBreak(*value)))
        return false;
    std::string path = ProfileHostPath(file);
    ProfileText t;
    bool existed = Load(path, t);
    auto range = FindSection(t, section);
    size_t line = range.first == std::string::npos ? std::string::npos : FindKey(t, range, key);
    if (!value) {
        if (line == std::string::npos)
            return true; // nothing to delete
        t.lines.erase(t.lines.begin() + static_cast<std::ptrdiff_t>(line));
        return Save(path, t);
    }
    if (line != std::string::npos) {
        std::string_view k, v;
        KeyValue(t.lines[line], &k, &v);
        t.lines[line] = std::string(k) + "=" + std::string(*value);
    } else if (range.first != std::string::npos) {
        // After the section's last non-empty line.
        size_t at = range.second;
        while (at > range.first && TrimLine(t.lines[at - 1]).empty())
            --at;
        t.lines.insert(t.lines.begin() + static_cast<std::ptrdiff_t>(at),
                       std::string(key) + "=" + std::string(*value));
    } else {
        if (existed && !t.lines.empty() && !TrimLine(t.lines.back()).empty())
            t.lines.emplace_back();
        t.lines.push_back("[" + std::string(section) + "]");
        t.lines.push_back(std::string(key) + "=" + std::string(*value));
    }
    return Save(path, t);
}

bool DeletePrivateProfileSection(std::string_view section, std::string_view file)
{
    std::string path = ProfileHostPath(file);
    ProfileText t;
    if (!Load(path, t))
        return true;
    auto range = FindSection(t, section);
    if (range.first == std::string::npos)
        return true;
    t.lines.erase(t.lines.begin() + static_cast<std::ptrdiff_t>(range.first - 1),
                  t.lines.begin() + static_cast<std::ptrdiff_t>(range.second));
    return Save(path, t);
}

std::vector<std::string> GetPrivateProfileKeys(std::string_view section, std::string_view file)
{
    std::vector<std::string> keys;
    ProfileText t;
    if (!Load(ProfileHostPath(file), t))
        return keys;
    auto range = FindSection(t, section);
    if (range.first == std::string::npos)
        return keys;
    for (size_t i = range.first; i < range.second; ++i) {
        std::string_view k, v;
        if (KeyValue(t.lines[i], &k, &v))
            keys.emplace_back(k);
    }
    return keys;
}

std::vector<std::string> GetPrivateProfileSectionNames(std::string_view file)
{
    std::vector<std::string> names;
    ProfileText t;
    if (!Load(ProfileHostPath(file), t))
        return names;
    for (const auto &l : t.lines) {
        std::string_view name;
        if (SectionName(l, &name))
            names.emplace_back(name);
    }
    return names;
}

} // namespace halcyon::platform
