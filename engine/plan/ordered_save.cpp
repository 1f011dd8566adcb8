#include "engine/plan/ordered_save.h"

namespace halcyon {

const std::vector<std::string> &PlanSectionOrder()
{
    static const std::vector<std::string> order = {
        "IDF",
        "Image",
        "Image App%d",
        "RecoveryImage",
        "%d",
        "PE%d",
        "PartitionInformation",
        "McodeInformation",
        "ExFuncInformation",
        "CleanSweep",
        "GPTSupport",
        "SmallCapacityDisk",
        "EnableBIOSHIB",
        "OptionalInformation",
    };
    return order;
}

bool SaveOrderedIniFile(std::string_view planPath, const support::CMemoryIniIO &store)
{
    return store.SaveToFileOrdered(planPath, PlanSectionOrder());
}

} // namespace halcyon
