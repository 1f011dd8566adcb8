// <windows.h> for the Windows implementations of the platform interfaces.
// The interfaces are Win32-shaped and keep Win32 names (RegOpenKeyEx,
// HKEY_LOCAL_MACHINE, ShellExecute, SE_ERR_FNF, ...), which <windows.h> defines as
// macros; they are removed here so that both can be used in one file. Code
// here calls the system's functions by their W names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#undef RegCreateKeyEx
#undef RegOpenKeyEx
#undef RegSetValueEx
#undef RegQueryValueEx
#undef RegDeleteValue
#undef RegDeleteKeyEx
#undef RegDeleteTree
#undef RegEnumKeyEx
#undef RegEnumValue
#undef GetEnvironmentVariable
#undef SetEnvironmentVariable
#undef ExpandEnvironmentStrings
#undef ShellExecute
#undef GetPrivateProfileString
#undef GetPrivateProfileInt
#undef WritePrivateProfileString
#undef GetPrivateProfileSectionNames
#undef GetFileAttributes
#undef SetFileAttributes
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef HKEY_USERS
#undef HKEY_PERFORMANCE_DATA
#undef HKEY_CURRENT_CONFIG
#undef HKEY_DYN_DATA
#undef STILL_ACTIVE
#undef SE_ERR_FNF
#undef SE_ERR_PNF
#undef SE_ERR_ACCESSDENIED
#undef SE_ERR_OOM
#undef SE_ERR_SHARE
#undef SE_ERR_ASSOCINCOMPLETE
#undef SE_ERR_DDETIMEOUT
#undef SE_ERR_DDEFAIL
#undef SE_ERR_DDEBUSY
#undef SE_ERR_NOASSOC
#undef SE_ERR_DLLNOTFOUND
