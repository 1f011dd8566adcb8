// The command's console: whether a stream is a terminal, how wide it is, and
// standard output sent to the null device for a while (the engine's operator
// lines) with a stream kept on the original output.
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/non_copyable.h"

namespace halcyon::platform {

// Makes the console show the program's UTF-8 text and understand the escape
// sequences that redraw a line (a Windows console uses an OEM code page and
// takes neither otherwise). Nothing to do elsewhere.
void UseUtf8Console();

// True when `stream` is an interactive terminal (a console on Windows).
bool IsTerminal(std::FILE *stream);

// The columns of the terminal behind `stream`; 0 when not known.
size_t TerminalColumns(std::FILE *stream);

// While it lives, whatever the process (or a child it starts) writes to
// standard output goes to the null device; Original() writes where standard
// output went before. Restored when destroyed.
class QuietStandardOutput : NonCopyable {
public:
    QuietStandardOutput() = default;
    ~QuietStandardOutput();

    // False (nothing changed) when the output cannot be diverted.
    bool Divert();
    // The original standard output; stdout when not diverted.
    std::FILE *Original() const { return original_ ? original_ : stdout; }

private:
    std::FILE *original_ = nullptr;
    int saved_ = -1;
};

} // namespace halcyon::platform
