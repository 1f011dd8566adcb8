/*
 * VerGauge: reads and checks versions of files and registry items.
 * Strings are NUL-terminated UTF-8; out_size is the caller's buffer size in
 * bytes and the result is always NUL-terminated within it.
 *
 * Results: 0 success; 1-14 the probes' own failures (docs/vergauge.md);
 * 15 a text longer than 255 characters (refused, never cut); 16 an internal
 * failure (out of memory).
 */
#ifndef HALCYON_VERGAUGE_H
#define HALCYON_VERGAUGE_H

#include <stdint.h>

#if defined(HALCYON_BUILDING_VERGAUGE)
#define VERGAUGE_API __attribute__((visibility("default")))
#else
#define VERGAUGE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

VERGAUGE_API uint32_t GetExeVersion_s(const char *file, char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetRegVersion_s(const char *registry_path, char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetTextVersion_s(const char *file, char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetCopyright_s(const char *file, char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetLastModifiedDate_s(const char *file, char *out, uint32_t out_size);
VERGAUGE_API uint32_t VerifyVersion_s(const char *target, const char *expected, char *out, uint32_t out_size);

#ifdef __cplusplus
}
#endif

#endif
