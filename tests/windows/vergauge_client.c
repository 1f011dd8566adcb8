/* A client of VerGauge.dll that knows only its documented surface: it loads
 * the DLL by name, prepares registry values and files through the Win32 API
 * and checks the probes' UTF-16 answers. Exit code 0 when all pass. */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "client_fixture.h"

typedef uint32_t (*ProbeFn)(const wchar_t *, wchar_t *, uint32_t);
typedef uint32_t (*VerifyFn)(const wchar_t *, const wchar_t *, wchar_t *, uint32_t);

static void SetText(HKEY root, const wchar_t *key, REGSAM view, const wchar_t *name, const wchar_t *text)
{
    HKEY k;
    if (RegCreateKeyExW(root, key, 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &k, NULL) != ERROR_SUCCESS) {
        fwprintf(stderr, L"cannot create %ls\n", key);
        ++failures;
        return;
    }
    RegSetValueExW(k, name, 0, REG_SZ, (const BYTE *)text, (DWORD)((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
}

static void Expect(const wchar_t *what, uint32_t code, const wchar_t *text, uint32_t wantCode, const wchar_t *wantText)
{
    if (code != wantCode || (wantText && wcscmp(text, wantText) != 0)) {
        fwprintf(stderr, L"FAIL %ls: %u \"%ls\" (expected %u \"%ls\")\n", what, code, text, wantCode,
                 wantText ? wantText : L"");
        ++failures;
    }
}

int main(void)
{
    static const char *const kExports[] = {"GetExeVersion_s", "GetRegVersion_s", "GetTextVersion_s",
                                           "GetCopyright_s", "GetLastModifiedDate_s", "VerifyVersion_s"};
    HMODULE dll = LoadLibraryW(L"VerGauge.dll");
    if (!dll) {
        fwprintf(stderr, L"VerGauge.dll does not load (%lu)\n", GetLastError());
        return 1;
    }
    for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i)
        if (!GetProcAddress(dll, kExports[i])) {
            fprintf(stderr, "missing export %s\n", kExports[i]);
            ++failures;
        }
    ProbeFn reg = (ProbeFn)(void (*)(void))GetProcAddress(dll, "GetRegVersion_s");
    ProbeFn text = (ProbeFn)(void (*)(void))GetProcAddress(dll, "GetTextVersion_s");
    VerifyFn verify = (VerifyFn)(void (*)(void))GetProcAddress(dll, "VerifyVersion_s");
    if (!reg || !text || !verify)
        return 1;

    SetText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\HalcyonClient\\App", 0, L"Version", L"Grüße 4.2 ✓ 𝄞7");
    SetText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\HalcyonClient\\Only32", KEY_WOW64_32KEY, L"", L"3.1");
    CreateDirectoryW(L"C:\\Halcyon Client", NULL);
    WriteText(L"C:\\Halcyon Client\\Prüfung.txt", "Release 5.0\r\nsecond line\r\n");

    wchar_t out[262];
    uint32_t code;

    code = reg(L"HKLM\\SOFTWARE\\HalcyonClient\\App\\Version", out, 261);
    Expect(L"non-ASCII registry text", code, out, 0, L"Grüße 4.2 ✓ 𝄞7");
    /* Cut to the caller's size in wchar_t units, never inside a surrogate pair. */
    code = reg(L"HKLM\\SOFTWARE\\HalcyonClient\\App\\Version", out, 5);
    Expect(L"cut text", code, out, 0, L"Grüß");
    code = reg(L"HKLM\\SOFTWARE\\HalcyonClient\\App\\Version", out, 14);
    Expect(L"cut before a surrogate pair", code, out, 0, L"Grüße 4.2 ✓ ");
    code = verify(L"HKLM\\SOFTWARE\\HalcyonClient\\Only32", L"3.1", out, 261);
    Expect(L"32-bit view default value", code, out, 0, NULL);
    code = reg(L"HKLM\\SOFTWARE\\HalcyonClient\\Missing\\Version", out, 261);
    Expect(L"missing key", code, out, 10, L"");
    code = text(L"c:\\halcyon client\\PRÜFUNG.TXT", out, 261);
    Expect(L"first line of a non-ASCII path", code, out, 0, L"Release 5.0\n");

    out[0] = L'x';
    code = reg(L"HKLM\\SOFTWARE\\HalcyonClient\\App\\Version", out, 0);
    Expect(L"size zero leaves the buffer", code, L"", 14, L"");
    if (out[0] != L'x') {
        fwprintf(stderr, L"FAIL size zero wrote the buffer\n");
        ++failures;
    }

    FreeLibrary(dll);
    if (failures)
        fwprintf(stderr, L"%d failures\n", failures);
    return failures ? 1 : 0;
}
