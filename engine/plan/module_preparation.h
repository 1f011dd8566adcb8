// The passes that complete the IDF's module nodes before they are printed:
// verification type, verification mode and the reboot chain. Each walks the
// nodes in install order and writes its change back into the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "support/idf/xml_node.h"

namespace halcyon::plan {

// VerificationType = "VerCheckAfter" for a "Driver Module" or a "FILE COPY"
// installer, else "ReturnCode". 8 when moduleType or InstallerType is absent.
int32_t AddVerificationType(support::CXMLNodeList &nodes, std::span<const size_t> order);

// VerificationMode from the version probe of VerificationPath: "None" for an
// empty path, "File" for a path that is no registry path, else "Registry".
// 8 when VerificationPath is absent.
int32_t AddVerificationMode(support::CXMLNodeList &nodes, std::span<const size_t> order);

// After a module that reboots afterwards ("After" or "Both"), the next
// module's "Before" becomes "None" and "Both" becomes "After": one restart
// serves both. A node without rebootSetting is left without it.
int32_t NormaliseRebootChain(support::CXMLNodeList &nodes, std::span<const size_t> order);

} // namespace halcyon::plan
