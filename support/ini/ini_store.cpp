#include "support/ini/ini_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

bool HasLineBreak(std::string_view s)
{
    for (char c : s)
        if (c == '\r' || c == '\n')
            return true;
    return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Leading or trailing spaces or tabs (text Trim would change).
bool HasEdgeBlanks(std::string_view s) { return !s.empty() && (IsBlank(s.front()) || IsBlank(s.back())); }

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

namespace {

// Text blocks: a plan of 50,000 sections needs a few hundred of them.
constexpr size_t kBlockBytes = 64 * 1024;
// Block numbers take 16 bits: a store refuses writes (and skips lines it
// loads) once it holds about 4 GiB of text.
constexpr size_t kMaxBlocks = 65536;
// Sections with more keys than this get a key table of their own.
constexpr uint32_t kSearchedKeys = 48;
// The largest name or value the store holds (its records count in 32 bits).
constexpr size_t kMaxText = 0x7FFFFFFF;

} // namespace

CMemoryIniIO::CMemoryIniIO(bool flag) : flag_(flag) {}
CMemoryIniIO::~CMemoryIniIO() = default;

void CMemoryIniIO::Clear()
{
    blocks_.clear();
    spellings_.clear();
    spellingIndex_.Clear();
    folds_.clear();
    foldIndex_.Clear();
    entries_.clear();
    sections_.clear();
    keyIndexes_.clear();
    sectionIndex_.Clear();
    lastSection_ = kNone;
    wasteBytes_ = 0;
}

std::string_view CMemoryIniIO::Text(TextRef r) const
{
    return std::string_view(blocks_[r.at >> 16].data() + (r.at & 0xFFFF), r.size);
}

// Room for the three pieces of text one write may add.
bool CMemoryIniIO::Room() const { return blocks_.size() + 3 < kMaxBlocks; }

CMemoryIniIO::TextRef CMemoryIniIO::Put(std::string_view text)
{
    const size_t need = text.size() + 1;
    if (need > kBlockBytes) {
        // A block of its own; the next small text starts a new block.
        std::vector<char> own;
        own.reserve(need);
        own.insert(own.end(), text.begin(), text.end());
        own.push_back('\0');
        blocks_.push_back(std::move(own));
        return TextRef{static_cast<uint32_t>(blocks_.size() - 1) << 16, static_cast<uint32_t>(text.size())};
    }
    if (blocks_.empty() || blocks_.back().size() + need > std::min(kBlockBytes, blocks_.back().capacity())) {
        blocks_.emplace_back();
        blocks_.back().reserve(kBlockBytes);
    }
    std::vector<char> &block = blocks_.back();
    TextRef r{static_cast<uint32_t>(blocks_.size() - 1) << 16 | static_cast<uint32_t>(block.size()),
              static_cast<uint32_t>(text.size())};
    block.insert(block.end(), text.begin(), text.end());
    block.push_back('\0');
    return r;
}

std::string_view CMemoryIniIO::Value(const Entry &e) const
{
    if (e.key & kInline)
        return std::string_view(e.value);
    TextRef r;
    std::memcpy(&r, e.value, sizeof r);
    return Text(r);
}

const char *CMemoryIniIO::ValueText(const Entry &e) const
{
    if (e.key & kInline)
        return e.value;
    TextRef r;
    std::memcpy(&r, e.value, sizeof r);
    return blocks_[r.at >> 16].data() + (r.at & 0xFFFF);
}

size_t CMemoryIniIO::HeldBytes(const Entry &e) const { return (e.key & kInline) ? 0 : Value(e).size() + 1; }

uint32_t CMemoryIniIO::FoldOf(std::string_view key) const
{
    return foldIndex_.Find(HashNoCase(key), [&](uint32_t fold) {
        return SameNoCase(Text(spellings_[folds_[fold]].text), key);
    });
}

uint32_t CMemoryIniIO::FindSpelling(std::string_view key) const
{
    return spellingIndex_.Find(HashExact(key), [&](uint32_t s) { return Text(spellings_[s].text) == key; });
}

uint32_t CMemoryIniIO::SpellingOf(std::string_view key)
{
    uint32_t id = FindSpelling(key);
    if (id != kNone)
        return id;
    const uint32_t hash = HashExact(key);
    id = static_cast<uint32_t>(spellings_.size());
    uint32_t fold = FoldOf(key);
    if (fold == kNone) {
        fold = static_cast<uint32_t>(folds_.size());
        folds_.push_back(id);
        foldIndex_.Insert(HashNoCase(key), fold);
    }
    spellings_.push_back(Spelling{Put(key), fold});
    spellingIndex_.Insert(hash, id);
    return id;
}

uint32_t CMemoryIniIO::FindSection(std::string_view section) const
{
    return sectionIndex_.Find(HashNoCase(section),
                              [&](uint32_t s) { return SameNoCase(Text(sections_[s].name), section); });
}

uint32_t CMemoryIniIO::CreateSection(std::string_view section)
{
    uint32_t s = FindSection(section);
    if (s != kNone)
        return s;
    s = static_cast<uint32_t>(sections_.size());
    Section created;
    created.name = Put(section);
    sections_.push_back(created);
    sectionIndex_.Insert(HashNoCase(section), s);
    return s;
}

uint32_t CMemoryIniIO::FindEntry(uint32_t section, uint32_t fold) const
{
    const Section &s = sections_[section];
    if (!(s.folds & (uint64_t{1} << (fold & 63))))
        return kNone;
    if (s.count > kSearchedKeys)
        return keyIndexes_.at(section).Find(fold, [&](uint32_t e) { return FoldOfEntry(entries_[e]) == fold; });
    for (uint32_t e = s.first; e != kNone; e = entries_[e].next)
        if (FoldOfEntry(entries_[e]) == fold)
            return e;
    return kNone;
}

const CMemoryIniIO::Entry *CMemoryIniIO::FindEntry(std::string_view section, std::string_view key) const
{
    uint32_t s = FindSection(section);
    if (s == kNone)
        return nullptr;
    const uint32_t spelling = FindSpelling(key);
    const uint32_t fold = spelling != kNone ? spellings_[spelling].fold : FoldOf(key);
    if (fold == kNone)
        return nullptr;
    uint32_t e = FindEntry(s, fold);
    return e == kNone ? nullptr : &entries_[e];
}

void CMemoryIniIO::AddEntry(uint32_t section, std::string_view key, std::string_view value)
{
    const uint32_t id = static_cast<uint32_t>(entries_.size());
    Entry added;
    added.key = SpellingOf(key);
    entries_.push_back(added);
    SetValue(entries_.back(), value, true);
    Section &s = sections_[section];
    if (s.last == kNone)
        s.first = id;
    else
        entries_[s.last].next = id;
    s.last = id;
    ++s.count;
    s.folds |= uint64_t{1} << (FoldOfEntry(entries_[id]) & 63);
    if (s.count == kSearchedKeys + 1) {
        NameIndex &keys = keyIndexes_[section];
        for (uint32_t e = s.first; e != kNone; e = entries_[e].next)
            keys.Insert(FoldOfEntry(entries_[e]), e);
    } else if (s.count > kSearchedKeys + 1) {
        keyIndexes_[section].Insert(FoldOfEntry(entries_[id]), id);
    }
}

void CMemoryIniIO::SetValue(Entry &e, std::string_view value, bool fresh)
{
    const uint32_t spelling = e.key & ~kInline;
    const size_t old = fresh ? 0 : HeldBytes(e);
    if (value.size() < sizeof e.value && value.find('\0') == std::string_view::npos) {
        std::memset(e.value, 0, sizeof e.value);
        value.copy(e.value, value.size());
        e.key = spelling | kInline;
        wasteBytes_ += old;
        return;
    }
    if (!fresh && !(e.key & kInline) && value.size() < old) {
        // Fits where the old value was.
        TextRef r;
        std::memcpy(&r, e.value, sizeof r);
        char *at = blocks_[r.at >> 16].data() + (r.at & 0xFFFF);
        std::memmove(at, value.data(), value.size());
        at[value.size()] = '\0';
        wasteBytes_ += r.size - value.size();
        r.size = static_cast<uint32_t>(value.size());
        std::memcpy(e.value, &r, sizeof r);
        return;
    }
    const TextRef r = Put(value);
    std::memcpy(e.value, &r, sizeof r);
    e.key = spelling;
    wasteBytes_ += old;
    if (!fresh)
        CompactIfWasteful();
}

// Copies what is reachable into a fresh store once most of the text and
// records are left over from replaced values and deleted keys and sections.
void CMemoryIniIO::CompactIfWasteful()
{
    size_t held = entries_.size() * sizeof(Entry);
    for (const auto &b : blocks_)
        held += b.size();
    if (wasteBytes_ < (1u << 20) || wasteBytes_ * 2 < held)
        return;
    CMemoryIniIO fresh(flag_);
    for (const Section &s : sections_) {
        if (!s.live)
            continue;
        uint32_t to = fresh.CreateSection(Text(s.name));
        for (uint32_t e = s.first; e != kNone; e = entries_[e].next)
            fresh.AddEntry(to, KeyName(entries_[e]), Value(entries_[e]));
    }
    *this = std::move(fresh);
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
    uint32_t current = kNone;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#' || line.size() > kMaxText || !Room())
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            current = CreateSection(name);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || current == kNone)
            continue;
        std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = Trim(line.substr(eq + 1));
        uint32_t fold = FoldOf(key);
        if (fold != kNone && FindEntry(current, fold) != kNone)
            continue;
        AddEntry(current, key, value);
    }
}

const char *CMemoryIniIO::GetValue(std::string_view section, std::string_view key) const
{
    const Entry *e = FindEntry(section, key);
    return e ? ValueText(*e) : "";
}

std::string CMemoryIniIO::GetString(std::string_view section, std::string_view key, std::string_view fallback,
                                    size_t bufferChars) const
{
    size_t limit = bufferChars == 0 ? 0 : bufferChars - 1;
    const Entry *e = FindEntry(section, key);
    return TruncateChars(e ? Value(*e) : fallback, limit);
}

bool CMemoryIniIO::KeyExists(std::string_view section, std::string_view key) const
{
    return FindEntry(section, key) != nullptr;
}

bool CMemoryIniIO::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return false;
    if (section.find(']') != std::string_view::npos || HasEdgeBlanks(section))
        return false;
    if (key.empty() || HasEdgeBlanks(key) || key.find('=') != std::string_view::npos || key[0] == '[' || key[0] == ';' ||
        key[0] == '#')
        return false;
    if (section.size() > kMaxText || key.size() > kMaxText || value.size() > kMaxText || !Room())
        return false;
    // The builders write a section's keys one after another.
    uint32_t s = lastSection_;
    if (s == kNone || !sections_[s].live || !SameNoCase(Text(sections_[s].name), section))
        s = CreateSection(section);
    lastSection_ = s;
    // A key is mostly written as it was before: its spelling names its fold.
    const uint32_t spelling = FindSpelling(key);
    const uint32_t fold = spelling != kNone ? spellings_[spelling].fold : FoldOf(key);
    uint32_t e = fold == kNone ? kNone : FindEntry(s, fold);
    if (e != kNone)
        SetValue(entries_[e], value, false);
    else
        AddEntry(s, key, value);
    return true;
}

bool CMemoryIniIO::SectionExists(std::string_view section) const { return FindSection(section) != kNone; }

bool CMemoryIniIO::DeleteKey(std::string_view section, std::string_view key)
{
    uint32_t s = FindSection(section);
    uint32_t fold = FoldOf(key);
    if (s == kNone || fold == kNone)
        return false;
    Section &sec = sections_[s];
    uint32_t prev = kNone;
    uint32_t e = sec.first;
    while (e != kNone && FoldOfEntry(entries_[e]) != fold) {
        prev = e;
        e = entries_[e].next;
    }
    if (e == kNone)
        return false;
    Entry &gone = entries_[e];
    if (prev == kNone)
        sec.first = gone.next;
    else
        entries_[prev].next = gone.next;
    if (sec.last == e)
        sec.last = prev;
    if (sec.count > kSearchedKeys + 1)
        keyIndexes_[s].Remove(fold, e);
    else
        keyIndexes_.erase(s);
    --sec.count;
    wasteBytes_ += sizeof(Entry) + HeldBytes(gone);
    gone.key = kNone;
    gone.next = kNone;
    CompactIfWasteful();
    return true;
}

bool CMemoryIniIO::DeleteSection(std::string_view section)
{
    uint32_t s = FindSection(section);
    if (s == kNone)
        return false;
    Section &sec = sections_[s];
    sectionIndex_.Remove(HashNoCase(Text(sec.name)), s);
    sec.live = false;
    wasteBytes_ += sizeof(Section) + sec.name.size + 1;
    for (uint32_t e = sec.first; e != kNone; e = entries_[e].next)
        wasteBytes_ += sizeof(Entry) + HeldBytes(entries_[e]);
    keyIndexes_.erase(s);
    CompactIfWasteful();
    return true;
}

std::vector<std::string> CMemoryIniIO::SectionNames() const
{
    std::vector<std::string> names;
    names.reserve(sectionIndex_.Size());
    for (const auto &s : sections_)
        if (s.live)
            names.emplace_back(Text(s.name));
    return names;
}

std::vector<std::pair<std::string, std::string>> CMemoryIniIO::Entries(std::string_view section) const
{
    std::vector<std::pair<std::string, std::string>> out;
    uint32_t s = FindSection(section);
    if (s == kNone)
        return out;
    out.reserve(sections_[s].count);
    for (uint32_t e = sections_[s].first; e != kNone; e = entries_[e].next)
        out.emplace_back(KeyName(entries_[e]), Value(entries_[e]));
    return out;
}

template <typename Sink> void CMemoryIniIO::AppendSection(Sink &out, const Section &s) const
{
    out += '[';
    out += Text(s.name);
    out += "]\r\n";
    for (uint32_t e = s.first; e != kNone; e = entries_[e].next) {
        out += KeyName(entries_[e]);
        out += '=';
        out += Value(entries_[e]);
        out += "\r\n";
    }
    out += "\r\n";
}

std::string CMemoryIniIO::ToText() const
{
    std::string out;
    for (const auto &s : sections_)
        if (s.live)
            AppendSection(out, s);
    return out;
}

namespace {

// Writes a file under a temporary name in pieces as it is produced, and
// puts it in place (flushed, then renamed, then the folder synced) on
// Commit. Without a successful Commit the temporary file is removed.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string_view path)
        : host_(platform::HostPath(path)), tmp_(host_ + ".tmp" + std::to_string(platform::CurrentProcessId()))
    {
        ok_ = file_.Open(tmp_, platform::FileAccess::Write, platform::FileCreation::CreateOrTruncate) == 0;
        created_ = ok_;
        // The buffer grows to what the file needs, up to a piece: most files
        // written here are a few hundred bytes, and a piece set aside for
        // each would cost more than the write.
    }
    ~AtomicFileWriter()
    {
        if (created_ && !committed_) {
            file_.Close();
            platform::RemoveHostFile(tmp_);
        }
    }
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    AtomicFileWriter &operator+=(std::string_view text)
    {
        buffer_.append(text);
        if (buffer_.size() >= kPieceBytes)
            Flush();
        return *this;
    }
    AtomicFileWriter &operator+=(char c)
    {
        buffer_.push_back(c);
        return *this;
    }

    bool Commit()
    {
        Flush();
        if (ok_ && FlushFileData(file_, host_) != 0)
            ok_ = false;
        if (file_.Close() != 0)
            ok_ = false;
        if (ok_ && platform::ReplaceHostFile(tmp_, host_, false) != 0)
            ok_ = false;
        if (!ok_)
            return false;
        committed_ = true;
        // The new name is on disk before the save counts as done.
        return SyncParentFolder(host_) == 0;
    }

private:
    static constexpr size_t kPieceBytes = 1 << 20;

    void Flush()
    {
        if (ok_ && !buffer_.empty() && file_.Write(buffer_.data(), buffer_.size()) != 0)
            ok_ = false;
        buffer_.clear();
    }

    std::string host_, tmp_;
    platform::HostFile file_;
    std::string buffer_;
    bool ok_ = false, created_ = false, committed_ = false;
};

} // namespace

bool CMemoryIniIO::SaveToFile(std::string_view path) const
{
    AtomicFileWriter out(path);
    for (const auto &s : sections_)
        if (s.live)
            AppendSection(out, s);
    return out.Commit();
}

bool CMemoryIniIO::SaveToFileOrdered(std::string_view path, const std::vector<std::string> &patterns) const
{
    std::vector<bool> written(sections_.size(), false);
    AtomicFileWriter out(path);
    auto emit = [&](std::string_view name) -> uint32_t {
        uint32_t s = FindSection(name);
        if (s == kNone || written[s])
            return kNone;
        written[s] = true;
        AppendSection(out, sections_[s]);
        return s;
    };
    const uint32_t endFold = FoldOf("End");
    std::string name;
    for (const auto &pattern : patterns) {
        size_t at = pattern.find("%d");
        if (at == std::string::npos) {
            emit(pattern);
            continue;
        }
        for (long n = 1;; ++n) {
            name.assign(pattern, 0, at);
            name += std::to_string(n);
            name.append(pattern, at + 2);
            const uint32_t s = emit(name);
            if (s == kNone || (endFold != kNone && FindEntry(s, endFold) != kNone))
                break;
        }
    }
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].live && !written[i])
            AppendSection(out, sections_[i]);
    return out.Commit();
}

} // namespace halcyon::support
