// Lines of text files, read as 8-bit text the way a text-mode stream reads
// them: "\r\n" becomes "\n", a line ends after its "\n" (kept), and a NUL
// ends the line's text. Lines that are not valid UTF-8 are taken as Latin-1.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace halcyon::verprobe {

class LineReader {
public:
    explicit LineReader(const std::string &hostPath);
    bool ok() const { return file_ != nullptr; }
    // The next line with its "\n" when it has one; false at the end.
    // `overlong` is set when the line was longer than kMaxLineBytes (its
    // text is then cut there).
    bool Next(std::string *line, bool *overlong);

    static constexpr size_t kMaxLineBytes = 64 * 1024;

private:
    struct Closer {
        void operator()(std::FILE *f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

// The first line of `target`: 0; 1 (no such file); 4 (cannot be opened);
// 13 (empty); 15 (longer than 255 characters, not counting its "\n").
uint32_t ReadFirstLine(std::string_view target, std::string *line);

// Searches the lines of the file at `hostPath` for one that equals
// `expected` once cut at its first CR or LF, trimmed and upper-cased: 0 when
// found, else 4 (also when the file cannot be opened). `lastLine` receives
// the last line read.
uint32_t SearchLines(const std::string &hostPath, std::string_view expected, std::string *lastLine);

} // namespace halcyon::verprobe
