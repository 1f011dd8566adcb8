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
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
        std::unordered_map<std::string, size_t> index; // lower-case key -> entry
        bool live = true;
    };
    const Section *Find(std::string_view section) const;
    Section *Find(std::string_view section);
    Section &Create(std::string_view section);
    void AppendSection(std::string &out, const Section &s) const;

    bool flag_;
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> index_; // lower-case name -> section
};

// Cuts UTF-8 text to at most `maxChars` characters.
std::string TruncateChars(std::string_view text, size_t maxChars);

// Reads a whole file; UTF-16LE with BOM becomes UTF-8, a UTF-8 BOM is dropped.
bool ReadTextFile(std::string_view path, std::string &out);

} // namespace halcyon::support
