// For code that uses the platform interfaces in a file where <windows.h>
// also comes in (through the system's COM headers): include the platform
// headers first, then the others, then this one. It removes every macro of
// <windows.h> that spells a name of the interfaces (the functions of
// windows_api.h and the registry and file attribute constants), so that
// "reg::REG_SZ" or "platform::FILE_ATTRIBUTE_NORMAL" mean the interfaces'
// own values.
#pragma once

#include "platform/win/windows_api.h"

#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_DWORD_BIG_ENDIAN
#undef REG_MULTI_SZ
#undef REG_QWORD
#undef KEY_QUERY_VALUE
#undef KEY_SET_VALUE
#undef KEY_CREATE_SUB_KEY
#undef KEY_ENUMERATE_SUB_KEYS
#undef KEY_WOW64_64KEY
#undef KEY_WOW64_32KEY
#undef KEY_READ
#undef KEY_WRITE
#undef KEY_ALL_ACCESS
#undef ERROR_SUCCESS
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_INVALID_PARAMETER
#undef ERROR_MORE_DATA
#undef ERROR_NO_MORE_ITEMS
#undef ERROR_BADKEY
#undef ERROR_REGISTRY_CORRUPT
#undef ERROR_REGISTRY_IO_FAILED
#undef ERROR_KEY_DELETED
#undef ERROR_KEY_HAS_CHILDREN
#undef REG_CREATED_NEW_KEY
#undef REG_OPENED_EXISTING_KEY
#undef FILE_ATTRIBUTE_READONLY
#undef FILE_ATTRIBUTE_HIDDEN
#undef FILE_ATTRIBUTE_SYSTEM
#undef FILE_ATTRIBUTE_DIRECTORY
#undef FILE_ATTRIBUTE_ARCHIVE
#undef FILE_ATTRIBUTE_NORMAL
#undef INVALID_FILE_ATTRIBUTES
