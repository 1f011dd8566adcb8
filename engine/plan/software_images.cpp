#include "engine/plan/software_images.h"

#include <numeric>
#include <vector>

#include "engine/frame/log.h"
#include "engine/plan/install_order.h"
#include "engine/plan/node_values.h"
#include "engine/plan/os_list.h"
#include "engine/plan/plan_numbers.h"
#include "engine/plan/plan_options.h"
#include "engine/plan/print_image.h"
#include "engine/plan/print_module.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

constexpr int32_t kMissing = 8;

int32_t WriteFoundation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                        support::CMemoryIniIO &store, std::string_view logPath, int64_t &total, uint64_t &options,
                        std::string *foundationOs)
{
    support::CXMLNodeList nodes;
    if (int32_t rc = support::GetSoftwareNodeList(nodes, "Foundation Image", idfPath, releaseIds)) {
        WriteLog(ParseErrorLine(rc), logPath, 0);
        return 28;
    }
    const bool osFiltered = (options & (kOptionCombinedMcode | kOptionNewIdfFormat)) != 0;
    for (const support::CXMLNode &node : nodes.Nodes()) {
        if (osFiltered && foundationOs) {
            std::string os;
            ReadAttribute(node, "OS", os);
            *foundationOs = os;
        }
        if (int32_t rc = PrintImage(node, "Image", store, total, true, options)) {
            WriteLog("ERROR: while calling PrintImage function.", logPath, 0);
            return rc;
        }
    }
    return 0;
}

int32_t WriteApplications(std::string_view idfPath, const support::StringList1000 &releaseIds,
                          const support::StringList1000 &childReleaseIds, support::CMemoryIniIO &store,
                          std::string_view logPath, int64_t &total, int64_t &permanent, int64_t &temporary,
                          uint64_t &options)
{
    support::CXMLNodeList nodes;
    if (int32_t rc = support::GetSoftwareNodeList(nodes, "ALL", idfPath, childReleaseIds)) {
        WriteLog(ParseErrorLine(rc, "."), logPath, 0);
        return rc;
    }
    const size_t count = static_cast<size_t>(nodes.GetNumNodes());
    if (count == 0)
        return 0;

    std::vector<int32_t> keys(count);
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (!ReadAttribute(nodes.Nodes()[i], "InstallOrderIndex", text)) {
            WriteLog("ERROR: While trying to retrieve image InstallOrderIndex.", logPath, 0);
            return kMissing;
        }
        keys[i] = LeadingInt32(text);
    }
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    SortByInstallOrder(keys, order);

    std::string value;
    uint8_t found = 0;
    if (int32_t rc = support::GetDataModules(idfPath, releaseIds, "ZRP_SMALLCAPACITYDISK_DATAPART", value, found)) {
        PrintConsole(ParseErrorLine(rc));
        return rc;
    }
    if (found == 1)
        options |= kOptionSmallCapacityDisk;

    int32_t counter = 1;
    support::CXMLNode node;
    for (size_t index : order) {
        node = nodes.Nodes()[index];
        node.AddAttribute("VerificationType", "None");
        node.AddAttribute("VerificationMode", "None");
        std::string section = "Image App" + std::to_string(counter);
        ++counter;
        if (int32_t rc = PrintModule(node, section, store, total, false, permanent, temporary, options)) {
            WriteLog("ERROR: while calling PrintModule function.", logPath, 0);
            return rc;
        }
    }
    return WriteKey(store, "Image App" + std::to_string(counter), "End", "True") ? 0 : kMissing;
}

int32_t WriteRecovery(std::string_view idfPath, const support::StringList1000 &releaseIds,
                      support::CMemoryIniIO &store, std::string_view logPath, int64_t &total, uint64_t &options,
                      std::string_view foundationOs)
{
    support::CXMLNodeList nodes;
    if (int32_t rc = support::GetSoftwareNodeList(nodes, "P1 (recovery) Image", idfPath, releaseIds)) {
        WriteLog("ERROR: returned error while parsing the IDF file.", logPath, 0);
        return rc;
    }
    for (const support::CXMLNode &node : nodes.Nodes()) {
        if ((options & (kOptionCombinedMcode | kOptionNewIdfFormat)) == 0) {
            if (int32_t rc = PrintImage(node, "RecoveryImage", store, total, false, options)) {
                WriteLog("ERROR: while calling PrintImage function.(else branch)", logPath, 0);
                return rc;
            }
            continue;
        }
        std::string os;
        ReadAttribute(node, "OS", os);
        if (IsOsInList(foundationOs, os) != 0)
            continue;
        if (int32_t rc = PrintImage(node, "RecoveryImage", store, total, false, options)) {
            WriteLog("ERROR: while calling PrintImage function.(if branch)", logPath, 0);
            return rc;
        }
    }
    return 0;
}

} // namespace

int32_t GetSoftwareImages(std::string_view idfPath, const support::StringList1000 &releaseIds,
                          const support::StringList1000 &childReleaseIds, support::CMemoryIniIO &store,
                          std::string_view logPath, int64_t &total, int64_t &permanent, int64_t &temporary,
                          uint64_t &options, std::string *foundationOs)
{
    if (WriteLog("Adding: Images", logPath, 1) != 0)
        return 27;
    if (int32_t rc = WriteFoundation(idfPath, releaseIds, store, logPath, total, options, foundationOs))
        return rc;
    if (int32_t rc = WriteApplications(idfPath, releaseIds, childReleaseIds, store, logPath, total, permanent,
                                       temporary, options))
        return rc;
    std::string noOs;
    if (int32_t rc = WriteRecovery(idfPath, releaseIds, store, logPath, total, options,
                                   foundationOs ? std::string_view(*foundationOs) : std::string_view(noOs)))
        return rc;
    WriteLog("GetSoftwareImages End", logPath, 0);
    return 0;
}

} // namespace halcyon::plan
