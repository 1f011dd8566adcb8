/* A client of HalcyonDLL.dll that knows only its documented surface: it
 * loads the DLL by name and calls the plain wide form of the verbs (the "W"
 * names) with UTF-16 text below a folder whose name is not ASCII. It builds
 * a plan from an IDF and a BOM, installs a two-module plan of its own (one
 * installer writes a registry value, the other asks for a restart with exit
 * code 3010), and reads the results back from the plan, the registry (reg
 * query) and the progress callback.
 * Exit code 0 when all checks pass. */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "client_fixture.h"

typedef uint32_t (*MakeIniXFn)(const wchar_t *, const wchar_t *, const wchar_t *, const wchar_t *, uint32_t, uint64_t);
typedef uint32_t (*ReadOsFn)(wchar_t *, uint32_t, const wchar_t *, const wchar_t *, uint64_t, uint64_t,
                             const wchar_t *);
typedef int32_t (*ProgressFn)(int32_t, int32_t, const wchar_t *, uintptr_t);
typedef int32_t (*ModSetupXFn)(const wchar_t *, const wchar_t *, const wchar_t *, const wchar_t *, const wchar_t *,
                               const wchar_t *, const wchar_t *, const wchar_t *, const wchar_t *, const wchar_t *,
                               const wchar_t *, int32_t, uint64_t, ProgressFn, uintptr_t, const wchar_t *, uint32_t *);

#define ROOT L"C:\\Halcyon Prüfung ✓"
#define LABEL2 L"Modül ✓"
#define LABEL2_UTF8 "Mod\xC3\xBCl \xE2\x9C\x93"
static const uint64_t kNewIdfFormat = 0x2000000;  /* ReadIdfForOSArchCheck: the foundation OS */
static const uint64_t kPeModules = 0x40;          /* ModSetupX: installers outside an image */
static const uint32_t kBufferTooSmall = 9011;

static void Check(int ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "FAIL %s\n", what);
        ++failures;
    }
}

/* The first `size` - 1 bytes of a file, terminated. */
static void ReadText(const wchar_t *path, char *out, DWORD size)
{
    DWORD got = 0;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    out[0] = '\0';
    if (h == INVALID_HANDLE_VALUE)
        return;
    if (ReadFile(h, out, size - 1, &got, NULL))
        out[got] = '\0';
    CloseHandle(h);
}

/* The standard output of a command line. */
static void RunCapture(const wchar_t *commandLine, char *out, DWORD size)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    wchar_t line[512];
    DWORD used = 0, got = 0;
    out[0] = '\0';
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    wcsncpy(line, commandLine, 511);
    line[511] = L'\0';
    if (CreateProcessW(NULL, line, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi)) {
        CloseHandle(writeEnd);
        writeEnd = NULL;
        while (used + 1 < size && ReadFile(readEnd, out + used, size - 1 - used, &got, NULL) && got > 0)
            used += got;
        out[used] = '\0';
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    if (writeEnd)
        CloseHandle(writeEnd);
    CloseHandle(readEnd);
}

static const char kIdf[] =
    IDF_FOUNDATION_START ">"
    "<ChildRelease ReleaseID=\"150\"/></Software>\n"
    "  </Release>\n"
    "  <Release ReleaseID=\"150\" PartId=\"P150\">\n"
    "    <Software SoftwareType=\"Image Application\" PartName=\"App\" ReleaseID=\"150\" PartType=\"Application\" "
    "ModuleType=\"Application Module\" CommandLineArguments=\"\" PathToRelease=\"Apps\\App\" PartId=\"P150\" "
    "rebootSetting=\"None\" InstallerType=\"EXE/BATCH\" SetupFile=\"setup.cmd\" MajorVersion=\"1\" "
    "DetailedVersion=\"1.0\" VersionCheckAfterInstallation=\"\" VerificationPath=\"\" BasePlus=\"True\" "
    "CustomerDescription=\"App\" CustomerLabel=\"App\" Recoverable=\"True\" Temporary=\"False\" "
    "InstallOrderIndex=\"1\" TotalSize=\"2048\"/>\n"
    "  </Release>\n"
    "  <Release ReleaseID=\"200\" PartId=\"P200\"><PartNumber>SKU-T</PartNumber>\n"
    "    <Software SoftwareType=\"P1 (recovery) Image\" PartName=\"Recovery 200\" ReleaseID=\"200\" "
    "PathToRelease=\"sources\\data\\200\" TotalSize=\"524288\" OS=\"W11P64\"/>\n"
    "  </Release>\n"
    IDF_MODULE_RELEASE(LABEL2_UTF8)
    "</IDF>\n";

static const char kPlan[] = "[IDF]\r\nTimestamp=2026-01-01T00:00:00\r\nSeries=TS100\r\n"
    PLAN_MODULE("1", "300101", "Label 300101") PLAN_MODULE("2", "300102", LABEL2_UTF8)
    "[PE3]\r\nEnd=True\r\n[1]\r\nEnd=True\r\n[CleanSweep]\r\nCleanSweep=False\r\n";

static int seenLabel2;

static int32_t Progress(int32_t index, int32_t total, const wchar_t *label, uintptr_t user)
{
    (void)index;
    (void)total;
    if (user == 0x5151 && label && wcscmp(label, LABEL2) == 0)
        seenLabel2 = 1;
    return 0;
}

static void BuildPlan(HMODULE dll)
{
    MakeIniXFn makeIni = (MakeIniXFn)(void (*)(void))GetProcAddress(dll, "MakeIniXW");
    ReadOsFn readOs = (ReadOsFn)(void (*)(void))GetProcAddress(dll, "ReadIdfForOSArchCheckW");
    static char plan[65536];
    wchar_t os[64];
    if (!makeIni || !readOs) {
        Check(0, "MakeIniXW and ReadIdfForOSArchCheckW are exported");
        return;
    }
    WriteText(ROOT L"\\plan\\t.xml", kIdf);
    WriteText(ROOT L"\\plan\\bom.txt", "SKU-T\r\n");
    Check(makeIni(ROOT L"\\plan\\t.xml", ROOT L"\\plan\\bom.txt", ROOT L"\\plan\\halcyon.ini",
                  ROOT L"\\plan\\plan.log", 1000, 0) == 0,
          "MakeIniX builds the plan");
    ReadText(ROOT L"\\plan\\halcyon.ini", plan, sizeof plan);
    Check(strstr(plan, "[Image]") && strstr(plan, "ReleaseID=100"), "the plan names the foundation image");
    Check(strstr(plan, "CustomerLabel=" LABEL2_UTF8) != NULL, "the plan keeps the non-ASCII module label");

    /* An answer in the caller's buffer: whole, or refused as too small. */
    Check(readOs(os, 64, ROOT L"\\plan\\t.xml", ROOT L"\\plan\\os.log", kNewIdfFormat, 0, L"") == 0 &&
              wcscmp(os, L"W11P64") == 0,
          "ReadIdfForOSArchCheck answers the foundation OS");
    Check(readOs(os, 6, ROOT L"\\plan\\t.xml", ROOT L"\\plan\\os.log", kNewIdfFormat, 0, L"") == kBufferTooSmall &&
              os[0] == L'\0',
          "an OS that does not fit is refused, not cut");
}

static void InstallModules(HMODULE dll)
{
    ModSetupXFn modSetup = (ModSetupXFn)(void (*)(void))GetProcAddress(dll, "ModSetupXW");
    static char output[4096];
    uint32_t exitCode = 0;
    HKEY key;
    wchar_t mode[32];
    DWORD size = sizeof mode;
    if (!modSetup) {
        Check(0, "ModSetupXW is exported");
        return;
    }
    WriteText(ROOT L"\\perm\\mods\\300101\\setup.cmd",
              "@echo off\r\nreg add \"HKLM\\SOFTWARE\\HalcyonClient\" /v Installed /t REG_SZ /d \"module one\" /f\r\n"
              "exit 0\r\n");
    WriteText(ROOT L"\\perm\\mods\\300102\\setup.cmd", "@echo off\r\nexit 3010\r\n");
    WriteText(ROOT L"\\halcyon.ini", kPlan);

    Check(modSetup(ROOT L"\\halcyon.ini", ROOT L"\\perm", ROOT L"\\temp", ROOT L"\\truefulfill", ROOT L"\\dest",
                   ROOT L"\\mount", L"", L"", L"", L"", ROOT L"\\setup.log", 1, kPeModules, Progress, 0x5151,
                   ROOT L"\\nrvinst.oem", &exitCode) == 0,
          "ModSetupX installs both modules");
    Check(exitCode == 3010, "the restart request (3010) reaches the caller's exit code");
    Check(seenLabel2, "the progress callback gets the UTF-16 label");

    RunCapture(L"reg query \"HKLM\\SOFTWARE\\HalcyonClient\" /v Installed", output, sizeof output);
    Check(strstr(output, "module one") != NULL, "the first installer's registry value is there");
    Check(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Norv Corporation\\Installed Software\\Modules\\" LABEL2 L" P300102", 0,
                        KEY_READ, &key) == ERROR_SUCCESS &&
              RegQueryValueExW(key, L"InstallMode", NULL, NULL, (BYTE *)mode, &size) == ERROR_SUCCESS &&
              wcscmp(mode, L"Factory") == 0,
          "the module with the non-ASCII label is registered");
}

int main(void)
{
    static const wchar_t *const kFolders[] = {ROOT,          ROOT L"\\plan",       ROOT L"\\perm",
                                              ROOT L"\\perm\\mods", ROOT L"\\perm\\mods\\300101",
                                              ROOT L"\\perm\\mods\\300102", ROOT L"\\temp", ROOT L"\\truefulfill",
                                              ROOT L"\\dest", ROOT L"\\mount"};
    HMODULE dll = LoadLibraryW(L"HalcyonDLL.dll");
    if (!dll) {
        fprintf(stderr, "HalcyonDLL.dll does not load (%lu)\n", GetLastError());
        return 1;
    }
    for (size_t i = 0; i < sizeof kFolders / sizeof kFolders[0]; ++i)
        CreateDirectoryW(kFolders[i], NULL);
    BuildPlan(dll);
    InstallModules(dll);
    if (failures == 0)
        printf("halcyon_client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
