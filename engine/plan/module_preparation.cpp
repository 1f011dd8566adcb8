#include "engine/plan/module_preparation.h"

#include <string>
#include <type_traits>

#include "engine/frame/version_probe.h"
#include "engine/plan/node_values.h"
#include "platform/path_map.h"

namespace halcyon::plan {

namespace {

constexpr int32_t kMissing = 8;

using platform::EqualsNoCase;

// Results of the version probe that decide the mode.
constexpr uint32_t kProbeEmptyPath = 5;
constexpr uint32_t kProbeNoBackslash = 7;
constexpr uint32_t kProbeNotRegistryRoot = 8;

constexpr uint32_t kProbeTextTooLong = 15;

// The probe's output buffer: 261 characters of up to four UTF-8 bytes.
constexpr uint32_t kProbeBufferBytes = 261 * 4;

// Applies `change` to every node in `order`; a non-zero result ends the walk.
template <typename Node, typename Change>
int32_t ForEachInOrder(std::span<Node> nodes, std::span<const size_t> order, Change &&change)
{
    for (size_t i = 0; i < order.size(); ++i) {
        if constexpr (std::is_same_v<Node, ModuleNode>) {
            // Install order is not document order: ask early for what the
            // passes read a few nodes ahead.
            constexpr size_t kAhead = 8;
            if (i + 2 * kAhead < order.size())
                __builtin_prefetch(&nodes[order[i + 2 * kAhead]]);
            if (i + kAhead < order.size())
                nodes[order[i + kAhead]].PrefetchKnown();
        }
        if (int32_t rc = change(nodes[order[i]]))
            return rc;
    }
    return 0;
}

// For a path too long for the probe to look at: a registry path is one whose
// first component names a registry root, as the probe itself decides.
bool StartsWithRegistryRoot(std::string_view path)
{
    size_t backslash = path.find('\\');
    if (backslash == std::string_view::npos)
        return false;
    std::string root = platform::ToUpperAscii(path.substr(0, backslash));
    size_t first = root.find_first_not_of(" \t\"");
    root.erase(0, first == std::string::npos ? root.size() : first);
    for (std::string_view name : {"HKEY_CURRENT_USER", "HKCU", "HKEY_LOCAL_MACHINE", "HKLM", "HKEY_USERS", "HKU",
                                  "HKEY_CURRENT_CONFIG", "HKCC", "HKEY_DYN_DATA", "HKDD"})
        if (root == name)
            return true;
    return false;
}

template <typename Node> int32_t VerificationType(std::span<Node> nodes, std::span<const size_t> order)
{
    return ForEachInOrder(nodes, order, [](Node &node) -> int32_t {
        std::string moduleType, installerType;
        if (!ReadAttribute(node, "moduleType", moduleType) || !ReadAttribute(node, "InstallerType", installerType))
            return kMissing;
        bool check = EqualsNoCase(moduleType, "Driver Module") || EqualsNoCase(installerType, "FILE COPY");
        node.AddAttribute("VerificationType", check ? "VerCheckAfter" : "ReturnCode");
        return 0;
    });
}

template <typename Node> int32_t VerificationMode(std::span<Node> nodes, std::span<const size_t> order)
{
    std::string buffer(kProbeBufferBytes, '\0');
    return ForEachInOrder(nodes, order, [&](Node &node) -> int32_t {
        std::string path;
        if (!ReadAttribute(node, "VerificationPath", path))
            return kMissing;
        uint32_t probe = frame::GetRegVersion(path.c_str(), buffer.data(), kProbeBufferBytes);
        const char *mode = "Registry";
        if (probe == kProbeEmptyPath)
            mode = "None";
        else if (probe == kProbeNoBackslash || probe == kProbeNotRegistryRoot)
            mode = "File";
        else if (probe == kProbeTextTooLong && !StartsWithRegistryRoot(path))
            mode = "File";
        node.AddAttribute("VerificationMode", mode);
        return 0;
    });
}

template <typename Node> int32_t RebootChain(std::span<Node> nodes, std::span<const size_t> order)
{
    bool previousRebootsAfter = false;
    return ForEachInOrder(nodes, order, [&](Node &node) -> int32_t {
        std::string setting;
        if (!ReadAttribute(node, "rebootSetting", setting)) {
            previousRebootsAfter = false;
            return 0;
        }
        if (previousRebootsAfter) {
            if (EqualsNoCase(setting, "Before"))
                setting = "None";
            else if (EqualsNoCase(setting, "Both"))
                setting = "After";
        }
        previousRebootsAfter = EqualsNoCase(setting, "After") || EqualsNoCase(setting, "Both");
        node.UpdateAttribute("rebootSetting", setting);
        return 0;
    });
}

} // namespace

int32_t AddVerificationType(std::span<support::CXMLNode> nodes, std::span<const size_t> order)
{
    return VerificationType(nodes, order);
}
int32_t AddVerificationType(std::span<ModuleNode> nodes, std::span<const size_t> order)
{
    return VerificationType(nodes, order);
}
int32_t AddVerificationMode(std::span<support::CXMLNode> nodes, std::span<const size_t> order)
{
    return VerificationMode(nodes, order);
}
int32_t AddVerificationMode(std::span<ModuleNode> nodes, std::span<const size_t> order)
{
    return VerificationMode(nodes, order);
}
int32_t NormaliseRebootChain(std::span<support::CXMLNode> nodes, std::span<const size_t> order)
{
    return RebootChain(nodes, order);
}
int32_t NormaliseRebootChain(std::span<ModuleNode> nodes, std::span<const size_t> order)
{
    return RebootChain(nodes, order);
}

} // namespace halcyon::plan
