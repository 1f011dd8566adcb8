#include "engine/plan/os_list.h"

#include "platform/path_map.h"

namespace halcyon::plan {

int32_t IsOsInList(std::string_view foundationOs, std::string_view osList)
{
    size_t start = 0;
    while (start <= osList.size()) {
        size_t comma = osList.find(',', start);
        if (comma == std::string_view::npos)
            comma = osList.size();
        std::string_view piece = osList.substr(start, comma - start);
        if (!piece.empty() && platform::EqualsNoCase(piece, foundationOs))
            return 0;
        start = comma + 1;
    }
    return kOsNotInList;
}

} // namespace halcyon::plan
