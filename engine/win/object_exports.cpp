// The string-object form of HalcyonDLL.dll's 24 exports, for front ends
// built with the application framework: every string argument is the
// address of the caller's by-value copy of a string object, read in place
// and released once before the wrapper returns, on every path (the
// ReleasedArguments of each wrapper outlive its guarded body). Out texts are
// the caller's objects, rewritten through their own managers; progress
// labels are string objects of the DLL's manager that the callback
// releases. HalcyonDLL.def exports the wrappers under the verbs' plain names.
#include <string>

#include "engine/win/export_support.h"
#include "engine/win/string_object.h"

using halcyon::platform::win::Widen;
using halcyon::win::Arg;
using halcyon::win::Guarded;
using halcyon::win::kInternalError;
using halcyon::win::ReleasedArguments;
using halcyon::win::TextOf;
using halcyon::win::Utf8Answer;

namespace {

using Str = HalcyonString *;
// ModuleProgressCallback of the string-object form.
using ObjectProgressCallback = int32_t (*)(int32_t index, int32_t total, HalcyonString *label, uintptr_t user_data);

Arg Text(const HalcyonString *s) { return Arg(TextOf(s)); }

// The verb's text answer into the caller's object, when the verb wrote one
// (a null object takes none). A success whose text cannot be stored fails.
template <typename Code, typename Verb>
Code AnswerInto(HalcyonString *out, Verb &&verb)
{
    Utf8Answer answer(out ? Utf8Answer::kMaxBytes : 0);
    Code rc = verb(answer.data(), answer.size());
    if (answer.Written() && !halcyon::win::Assign(*out, answer.Wide()) && rc == 0)
        rc = static_cast<Code>(kInternalError);
    return rc;
}

// The caller's progress callback behind the verb's UTF-8 one: each label
// becomes a string object of the DLL's manager, handed over by value.
struct ProgressRelay {
    ObjectProgressCallback callback;
    uintptr_t userData;

    static int32_t Call(int32_t index, int32_t total, const char *label, uintptr_t relay) noexcept
    {
        const ProgressRelay *self = reinterpret_cast<const ProgressRelay *>(relay);
        HalcyonString object{};
        try {
            if (!halcyon::win::MakeOwnString(object, label ? Widen(label) : std::wstring()))
                return 0;
        } catch (...) {
            return 0;
        }
        return self->callback(index, total, &object, self->userData);
    }
    ModuleProgressCallback Callback() const { return callback ? &ProgressRelay::Call : nullptr; }
    uintptr_t UserData() const { return reinterpret_cast<uintptr_t>(this); }
};

} // namespace

extern "C" {

uint32_t MakeIniX_object(Str idf, Str bom, Str plan, Str log, uint32_t recovery_buffer_mb, uint64_t options)
{
    const ReleasedArguments released(idf, bom, plan, log);
    return Guarded<uint32_t>(kInternalError, [&] {
        return ::MakeIniX(Text(idf), Text(bom), Text(plan), Text(log), recovery_buffer_mb, options);
    });
}

uint32_t MakeIniFromMcode_object(Str plan, Str idf, Str log, uint64_t options, void *store, Str nrvhdrcv)
{
    const ReleasedArguments released(plan, idf, log, nrvhdrcv);
    return Guarded<uint32_t>(kInternalError, [&] {
        return ::MakeIniFromMcode(Text(plan), Text(idf), Text(log), options, store, Text(nrvhdrcv));
    });
}

uint32_t IdentifyIdf_object(Str bom, Str root, Str first_level, Str second_level, Str log, uint64_t options)
{
    const ReleasedArguments released(bom, root, first_level, second_level, log);
    return Guarded<uint32_t>(kInternalError, [&] {
        return ::IdentifyIdf(Text(bom), Text(root), Text(first_level), Text(second_level), Text(log), options);
    });
}

uint32_t ReadIdfForOSArchCheck_object(HalcyonString *os, Str idf, Str log, uint64_t options, uint64_t reserved,
                                      Str nrvhdrcv)
{
    const ReleasedArguments released(idf, log, nrvhdrcv);
    return Guarded<uint32_t>(kInternalError, [&] {
        return AnswerInto<uint32_t>(os, [&](char *out, uint32_t size) {
            return ::ReadIdfForOSArchCheck(out, size, Text(idf), Text(log), options, reserved, Text(nrvhdrcv));
        });
    });
}

int32_t ScrambleIdf_object(Str in, Str out, uint64_t options)
{
    const ReleasedArguments released(in, out);
    return Guarded<int32_t>(kInternalError, [&] { return ::ScrambleIdf(Text(in), Text(out), options); });
}

int32_t LoadImgX_object(Str plan, Str source, Str dest, Str temp, Str wim_name, Str log, uint64_t options,
                        WimMessageCallback cb, void *cb_data, Str nrvinst_oem, Str pbr_suffix)
{
    const ReleasedArguments released(plan, source, dest, temp, wim_name, log, nrvinst_oem, pbr_suffix);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::LoadImgX(Text(plan), Text(source), Text(dest), Text(temp), Text(wim_name), Text(log), options, cb,
                          cb_data, Text(nrvinst_oem), Text(pbr_suffix));
    });
}

int32_t GetWimTagValue_object(Str wim, Str tag, HalcyonString *value)
{
    const ReleasedArguments released(wim, tag);
    return Guarded<int32_t>(kInternalError, [&] {
        return AnswerInto<int32_t>(value, [&](char *out, uint32_t size) {
            return ::GetWimTagValue(Text(wim), Text(tag), out, size);
        });
    });
}

int32_t CompareBlid_object(Str wim, Str plan)
{
    const ReleasedArguments released(wim, plan);
    return Guarded<int32_t>(kInternalError, [&] { return ::CompareBlid(Text(wim), Text(plan)); });
}

int32_t CompareReleaseid_object(Str wim, Str release_id)
{
    const ReleasedArguments released(wim, release_id);
    return Guarded<int32_t>(kInternalError, [&] { return ::CompareReleaseid(Text(wim), Text(release_id)); });
}

int32_t ImgCopyX_object(Str plan, Str source_root, Str dest_root, Str custom_folder, Str log, uint64_t options,
                        uint64_t copy_arg)
{
    const ReleasedArguments released(plan, source_root, dest_root, custom_folder, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ImgCopyX(Text(plan), Text(source_root), Text(dest_root), Text(custom_folder), Text(log), options,
                          copy_arg);
    });
}

int32_t GetFoundationImage_object(Str source, Str dest, Str plan, Str nrvhdrcv, Str media_type, uint64_t options,
                                  Str export_arg, WimCourierCallback cb, void *cb_data, Str log)
{
    const ReleasedArguments released(source, dest, plan, nrvhdrcv, media_type, export_arg, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::GetFoundationImage(Text(source), Text(dest), Text(plan), Text(nrvhdrcv), Text(media_type), options,
                                    Text(export_arg), cb, cb_data, Text(log));
    });
}

int32_t CopyDiscToDisk_object(Str source, Str dest, Str plan, Str nrvhdrcv, Str media_type, Str installer_type,
                              uint64_t options, WimMessageCallback cb, void *cb_data, Str temporary, Str log)
{
    const ReleasedArguments released(source, dest, plan, nrvhdrcv, media_type, installer_type, temporary, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::CopyDiscToDisk(Text(source), Text(dest), Text(plan), Text(nrvhdrcv), Text(media_type),
                                Text(installer_type), options, cb, cb_data, Text(temporary), Text(log));
    });
}

int32_t CompareNrvIniToHalIni_object(Str nrvhdrcv, Str plan, uint64_t options)
{
    const ReleasedArguments released(nrvhdrcv, plan);
    return Guarded<int32_t>(kInternalError,
                            [&] { return ::CompareNrvIniToHalIni(Text(nrvhdrcv), Text(plan), options); });
}

int32_t GetMiniCDriveSize_object(Str plan, Str settings, Str unused, uint8_t *warning, int32_t *size,
                                 int32_t *size_no_recovery)
{
    const ReleasedArguments released(plan, settings, unused);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::GetMiniCDriveSize(Text(plan), Text(settings), Text(unused), warning, size, size_no_recovery);
    });
}

int32_t ModCopyX_object(Str plan, Str source, Str dest, Str installer_type, Str part_type, Str recoverable,
                        Str temporary, Str log, uint64_t options, uint64_t copy_arg)
{
    const ReleasedArguments released(plan, source, dest, installer_type, part_type, recoverable, temporary, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ModCopyX(Text(plan), Text(source), Text(dest), Text(installer_type), Text(part_type),
                          Text(recoverable), Text(temporary), Text(log), options, copy_arg);
    });
}

int32_t ModExtractX_object(Str plan, Str source, Str dest, Str installer_type, Str part_type, Str module_type,
                           Str recoverable, Str temporary, Str log, uint64_t unused, uint64_t options,
                           uint64_t copy_arg)
{
    const ReleasedArguments released(plan, source, dest, installer_type, part_type, module_type, recoverable,
                                     temporary, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ModExtractX(Text(plan), Text(source), Text(dest), Text(installer_type), Text(part_type),
                             Text(module_type), Text(recoverable), Text(temporary), Text(log), unused, options,
                             copy_arg);
    });
}

int32_t ModSetupX_object(Str plan, Str perm_source, Str temp_source, Str truefulfillment_source, Str dest, Str mount,
                         Str installer_type, Str part_type, Str recoverable, Str temporary, Str log, int32_t start,
                         uint64_t options, ObjectProgressCallback cb, uintptr_t user_data, Str nrvinst_oem,
                         uint32_t *exit_code)
{
    const ReleasedArguments released(plan, perm_source, temp_source, truefulfillment_source, dest, mount,
                                     installer_type, part_type, recoverable, temporary, log, nrvinst_oem);
    return Guarded<int32_t>(kInternalError, [&] {
        const ProgressRelay relay{cb, user_data};
        return ::ModSetupX(Text(plan), Text(perm_source), Text(temp_source), Text(truefulfillment_source),
                           Text(dest), Text(mount), Text(installer_type), Text(part_type), Text(recoverable),
                           Text(temporary), Text(log), start, options, relay.Callback(), relay.UserData(),
                           Text(nrvinst_oem), exit_code);
    });
}

int32_t AppSetupX_object(Str plan, Str app_ini, Str source, Str dest, Str apply_dir, Str installer_type,
                         Str part_type, Str recoverable, Str temporary, Str log, int32_t start, uint64_t options,
                         ObjectProgressCallback cb, uintptr_t user_data)
{
    const ReleasedArguments released(plan, app_ini, source, dest, apply_dir, installer_type, part_type, recoverable,
                                     temporary, log);
    return Guarded<int32_t>(kInternalError, [&] {
        const ProgressRelay relay{cb, user_data};
        return ::AppSetupX(Text(plan), Text(app_ini), Text(source), Text(dest), Text(apply_dir),
                           Text(installer_type), Text(part_type), Text(recoverable), Text(temporary), Text(log),
                           start, options, relay.Callback(), relay.UserData());
    });
}

int32_t SingleAppSetupX_s_object(Str section, Str ini, Str source, Str dest, Str installer_type, Str part_type,
                                 Str recoverable, Str temporary, Str log, uint64_t options, uint8_t *verified,
                                 uint32_t *verify_result, wchar_t *message, uint32_t message_size, bool no_arguments)
{
    const ReleasedArguments released(section, ini, source, dest, installer_type, part_type, recoverable, temporary,
                                     log);
    return Guarded<int32_t>(kInternalError, [&] {
        // The message is the caller's buffer, cut to its size as in the wide form.
        halcyon::win::WideOut out(message, message_size);
        const int32_t rc = ::SingleAppSetupX_s(Text(section), Text(ini), Text(source), Text(dest),
                                               Text(installer_type), Text(part_type), Text(recoverable),
                                               Text(temporary), Text(log), options, verified, verify_result,
                                               out.data(), out.size(), no_arguments);
        if (out.Written())
            out.CopyCut();
        return rc;
    });
}

int32_t ExecuteProgram_object(Str work_dir, Str file, Str parameters, int32_t show_command, uint32_t wait_seconds,
                              uint32_t *exit_code, Str log)
{
    const ReleasedArguments released(work_dir, file, parameters, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::ExecuteProgram(Text(work_dir), Text(file), Text(parameters), show_command, wait_seconds, exit_code,
                                Text(log));
    });
}

bool IsCleanSweep_object(Str plan)
{
    const ReleasedArguments released(plan);
    return Guarded<bool>(false, [&] { return ::IsCleanSweep(Text(plan)); });
}

int32_t IsLastModuleRecoverable_object(void) { return ::IsLastModuleRecoverable(); }

int32_t EpicCrcCheck_object(Str ini, Str source, Str unused, Str log, uint64_t options)
{
    const ReleasedArguments released(ini, source, unused, log);
    return Guarded<int32_t>(kInternalError, [&] {
        return ::EpicCrcCheck(Text(ini), Text(source), Text(unused), Text(log), options);
    });
}

int32_t ValidateRegistry_object(Str prefix, Str plan, Str log, uintptr_t root_key)
{
    const ReleasedArguments released(prefix, plan, log);
    return Guarded<int32_t>(kInternalError,
                            [&] { return ::ValidateRegistry(Text(prefix), Text(plan), Text(log), root_key); });
}

} // extern "C"
