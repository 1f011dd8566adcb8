// MakeIniFromMcode: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API uint32_t MakeIniFromMcode(const char *plan, const char *idf, const char *log, uint64_t options, void *store , const char *nrvhdrcv)
{
    return frame::RunVerb<uint32_t>("MakeIniFromMcode", static_cast<uint32_t>(RETURN_NOT_BUILT), [&]() -> uint32_t {
        (void)plan; (void)idf; (void)options; (void)store; (void)nrvhdrcv;
        WriteLog("MakeIniFromMcode Begin", frame::Arg(log), 1);
        return static_cast<uint32_t>(RETURN_NOT_BUILT);
    });
}
