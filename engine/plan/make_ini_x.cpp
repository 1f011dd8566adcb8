// MakeIniX: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API uint32_t MakeIniX(const char *idf, const char *bom, const char *plan, const char *log, uint32_t recovery_buffer_mb, uint64_t options)
{
    return frame::RunVerb<uint32_t>("MakeIniX", static_cast<uint32_t>(RETURN_NOT_BUILT), [&]() -> uint32_t {
        (void)idf; (void)bom; (void)plan; (void)recovery_buffer_mb; (void)options;
        WriteLog("MakeIniX Begin", frame::Arg(log), 1);
        return static_cast<uint32_t>(RETURN_NOT_BUILT);
    });
}
