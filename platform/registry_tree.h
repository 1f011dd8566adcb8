// A registry tree read whole in one pass over the store (the emulated
// registry only): the walk behind an export, one query for the keys and one
// for the values of the whole tree instead of an open and two listings per
// key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace halcyon::platform::reg {

struct RegTreeValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// Called once per key, depth first, in the order RegEnumKeyEx lists the
// subkeys: `depth` is 0 for the key read itself (its `name` empty), 1 for
// its subkeys and so on; `values` are in the order RegEnumValue lists them.
// A non-zero result ends the walk with it.
using RegTreeVisit = LONG (*)(size_t depth, const std::string &name, const std::vector<RegTreeValue> &values,
                              void *context);

// Reads the tree below and including `key` in one read transaction.
// ERROR_CALL_NOT_IMPLEMENTED for a key whose subkeys the store does not hold
// in one place (HKEY_CLASSES_ROOT's merged view; a root seen through the
// 32-bit view): walk those key by key.
constexpr LONG ERROR_CALL_NOT_IMPLEMENTED = 120;
LONG RegReadTree(HKEY key, RegTreeVisit visit, void *context);

} // namespace halcyon::platform::reg
