// The six exports of VerGauge.dll: UTF-16 text in and out, sizes in wchar_t
// units. Each call converts its arguments, runs the UTF-8 probe and returns
// its text cut to the caller's buffer at a character boundary.
#include "halcyon/VerGauge.h"

#include <string>

#include "wide_text.h"
#include "verprobe/result_codes.h"
#include "verprobe/utf8_entries.h"

using halcyon::platform::win::Narrow;
using halcyon::platform::win::Widen;

namespace {

// Room for the longest text a probe returns (texts are limited to 255
// characters, the registry's binary data to 256 bytes shown as hex).
constexpr uint32_t kUtf8Room = 4096;

template <typename Probe>
uint32_t RunWide(wchar_t *out, uint32_t size, Probe &&probe) noexcept
{
    if (size == 0 || out == nullptr)
        return halcyon::verprobe::kZeroSize;
    out[0] = L'\0';
    try {
        std::string text(kUtf8Room, '\0');
        uint32_t result = probe(text.data(), kUtf8Room);
        text.resize(text.find('\0'));
        std::wstring wide = Widen(text);
        size_t n = wide.size() < size ? wide.size() : size - 1;
        // Never leave half of a surrogate pair.
        if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF)
            --n;
        wide.copy(out, n);
        out[n] = L'\0';
        return result;
    } catch (...) {
        out[0] = L'\0';
        return halcyon::verprobe::kInternalError;
    }
}

// Null stays null (the probes answer it as empty).
struct Arg {
    explicit Arg(const wchar_t *s) : null(s == nullptr), text(s ? Narrow(s) : std::string()) {}
    const char *get() const { return null ? nullptr : text.c_str(); }
    bool null;
    std::string text;
};

} // namespace

extern "C" {

#define VERGAUGE_WIDE_PROBE(name)                                                                                 \
    VERGAUGE_API uint32_t name(const wchar_t *target, wchar_t *out, uint32_t out_size)                           \
    {                                                                                                              \
        return RunWide(out, out_size, [target](char *buf, uint32_t room) {                                         \
            Arg t(target);                                                                                         \
            return halcyon::verprobe::utf8::name(t.get(), buf, room);                                              \
        });                                                                                                        \
    }

VERGAUGE_WIDE_PROBE(GetExeVersion_s)
VERGAUGE_WIDE_PROBE(GetRegVersion_s)
VERGAUGE_WIDE_PROBE(GetTextVersion_s)
VERGAUGE_WIDE_PROBE(GetCopyright_s)
VERGAUGE_WIDE_PROBE(GetLastModifiedDate_s)

VERGAUGE_API uint32_t VerifyVersion_s(const wchar_t *target, const wchar_t *expected, wchar_t *out,
                                      uint32_t out_size)
{
    return RunWide(out, out_size, [target, expected](char *buf, uint32_t room) {
        Arg t(target), e(expected);
        return halcyon::verprobe::utf8::VerifyVersion_s(t.get(), e.get(), buf, room);
    });
}

} // extern "C"
