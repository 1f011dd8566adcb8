/*
 * VerGauge: reads and checks versions of files and registry items.
 * Strings are NUL-terminated UTF-8; out_size is the caller's buffer size in
 * bytes and the result is always NUL-terminated within it.
 *
 * The Windows build (VerGauge.dll) takes and returns UTF-16: every char
 * becomes wchar_t and out_size counts wchar_t units.
 *
 * Results: 0 success; 1-14 the probes' own failures (docs/vergauge.md);
 * 15 a text longer than 255 characters (refused, never cut); 16 an internal
 * failure (out of memory).
 */
#ifndef HALCYON_VERGAUGE_H
#define HALCYON_VERGAUGE_H

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t vergauge_char;
#if defined(HALCYON_BUILDING_VERGAUGE)
#define VERGAUGE_API __declspec(dllexport)
#else
#define VERGAUGE_API
#endif
#else
typedef char vergauge_char;
#if defined(HALCYON_BUILDING_VERGAUGE)
#define VERGAUGE_API __attribute__((visibility("default")))
#else
#define VERGAUGE_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

VERGAUGE_API uint32_t GetExeVersion_s(const vergauge_char *file, vergauge_char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetRegVersion_s(const vergauge_char *registry_path, vergauge_char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetTextVersion_s(const vergauge_char *file, vergauge_char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetCopyright_s(const vergauge_char *file, vergauge_char *out, uint32_t out_size);
VERGAUGE_API uint32_t GetLastModifiedDate_s(const vergauge_char *file, vergauge_char *out, uint32_t out_size);
VERGAUGE_API uint32_t VerifyVersion_s(const vergauge_char *target, const vergauge_char *expected, vergauge_char *out, uint32_t out_size);

#ifdef __cplusplus
}
#endif

#endif
