// IdentifyIdf: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API uint32_t IdentifyIdf(const char *bom, const char *root, const char *first_level, const char *second_level, const char *log, uint64_t options)
{
    return frame::RunVerb<uint32_t>("IdentifyIdf", static_cast<uint32_t>(RETURN_NOT_BUILT), [&]() -> uint32_t {
        (void)bom; (void)root; (void)first_level; (void)second_level; (void)options;
        WriteLog("IdentifyIdf Begin", frame::Arg(log), 1);
        return static_cast<uint32_t>(RETURN_NOT_BUILT);
    });
}
