// VerGauge exports: not built yet; every probe answers "not found" (1).
#include "halcyon/VerGauge.h"

extern "C" {
VERGAUGE_API uint32_t GetExeVersion_s(const char *, char *out, uint32_t n) { if (out && n) *out = 0; return 1; }
VERGAUGE_API uint32_t GetRegVersion_s(const char *, char *out, uint32_t n) { if (out && n) *out = 0; return 1; }
VERGAUGE_API uint32_t GetTextVersion_s(const char *, char *out, uint32_t n) { if (out && n) *out = 0; return 1; }
VERGAUGE_API uint32_t GetCopyright_s(const char *, char *out, uint32_t n) { if (out && n) *out = 0; return 1; }
VERGAUGE_API uint32_t GetLastModifiedDate_s(const char *, char *out, uint32_t n) { if (out && n) *out = 0; return 1; }
VERGAUGE_API uint32_t VerifyVersion_s(const char *, const char *, char *out, uint32_t n) { if (out && n) *out = 0; return 1; }
}
