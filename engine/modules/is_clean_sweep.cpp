// IsCleanSweep: whether the plan asks for a clean sweep ([CleanSweep]
// CleanSweep = "True", blanks around it and letter case ignored).
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/path_map.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

std::string_view Trim(std::string_view s)
{
    const char *blanks = " \t\r\n\v\f";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

} // namespace

extern "C" HALCYON_API bool IsCleanSweep(const char *plan)
{
    return frame::RunVerb<bool>("IsCleanSweep", false, [&]() -> bool {
        support::CMemoryIniIO ini(false);
        if (!ini.LoadFile(frame::Arg(plan)))
            return false;
        std::string value = ini.GetString("CleanSweep", "CleanSweep", "", 16384);
        return platform::EqualsNoCase(Trim(value), "True");
    });
}
