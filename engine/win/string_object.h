// The application framework's wide string objects (HalcyonString in
// halcyon/HalcyonDLL.h) as the front ends pass them: by value (the address
// of a copy the callee releases) and by reference (an object to rewrite).
// A block is only ever freed through its own manager.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::win {

// The header before a string's text.
HalcyonStringHeader *HeaderOf(const HalcyonString &s) noexcept;

// The text of a string, read in place: the header's length, cut at an
// earlier terminator. No text for a null address or text pointer.
std::optional<std::wstring_view> TextOf(const HalcyonString *s) noexcept;

// Drops the string's reference to its block: an atomic decrement, and when
// the count reaches <= 0 the block goes back to its manager's Free. The
// object points nowhere afterwards. Null addresses and text are skipped.
void Release(HalcyonString *s) noexcept;

// Every by-value string argument of one call, released once when the call
// leaves, on every path.
template <size_t N>
class ReleasedArguments {
public:
    template <typename... Args>
    explicit ReleasedArguments(Args... args) noexcept : args_{args...}
    {
    }
    ~ReleasedArguments()
    {
        for (HalcyonString *arg : args_)
            Release(arg);
    }
    ReleasedArguments(const ReleasedArguments &) = delete;
    ReleasedArguments &operator=(const ReleasedArguments &) = delete;

private:
    std::array<HalcyonString *, N> args_;
};
template <typename... Args>
ReleasedArguments(Args...) -> ReleasedArguments<sizeof...(Args)>;

// Gives the caller's object `text`: a block from the object's own manager
// with the text and its length; the old block is released (it stays intact
// for its other holders). False when the manager gives no block or the
// text is too long; the object is then unchanged.
bool Assign(HalcyonString &s, std::wstring_view text) noexcept;

// A new string holding `text` (count 1) from the DLL's own manager, whose
// blocks the front end may release, copy or grow: the labels handed to
// progress callbacks. The empty text is the manager's nil block. False when
// out of memory (nothing was made).
bool MakeOwnString(HalcyonString &s, std::wstring_view text) noexcept;

} // namespace halcyon::win
