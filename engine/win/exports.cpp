// The plain wide form of HalcyonDLL.dll's 24 exports: UTF-16 text in and
// out, sizes in wchar_t units. Each wrapper converts its arguments (null
// stays null), runs the engine's UTF-8 verb and converts its answers back;
// HalcyonDLL.def exports the wrappers under the verbs' names with a "W"
// suffix. Nothing thrown here reaches the caller.
#include "halcyon/HalcyonDLL.h"

#include <string>

#include "engine/win/export_support.h"

using halcyon::platform::win::Widen;
using halcyon::win::Arg;
using halcyon::win::Guarded;
using halcyon::win::kInternalError;
using halcyon::win::WideOut;

namespace {

using WideText = const wchar_t *;
// ModuleProgressCallbackW of the exported surface.
using WideProgressCallback = int32_t (*)(int32_t index, int32_t total, const wchar_t *label, uintptr_t user_data);

// The caller's UTF-16 progress callback behind the verb's UTF-8 one: the
// verb's user data points at this relay.
struct ProgressRelay {
    WideProgressCallback callback;
    uintptr_t userData;

    static int32_t Call(int32_t index, int32_t total, const char *label, uintptr_t relay) noexcept
    {
        const ProgressRelay *self = reinterpret_cast<const ProgressRelay *>(relay);
        try {
            const std::wstring wide = label ? Widen(label) : std::wstring();
            return self->callback(index, total, label ? wide.c_str() : nullptr, self->userData);
        } catch (...) {
            return 0;
        }
    }
    ModuleProgressCallback Callback() const { return callback ? &ProgressRelay::Call : nullptr; }
    uintptr_t UserData() const { return reinterpret_cast<uintptr_t>(this); }
};

} // namespace

extern "C" {

uint32_t MakeIniX_utf16(WideText idf, WideText bom, WideText plan, WideText log, uint32_t recovery_buffer_mb,
                        uint64_t options)
{
    return Guarded<uint32_t>(kInternalError, [&] {
        return ::MakeIniX(Arg(idf), Arg(bom), Arg(plan), Arg(log), recovery_buffer_mb, options);
    });
}

uint32_t MakeIniFromMcode_utf16(WideText plan, WideText idf, WideText log, uint64_t options, void *store,
                                WideText nrvhdrcv)
{
    return Guarded<uint32_t>(kInternalError, [&] {
        return ::MakeIniFromMcode(Arg(plan), Arg(idf), Arg(log), options, store, Arg(nrvhdrcv));
    });
}

uint32_t IdentifyIdf_utf16(WideText bom, WideText root, WideText first_level, WideText second_level, WideText log,
                           uint64_t options)
{
    return Guarded<uint32_t>(kInternalError, [&] {
        return ::IdentifyIdf(Arg(bom), Arg(root), Arg(first_level), Arg(second_level), Arg(log), options);
    });
}

uint32_t ReadIdfForOSArchCheck_utf16(wchar_t *os, uint32_t os_size, WideText idf, WideText log, uint64_t options,
                                     uint64_t reserved, WideText nrvhdrcv)
{
    return Guarded<uint32_t>(kInternalError, [&] {
        WideOut out(os, os_size);
        uint32_t rc = ::ReadIdfForOSArchCheck(out.data(), out.size(), Arg(idf), Arg(log), options, reserved,
                                              Arg(nrvhdrcv));
        if (out.Written()) {
            const int32_t copied = out.CopyWhole();
            if (rc == 0)
                rc = static_cast<uint32_t>(copied);
        }
        return rc;
    });
}

int32_t ScrambleIdf_utf16(WideText in, WideText out, uint64_t options)
{
    return Guarded<int32_t>(kInternalError, [&] { return ::ScrambleIdf(Arg(in), Arg(out), options); });
}

int32_t LoadImgX_utf16(WideText plan, WideText source, WideText dest, WideText temp, WideText wim_name, WideText log,
                       uint64_t options, WimMessageCallback cb, void *cb_data, WideText nrvinst_oem,
                       WideText pbr_suffix)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::LoadImgX(Arg(plan), Arg(source), Arg(dest), Arg(temp), Arg(wim_name), Arg(log), options, cb, cb_data,
                          Arg(nrvinst_oem), Arg(pbr_suffix));
    });
}

int32_t GetWimTagValue_utf16(WideText wim, WideText tag, wchar_t *value, uint32_t value_size)
{
    return Guarded<int32_t>(kInternalError, [&] {
        WideOut out(value, value_size);
        int32_t rc = ::GetWimTagValue(Arg(wim), Arg(tag), out.data(), out.size());
        if (out.Written()) {
            const int32_t copied = out.CopyWhole();
            if (rc == 0)
                rc = copied;
        }
        return rc;
    });
}

int32_t CompareBlid_utf16(WideText wim, WideText plan)
{
    return Guarded<int32_t>(kInternalError, [&] { return ::CompareBlid(Arg(wim), Arg(plan)); });
}

int32_t CompareReleaseid_utf16(WideText wim, WideText release_id)
{
    return Guarded<int32_t>(kInternalError, [&] { return ::CompareReleaseid(Arg(wim), Arg(release_id)); });
}

int32_t ImgCopyX_utf16(WideText plan, WideText source_root, WideText dest_root, WideText custom_folder, WideText log,
                       uint64_t options, uint64_t copy_arg)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ImgCopyX(Arg(plan), Arg(source_root), Arg(dest_root), Arg(custom_folder), Arg(log), options,
                          copy_arg);
    });
}

int32_t GetFoundationImage_utf16(WideText source, WideText dest, WideText plan, WideText nrvhdrcv,
                                 WideText media_type, uint64_t options, WideText export_arg, WimCourierCallback cb,
                                 void *cb_data, WideText log)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::GetFoundationImage(Arg(source), Arg(dest), Arg(plan), Arg(nrvhdrcv), Arg(media_type), options,
                                    Arg(export_arg), cb, cb_data, Arg(log));
    });
}

int32_t CopyDiscToDisk_utf16(WideText source, WideText dest, WideText plan, WideText nrvhdrcv, WideText media_type,
                             WideText installer_type, uint64_t options, WimMessageCallback cb, void *cb_data,
                             WideText temporary, WideText log)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::CopyDiscToDisk(Arg(source), Arg(dest), Arg(plan), Arg(nrvhdrcv), Arg(media_type),
                                Arg(installer_type), options, cb, cb_data, Arg(temporary), Arg(log));
    });
}

int32_t CompareNrvIniToHalIni_utf16(WideText nrvhdrcv, WideText plan, uint64_t options)
{
    return Guarded<int32_t>(kInternalError, [&] { return ::CompareNrvIniToHalIni(Arg(nrvhdrcv), Arg(plan), options); });
}

int32_t GetMiniCDriveSize_utf16(WideText plan, WideText settings, WideText unused, uint8_t *warning, int32_t *size,
                                int32_t *size_no_recovery)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::GetMiniCDriveSize(Arg(plan), Arg(settings), Arg(unused), warning, size, size_no_recovery);
    });
}

int32_t ModCopyX_utf16(WideText plan, WideText source, WideText dest, WideText installer_type, WideText part_type,
                       WideText recoverable, WideText temporary, WideText log, uint64_t options, uint64_t copy_arg)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ModCopyX(Arg(plan), Arg(source), Arg(dest), Arg(installer_type), Arg(part_type), Arg(recoverable),
                          Arg(temporary), Arg(log), options, copy_arg);
    });
}

int32_t ModExtractX_utf16(WideText plan, WideText source, WideText dest, WideText installer_type, WideText part_type,
                          WideText module_type, WideText recoverable, WideText temporary, WideText log,
                          uint64_t unused, uint64_t options, uint64_t copy_arg)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ModExtractX(Arg(plan), Arg(source), Arg(dest), Arg(installer_type), Arg(part_type), Arg(module_type),
                             Arg(recoverable), Arg(temporary), Arg(log), unused, options, copy_arg);
    });
}

int32_t ModSetupX_utf16(WideText plan, WideText perm_source, WideText temp_source, WideText truefulfillment_source,
                        WideText dest, WideText mount, WideText installer_type, WideText part_type,
                        WideText recoverable, WideText temporary, WideText log, int32_t start, uint64_t options,
                        WideProgressCallback cb, uintptr_t user_data, WideText nrvinst_oem, uint32_t *exit_code)
{
    return Guarded<int32_t>(kInternalError, [&] {
        const ProgressRelay relay{cb, user_data};
        return ::ModSetupX(Arg(plan), Arg(perm_source), Arg(temp_source), Arg(truefulfillment_source), Arg(dest),
                           Arg(mount), Arg(installer_type), Arg(part_type), Arg(recoverable), Arg(temporary), Arg(log),
                           start, options, relay.Callback(), relay.UserData(), Arg(nrvinst_oem), exit_code);
    });
}

int32_t AppSetupX_utf16(WideText plan, WideText app_ini, WideText source, WideText dest, WideText apply_dir,
                        WideText installer_type, WideText part_type, WideText recoverable, WideText temporary,
                        WideText log, int32_t start, uint64_t options, WideProgressCallback cb, uintptr_t user_data)
{
    return Guarded<int32_t>(kInternalError, [&] {
        const ProgressRelay relay{cb, user_data};
        return ::AppSetupX(Arg(plan), Arg(app_ini), Arg(source), Arg(dest), Arg(apply_dir), Arg(installer_type),
                           Arg(part_type), Arg(recoverable), Arg(temporary), Arg(log), start, options,
                           relay.Callback(), relay.UserData());
    });
}

int32_t SingleAppSetupX_s_utf16(WideText section, WideText ini, WideText source, WideText dest,
                                WideText installer_type, WideText part_type, WideText recoverable, WideText temporary,
                                WideText log, uint64_t options, uint8_t *verified, uint32_t *verify_result,
                                wchar_t *message, uint32_t message_size, bool no_arguments)
{
    return Guarded<int32_t>(kInternalError, [&] {
        WideOut out(message, message_size);
        const int32_t rc = ::SingleAppSetupX_s(Arg(section), Arg(ini), Arg(source), Arg(dest), Arg(installer_type),
                                               Arg(part_type), Arg(recoverable), Arg(temporary), Arg(log), options,
                                               verified, verify_result, out.data(), out.size(), no_arguments);
        // The version check's message is cut to the buffer, as VerGauge does.
        if (out.Written())
            out.CopyCut();
        return rc;
    });
}

int32_t ExecuteProgram_utf16(WideText work_dir, WideText file, WideText parameters, int32_t show_command,
                             uint32_t wait_seconds, uint32_t *exit_code, WideText log)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ExecuteProgram(Arg(work_dir), Arg(file), Arg(parameters), show_command, wait_seconds, exit_code,
                                Arg(log));
    });
}

bool IsCleanSweep_utf16(WideText plan)
{
    return Guarded<bool>(false, [&] { return ::IsCleanSweep(Arg(plan)); });
}

int32_t IsLastModuleRecoverable_utf16(void) { return ::IsLastModuleRecoverable(); }

int32_t EpicCrcCheck_utf16(WideText ini, WideText source, WideText unused, WideText log, uint64_t options)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::EpicCrcCheck(Arg(ini), Arg(source), Arg(unused), Arg(log), options);
    });
}

int32_t ValidateRegistry_utf16(WideText prefix, WideText plan, WideText log, uintptr_t root_key)
{
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ValidateRegistry(Arg(prefix), Arg(plan), Arg(log), root_key);
    });
}

} // extern "C"
