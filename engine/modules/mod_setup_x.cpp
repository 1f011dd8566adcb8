// ModSetupX: installs the plan's modules in order, resuming across the
// restarts that modules ask for (engine/modules/mod_setup_run.h).
#include "engine/frame/verb.h"
#include "engine/modules/mod_setup_run.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ModSetupX(const char *plan, const char *perm_source, const char *temp_source,
                                         const char *truefulfillment_source, const char *dest, const char *mount,
                                         const char *installer_type, const char *part_type, const char *recoverable,
                                         const char *temporary, const char *log, int32_t start, uint64_t options,
                                         ModuleProgressCallback cb, uintptr_t user_data, const char *nrvinst_oem,
                                         uint32_t *exit_code)
{
    return modules::RunSetupVerb("ModSetupX", [&]() -> int32_t {
        modules::ModSetupArguments a;
        // Only this verb's own arguments are copied here; the ones every setup
        // verb takes go through Take (setup_call.h).
        a.iniFile = frame::Arg(plan);
        a.permSourceDir = frame::Arg(perm_source);
        a.tempSourceDir = frame::Arg(temp_source);
        a.trueFulSourceDir = frame::Arg(truefulfillment_source);
        a.destDir = frame::Arg(dest);
        a.mountDir = frame::Arg(mount);
        a.Take(installer_type, part_type, recoverable, temporary, log, options);
        a.TakeProgress(start, cb, user_data);
        a.nrvinstFile = frame::Arg(nrvinst_oem);
        a.exitCodeOut = exit_code;
        return modules::RunModSetup(a);
    });
}
