#include "engine/plan/print_image.h"

#include <string>

#include "engine/plan/node_values.h"
#include "engine/plan/plan_numbers.h"
#include "engine/plan/plan_options.h"
#include "platform/path_map.h"

namespace halcyon::plan {

namespace {

constexpr int32_t kMissing = 8;

int32_t Copy(const support::CXMLNode &node, std::string_view attribute, std::string_view key,
             std::string_view section, support::CMemoryIniIO &store)
{
    std::string value;
    if (!ReadAttribute(node, attribute, value))
        return kMissing;
    return WriteKey(store, section, key, value) ? 0 : kMissing;
}

} // namespace

int32_t PrintImage(const support::CXMLNode &node, std::string_view section, support::CMemoryIniIO &store,
                   int64_t &total, bool isFoundation, uint64_t &options)
{
    if (int32_t rc = Copy(node, "PartName", "ReleaseName", section, store))
        return rc;

    if (isFoundation) {
        if (int32_t rc = Copy(node, "BLID", "BLID", section, store))
            return rc;
        std::string rmid;
        if (ReadAttribute(node, "RMID", rmid) && !rmid.empty() && !WriteKey(store, section, "RMID", rmid))
            return kMissing;
        if (int32_t rc = Copy(node, "MajorVersion", "MajorVersion", section, store))
            return rc;
        if (int32_t rc = Copy(node, "OS", "OS", section, store))
            return rc;
        std::string bitLocker;
        if (ReadAttribute(node, "BitLocker", bitLocker) && platform::EqualsNoCase(bitLocker, "true"))
            options |= kOptionBitLocker;
    }

    if (int32_t rc = Copy(node, "ReleaseID", "ReleaseID", section, store))
        return rc;
    if (int32_t rc = Copy(node, "PathToRelease", "PathToRelease", section, store))
        return rc;
    std::string size;
    if (int32_t rc = ReadTotalSize(node, size))
        return rc;
    if (!WriteKey(store, section, "TotalSize", size))
        return kMissing;
    total = SaturatingAdd(total, LeadingInt64(size));
    return 0;
}

} // namespace halcyon::plan
