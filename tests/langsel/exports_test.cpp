// The server's export list and the layouts its clients rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "halcyon/MuiChooser.h"
#include "langsel/activation.h"

namespace {

TEST(MuiChooserExports, ExactlyTheComEntryPointsAndStringFunctions)
{
    std::string command = std::string("nm -D --defined-only '") + MUICHOOSER_DLL_PATH + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    ASSERT_TRUE(pipe);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name && (kind == "T" || kind == "D" || kind == "B" || kind == "W"))
            exported.insert(name.substr(0, name.find('@'))); // without its version node
    }
    std::set<std::string> expected = {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                                      "DllUnregisterServer", "DllInstall", "SysAllocString",
                                      "SysAllocStringLen", "SysFreeString", "SysStringLen"};
    EXPECT_EQ(exported, expected);
}

TEST(MuiChooserExports, BstrLayoutIsLengthInBytesThenCharacters)
{
    halcyon::langsel::ServerLibrary server(MUICHOOSER_DLL_PATH);
    ASSERT_TRUE(server) << server.error();
    auto alloc = reinterpret_cast<BSTR (*)(const OLECHAR *)>(server.Symbol("SysAllocString"));
    auto allocLen = reinterpret_cast<BSTR (*)(const OLECHAR *, UINT)>(server.Symbol("SysAllocStringLen"));
    auto length = reinterpret_cast<UINT (*)(BSTR)>(server.Symbol("SysStringLen"));
    auto release = reinterpret_cast<void (*)(BSTR)>(server.Symbol("SysFreeString"));
    ASSERT_TRUE(alloc && allocLen && length && release);

    BSTR text = alloc(u"de-DE");
    ASSERT_NE(text, nullptr);
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<char *>(text) - 4, 4);
    EXPECT_EQ(bytes, 10u);
    EXPECT_EQ(length(text), 5u);
    EXPECT_EQ(text[5], u'\0');
    release(text);

    // Embedded NULs count; a null source gives zeroed characters.
    BSTR embedded = allocLen(u"a\0b", 3);
    EXPECT_EQ(length(embedded), 3u);
    EXPECT_EQ(embedded[2], u'b');
    release(embedded);
    BSTR zeroed = allocLen(nullptr, 2);
    EXPECT_EQ(zeroed[0], u'\0');
    EXPECT_EQ(length(zeroed), 2u);
    release(zeroed);
    EXPECT_EQ(alloc(nullptr), nullptr);
    EXPECT_EQ(length(nullptr), 0u);
    release(nullptr);
    EXPECT_EQ(allocLen(u"", 0x40000000u), nullptr); // too long for the length word
}

} // namespace
