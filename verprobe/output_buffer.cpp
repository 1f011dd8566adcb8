#include "verprobe/output_buffer.h"

#include <cstring>

namespace halcyon::verprobe {

size_t FittingPrefix(std::string_view text, size_t capacity)
{
    if (text.size() <= capacity)
        return text.size();
    size_t cut = capacity;
    // Step back over continuation bytes to the start of the cut character;
    // a character is at most four bytes long.
    size_t back = 0;
    while (cut > 0 && back < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
        ++back;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        cut = capacity; // not UTF-8 here: cut at the byte limit
    return cut;
}

void OutputBuffer::Set(std::string_view text)
{
    size_t n = FittingPrefix(text, size_ - 1);
    std::memcpy(out_, text.data(), n);
    out_[n] = '\0';
}

} // namespace halcyon::verprobe
