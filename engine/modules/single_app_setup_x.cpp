// SingleAppSetupX_s: installs one application from a prepared source folder
// and reports its version check (engine/modules/app_setup.h).
#include "engine/frame/verb.h"
#include "engine/modules/app_setup.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t SingleAppSetupX_s(const char *section, const char *ini, const char *source,
                                                 const char *dest, const char *installer_type, const char *part_type,
                                                 const char *recoverable, const char *temporary, const char *log,
                                                 uint64_t options, uint8_t *verified, uint32_t *verify_result,
                                                 char *message, uint32_t message_size, bool no_arguments)
{
    return modules::RunSetupVerb("SingleAppSetupX_s", [&]() -> int32_t {
        modules::SingleAppArguments a;
        // Only this verb's own arguments are copied here; the ones every setup
        // verb takes go through Take (setup_call.h).
        a.section = frame::Arg(section);
        a.iniFile = frame::Arg(ini);
        a.sourceDir = frame::Arg(source);
        a.destDir = frame::Arg(dest);
        a.Take(installer_type, part_type, recoverable, temporary, log, options);
        a.verified = verified;
        a.verifyResult = verify_result;
        a.message = message;
        a.messageSize = message_size;
        a.noArguments = no_arguments;
        return modules::RunSingleAppSetup(a);
    });
}
