// The server's registration under HKEY_CLASSES_ROOT: application ID, class,
// programmatic IDs, type library and interfaces. Machine-wide registration
// writes HKLM\Software\Classes, per-user registration HKCU\Software\Classes.
#pragma once

#include <cstdint>

namespace halcyon::langsel {

// HRESULTs: S_OK, or the registry failure as HRESULT_FROM_WIN32.
int32_t RegisterServer(bool perUser);
int32_t UnregisterServer(bool perUser);

} // namespace halcyon::langsel
