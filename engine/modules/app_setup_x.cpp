// AppSetupX: applies the application image and installs the applications
// and drivers listed in the "Image App%d" sections (engine/modules/app_setup.h).
#include "engine/frame/verb.h"
#include "engine/modules/app_setup.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t AppSetupX(const char *plan, const char *app_ini, const char *source, const char *dest,
                                         const char *apply_dir, const char *installer_type, const char *part_type,
                                         const char *recoverable, const char *temporary, const char *log,
                                         int32_t start, uint64_t options, ModuleProgressCallback cb,
                                         uintptr_t user_data)
{
    return modules::RunSetupVerb("AppSetupX", [&]() -> int32_t {
        modules::AppSetupArguments a;
        // Only this verb's own arguments are copied here; the ones every setup
        // verb takes go through Take (setup_call.h).
        a.planFile = frame::Arg(plan);
        a.appIniFile = frame::Arg(app_ini);
        a.sourceDir = frame::Arg(source);
        a.destDir = frame::Arg(dest);
        a.applyDir = frame::Arg(apply_dir);
        a.Take(installer_type, part_type, recoverable, temporary, log, options);
        a.TakeProgress(start, cb, user_data);
        return modules::RunAppSetup(a);
    });
}
