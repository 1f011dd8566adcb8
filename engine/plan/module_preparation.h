// The passes that complete the IDF's module nodes before they are printed:
// verification type, verification mode and the reboot chain. Each walks the
// nodes in install order and changes them in place, so later passes and the
// printing see the change. Each takes copied nodes (support::CXMLNode) or
// nodes read in place (ModuleNode) alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/plan/module_node.h"
#include "support/idf/xml_node.h"

namespace halcyon::plan {

// VerificationType = "VerCheckAfter" for a "Driver Module" or a "FILE COPY"
// installer, else "ReturnCode". 8 when moduleType or InstallerType is absent.
int32_t AddVerificationType(std::span<support::CXMLNode> nodes, std::span<const size_t> order);
int32_t AddVerificationType(std::span<ModuleNode> nodes, std::span<const size_t> order);

// VerificationMode from the version probe of VerificationPath: "None" for an
// empty path, "File" for a path that is no registry path, else "Registry".
// 8 when VerificationPath is absent.
int32_t AddVerificationMode(std::span<support::CXMLNode> nodes, std::span<const size_t> order);
int32_t AddVerificationMode(std::span<ModuleNode> nodes, std::span<const size_t> order);

// After a module that reboots afterwards ("After" or "Both"), the next
// module's "Before" becomes "None" and "Both" becomes "After": one restart
// serves both. A node without rebootSetting is left without it.
int32_t NormaliseRebootChain(std::span<support::CXMLNode> nodes, std::span<const size_t> order);
int32_t NormaliseRebootChain(std::span<ModuleNode> nodes, std::span<const size_t> order);

} // namespace halcyon::plan
