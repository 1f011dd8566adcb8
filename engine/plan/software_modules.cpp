#include "engine/plan/software_modules.h"

#include <numeric>
#include <string>
#include <vector>

#include "engine/frame/log.h"
#include "engine/plan/install_order.h"
#include "engine/plan/module_node.h"
#include "engine/plan/module_preparation.h"
#include "engine/plan/node_values.h"
#include "engine/plan/os_list.h"
#include "engine/plan/plan_numbers.h"
#include "engine/plan/plan_options.h"
#include "engine/plan/print_module.h"
#include "platform/path_map.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

constexpr int32_t kMissing = 8;

using platform::EqualsNoCase;

bool IsMainType(std::string_view type)
{
    for (std::string_view t : {"Module", "X-Module", "OS Add-on Module", "Driver Module", "Application Module",
                               "Tool Module"})
        if (EqualsNoCase(type, t))
            return true;
    return false;
}
bool IsEpcType(std::string_view type) { return EqualsNoCase(type, "EPC"); }
bool IsPeType(std::string_view type) { return EqualsNoCase(type, "PE-Module"); }

// One printing pass: the nodes of the pass's types, in install order,
// numbered from `counter` in the family `prefix`.
struct Pass {
    bool (*accepts)(std::string_view);
    bool filterByOs;
    const char *prefix;
};

struct Accounts {
    int64_t &total;
    int64_t &permanent;
    int64_t &temporary;
};

int32_t PrintPass(std::span<const ModuleNode> nodes, std::span<const size_t> order, const Pass &pass,
                  int32_t &counter, support::CMemoryIniIO &store, Accounts accounts, uint64_t options,
                  std::string_view foundationOs)
{
    std::string moduleType, os, section;
    for (size_t index : order) {
        const ModuleNode &node = nodes[index];
        if (!ReadAttribute(node, "moduleType", moduleType))
            return kMissing;
        if (!pass.accepts(moduleType))
            continue;
        if (pass.filterByOs) {
            if (!ReadAttribute(node, "OS", os))
                os.clear();
            if (IsOsInList(foundationOs, os) != 0)
                continue;
        }
        section = pass.prefix + std::to_string(counter);
        ++counter;
        if (int32_t rc = PrintModule(node, section, store, accounts.total, true, accounts.permanent,
                                     accounts.temporary, options))
            return rc;
    }
    return 0;
}

// Sets `bit` in `options` when a selected release carries data module `name`.
int32_t QueryDataModuleBit(std::string_view idfPath, const support::StringList1000 &releaseIds,
                           std::string_view name, uint64_t bit, uint64_t &options)
{
    std::string value;
    uint8_t found = 0;
    int32_t rc = support::GetDataModules(idfPath, releaseIds, name, value, found);
    if (rc != 0) {
        PrintConsole(ParseErrorLine(rc));
        return rc;
    }
    if (found == 1)
        options |= bit;
    return 0;
}

} // namespace

int32_t GetSoftwareModules(std::string_view idfPath, const support::StringList1000 &releaseIds,
                           support::CMemoryIniIO &store, std::string_view logPath, int64_t &total,
                           int64_t &permanent, int64_t &temporary, uint64_t options, std::string_view foundationOs)
{
    if (WriteLog("Adding: Modules and EPC's", logPath, 1) != 0)
        return 27;

    uint64_t local = options;
    if (int32_t rc = QueryDataModuleBit(idfPath, releaseIds, "CleanSweep", kOptionCleanSweep, local))
        return rc;
    if (int32_t rc = QueryDataModuleBit(idfPath, releaseIds, "ZRP_SMALLCAPACITYDISK_DATAPART",
                                        kOptionSmallCapacityDisk, local))
        return rc;

    // The nodes are read in place in the parsed IDF, which `doc` keeps; the
    // passes below note their additions beside each node.
    std::shared_ptr<const support::IdfDocument> doc;
    ModuleValues values;
    std::vector<ModuleNode> nodes;
    {
        std::vector<pugi::xml_node> found;
        if (int32_t rc = support::GetSoftwareNodes(found, doc, "Module", idfPath, releaseIds))
            return rc;
        nodes.reserve(found.size());
        for (pugi::xml_node n : found)
            nodes.emplace_back(n, values);
    }
    const size_t count = nodes.size();
    if (count == 0)
        return 0;

    std::vector<int32_t> keys(count);
    std::vector<size_t> order(count);
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (!ReadAttribute(nodes[i], "InstallOrderIndex", text))
            return kMissing;
        keys[i] = LeadingInt32(text);
    }
    std::iota(order.begin(), order.end(), size_t{0});
    SortByInstallOrder(keys, order);

    if (int32_t rc = AddVerificationType(nodes, order))
        return rc;
    if (int32_t rc = AddVerificationMode(nodes, order))
        return rc;
    if (int32_t rc = NormaliseRebootChain(nodes, order))
        return rc;

    const bool combined = (local & kOptionCombinedMcode) != 0;
    const bool osFiltered = combined || (local & kOptionNewIdfFormat) != 0;
    Accounts accounts{total, permanent, temporary};

    int32_t moduleCounter = 1;
    if (int32_t rc = PrintPass(nodes, order, {IsMainType, combined, ""}, moduleCounter, store, accounts, local,
                               foundationOs))
        return rc;
    if (int32_t rc = PrintPass(nodes, order, {IsEpcType, osFiltered, ""}, moduleCounter, store, accounts, local,
                               foundationOs))
        return rc;
    if (!WriteKey(store, std::to_string(moduleCounter), "End", "True"))
        return kMissing;

    int32_t peCounter = 1;
    if (int32_t rc = PrintPass(nodes, order, {IsPeType, osFiltered, "PE"}, peCounter, store, accounts, local,
                               foundationOs))
        return rc;
    if (!WriteKey(store, "PE" + std::to_string(peCounter), "End", "True"))
        return kMissing;
    return 0;
}

} // namespace halcyon::plan
