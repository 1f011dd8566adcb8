// Shared pieces of the VerGauge export tests: a private machine and calls
// that return the code together with the output text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "halcyon/VerGauge.h"
#include "platform/path_map.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

struct Probe {
    uint32_t code;
    std::string text;
};

inline Probe Call(uint32_t (*fn)(const char *, char *, uint32_t), const char *target, uint32_t size = 261)
{
    std::string buf(size + 1, '\x7f');
    uint32_t code = fn(target, buf.data(), size);
    EXPECT_EQ(buf[size], '\x7f') << "output overrun";
    return {code, std::string(buf.c_str())};
}

inline Probe Verify(const char *target, const char *expected, uint32_t size = 261)
{
    std::string buf(size + 1, '\x7f');
    uint32_t code = VerifyVersion_s(target, expected, buf.data(), size);
    EXPECT_EQ(buf[size], '\x7f') << "output overrun";
    return {code, std::string(buf.c_str())};
}

// A machine of its own per test; Windows paths below C: map into it.
class ProbeTest : public ::testing::Test {
protected:
    MachineScope machine;
    static std::string Host(const std::string &windowsPath) { return platform::MapPathText(windowsPath); }
};

} // namespace halcyon::test
