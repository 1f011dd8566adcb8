// CMemoryIniIO: a whole INI file held in memory. Every INI file of the engine
// (plans, module INIs, media descriptions) is read and written through it.
//
// Reading rules: UTF-8 text (a UTF-8 BOM is skipped, UTF-16LE with BOM is
// converted), LF or CR LF line ends; "[name]" starts a section; "key=value"
// splits at the first '='; names and values are trimmed of spaces and tabs;
// lines starting with ';' or '#' and lines without '=' are ignored. Section
// and key names compare without regard to (ASCII) case and keep the case
// they were first written with; a key repeated in a section keeps its first
// value, a repeated section continues the first.
//
// Files are written UTF-8, CR LF line ends, "key=value" without spaces, an
// empty line after each section, replaced atomically (temporary file +
// rename). A section, key or value that would break that layout (line breaks,
// a key with '=' or starting with '[', ';' or '#', a section name with ']')
// is refused by WriteString, so a saved file always reads back as written.
//
// Layout: names and values are kept once, in text blocks that never move
// (a key name shared by many sections is kept once); sections and keys are
// small records chained in creation order, found through hash tables that
// compare names without regard to case. A section of many keys gets a table
// of its own; a small one is searched in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/ini/name_index.h"

namespace halcyon::support {

class CMemoryIniIO {
public:
    // `flag` is bit 19 of the calling verb's options; it is recorded and has
    // no effect on reading or writing.
    explicit CMemoryIniIO(bool flag = false);
    virtual ~CMemoryIniIO();
    CMemoryIniIO(const CMemoryIniIO &) = default;
    CMemoryIniIO &operator=(const CMemoryIniIO &) = default;

    // Replaces the contents with the file's (Windows or host path text).
    // False when the file cannot be read; the store is then empty.
    virtual bool LoadFile(std::string_view path);
    // Parses INI text (same rules as LoadFile).
    void LoadText(std::string_view text);

    // The value, or "" when absent. The pointer stays valid until the store
    // is changed.
    virtual const char *GetValue(std::string_view section, std::string_view key) const;
    // The value, or `fallback` when the section or key is absent, cut to at
    // most `bufferChars - 1` characters (the caller's buffer of that many
    // characters, terminator included).
    virtual std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                                  size_t bufferChars = 260) const;
    // Sets a value, creating section and key as needed. False (store
    // unchanged) when a name or the value would break the file layout.
    virtual bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    virtual bool SectionExists(std::string_view section) const;
    // Writes every section: those named by `patterns` first, in pattern
    // order ("%d" in a pattern stands for 1, 2, ... up to and including the
    // first member holding an "End" key, or the first missing number), then
    // any other sections in the order they were created.
    virtual bool SaveToFileOrdered(std::string_view path, const std::vector<std::string> &patterns) const;

    // Writes every section in creation order.
    bool SaveToFile(std::string_view path) const;
    bool KeyExists(std::string_view section, std::string_view key) const;
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);
    std::vector<std::string> SectionNames() const;
    std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;
    std::string ToText() const;
    void Clear();
    bool Flag() const { return flag_; }

private:
    static constexpr uint32_t kNone = NameIndex::kNone;

    // A piece of text in the blocks, NUL-terminated: block number in the
    // high 16 bits of `at`, offset in the low 16 (blocks hold 64 KiB; a
    // longer text gets a block of its own, at offset 0).
    struct TextRef {
        uint32_t at = 0;
        uint32_t size = 0;
    };
    // One spelling of a key name; `fold` is the id of its case-free name
    // (the first spelling seen of it).
    struct Spelling {
        TextRef text;
        uint32_t fold = kNone;
    };
    // A key: its spelling (with kInline set when the value is held in
    // `value` itself: up to 7 bytes, NUL-terminated) or kNone once deleted,
    // the next key of its section, and the value or its TextRef.
    struct Entry {
        uint32_t key = kNone;
        uint32_t next = kNone;
        char value[8] = {};
    };
    static constexpr uint32_t kInline = 0x80000000u;
    struct Section {
        TextRef name;
        uint32_t first = kNone, last = kNone;
        uint32_t count = 0;
        bool live = true;
        uint64_t folds = 0; // bit (fold % 64) of each key it ever held: a clear bit saves the search
    };

    std::string_view Text(TextRef r) const;
    TextRef Put(std::string_view text);
    std::string_view KeyName(const Entry &e) const { return Text(spellings_[e.key & ~kInline].text); }
    uint32_t FoldOfEntry(const Entry &e) const { return spellings_[e.key & ~kInline].fold; }
    std::string_view Value(const Entry &e) const;
    const char *ValueText(const Entry &e) const;
    size_t HeldBytes(const Entry &e) const;
    bool Room() const;
    uint32_t FoldOf(std::string_view key) const;
    uint32_t FindSpelling(std::string_view key) const;
    uint32_t SpellingOf(std::string_view key);
    uint32_t FindSection(std::string_view section) const;
    uint32_t CreateSection(std::string_view section);
    uint32_t FindEntry(uint32_t section, uint32_t fold) const;
    const Entry *FindEntry(std::string_view section, std::string_view key) const;
    void AddEntry(uint32_t section, std::string_view key, std::string_view value);
    void SetValue(Entry &e, std::string_view value, bool fresh);
    void CompactIfWasteful();
    template <typename Sink> void AppendSection(Sink &out, const Section &s) const;

    bool flag_;
    std::vector<std::vector<char>> blocks_; // text blocks; never grown past their first size
    std::vector<Spelling> spellings_;
    NameIndex spellingIndex_;         // exact spelling -> spelling
    std::vector<uint32_t> folds_;     // fold -> its first spelling
    NameIndex foldIndex_;             // case-free name -> fold
    std::deque<Entry> entries_;       // in pieces: growing never copies them all
    std::deque<Section> sections_;    // creation order, deleted ones not live
    std::unordered_map<uint32_t, NameIndex> keyIndexes_; // section of many keys -> fold -> entry
    NameIndex sectionIndex_;          // case-free name -> live section
    uint32_t lastSection_ = kNone;    // the section WriteString last wrote to
    size_t wasteBytes_ = 0;           // text and records no longer reachable
};

// Cuts UTF-8 text to at most `maxChars` characters.
std::string TruncateChars(std::string_view text, size_t maxChars);

// Reads a whole file; UTF-16LE with BOM becomes UTF-8, a UTF-8 BOM is dropped.
bool ReadTextFile(std::string_view path, std::string &out);

} // namespace halcyon::support
