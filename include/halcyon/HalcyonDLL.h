/*
 * HalcyonDLL: the setup engine's exported verbs.
 *
 * Every verb runs to completion on the caller's thread and returns a code
 * from halcyon/ReturnCodes.h (0 = success). Strings are NUL-terminated UTF-8;
 * paths are Windows path text ("C:\\Windows", "sources\\data\\300100"), mapped
 * to the emulated machine when a file is touched.
 *
 * The Windows build (HalcyonDLL.dll) takes and returns UTF-16: every char
 * becomes wchar_t (halcyon_char), out sizes count wchar_t units, and paths
 * are used as they are. Inside the engine (HALCYON_UTF8_VERBS) the verbs keep
 * their UTF-8 form; the DLL exports UTF-16 wrappers under the plain names.
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

/* module progress (ModSetupX, AppSetupX); result ignored */
typedef int32_t (*ModuleProgressCallback)(int32_t index, int32_t total, const halcyon_char *label, uintptr_t user_data);
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

#ifdef __cplusplus
}
#endif

#endif
