#include "engine/plan/print_module.h"

#include <type_traits>

#include "engine/plan/node_values.h"
#include "engine/plan/plan_numbers.h"
#include "engine/plan/plan_options.h"
#include "platform/path_map.h"

namespace halcyon::plan {

namespace {

constexpr int32_t kMissing = 8;

using platform::EqualsNoCase;

// Writes `key` from the node's attribute `attribute`; 8 when it is absent
// or cannot be written.
template <typename Node>
int32_t Copy(const Node &node, std::string_view attribute, std::string_view section,
             std::string_view key, support::CMemoryIniIO &store)
{
    if constexpr (std::is_same_v<Node, NodeAttributes>) {
        // Straight from the document, without a copy.
        const char *value = node.Find(attribute);
        if (!value)
            return kMissing;
        return WriteKey(store, section, key, value) ? 0 : kMissing;
    } else {
        std::string value;
        if (!ReadAttribute(node, attribute, value))
            return kMissing;
        return WriteKey(store, section, key, value) ? 0 : kMissing;
    }
}

int32_t Put(support::CMemoryIniIO &store, std::string_view section, std::string_view key, std::string_view value)
{
    return WriteKey(store, section, key, value) ? 0 : kMissing;
}

template <typename Node>
int32_t PrintNode(const Node &node, std::string_view section, support::CMemoryIniIO &store, int64_t &total,
                  bool countsTowardSize, int64_t &permanent, int64_t &temporary, uint64_t options);

} // namespace

std::string StripLabel(std::string_view label)
{
    std::string out;
    out.reserve(label.size());
    for (char c : label)
        if (std::string_view("\\/*?<>|:\"").find(c) == std::string_view::npos)
            out += c;
    return out;
}

RebootKeys RebootKeysFor(const std::string *setting)
{
    if (!setting)
        return {};
    if (EqualsNoCase(*setting, "Before"))
        return {"True", "False"};
    if (EqualsNoCase(*setting, "After"))
        return {"False", "True"};
    if (EqualsNoCase(*setting, "Both"))
        return {"True", "True"};
    if (EqualsNoCase(*setting, "None"))
        return {"False", "False"};
    return {};
}

int32_t PrintModule(const support::CXMLNode &node, std::string_view section, support::CMemoryIniIO &store,
                    int64_t &total, bool countsTowardSize, int64_t &permanent, int64_t &temporary,
                    uint64_t options)
{
    return PrintNode(node, section, store, total, countsTowardSize, permanent, temporary, options);
}

int32_t PrintModule(const ModuleNode &node, std::string_view section, support::CMemoryIniIO &store,
                    int64_t &total, bool countsTowardSize, int64_t &permanent, int64_t &temporary,
                    uint64_t options)
{
    return PrintNode(NodeAttributes(node), section, store, total, countsTowardSize, permanent, temporary, options);
}

namespace {

template <typename Node>
int32_t PrintNode(const Node &node, std::string_view section, support::CMemoryIniIO &store, int64_t &total,
                  bool countsTowardSize, int64_t &permanent, int64_t &temporary, uint64_t options)
{
    // Keys 1 to 6.
    static constexpr std::pair<const char *, const char *> kHead[] = {
        {"PartName", "ReleaseName"}, {"ReleaseID", "ReleaseID"},          {"PartType", "PartType"},
        {"ModuleType", "ModuleType"}, {"CommandLineArguments", "CmdLineArgs"}, {"PathToRelease", "PathToRelease"},
    };
    for (const auto &[attribute, key] : kHead)
        if (int32_t rc = Copy(node, attribute, section, key, store))
            return rc;

    std::string value;
    if (!ReadAttribute(node, "InstallAfterOOBE", value))
        value.clear();
    if (int32_t rc = Put(store, section, "InstallAfterOOBE", value))
        return rc;
    if (int32_t rc = Copy(node, "PartId", section, "PartId", store))
        return rc;

    std::string reboot;
    bool hasReboot = ReadAttribute(node, "rebootSetting", reboot);
    RebootKeys keys = RebootKeysFor(hasReboot ? &reboot : nullptr);
    if (int32_t rc = Put(store, section, "RebootBefore", keys.before))
        return rc;
    if (int32_t rc = Put(store, section, "RebootAfter", keys.after))
        return rc;

    // Keys 11 to 20.
    static constexpr std::pair<const char *, const char *> kMiddle[] = {
        {"InstallerType", "InstallerType"},
        {"SetupFile", "SetupFile"},
        {"MajorVersion", "MajorVersion"},
        {"DetailedVersion", "DetailedVersion"},
        {"VerificationType", "VerificationType"},
        {"VerificationMode", "VerificationMode"},
        {"VersionCheckAfterInstallation", "VerCheckAfter"},
        {"VerificationPath", "VersionPath"},
        {"BasePlus", "BasePlus"},
        {"CustomerDescription", "CustomerDescription"},
    };
    for (const auto &[attribute, key] : kMiddle)
        if (int32_t rc = Copy(node, attribute, section, key, store))
            return rc;

    if (!ReadAttribute(node, "CustomerLabel", value))
        return kMissing;
    if (int32_t rc = Put(store, section, "CustomerLabel", StripLabel(value)))
        return rc;
    if (int32_t rc = Copy(node, "Recoverable", section, "Recoverable", store))
        return rc;
    std::string temporaryText;
    if (!ReadAttribute(node, "Temporary", temporaryText))
        return kMissing;
    if (int32_t rc = Put(store, section, "Temporary", temporaryText))
        return rc;

    // Size accounting. InstallerType and BasePlus were written above.
    std::string installerType, basePlus;
    ReadAttribute(node, "InstallerType", installerType);
    ReadAttribute(node, "BasePlus", basePlus);
    bool counts = countsTowardSize && !EqualsNoCase(installerType, "Data");
    if ((options & kOptionCleanSweep) && !EqualsNoCase(basePlus, "True"))
        counts = false;
    if (counts) {
        bool isTemporary;
        if (EqualsNoCase(temporaryText, "False") || EqualsNoCase(temporaryText, "True_Fulfillment"))
            isTemporary = false;
        else if (EqualsNoCase(temporaryText, "True"))
            isTemporary = true;
        else
            return kMissing;
        std::string sizeText;
        if (int32_t rc = ReadTotalSize(node, sizeText))
            return rc;
        int64_t size = LeadingInt64(sizeText);
        if (isTemporary) {
            temporary = SaturatingAdd(temporary, size);
            if (!(options & kOptionSmallCapacityDisk))
                total = SaturatingAdd(total, size);
        } else {
            permanent = SaturatingAdd(permanent, size);
            total = SaturatingAdd(total, size);
            if (!(options & kOptionSmallCapacityDisk)) {
                total = SaturatingAdd(total, size);
            } else {
                std::string moduleType;
                if (!ReadAttribute(node, "ModuleType", moduleType) || !ReadAttribute(node, "InstallerType", installerType))
                    return kMissing;
                if (EqualsNoCase(moduleType, "PE-Module") && EqualsNoCase(installerType, "FILE COPY"))
                    total = SaturatingAdd(total, size);
            }
        }
    }

    if (int32_t rc = Copy(node, "InstallOrderIndex", section, "InstallOrderIndex", store))
        return rc;
    std::string sizeText;
    if (int32_t rc = ReadTotalSize(node, sizeText))
        return rc;
    return Put(store, section, "TotalSize", sizeText);
}

} // namespace

} // namespace halcyon::plan
