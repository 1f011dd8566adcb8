// ReadIdfForOSArchCheck: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API uint32_t ReadIdfForOSArchCheck(char *os, uint32_t os_size, const char *idf, const char *log, uint64_t options, uint64_t reserved, const char *nrvhdrcv)
{
    return frame::RunVerb<uint32_t>("ReadIdfForOSArchCheck", static_cast<uint32_t>(RETURN_NOT_BUILT), [&]() -> uint32_t {
        (void)os; (void)os_size; (void)idf; (void)options; (void)reserved; (void)nrvhdrcv;
        WriteLog("ReadIdfForOSArchCheck Begin", frame::Arg(log), 1);
        return static_cast<uint32_t>(RETURN_NOT_BUILT);
    });
}
