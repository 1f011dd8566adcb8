// ExecuteProgram on the Windows shell: the start failures give the numbers
// they give on Linux for the same input, and no exit code is stored.
#include <gtest/gtest.h>

#include "halcyon/HalcyonDLL.h"
#include "tests/common/test_env.h"

using namespace halcyon::test;

TEST(WindowsExecuteProgram, StartFailuresAsOnLinux)
{
    TempDir dir("halcyon-exec");
    WriteFile(dir.path() + "\\three.cmd", "@exit /b 3\r\n");
    const std::string log = dir.path() + "\\exec.log";
    const std::string d = dir.path();
    const std::string gone = d + "\\gone";
    const std::string inMissing = d + "\\gone\\three.cmd";
    struct Case {
        const char *what, *workDir, *file;
        int32_t want;
    } cases[] = {
        {"no folder, no file", nullptr, nullptr, 2},
        {"empty file", d.c_str(), "", 2},
        {"missing file", d.c_str(), "missing.exe", 2},
        {"file in a missing folder", d.c_str(), "gone\\three.cmd", 3},
        {"full path in a missing folder", nullptr, inMissing.c_str(), 3},
        {"missing working folder", gone.c_str(), "three.cmd", 3},
    };
    for (const Case &c : cases) {
        uint32_t code = 12345;
        EXPECT_EQ(::ExecuteProgram(c.workDir, c.file, "", 0, 0, &code, log.c_str()), c.want) << c.what;
        EXPECT_EQ(code, 12345u) << c.what;
    }
    uint32_t code = 0;
    EXPECT_EQ(::ExecuteProgram(d.c_str(), "three.cmd", "", 0, 0, &code, log.c_str()), 0);
    EXPECT_EQ(code, 3u);
}
