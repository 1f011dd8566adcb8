// ImgCopyX: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ImgCopyX(const char *plan, const char *source_root, const char *dest_root, const char *custom_folder, const char *log, uint64_t options, uint64_t copy_arg)
{
    return frame::RunVerb<int32_t>("ImgCopyX", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)plan; (void)source_root; (void)dest_root; (void)custom_folder; (void)options; (void)copy_arg;
        WriteLog("ImgCopyX Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}
