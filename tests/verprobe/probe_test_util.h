// Shared pieces of the VerGauge export tests: a private machine and calls
// that return the code together with the output text.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "halcyon/VerGauge.h"
#include "platform/path_map.h"
#include "tests/common/test_env.h"
#if defined(_WIN32)
#include "wide_text.h"
#endif

namespace halcyon::test {

struct Probe {
    uint32_t code;
    std::string text;
};

#if defined(_WIN32)
// The Windows exports take UTF-16; the tests speak UTF-8 to them.
using ProbeText = std::wstring;
inline ProbeText In(const char *s) { return s ? platform::win::Widen(s) : ProbeText(); }
inline const wchar_t *Arg(const char *s, const ProbeText &w) { return s ? w.c_str() : nullptr; }
inline std::string Out(const ProbeText &buf) { return platform::win::Narrow(buf.c_str()); }
#else
using ProbeText = std::string;
inline ProbeText In(const char *) { return {}; }
inline const char *Arg(const char *s, const ProbeText &) { return s; }
inline std::string Out(const ProbeText &buf) { return std::string(buf.c_str()); }
#endif

inline Probe Call(uint32_t (*fn)(const vergauge_char *, vergauge_char *, uint32_t), const char *target,
                  uint32_t size = 261)
{
    ProbeText buf(size + 1, 0x7f), t = In(target);
    uint32_t code = fn(Arg(target, t), buf.data(), size);
    EXPECT_EQ(buf[size], 0x7f) << "output overrun";
    return {code, Out(buf)};
}

inline Probe Verify(const char *target, const char *expected, uint32_t size = 261)
{
    ProbeText buf(size + 1, 0x7f), t = In(target), e = In(expected);
    uint32_t code = VerifyVersion_s(Arg(target, t), Arg(expected, e), buf.data(), size);
    EXPECT_EQ(buf[size], 0x7f) << "output overrun";
    return {code, Out(buf)};
}

// Sets (or, with null, removes) a variable of the process environment.
inline void SetEnv(const char *name, const char *value)
{
#if defined(_WIN32)
    ::_putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

// A machine of its own per test; Windows paths below C: map into it.
class ProbeTest : public ::testing::Test {
protected:
    MachineScope machine;
    static std::string Host(const std::string &windowsPath) { return platform::MapPathText(windowsPath); }
};

} // namespace halcyon::test
