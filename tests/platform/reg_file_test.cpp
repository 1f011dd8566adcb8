// Registry text files: round trip of every type, files from Windows tools,
// the line forms other tools write, malformed files refused whole and why.
#include <gtest/gtest.h>

#include "platform/reg_file.h"
#include "platform/registry.h"
#include "platform/text_utf16.h"
#include "tests/common/test_env.h"

using namespace halcyon::platform;
using namespace halcyon::platform::reg;

namespace {

class RegFile : public ::testing::Test {
protected:
    halcyon::test::MachineScope machine;
};

struct Value {
    std::string name;
    uint32_t type;
    std::string data;
};

const std::vector<Value> kValues = {
    {"", REG_SZ, "default"},
    {"Quote \"and\" back\\slash", REG_SZ, "C:\\Program Files\\\"x\""},
    {"Empty", REG_SZ, ""},
    {"WithNul", REG_SZ, std::string("abc\0", 4)},
    {"Umlaut", REG_SZ, "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80"},
    {"Expand", REG_EXPAND_SZ, "%windir%\\x"},
    {"Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
    {"Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
    {"ShortDword", REG_DWORD, std::string("\x01\x02", 2)},
    {"Qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
    {"Binary", REG_BINARY, std::string(100, '\xAB')},
    {"None", REG_NONE, ""},
};

void Fill(const std::string &sub)
{
    UniqueKey k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, sub, KEY_ALL_ACCESS, k.out()), 0);
    for (const auto &v : kValues)
        ASSERT_EQ(RegSetValueEx(k.get(), v.name, v.type, v.data.data(), v.data.size()), 0) << v.name;
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, sub + "\\Child\\Grandchild", "deep", "1"), 0);
    UniqueKey empty;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, sub + "\\EmptyChild", KEY_ALL_ACCESS, empty.out()), 0);
}

void Check(const std::string &sub)
{
    UniqueKey k;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, sub, KEY_READ, k.out()), 0);
    for (const auto &v : kValues) {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        ASSERT_EQ(RegQueryValueEx(k.get(), v.name, &type, &data), 0) << v.name;
        EXPECT_EQ(type, v.type) << v.name;
        EXPECT_EQ(std::string(data.begin(), data.end()), v.data) << v.name;
    }
    std::string deep;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, sub + "\\Child\\Grandchild", "deep", &deep), 0);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, sub + "\\EmptyChild"));
}

} // namespace

TEST_F(RegFile, RoundTripKeepsEveryByte)
{
    Fill("SOFTWARE\\RoundTrip");
    halcyon::test::TempDir dir("regfile");
    std::string file = dir / "out.reg";
    ASSERT_EQ(ExportRegFile(HKEY_LOCAL_MACHINE, "SOFTWARE\\RoundTrip", 0, file), 0);
    std::string bytes = halcyon::test::ReadFile(file);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::string text = Utf16LeToUtf8(bytes.substr(2));
    EXPECT_EQ(text.substr(0, 40), "Windows Registry Editor Version 5.00\r\n\r\n");
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\RoundTrip]\r\n@=\"default\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Dword\"=dword:12345678\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Quote \\\"and\\\" back\\\\slash\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\RoundTrip\\Child\\Grandchild]"), std::string::npos);
    // Long hex lists are wrapped.
    EXPECT_NE(text.find(",\\\r\n  ab,"), std::string::npos);

    ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\RoundTrip"), 0);
    std::string error;
    ASSERT_EQ(ImportRegFile(file, 0, &error), 0) << error;
    Check("SOFTWARE\\RoundTrip");
}

TEST_F(RegFile, ImportsFilesWrittenByWindowsTools)
{
    // UTF-8 text as a person writes it, with the forms the tools produce.
    std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
                       "\n"
                       "; a comment\n"
                       "[HKEY_CURRENT_USER\\Software\\Imported]\n"
                       "\"Name\"=\"Value\"\n"
                       "@=\"Default\"\n"
                       "\"Path\"=hex(2):25,00,77,00,69,00,6e,00,64,00,69,00,72,00,25,00,00,00\n"
                       "\"Bin\"=hex:01,02,\\\n"
                       "  03,04\n"
                       "\"Dw\"=dword:0000002a\n"
                       "\n"
                       "[HKEY_CURRENT_USER\\Software\\Imported\\Gone]\n"
                       "[-HKEY_CURRENT_USER\\Software\\Imported\\Gone]\n"
                       "[HKEY_CURRENT_USER\\Software\\Imported]\n"
                       "\"Name\"=-\n"
                       "\"NeverThere\"=-\n";
    std::string error;
    ASSERT_EQ(ImportRegText(text, 0, &error), 0) << error;
    std::string v;
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Imported", "", &v), 0);
    EXPECT_EQ(v, "Default");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Imported", "Path", &v), 0);
    EXPECT_EQ(v, "%windir%"); // the stored terminator is dropped by the text reader
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Imported", "Name", &v), ERROR_FILE_NOT_FOUND);
    uint32_t dw = 0;
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "Software\\Imported", "Dw", &dw), 0);
    EXPECT_EQ(dw, 42u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Imported\\Gone"));

    // The same in UTF-16LE with a BOM, and in the 32-bit view.
    std::string u16 = "\xFF\xFE" + Utf8ToUtf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wide]\r\n\"W\"=\"\xC3\xA9\"\r\n");
    ASSERT_EQ(ImportRegText(u16, KEY_WOW64_32KEY, &error), 0) << error;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Wide", "W", &v), 0);
    EXPECT_EQ(v, "\xC3\xA9");
}

TEST_F(RegFile, MalformedFilesChangeNothing)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "v", "original"), 0);
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n"
                             "\"v\"=\"changed\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\n";
    const char *bad[] = {
        "\"x\"=\"unterminated\n",
        "\"x\"=dword:123456789\n",
        "\"x\"=dword:zz\n",
        "\"x\"=hex:1,2,xyz\n",
        "\"x\"=hex(:00\n",
        "\"x\"=nonsense\n",
        "\"x\" \"y\"\n",
        "[HKEY_NOWHERE\\X]\n",
        "[HKEY_LOCAL_MACHINE\\X\n",
        "[-HKEY_LOCAL_MACHINE]\n",
        "plain words\n",
        "\"x\"=\"a\\q\"\n", // unknown escape
    };
    for (const char *tail : bad) {
        std::string error;
        EXPECT_EQ(ImportRegText(head + tail, 0, &error), ERROR_INVALID_DATA) << tail;
        EXPECT_NE(error.find("line "), std::string::npos) << tail;
        std::string v;
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "v", &v), 0);
        EXPECT_EQ(v, "original") << tail;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New")) << tail;
    }
    std::string error;
    EXPECT_EQ(ImportRegText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\n", 0, &error), ERROR_INVALID_DATA);
    EXPECT_EQ(ImportRegText("", 0, &error), ERROR_INVALID_DATA);
    EXPECT_EQ(ImportRegText("Windows Registry Editor Version 5.00\n\"v\"=\"no key\"\n", 0, &error),
              ERROR_INVALID_DATA);
    EXPECT_EQ(ImportRegFile("/nonexistent/file.reg", 0, &error), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegFile, FailedBatchKeepsNothing)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", "before"), 0);
    {
        RegBatch batch;
        ASSERT_EQ(batch.status(), 0);
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", "inside"), 0);
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch\\New", "v", "inside"), 0);
        std::string v;
        ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", &v), 0);
        EXPECT_EQ(v, "inside"); // the batch sees its own changes
    }
    std::string v;
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", &v), 0);
    EXPECT_EQ(v, "before");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch\\New"));
    {
        RegBatch batch;
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", "committed"), 0);
        EXPECT_EQ(batch.Commit(), 0);
    }
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", &v), 0);
    EXPECT_EQ(v, "committed");
    // A batch inside a batch that is not committed keeps none of its changes,
    // even when the outer one is committed.
    {
        RegBatch outer;
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "outer", "kept"), 0);
        {
            RegBatch inner;
            ASSERT_EQ(inner.status(), 0);
            ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", "inner"), 0);
        }
        EXPECT_EQ(outer.Commit(), 0);
    }
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "v", &v), 0);
    EXPECT_EQ(v, "committed");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch", "outer", &v), 0);
}

namespace {

std::string Header(const std::string &body)
{
    return "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Forms]\r\n" + body;
}

std::string Stored(std::string_view name, uint32_t *type)
{
    UniqueKey k;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Forms", KEY_READ, k.out()), 0);
    std::vector<uint8_t> data;
    EXPECT_EQ(RegQueryValueEx(k.get(), name, type, &data), 0) << name;
    return std::string(data.begin(), data.end());
}

// Exports the key, imports that into an empty registry and exports again:
// both files must be byte for byte the same.
std::string ExportReimportExport(const std::string &sub)
{
    halcyon::test::TempDir dir("regfile-rt");
    EXPECT_EQ(ExportRegFile(HKEY_LOCAL_MACHINE, sub, 0, dir / "1.reg"), 0);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, sub), 0);
    std::string error;
    EXPECT_EQ(ImportRegFile(dir / "1.reg", 0, &error), 0) << error;
    EXPECT_EQ(ExportRegFile(HKEY_LOCAL_MACHINE, sub, 0, dir / "2.reg"), 0);
    std::string first = halcyon::test::ReadFile(dir / "1.reg");
    EXPECT_EQ(halcyon::test::ReadFile(dir / "2.reg"), first);
    return Utf16LeToUtf8(std::string_view(first).substr(2));
}

} // namespace

TEST_F(RegFile, LineFormsOfOtherToolsImportAndRoundTrip)
{
    struct Form {
        const char *lines;
        const char *name;
        uint32_t type;
        std::string data;
    };
    const std::vector<Form> forms = {
        {"\"NL\"=\"line1\\nline2\"", "NL", REG_SZ, "line1\nline2"},
        {"\"CR\"=\"a\\rb\"", "CR", REG_SZ, "a\rb"},
        {"\"Tail\"=\"x\" ; comment", "Tail", REG_SZ, "x"},
        {"\"Esc\\\\\\\"\"=\"q\\\"\\\\\"", "Esc\\\"", REG_SZ, "q\"\\"},
        {"\"Bin\"=hex:01,02,\\\r\n; a comment inside the list\r\n  03,04", "Bin", REG_BINARY, "\x01\x02\x03\x04"},
        {"\"Blank\"=dword: 0000002a", "Blank", REG_DWORD, std::string("\x2a\0\0\0", 4)},
        {"\"DwTail\"=dword:00000001 ; one", "DwTail", REG_DWORD, std::string("\x01\0\0\0", 4)},
        {"\"Odd\"=hex(7):41,00,00", "Odd", REG_MULTI_SZ, std::string("A\0", 2)},
        {"\"OddHigh\"=hex(2):41,00,e9", "OddHigh", REG_EXPAND_SZ, "A\xC3\xA9"},
    };
    for (const auto &f : forms) {
        SCOPED_TRACE(f.lines);
        std::string error;
        ASSERT_EQ(ImportRegText(Header(std::string(f.lines) + "\r\n"), 0, &error), 0) << error;
        uint32_t type = 0;
        EXPECT_EQ(Stored(f.name, &type), f.data);
        EXPECT_EQ(type, f.type);
        ExportReimportExport("SOFTWARE\\Forms");
        EXPECT_EQ(Stored(f.name, &type), f.data);
        EXPECT_EQ(type, f.type);
    }
    // Multi-line strings are written the way they were read.
    std::string text;
    ASSERT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Forms", 0, &text), 0);
    EXPECT_NE(text.find("\"NL\"=\"line1\\nline2\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"CR\"=\"a\\rb\"\r\n"), std::string::npos) << text;
}

TEST_F(RegFile, MalformedTextIsRefusedWithItsReason)
{
    const std::string u16Header = "\xFF\xFE" + Utf8ToUtf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"a\"=\"");
    const struct {
        std::string file;
        const char *reason;
    } cases[] = {
        {Header("\"Bad\\q\"=\"x\"\r\n"), "line 4: unknown escape \"\\q\" in the value name"},
        {Header("\"x\"=\"a\\q\"\r\n"), "line 4: unknown escape \"\\q\" in the value data"},
        {Header("\"x\"=\"a\xFF\xC3(\"\r\n"), "line 4: the text is not valid UTF-8 (byte 0xFF)"},
        {Header("\"x\"=\"\xC3\"\r\n"), "line 4: the text is not valid UTF-8 (byte 0xC3)"},
        {Header(std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\0B]\r\n", 35)), "line 4: a key name cannot hold a NUL"},
        {u16Header + std::string("\x00\xD8x\0\"\0", 6), "line 4: the text is not valid UTF-16"},
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_EQ(ImportRegText(c.file, 0, &error), ERROR_INVALID_DATA) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Forms")) << c.reason;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New")) << c.reason;
    }
}

TEST_F(RegFile, MalformedUtf8InTheRegistryRoundTripsAsReplacementCharacters)
{
    // Data written through the API can hold any bytes; the file (UTF-16) holds
    // U+FFFD for each malformed sequence, and nothing after one is lost.
    UniqueKey k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Forms", KEY_ALL_ACCESS, k.out()), 0);
    const std::string bad = "a\xFF\xC3(";
    ASSERT_EQ(RegSetValueEx(k.get(), "sz", REG_SZ, bad.data(), bad.size()), 0);
    ASSERT_EQ(RegSetValueEx(k.get(), "expand", REG_EXPAND_SZ, bad.data(), bad.size()), 0);
    ASSERT_EQ(RegSetValueEx(k.get(), "n\xE2\x82", REG_SZ, "v", 1), 0);
    k.reset();
    std::string text = ExportReimportExport("SOFTWARE\\Forms");
    EXPECT_NE(text.find("\"sz\"=\"a\xEF\xBF\xBD\xEF\xBF\xBD(\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"expand\"=hex(2):61,00,fd,ff,fd,ff,28,00\r\n"), std::string::npos) << text;
    uint32_t type = 0;
    EXPECT_EQ(Stored("n\xEF\xBF\xBD", &type), "v");
}

TEST_F(RegFile, KeysNestNoDeeperThanTheBound)
{
    // A hostile file with a very deep key is refused before anything is
    // written, as is creating such a key through the API; at the bound both
    // work and the export holds every level.
    for (const size_t depth : {kMaxKeyDepth, kMaxKeyDepth + 1, size_t{10000}}) {
        const bool fits = depth <= kMaxKeyDepth;
        std::string below;
        for (size_t i = 2; i < depth; ++i)
            below += "\\k";
        for (const char *top : {"SOFTWARE\\Api", "SOFTWARE\\File"}) {
            const std::string path = top + below;
            std::string error;
            if (top[9] == 'A') {
                UniqueKey k;
                EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, k.out()), fits ? 0 : ERROR_BADKEY)
                    << depth;
            } else {
                EXPECT_EQ(ImportRegText("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\First]"
                                        "\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n",
                                        0, &error),
                          fits ? 0 : ERROR_BADKEY)
                    << depth;
                EXPECT_EQ(error.find("line 4: the key is nested deeper than 512 levels") == 0, !fits) << error;
                EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\First"), fits) << depth;
            }
            EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, path), fits) << depth;
            std::string text;
            if (fits) {
                ASSERT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, top, 0, &text), 0);
                EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\" + path + "]\r\n"), std::string::npos) << depth;
            }
            RegDeleteTree(HKEY_LOCAL_MACHINE, top);
            RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\First");
        }
    }
}

TEST_F(RegFile, TreeReadWholeExportsAsTheKeyByKeyWalk)
{
    // HKCR is walked key by key (its layers are merged); the same tree under
    // HKLM\SOFTWARE\Classes is read whole. Both texts must be the same.
    const std::string top = "SOFTWARE\\Classes\\Walk";
    Fill(top);
    for (const char *name : {"b", "B2", "a\\Z", "a\\y", "a\\_", "[x]", "Gr\xC3\xBC\xC3\x9F", "a\\y\\deep\\er"}) {
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, top + "\\" + name, "", name), 0);
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, top + "\\" + name, "Zed", "1"), 0);
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, top + "\\" + name, "alpha", "2"), 0);
    }
    std::string whole, keyByKey;
    ASSERT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, top, 0, &whole), 0);
    ASSERT_EQ(ExportRegText(HKEY_CLASSES_ROOT, "Walk", 0, &keyByKey), 0);
    for (size_t at; (at = keyByKey.find("[HKEY_CLASSES_ROOT\\")) != std::string::npos;)
        keyByKey.replace(at, 19, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");
    EXPECT_EQ(whole, keyByKey);
    EXPECT_LT(whole.find("\\a\\y]"), whole.find("\\a\\y\\deep]"));
    EXPECT_LT(whole.find("\\a\\y\\deep\\er]"), whole.find("\\a\\Z]"));
}
