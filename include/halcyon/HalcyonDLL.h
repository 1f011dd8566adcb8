/*
 * HalcyonDLL: the setup engine's exported verbs.
 *
 * Every verb runs to completion on the caller's thread and returns a code
 * from halcyon/ReturnCodes.h (0 = success). Strings are NUL-terminated UTF-8;
 * paths are Windows path text ("C:\\Windows", "sources\\data\\300100"), mapped
 * to the emulated machine when a file is touched.
 */
#ifndef HALCYON_HALCYONDLL_H
#define HALCYON_HALCYONDLL_H

#include <stdbool.h>
#include <stdint.h>

#if defined(HALCYON_BUILDING_ENGINE)
#define HALCYON_API __attribute__((visibility("default")))
#else
#define HALCYON_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* module progress (ModSetupX, AppSetupX); result ignored */
typedef int32_t (*ModuleProgressCallback)(int32_t index, int32_t total, const char *label, uintptr_t user_data);
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

HALCYON_API uint32_t MakeIniX(const char *idf, const char *bom, const char *plan, const char *log, uint32_t recovery_buffer_mb, uint64_t options);
HALCYON_API uint32_t MakeIniFromMcode(const char *plan, const char *idf, const char *log, uint64_t options, void *store /* C++ IniStore* or NULL */, const char *nrvhdrcv);
HALCYON_API uint32_t IdentifyIdf(const char *bom, const char *root, const char *first_level, const char *second_level, const char *log, uint64_t options);
HALCYON_API uint32_t ReadIdfForOSArchCheck(char *os, uint32_t os_size, const char *idf, const char *log, uint64_t options, uint64_t reserved, const char *nrvhdrcv);
HALCYON_API int32_t  ScrambleIdf(const char *in, const char *out, uint64_t options);
HALCYON_API int32_t  LoadImgX(const char *plan, const char *source, const char *dest, const char *temp, const char *wim_name, const char *log, uint64_t options,
                              WimMessageCallback cb, void *cb_data, const char *nrvinst_oem, const char *pbr_suffix);
HALCYON_API int32_t  GetWimTagValue(const char *wim, const char *tag, char *value, uint32_t value_size);
HALCYON_API int32_t  CompareBlid(const char *wim, const char *plan);
HALCYON_API int32_t  CompareReleaseid(const char *wim, const char *release_id);
HALCYON_API int32_t  ImgCopyX(const char *plan, const char *source_root, const char *dest_root, const char *custom_folder, const char *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  GetFoundationImage(const char *source, const char *dest, const char *plan, const char *nrvhdrcv, const char *media_type, uint64_t options,
                                        const char *export_arg, WimCourierCallback cb, void *cb_data, const char *log);
HALCYON_API int32_t  CopyDiscToDisk(const char *source, const char *dest, const char *plan, const char *nrvhdrcv, const char *media_type, const char *installer_type,
                                    uint64_t options, WimMessageCallback cb, void *cb_data, const char *temporary, const char *log);
HALCYON_API int32_t  CompareNrvIniToHalIni(const char *nrvhdrcv, const char *plan, uint64_t options);
HALCYON_API int32_t  GetMiniCDriveSize(const char *plan, const char *settings, const char *unused, uint8_t *warning, int32_t *size, int32_t *size_no_recovery);
HALCYON_API int32_t  ModCopyX(const char *plan, const char *source, const char *dest, const char *installer_type, const char *part_type, const char *recoverable,
                              const char *temporary, const char *log, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModExtractX(const char *plan, const char *source, const char *dest, const char *installer_type, const char *part_type, const char *module_type,
                                 const char *recoverable, const char *temporary, const char *log, uint64_t unused, uint64_t options, uint64_t copy_arg);
HALCYON_API int32_t  ModSetupX(const char *plan, const char *perm_source, const char *temp_source, const char *truefulfillment_source, const char *dest,
                               const char *mount, const char *installer_type, const char *part_type, const char *recoverable, const char *temporary,
                               const char *log, int32_t start, uint64_t options, ModuleProgressCallback cb, uintptr_t user_data,
                               const char *nrvinst_oem, uint32_t *exit_code);
HALCYON_API int32_t  AppSetupX(const char *plan, const char *app_ini, const char *source, const char *dest, const char *apply_dir, const char *installer_type,
                               const char *part_type, const char *recoverable, const char *temporary, const char *log, int32_t start, uint64_t options,
                               ModuleProgressCallback cb, uintptr_t user_data);
HALCYON_API int32_t  SingleAppSetupX_s(const char *section, const char *ini, const char *source, const char *dest, const char *installer_type,
                                       const char *part_type, const char *recoverable, const char *temporary, const char *log, uint64_t options,
                                       uint8_t *verified, uint32_t *verify_result, char *message, uint32_t message_size, bool no_arguments);
HALCYON_API int32_t  ExecuteProgram(const char *work_dir, const char *file, const char *parameters, int32_t show_command, uint32_t wait_seconds,
                                    uint32_t *exit_code, const char *log);
HALCYON_API bool     IsCleanSweep(const char *plan);
HALCYON_API int32_t  IsLastModuleRecoverable(void);
HALCYON_API int32_t  EpicCrcCheck(const char *ini, const char *source, const char *unused, const char *log, uint64_t options);
HALCYON_API int32_t  ValidateRegistry(const char *prefix, const char *plan, const char *log, uintptr_t root_key /* 0x80000002 = HKEY_LOCAL_MACHINE */);

#ifdef __cplusplus
}
#endif

#endif
