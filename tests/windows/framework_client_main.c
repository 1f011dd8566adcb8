/* The C side of framework_client: Win32 files and threads for the front end
 * of framework_client.cpp, which is compiled in the framework compiler's
 * C++ ABI and runs its checks from here. It writes the fixture below
 * FC_ROOT: an IDF and a BOM, a two-module plan of .cmd installers (the
 * second asks for a restart with 3010) and a file that ends in a WIM's XML
 * metadata. Exit code 0 when all checks pass. */
#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "client_fixture.h"
#include "framework_client.h"
#include "halcyon/HalcyonDLL.h"

/* The public header's string object is the one the front end builds. */
_Static_assert(sizeof(HalcyonString) == 8 && sizeof(HalcyonStringHeader) == 24 &&
                   offsetof(HalcyonStringHeader, references) == 16,
               "the string object's layout");

void FcReport(const char *what)
{
    fprintf(stderr, "FAIL %s\n", what);
    ++failures;
}

void FcReportCode(const char *what, long long code)
{
    fprintf(stderr, "FAIL %s: %lld\n", what, code);
    ++failures;
}

static void WriteBytes(const wchar_t *path, const void *bytes, DWORD size)
{
    if (!WriteFixture(path, bytes, size))
        FcReport("a fixture file is written");
}

long FcReadFile(const wchar_t *path, char *out, long size)
{
    DWORD got = 0;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    if (!ReadFile(h, out, (DWORD)size, &got, NULL))
        got = 0;
    CloseHandle(h);
    return (long)got;
}

struct ThreadStart {
    void (*body)(void *);
    void *argument;
};

static DWORD WINAPI ThreadMain(void *start)
{
    struct ThreadStart *s = (struct ThreadStart *)start;
    s->body(s->argument);
    return 0;
}

void FcRunTwoThreads(void (*body)(void *), void *first, void *second)
{
    struct ThreadStart starts[2] = {{body, first}, {body, second}};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i)
        threads[i] = CreateThread(NULL, 0, ThreadMain, &starts[i], 0, NULL);
    if (!threads[0] || !threads[1]) {
        FcReport("two threads start");
        return;
    }
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
}

static const char kIdf[] =
    IDF_FOUNDATION_START "/>\n"
    "  </Release>\n"
    IDF_MODULE_RELEASE("Modul")
    "</IDF>\n";

static const char kPlan[] = "[IDF]\r\nTimestamp=2026-01-01T00:00:00\r\nSeries=TS100\r\n"
    PLAN_MODULE("1", "300101", "Label one") PLAN_MODULE("2", "300102", "Mod\xC3\xBCl two")
    "[PE3]\r\nEnd=True\r\n[1]\r\nEnd=True\r\n[CleanSweep]\r\nCleanSweep=True\r\n";

/* The end of a WIM: its XML metadata in UTF-16LE after a byte-order mark. */
static const wchar_t kWimXml[] = L"<WIM><IMAGE INDEX=\"1\"><NAME> Bild \x2713 </NAME></IMAGE></WIM>";

int wmain(void)
{
    static const wchar_t *const kFolders[] = {FC_ROOT, FC_ROOT L"\\plan", FC_ROOT L"\\perm", FC_ROOT L"\\perm\\mods",
                                              FC_ROOT L"\\perm\\mods\\300101", FC_ROOT L"\\perm\\mods\\300102",
                                              FC_ROOT L"\\temp", FC_ROOT L"\\dest", FC_ROOT L"\\mount"};
    static char wim[4096];
    for (size_t i = 0; i < sizeof kFolders / sizeof kFolders[0]; ++i)
        CreateDirectoryW(kFolders[i], NULL);
    WriteBytes(FC_ROOT L"\\plan\\t.xml", kIdf, sizeof kIdf - 1);
    WriteBytes(FC_ROOT L"\\plan\\bom.txt", "SKU-T\r\n", 7);
    WriteBytes(FC_ROOT L"\\halcyon.ini", kPlan, sizeof kPlan - 1);
    WriteBytes(FC_ROOT L"\\perm\\mods\\300101\\setup.cmd", "@echo off\r\nexit 0\r\n", 19);
    WriteBytes(FC_ROOT L"\\perm\\mods\\300102\\setup.cmd", "@echo off\r\nexit 3010\r\n", 22);
    memset(wim, 'W', sizeof wim);
    wim[1000] = (char)0xFF;
    wim[1001] = (char)0xFE;
    memcpy(wim + 1002, kWimXml, sizeof kWimXml - sizeof(wchar_t));
    WriteBytes(FC_ROOT L"\\tag.wim", wim, (DWORD)(1002 + sizeof kWimXml - sizeof(wchar_t)));

    FcRunChecks();
    if (failures == 0)
        printf("framework_client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
