// One module section of the plan ("%d", "PE%d" or "Image App%d") from an IDF
// software node, with the size accounting of the module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/plan/module_node.h"
#include "support/idf/xml_node.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Writes the module keys into `section` in plan order. When the module
// counts toward the sizes (`countsTowardSize`, not a "Data" module, and with
// option bit 23 only a BasePlus module) its TotalSize is added to
// `temporary` or `permanent` and to `total` (twice for a permanent module,
// or once plus once more for a FILE COPY "PE-Module" under option bit 34).
// 0; 8 when a required attribute is missing, Temporary has an unknown
// value on a counting module, or a value cannot be held by the plan file;
// 241 when TotalSize is empty. Keys written before a failure stay.
int32_t PrintModule(const support::CXMLNode &node, std::string_view section, support::CMemoryIniIO &store,
                    int64_t &total, bool countsTowardSize, int64_t &permanent, int64_t &temporary,
                    uint64_t options);
int32_t PrintModule(const ModuleNode &node, std::string_view section, support::CMemoryIniIO &store,
                    int64_t &total, bool countsTowardSize, int64_t &permanent, int64_t &temporary,
                    uint64_t options);

// CustomerLabel without the characters \ / * ? < > | : and ".
std::string StripLabel(std::string_view label);

// RebootBefore and RebootAfter for a rebootSetting value: "True"/"False" for
// Before, After, Both and None (any case), both empty otherwise.
struct RebootKeys {
    std::string before;
    std::string after;
};
RebootKeys RebootKeysFor(const std::string *rebootSetting);

} // namespace halcyon::plan
