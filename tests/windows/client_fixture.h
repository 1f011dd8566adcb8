/* What the C clients share: their failure count, fixture files written
 * through the Win32 API, and the text of a module in an IDF and in a plan.
 * Included once by each client. */
#pragma once

#include <windows.h>

#include <string.h>
#include <wchar.h>

static int failures;

/* Writes `size` bytes to a new or emptied file; 0 when it failed. */
static inline int WriteFixture(const wchar_t *path, const void *bytes, DWORD size)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    int ok = h != INVALID_HANDLE_VALUE && WriteFile(h, bytes, size, &written, NULL) && written == size;
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return ok;
}

/* A text file; a failure counts. */
static inline void WriteText(const wchar_t *path, const char *text)
{
    if (!WriteFixture(path, text, (DWORD)strlen(text))) {
        fwprintf(stderr, L"cannot write %ls\n", path);
        ++failures;
    }
}

/* An IDF up to the attributes of its foundation image, release 100; the
 * client closes the Software element. */
#define IDF_FOUNDATION_START                                                                                     \
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"                                                            \
    "<IDF IDFFormatVersion=\"1.05.0.20080531.1\" Timestamp=\"2026-11-30T10:00:00\" Series=\"TS100\" "         \
    "LangRegion=\"EN-US\" BomSnapshotName=\"TS100-Q4\" BomSnapshotID=\"SNAP-1\" HDDRecovery=\"True\" "       \
    "DynamicP1=\"True\" Mcode=\"M-T\">\n"                                                                     \
    "  <Mcode Code=\"M-T\"><PartNumber>SKU-T</PartNumber></Mcode>\n"                                            \
    "  <Release ReleaseID=\"100\" PartId=\"P100\"><PartNumber>SKU-T</PartNumber>\n"                             \
    "    <Software SoftwareType=\"Foundation Image\" PartName=\"Foundation 100\" BLID=\"BL0001\" "               \
    "MajorVersion=\"11\" OS=\"W11P64\" ReleaseID=\"100\" PathToRelease=\"sources\\data\\100\" TotalSize=\"2097152\""

/* The IDF release 300: a module of .cmd installers labelled `label` (UTF-8). */
#define IDF_MODULE_RELEASE(label)                                                                                \
    "  <Release ReleaseID=\"300\" PartId=\"P300\"><PartNumber>SKU-T</PartNumber>\n"                             \
    "    <Software SoftwareType=\"Module\" PartName=\"" label "\" ReleaseID=\"300\" PartType=\"Module\" "       \
    "moduleType=\"Module\" CommandLineArguments=\"\" PathToRelease=\"sources\\data\\300\" PartId=\"P300\" "     \
    "rebootSetting=\"None\" InstallerType=\"EXE/BATCH\" SetupFile=\"setup.cmd\" MajorVersion=\"1\" "            \
    "DetailedVersion=\"1.0\" VersionCheckAfterInstallation=\"\" VerificationPath=\"\" BasePlus=\"True\" "       \
    "CustomerDescription=\"Mod\" CustomerLabel=\"" label "\" Recoverable=\"True\" Temporary=\"False\" "        \
    "InstallOrderIndex=\"1\" TotalSize=\"100\" OS=\"W11P64\"/>\n"                                              \
    "  </Release>\n"

/* The plan section [PE<n>] of module `id`, installed by mods\<id>\setup.cmd. */
#define PLAN_MODULE(n, id, label)                                                                                \
    "[PE" n "]\r\nReleaseName=Module " id "\r\nReleaseID=" id "\r\nPartType=Module\r\nModuleType=Module\r\n"    \
    "CmdLineArgs=\r\nPathToRelease=mods\\" id "\r\nInstallAfterOOBE=\r\nPartId=P" id "\r\nRebootBefore=\r\n"    \
    "RebootAfter=\r\nInstallerType=EXE/BATCH\r\nSetupFile=setup.cmd\r\nMajorVersion=1\r\n"                     \
    "DetailedVersion=1.0.0\r\nVerificationType=ReturnCode\r\nVerificationMode=None\r\nVerCheckAfter=\r\n"       \
    "VersionPath=\r\nBasePlus=True\r\nCustomerLabel=" label "\r\nRecoverable=True\r\nTemporary=FALSE\r\n"       \
    "TotalSize=100\r\n"
