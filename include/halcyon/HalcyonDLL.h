/*
 * HalcyonDLL: the setup engine's exported verbs.
 *
 * Every verb runs to completion on the caller's thread and returns a code
 * from halcyon/ReturnCodes.h (0 = success). Strings are NUL-terminated UTF-8;
 * paths are Windows path text ("C:\\Windows", "sources\\data\\300100"), mapped
 * to the emulated machine when a file is touched.
 *
 * The Windows build (HalcyonDLL.dll) takes and returns UTF-16 and exports
 * every verb twice (see the end of this file): under the plain name in the
 * string-object form of the application framework's front ends, and with a
 * "W" suffix in the plain wide form, where every char becomes wchar_t
 * (halcyon_char) and out sizes count wchar_t units. Paths are used as they
 * are. Inside the engine (HALCYON_UTF8_VERBS) the verbs keep their UTF-8
 * form under the plain names.
 */
#ifndef HALCYON_HALCYONDLL_H
#define HALCYON_HALCYONDLL_H

#include <stdbool.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(HALCYON_UTF8_VERBS)
#include <wchar.h>
typedef wchar_t halcyon_char;
#else
typedef char halcyon_char;
#endif

#if defined(HALCYON_BUILDING_ENGINE) && !defined(_WIN32)
#define HALCYON_API __attribute__((visibility("default")))
#else
#define HALCYON_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
/* The application framework's wide string object: 8 bytes, the address of
 * its NUL-terminated UTF-16 text. A header sits immediately before the text;
 * the block (header and text) belongs to the manager named in the header.
 * An empty string points to its manager's nil block; the pointer is never
 * null. Releasing a string: atomic decrement of `references`, and at <= 0
 * manager->methods->Free(manager, header). */
typedef struct HalcyonStringManager HalcyonStringManager;
typedef struct HalcyonStringHeader {
    HalcyonStringManager *manager;
    int32_t length;     /* characters, without the terminator */
    int32_t allocated;  /* characters the block holds, without the terminator */
    int32_t references; /* > 1 shared, 1 owned, < 0 locked */
    int32_t padding;
} HalcyonStringHeader;
typedef struct HalcyonStringManagerMethods {
    /* a block with references 1, length 0, allocated >= chars, terminator in place; NULL when out of memory */
    HalcyonStringHeader *(*Allocate)(HalcyonStringManager *self, int chars, int char_size);
    void (*Free)(HalcyonStringManager *self, HalcyonStringHeader *block);
    HalcyonStringHeader *(*Reallocate)(HalcyonStringManager *self, HalcyonStringHeader *block, int chars,
                                       int char_size);
    HalcyonStringHeader *(*GetNilString)(HalcyonStringManager *self);
    HalcyonStringManager *(*Clone)(HalcyonStringManager *self);
} HalcyonStringManagerMethods;
struct HalcyonStringManager {
    const HalcyonStringManagerMethods *methods;
};
typedef struct HalcyonString {
    wchar_t *text;
} HalcyonString;
#endif

/* module progress (ModSetupX, AppSetupX); result ignored */
#if defined(_WIN32) && !defined(HALCYON_UTF8_VERBS)
/* the label is a string object by value: the callback releases it */
typedef int32_t (*ModuleProgressCallback)(int32_t index, int32_t total, HalcyonString *label, uintptr_t user_data);
typedef int32_t (*ModuleProgressCallbackW)(int32_t index, int32_t total, const wchar_t *label, uintptr_t user_data);
#else
typedef int32_t (*ModuleProgressCallback)(int32_t index, int32_t total, const halcyon_char *label, uintptr_t user_data);
#endif
/* imaging-library message callback (LoadImgX, CopyDiscToDisk) */
typedef uint32_t (*WimMessageCallback)(uint32_t message, uintptr_t wparam, intptr_t lparam, void *user_data);
/* foundation-image courier callback (GetFoundationImage) */
typedef void (*WimCourierCallback)(uint32_t message, int64_t param, void *opaque);

/* Imaging message numbers handed to a WimMessageCallback. */
enum {
    WIM_MSG = 0x9476,
    WIM_MSG_TEXT,
    WIM_MSG_PROGRESS,      /* wparam = percent done, lparam = ms remaining */
    WIM_MSG_PROCESS,
    WIM_MSG_SCANNING,
    WIM_MSG_SETRANGE,
    WIM_MSG_SETPOS,
    WIM_MSG_STEPIT,
    WIM_MSG_COMPRESS,
    WIM_MSG_ERROR,
    WIM_MSG_ALIGNMENT,
    WIM_MSG_RETRY,
    WIM_MSG_SPLIT,
    WIM_MSG_INFO,
    WIM_MSG_WARNING,
    WIM_MSG_CHK_PROCESS
};
#define WIM_MSG_SUCCESS 0u
#define WIM_MSG_DONE 0xFFFFFFF0u
#define WIM_MSG_SKIP_ERROR 0xFFFFFFFEu
#define WIM_MSG_ABORT_IMAGE 0xFFFFFFFFu

#if !defined(_WIN32) || defined(HALCYON_UTF8_VERBS)
HALCYON_API uint32_t MakeIniX(const halcyon_char *idf, const halcyon_char *bom, const halcyon_char *plan, const halcyon_char *log, uint32_t recovery_buffer_mb, uint64_t options);
HALCYON_API uint32_t MakeIniFromMcode(const halcyon_char *plan, const halcyon_char *idf, const halcyon_char *log, uint64_t options, void *store /* C++ IniStore* or NULL */, const halcyon_char *nrvhdrcv);
HALCYON_API uint32_t IdentifyIdf(const halcyon_char *bom, const halcyon_char *root, const halcyon_char *first_level, const halcyon_char *second_level, const halcyon_char *log, uint64_t options);
HALCYON_API uint32_t ReadIdfForOSArchCheck(halcyon_char *os, uint32_t os_size, const halcyon_char *idf, const halcyon_char *log, uint64_t options, uint64_t reserved, const halcyon_char *nrvhdrcv);
HALCYON_API int32_t  ScrambleIdf(const halcyon_char *in, const halcyon_char *out, uint64_t options);
HALCYON_API int32_t  LoadImgX(const halcyon_char *plan, const halcyon_char *source, const halcyon_char *dest, const halcyon_char *temp, const halcyon_char *wim_name, const halcyon_char *log, uint64_t options,
                              WimMessageCallback cb, void *cb_data, const halcyon_char *nrvinst_oem, const halcyon_char *pbr_suffix);
HALCYON_API int32_t  GetWimTagValue(const halcyon_char *wim, const halcyon_char *tag, halcyon_char *value, uint32_t value_size);
HALCYON_API int32_t  CompareBlid(const halcyon_char *wim, const halcyon_char *plan);
HALCYON_API int32_t  CompareReleaseid(const halcyon_char *wim, const halcyon_char *release_id);
HALCYON_API int32_t  ImgCopyX(const halcyon_char *plan, const halcyon_char *source_root, const halcyon_char *dest_root, const halcyon_char *custom_folder, const halcyon_char *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  GetFoundationImage(const halcyon_char *source, const halcyon_char *dest, const halcyon_char *plan, const halcyon_char *nrvhdrcv, const halcyon_char *media_type, uint64_t options,
                                        const halcyon_char *export_arg, WimCourierCallback cb, void *cb_data, const halcyon_char *log);
HALCYON_API int32_t  CopyDiscToDisk(const halcyon_char *source, const halcyon_char *dest, const halcyon_char *plan, const halcyon_char *nrvhdrcv, const halcyon_char *media_type, const halcyon_char *installer_type,
                                    uint64_t options, WimMessageCallback cb, void *cb_data, const halcyon_char *temporary, const halcyon_char *log);
HALCYON_API int32_t  CompareNrvIniToHalIni(const halcyon_char *nrvhdrcv, const halcyon_char *plan, uint64_t options);
HALCYON_API int32_t  GetMiniCDriveSize(const halcyon_char *plan, const halcyon_char *settings, const halcyon_char *unused, uint8_t *warning, int32_t *size, int32_t *size_no_recovery);
HALCYON_API int32_t  ModCopyX(const halcyon_char *plan, const halcyon_char *source, const halcyon_char *dest, const halcyon_char *installer_type, const halcyon_char *part_type, const halcyon_char *recoverable,
                              const halcyon_char *temporary, const halcyon_char *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModExtractX(const halcyon_char *plan, const halcyon_char *source, const halcyon_char *dest, const halcyon_char *installer_type, const halcyon_char *part_type, const halcyon_char *module_type,
                                 const halcyon_char *recoverable, const halcyon_char *temporary, const halcyon_char *log, uint64_t unused, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModSetupX(const halcyon_char *plan, const halcyon_char *perm_source, const halcyon_char *temp_source, const halcyon_char *truefulfillment_source, const halcyon_char *dest,
                               const halcyon_char *mount, const halcyon_char *installer_type, const halcyon_char *part_type, const halcyon_char *recoverable, const halcyon_char *temporary,
                               const halcyon_char *log, int32_t start, uint64_t options, ModuleProgressCallback cb, uintptr_t user_data,
                               const halcyon_char *nrvinst_oem, uint32_t *exit_code);
HALCYON_API int32_t  AppSetupX(const halcyon_char *plan, const halcyon_char *app_ini, const halcyon_char *source, const halcyon_char *dest, const halcyon_char *apply_dir, const halcyon_char *installer_type,
                               const halcyon_char *part_type, const halcyon_char *recoverable, const halcyon_char *temporary, const halcyon_char *log, int32_t start, uint64_t options,
                               ModuleProgressCallback cb, uintptr_t user_data);
HALCYON_API int32_t  SingleAppSetupX_s(const halcyon_char *section, const halcyon_char *ini, const halcyon_char *source, const halcyon_char *dest, const halcyon_char *installer_type,
                                       const halcyon_char *part_type, const halcyon_char *recoverable, const halcyon_char *temporary, const halcyon_char *log, uint64_t options,
                                       uint8_t *verified, uint32_t *verify_result, halcyon_char *message, uint32_t message_size, bool no_arguments);
HALCYON_API int32_t  ExecuteProgram(const halcyon_char *work_dir, const halcyon_char *file, const halcyon_char *parameters, int32_t show_command, uint32_t wait_seconds,
                                    uint32_t *exit_code, const halcyon_char *log);
HALCYON_API bool     IsCleanSweep(const halcyon_char *plan);
HALCYON_API int32_t  IsLastModuleRecoverable(void);
HALCYON_API int32_t  EpicCrcCheck(const halcyon_char *ini, const halcyon_char *source, const halcyon_char *unused, const halcyon_char *log, uint64_t options);
HALCYON_API int32_t  ValidateRegistry(const halcyon_char *prefix, const halcyon_char *plan, const halcyon_char *log, uintptr_t root_key /* 0x80000002 = HKEY_LOCAL_MACHINE */);
#endif

#if defined(_WIN32) && !defined(HALCYON_UTF8_VERBS)
/* The plain wide form: NUL-terminated UTF-16 text (null where a verb allows
 * it), answers in caller buffers whose sizes count wchar_t units. */
HALCYON_API uint32_t MakeIniXW(const wchar_t *idf, const wchar_t *bom, const wchar_t *plan, const wchar_t *log, uint32_t recovery_buffer_mb, uint64_t options);
HALCYON_API uint32_t MakeIniFromMcodeW(const wchar_t *plan, const wchar_t *idf, const wchar_t *log, uint64_t options, void *store /* C++ IniStore* or NULL */, const wchar_t *nrvhdrcv);
HALCYON_API uint32_t IdentifyIdfW(const wchar_t *bom, const wchar_t *root, const wchar_t *first_level, const wchar_t *second_level, const wchar_t *log, uint64_t options);
HALCYON_API uint32_t ReadIdfForOSArchCheckW(wchar_t *os, uint32_t os_size, const wchar_t *idf, const wchar_t *log, uint64_t options, uint64_t reserved, const wchar_t *nrvhdrcv);
HALCYON_API int32_t  ScrambleIdfW(const wchar_t *in, const wchar_t *out, uint64_t options);
HALCYON_API int32_t  LoadImgXW(const wchar_t *plan, const wchar_t *source, const wchar_t *dest, const wchar_t *temp, const wchar_t *wim_name, const wchar_t *log, uint64_t options,
                              WimMessageCallback cb, void *cb_data, const wchar_t *nrvinst_oem, const wchar_t *pbr_suffix);
HALCYON_API int32_t  GetWimTagValueW(const wchar_t *wim, const wchar_t *tag, wchar_t *value, uint32_t value_size);
HALCYON_API int32_t  CompareBlidW(const wchar_t *wim, const wchar_t *plan);
HALCYON_API int32_t  CompareReleaseidW(const wchar_t *wim, const wchar_t *release_id);
HALCYON_API int32_t  ImgCopyXW(const wchar_t *plan, const wchar_t *source_root, const wchar_t *dest_root, const wchar_t *custom_folder, const wchar_t *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  GetFoundationImageW(const wchar_t *source, const wchar_t *dest, const wchar_t *plan, const wchar_t *nrvhdrcv, const wchar_t *media_type, uint64_t options,
                                        const wchar_t *export_arg, WimCourierCallback cb, void *cb_data, const wchar_t *log);
HALCYON_API int32_t  CopyDiscToDiskW(const wchar_t *source, const wchar_t *dest, const wchar_t *plan, const wchar_t *nrvhdrcv, const wchar_t *media_type, const wchar_t *installer_type,
                                    uint64_t options, WimMessageCallback cb, void *cb_data, const wchar_t *temporary, const wchar_t *log);
HALCYON_API int32_t  CompareNrvIniToHalIniW(const wchar_t *nrvhdrcv, const wchar_t *plan, uint64_t options);
HALCYON_API int32_t  GetMiniCDriveSizeW(const wchar_t *plan, const wchar_t *settings, const wchar_t *unused, uint8_t *warning, int32_t *size, int32_t *size_no_recovery);
HALCYON_API int32_t  ModCopyXW(const wchar_t *plan, const wchar_t *source, const wchar_t *dest, const wchar_t *installer_type, const wchar_t *part_type, const wchar_t *recoverable,
                              const wchar_t *temporary, const wchar_t *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModExtractXW(const wchar_t *plan, const wchar_t *source, const wchar_t *dest, const wchar_t *installer_type, const wchar_t *part_type, const wchar_t *module_type,
                                 const wchar_t *recoverable, const wchar_t *temporary, const wchar_t *log, uint64_t unused, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModSetupXW(const wchar_t *plan, const wchar_t *perm_source, const wchar_t *temp_source, const wchar_t *truefulfillment_source, const wchar_t *dest,
                               const wchar_t *mount, const wchar_t *installer_type, const wchar_t *part_type, const wchar_t *recoverable, const wchar_t *temporary,
                               const wchar_t *log, int32_t start, uint64_t options, ModuleProgressCallbackW cb, uintptr_t user_data,
                               const wchar_t *nrvinst_oem, uint32_t *exit_code);
HALCYON_API int32_t  AppSetupXW(const wchar_t *plan, const wchar_t *app_ini, const wchar_t *source, const wchar_t *dest, const wchar_t *apply_dir, const wchar_t *installer_type,
                               const wchar_t *part_type, const wchar_t *recoverable, const wchar_t *temporary, const wchar_t *log, int32_t start, uint64_t options,
                               ModuleProgressCallbackW cb, uintptr_t user_data);
HALCYON_API int32_t  SingleAppSetupX_sW(const wchar_t *section, const wchar_t *ini, const wchar_t *source, const wchar_t *dest, const wchar_t *installer_type,
                                       const wchar_t *part_type, const wchar_t *recoverable, const wchar_t *temporary, const wchar_t *log, uint64_t options,
                                       uint8_t *verified, uint32_t *verify_result, wchar_t *message, uint32_t message_size, bool no_arguments);
HALCYON_API int32_t  ExecuteProgramW(const wchar_t *work_dir, const wchar_t *file, const wchar_t *parameters, int32_t show_command, uint32_t wait_seconds,
                                    uint32_t *exit_code, const wchar_t *log);
HALCYON_API bool     IsCleanSweepW(const wchar_t *plan);
HALCYON_API int32_t  IsLastModuleRecoverableW(void);
HALCYON_API int32_t  EpicCrcCheckW(const wchar_t *ini, const wchar_t *source, const wchar_t *unused, const wchar_t *log, uint64_t options);
HALCYON_API int32_t  ValidateRegistryW(const wchar_t *prefix, const wchar_t *plan, const wchar_t *log, uintptr_t root_key /* 0x80000002 = HKEY_LOCAL_MACHINE */);

/* The string-object form, under the plain names: every HalcyonString *
 * argument is the address of the caller's by-value copy, which the verb
 * releases before it returns, on every path. The OS text of
 * ReadIdfForOSArchCheck and the value of GetWimTagValue are the caller's
 * own objects, rewritten through their managers. */
HALCYON_API uint32_t MakeIniX(HalcyonString *idf, HalcyonString *bom, HalcyonString *plan, HalcyonString *log, uint32_t recovery_buffer_mb, uint64_t options);
HALCYON_API uint32_t MakeIniFromMcode(HalcyonString *plan, HalcyonString *idf, HalcyonString *log, uint64_t options, void *store /* C++ IniStore* or NULL */, HalcyonString *nrvhdrcv);
HALCYON_API uint32_t IdentifyIdf(HalcyonString *bom, HalcyonString *root, HalcyonString *first_level, HalcyonString *second_level, HalcyonString *log, uint64_t options);
HALCYON_API uint32_t ReadIdfForOSArchCheck(HalcyonString *os, HalcyonString *idf, HalcyonString *log, uint64_t options, uint64_t reserved, HalcyonString *nrvhdrcv);
HALCYON_API int32_t  ScrambleIdf(HalcyonString *in, HalcyonString *out, uint64_t options);
HALCYON_API int32_t  LoadImgX(HalcyonString *plan, HalcyonString *source, HalcyonString *dest, HalcyonString *temp, HalcyonString *wim_name, HalcyonString *log, uint64_t options,
                              WimMessageCallback cb, void *cb_data, HalcyonString *nrvinst_oem, HalcyonString *pbr_suffix);
HALCYON_API int32_t  GetWimTagValue(HalcyonString *wim, HalcyonString *tag, HalcyonString *value);
HALCYON_API int32_t  CompareBlid(HalcyonString *wim, HalcyonString *plan);
HALCYON_API int32_t  CompareReleaseid(HalcyonString *wim, HalcyonString *release_id);
HALCYON_API int32_t  ImgCopyX(HalcyonString *plan, HalcyonString *source_root, HalcyonString *dest_root, HalcyonString *custom_folder, HalcyonString *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  GetFoundationImage(HalcyonString *source, HalcyonString *dest, HalcyonString *plan, HalcyonString *nrvhdrcv, HalcyonString *media_type, uint64_t options,
                                        HalcyonString *export_arg, WimCourierCallback cb, void *cb_data, HalcyonString *log);
HALCYON_API int32_t  CopyDiscToDisk(HalcyonString *source, HalcyonString *dest, HalcyonString *plan, HalcyonString *nrvhdrcv, HalcyonString *media_type, HalcyonString *installer_type,
                                    uint64_t options, WimMessageCallback cb, void *cb_data, HalcyonString *temporary, HalcyonString *log);
HALCYON_API int32_t  CompareNrvIniToHalIni(HalcyonString *nrvhdrcv, HalcyonString *plan, uint64_t options);
HALCYON_API int32_t  GetMiniCDriveSize(HalcyonString *plan, HalcyonString *settings, HalcyonString *unused, uint8_t *warning, int32_t *size, int32_t *size_no_recovery);
HALCYON_API int32_t  ModCopyX(HalcyonString *plan, HalcyonString *source, HalcyonString *dest, HalcyonString *installer_type, HalcyonString *part_type, HalcyonString *recoverable,
                              HalcyonString *temporary, HalcyonString *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModExtractX(HalcyonString *plan, HalcyonString *source, HalcyonString *dest, HalcyonString *installer_type, HalcyonString *part_type, HalcyonString *module_type,
                                 HalcyonString *recoverable, HalcyonString *temporary, HalcyonString *log, uint64_t unused, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModSetupX(HalcyonString *plan, HalcyonString *perm_source, HalcyonString *temp_source, HalcyonString *truefulfillment_source, HalcyonString *dest,
                               HalcyonString *mount, HalcyonString *installer_type, HalcyonString *part_type, HalcyonString *recoverable, HalcyonString *temporary,
                               HalcyonString *log, int32_t start, uint64_t options, ModuleProgressCallback cb, uintptr_t user_data,
                               HalcyonString *nrvinst_oem, uint32_t *exit_code);
HALCYON_API int32_t  AppSetupX(HalcyonString *plan, HalcyonString *app_ini, HalcyonString *source, HalcyonString *dest, HalcyonString *apply_dir, HalcyonString *installer_type,
                               HalcyonString *part_type, HalcyonString *recoverable, HalcyonString *temporary, HalcyonString *log, int32_t start, uint64_t options,
                               ModuleProgressCallback cb, uintptr_t user_data);
HALCYON_API int32_t  SingleAppSetupX_s(HalcyonString *section, HalcyonString *ini, HalcyonString *source, HalcyonString *dest, HalcyonString *installer_type,
                                       HalcyonString *part_type, HalcyonString *recoverable, HalcyonString *temporary, HalcyonString *log, uint64_t options,
                                       uint8_t *verified, uint32_t *verify_result, wchar_t *message, uint32_t message_size, bool no_arguments);
HALCYON_API int32_t  ExecuteProgram(HalcyonString *work_dir, HalcyonString *file, HalcyonString *parameters, int32_t show_command, uint32_t wait_seconds,
                                    uint32_t *exit_code, HalcyonString *log);
HALCYON_API bool     IsCleanSweep(HalcyonString *plan);
HALCYON_API int32_t  IsLastModuleRecoverable(void);
HALCYON_API int32_t  EpicCrcCheck(HalcyonString *ini, HalcyonString *source, HalcyonString *unused, HalcyonString *log, uint64_t options);
HALCYON_API int32_t  ValidateRegistry(HalcyonString *prefix, HalcyonString *plan, HalcyonString *log, uintptr_t root_key /* 0x80000002 = HKEY_LOCAL_MACHINE */);
#endif

#ifdef __cplusplus
}
#endif

#endif
