// The caller's output buffer: a size in bytes, always NUL-terminated, never
// overrun, cut only at a UTF-8 character boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyon::verprobe {

class OutputBuffer {
public:
    // `size` must be at least 1 and `out` not null (the exports check).
    OutputBuffer(char *out, uint32_t size) : out_(out), size_(size) { Clear(); }

    void Clear() { out_[0] = '\0'; }
    // Copies as much of `text` as fits, cut at a character boundary.
    void Set(std::string_view text);
    // The text the buffer holds now.
    std::string Text() const { return std::string(out_); }

private:
    char *out_;
    uint32_t size_;
};

// The length of the longest prefix of `text` that fits in `capacity` bytes
// and does not end inside a UTF-8 character.
size_t FittingPrefix(std::string_view text, size_t capacity);

} // namespace halcyon::verprobe
