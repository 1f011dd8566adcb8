#include "support/ini/ini_store.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"
#include "platform/text_utf16.h"
#include "support/files/file_ops.h"

namespace halcyon::support {

namespace {

std::string_view Trim(std::string_view s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string_view s) { return platform::ToLowerAscii(s); }

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

} // namespace

std::string TruncateChars(std::string_view text, size_t maxChars)
{
    size_t chars = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (chars == maxChars)
            return std::string(text.substr(0, i));
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        i += len;
        ++chars;
    }
    return std::string(text.substr(0, std::min(i, text.size())));
}

bool ReadTextFile(std::string_view path, std::string &out)
{
    // Only regular files: a folder opens on this platform and would read as
    // an empty file, a FIFO would block.
    std::string host = platform::HostPath(path);
    const auto status = platform::StatHostPath(host);
    if (!status || !status->regular)
        return false;
    std::ifstream in(platform::FsPath(host), std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad())
        return false;
    std::string raw = ss.str();
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
        out = platform::Utf16LeToUtf8(std::string_view(raw).substr(2));
        return true;
    }
    if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        raw.erase(0, 3);
    out = std::move(raw);
    return true;
}

CMemoryIniIO::CMemoryIniIO(bool flag) : flag_(flag) {}
CMemoryIniIO::~CMemoryIniIO() = default;

void CMemoryIniIO::Clear()
{
    sections_.clear();
    index_.clear();
}

bool CMemoryIniIO::LoadFile(std::string_view path)
{
    Clear();
    std::string text;
    if (!ReadTextFile(path, text))
        return false;
    LoadText(text);
    return true;
}

void CMemoryIniIO::LoadText(std::string_view text)
{
    Clear();
    Section *current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            current = &Create(name);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || !current)
            continue;
        std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = Trim(line.substr(eq + 1));
        std::string lk = Lower(key);
        if (current->index.count(lk))
            continue;
        current->index.emplace(std::move(lk), current->entries.size());
        current->entries.emplace_back(std::string(key), std::string(value));
    }
}

const CMemoryIniIO::Section *CMemoryIniIO::Find(std::string_view section) const
{
    auto it = index_.find(Lower(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

CMemoryIniIO::Section *CMemoryIniIO::Find(std::string_view section)
{
    auto it = index_.find(Lower(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

CMemoryIniIO::Section &CMemoryIniIO::Create(std::string_view section)
{
    if (Section *s = Find(section))
        return *s;
    index_.emplace(Lower(section), sections_.size());
    sections_.push_back(Section{std::string(section), {}, {}, true});
    return sections_.back();
}

const char *CMemoryIniIO::GetValue(std::string_view section, std::string_view key) const
{
    const Section *s = Find(section);
    if (!s)
        return "";
    auto it = s->index.find(Lower(key));
    return it == s->index.end() ? "" : s->entries[it->second].second.c_str();
}

std::string CMemoryIniIO::GetString(std::string_view section, std::string_view key, std::string_view fallback,
                                    size_t bufferChars) const
{
    size_t limit = bufferChars == 0 ? 0 : bufferChars - 1;
    const Section *s = Find(section);
    if (s) {
        auto it = s->index.find(Lower(key));
        if (it != s->index.end())
            return TruncateChars(s->entries[it->second].second, limit);
    }
    return TruncateChars(fallback, limit);
}

bool CMemoryIniIO::KeyExists(std::string_view section, std::string_view key) const
{
    const Section *s = Find(section);
    return s && s->index.count(Lower(key));
}

bool CMemoryIniIO::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return false;
    if (section.find(']') != std::string_view::npos || Trim(section) != section)
        return false;
    if (key.empty() || Trim(key) != key || key.find('=') != std::string_view::npos || key[0] == '[' || key[0] == ';' ||
        key[0] == '#')
        return false;
    Section &s = Create(section);
    std::string lk = Lower(key);
    auto it = s.index.find(lk);
    if (it != s.index.end()) {
        s.entries[it->second].second = std::string(value);
    } else {
        s.index.emplace(std::move(lk), s.entries.size());
        s.entries.emplace_back(std::string(key), std::string(value));
    }
    return true;
}

bool CMemoryIniIO::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

bool CMemoryIniIO::DeleteKey(std::string_view section, std::string_view key)
{
    Section *s = Find(section);
    if (!s)
        return false;
    auto it = s->index.find(Lower(key));
    if (it == s->index.end())
        return false;
    s->entries.erase(s->entries.begin() + static_cast<std::ptrdiff_t>(it->second));
    s->index.clear();
    for (size_t i = 0; i < s->entries.size(); ++i)
        s->index.emplace(Lower(s->entries[i].first), i);
    return true;
}

bool CMemoryIniIO::DeleteSection(std::string_view section)
{
    auto it = index_.find(Lower(section));
    if (it == index_.end())
        return false;
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
    index_.clear();
    for (size_t i = 0; i < sections_.size(); ++i)
        index_.emplace(Lower(sections_[i].name), i);
    return true;
}

std::vector<std::string> CMemoryIniIO::SectionNames() const
{
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const auto &s : sections_)
        names.push_back(s.name);
    return names;
}

std::vector<std::pair<std::string, std::string>> CMemoryIniIO::Entries(std::string_view section) const
{
    const Section *s = Find(section);
    return s ? s->entries : std::vector<std::pair<std::string, std::string>>{};
}

void CMemoryIniIO::AppendSection(std::string &out, const Section &s) const
{
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const auto &[k, v] : s.entries) {
        out += k;
        out += '=';
        out += v;
        out += "\r\n";
    }
    out += "\r\n";
}

std::string CMemoryIniIO::ToText() const
{
    std::string out;
    for (const auto &s : sections_)
        AppendSection(out, s);
    return out;
}

namespace {

bool WriteFileAtomically(std::string_view path, const std::string &data)
{
    std::string host = platform::HostPath(path);
    std::string tmp = host + ".tmp" + std::to_string(platform::CurrentProcessId());
    platform::HostFile file;
    if (file.Open(tmp, platform::FileAccess::Write, platform::FileCreation::CreateOrTruncate) != 0)
        return false;
    bool ok = file.Write(data.data(), data.size()) == 0;
    if (ok && FlushFileData(file, host) != 0)
        ok = false;
    if (file.Close() != 0)
        ok = false;
    if (ok && platform::ReplaceHostFile(tmp, host, false) != 0)
        ok = false;
    if (!ok)
        platform::RemoveHostFile(tmp);
    // The new name is on disk before the save counts as done.
    return ok && SyncParentFolder(host) == 0;
}

} // namespace

bool CMemoryIniIO::SaveToFile(std::string_view path) const { return WriteFileAtomically(path, ToText()); }

bool CMemoryIniIO::SaveToFileOrdered(std::string_view path, const std::vector<std::string> &patterns) const
{
    std::vector<bool> written(sections_.size(), false);
    std::string out;
    auto emit = [&](std::string_view name) -> const Section * {
        auto it = index_.find(Lower(name));
        if (it == index_.end() || written[it->second])
            return nullptr;
        written[it->second] = true;
        AppendSection(out, sections_[it->second]);
        return &sections_[it->second];
    };
    for (const auto &pattern : patterns) {
        size_t at = pattern.find("%d");
        if (at == std::string::npos) {
            emit(pattern);
            continue;
        }
        for (long n = 1;; ++n) {
            std::string name = pattern.substr(0, at) + std::to_string(n) + pattern.substr(at + 2);
            const Section *s = emit(name);
            if (!s || s->index.count("end"))
                break;
        }
    }
    for (size_t i = 0; i < sections_.size(); ++i)
        if (!written[i])
            AppendSection(out, sections_[i]);
    return WriteFileAtomically(path, out);
}

} // namespace halcyon::support
