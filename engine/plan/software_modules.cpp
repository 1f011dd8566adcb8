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
// What a node's moduleType makes of it, one bit per pass.
enum Kind : uint8_t { kMain = 1, kEpc = 2, kPe = 4, kNoModuleType = 0x80 };

struct Pass {
    uint8_t kind;
    bool filterByOs;
    const char *prefix;
};

std::vector<uint8_t> KindsOf(std::span<const ModuleNode> nodes)
{
    std::vector<uint8_t> kinds(nodes.size(), 0);
    std::string moduleType;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!ReadAttribute(nodes[i], "moduleType", moduleType))
            kinds[i] = kNoModuleType;
        else
            kinds[i] = (IsMainType(moduleType) ? kMain : 0) | (IsEpcType(moduleType) ? kEpc : 0) |
                       (IsPeType(moduleType) ? kPe : 0);
    }
    return kinds;
}

struct Accounts {
    int64_t &total;
    int64_t &permanent;
    int64_t &temporary;
};

int32_t PrintPass(std::span<const ModuleNode> nodes, std::span<const uint8_t> kinds, std::span<const size_t> order,
                  const Pass &pass, int32_t &counter, support::CMemoryIniIO &store, Accounts accounts,
                  uint64_t options, std::string_view foundationOs)
{
    // The nodes to print, in order; a node without moduleType ends the pass
    // after those before it.
    std::vector<size_t> printed;
    bool missing = false;
    std::string os, section;
    for (size_t index : order) {
        if (kinds[index] & kNoModuleType) {
            missing = true;
            break;
        }
        if (!(kinds[index] & pass.kind))
            continue;
        if (pass.filterByOs) {
            if (!ReadAttribute(nodes[index], "OS", os))
                os.clear();
            if (IsOsInList(foundationOs, os) != 0)
                continue;
        }
        printed.push_back(index);
    }
    // Install order is not document order: the nodes a few places ahead
    // are asked for early so their attributes are at hand when printed.
    constexpr size_t kAhead = 6;
    for (size_t i = 0; i < printed.size(); ++i) {
        if (i + 2 * kAhead < printed.size())
            __builtin_prefetch(&nodes[printed[i + 2 * kAhead]]);
        if (i + kAhead < printed.size())
            nodes[printed[i + kAhead]].Prefetch();
        section = pass.prefix + std::to_string(counter);
        ++counter;
        if (int32_t rc = PrintModule(nodes[printed[i]], section, store, accounts.total, true, accounts.permanent,
                                     accounts.temporary, options))
            return rc;
    }
    return missing ? kMissing : 0;
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

    const std::vector<uint8_t> kinds = KindsOf(nodes);
    int32_t moduleCounter = 1;
    if (int32_t rc = PrintPass(nodes, kinds, order, {kMain, combined, ""}, moduleCounter, store, accounts, local,
                               foundationOs))
        return rc;
    if (int32_t rc = PrintPass(nodes, kinds, order, {kEpc, osFiltered, ""}, moduleCounter, store, accounts, local,
                               foundationOs))
        return rc;
    if (!WriteKey(store, std::to_string(moduleCounter), "End", "True"))
        return kMissing;

    int32_t peCounter = 1;
    if (int32_t rc = PrintPass(nodes, kinds, order, {kPe, osFiltered, "PE"}, peCounter, store, accounts, local,
                               foundationOs))
        return rc;
    if (!WriteKey(store, "PE" + std::to_string(peCounter), "End", "True"))
        return kMissing;
    return 0;
}

} // namespace halcyon::plan
