// What both export forms of HalcyonDLL.dll share: the boundary that no
// exception crosses, UTF-16 arguments as the verbs' UTF-8 ones, and the
// UTF-8 buffer a verb writes its text answer into.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "halcyon/ReturnCodes.h"
#include "wide_text.h"

namespace halcyon::win {

constexpr int32_t kInternalError = RETURN_INTERNAL_ERROR;

template <typename Result, typename Body>
Result Guarded(Result onError, Body &&body) noexcept
{
    try {
        return body();
    } catch (...) {
        return onError;
    }
}

// A UTF-16 argument as the verb's UTF-8 argument (no text stays null).
class Arg {
public:
    explicit Arg(const wchar_t *s) : null_(s == nullptr), text_(s ? platform::win::Narrow(s) : std::string()) {}
    explicit Arg(std::optional<std::wstring_view> s)
        : null_(!s), text_(s ? platform::win::Narrow(*s) : std::string())
    {
    }
    operator const char *() const { return null_ ? nullptr : text_.c_str(); }

private:
    bool null_;
    std::string text_;
};

// The UTF-8 buffer a verb writes its text answer into, `bytes` long (no
// buffer when 0). Whether the verb wrote one shows in the first byte, which
// starts as 0xFF: no UTF-8 text begins with it.
class Utf8Answer {
public:
    // Answers longer than this are refused by the verb as too long.
    static constexpr size_t kMaxBytes = size_t{1} << 20;

    explicit Utf8Answer(size_t bytes) : bytes_(std::min(bytes, kMaxBytes), '\xFF') {}
    char *data() { return bytes_.empty() ? nullptr : bytes_.data(); }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    bool Written() const { return !bytes_.empty() && bytes_[0] != '\xFF'; }
    std::wstring Wide() const
    {
        const std::string_view text(bytes_);
        return platform::win::Widen(text.substr(0, text.find('\0')));
    }

private:
    std::string bytes_;
};

// The caller's UTF-16 out buffer as a UTF-8 buffer for the verb, large
// enough for every text whose UTF-16 form fits the caller's (at most 3
// bytes per UTF-16 unit). The verb's answer goes back only when the verb
// wrote one.
class WideOut {
public:
    WideOut(wchar_t *out, uint32_t size)
        : out_(out), size_(out ? size : 0), answer_(size_ > 0 ? 3 * (static_cast<size_t>(size_) - 1) + 1 : 0)
    {
    }
    char *data() { return answer_.data(); }
    uint32_t size() const { return answer_.size(); }
    bool Written() const { return answer_.Written(); }

    // The whole answer or, when it does not fit, the empty string and
    // RETURN_BUFFER_TOO_SMALL (an answer is never handed back cut).
    int32_t CopyWhole()
    {
        const std::wstring wide = answer_.Wide();
        if (wide.size() >= size_) {
            out_[0] = L'\0';
            return RETURN_BUFFER_TOO_SMALL;
        }
        std::memcpy(out_, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        return 0;
    }

    // The answer cut to the caller's size, never inside a surrogate pair.
    void CopyCut()
    {
        const std::wstring wide = answer_.Wide();
        size_t n = std::min<size_t>(wide.size(), size_ - 1);
        if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF)
            --n;
        std::memcpy(out_, wide.data(), n * sizeof(wchar_t));
        out_[n] = L'\0';
    }

private:
    wchar_t *out_;
    uint32_t size_;
    Utf8Answer answer_;
};

} // namespace halcyon::win
