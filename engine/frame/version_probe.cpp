#include "engine/frame/version_probe.h"

#include "halcyon/VerGauge.h"

#if defined(_WIN32)
#include <algorithm>
#include <cstring>
#include <string>

#include "wide_text.h"
#endif

namespace halcyon::frame {

#if defined(_WIN32)

namespace {

using platform::win::Narrow;
using platform::win::Widen;

// Room for the longest answer of a probe (texts are limited to 255
// characters, registry binary data to 256 bytes shown as hex).
constexpr uint32_t kWideRoom = 4096;

template <typename Probe>
uint32_t RunWide(char *out, uint32_t size, Probe &&probe)
{
    if (!out || size == 0)
        return probe(nullptr, 0);
    const uint32_t room = std::min(size, kWideRoom);
    std::wstring wide(room, L'\0');
    const uint32_t result = probe(wide.data(), room);
    wide.resize(std::wcslen(wide.c_str()));
    const std::string text = Narrow(wide);
    size_t n = std::min<size_t>(text.size(), size - 1);
    // Never leave part of a UTF-8 character.
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return result;
}

// Null stays null (VerGauge answers it as empty).
std::wstring WideOf(const char *s) { return s ? Widen(s) : std::wstring(); }
const wchar_t *OrNull(const char *s, const std::wstring &w) { return s ? w.c_str() : nullptr; }

} // namespace

uint32_t VerifyVersion(const char *target, const char *expected, char *out, uint32_t size)
{
    const std::wstring t = WideOf(target), e = WideOf(expected);
    return RunWide(out, size, [&](wchar_t *buf, uint32_t room) {
        return ::VerifyVersion_s(OrNull(target, t), OrNull(expected, e), buf, room);
    });
}

uint32_t GetRegVersion(const char *registryPath, char *out, uint32_t size)
{
    const std::wstring p = WideOf(registryPath);
    return RunWide(out, size, [&](wchar_t *buf, uint32_t room) {
        return ::GetRegVersion_s(OrNull(registryPath, p), buf, room);
    });
}

#else

uint32_t VerifyVersion(const char *target, const char *expected, char *out, uint32_t size)
{
    return ::VerifyVersion_s(target, expected, out, size);
}

uint32_t GetRegVersion(const char *registryPath, char *out, uint32_t size)
{
    return ::GetRegVersion_s(registryPath, out, size);
}

#endif

} // namespace halcyon::frame
