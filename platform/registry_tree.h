// Whole-tree work where the registry's store allows it: a tree read in one
// pass (the walk behind an export: one query for the keys and one for the
// values of the whole tree instead of an open and two listings per key), and
// the writes of an import made without a handle per line. The emulated
// machine's store does both; the system registry answers
// ERROR_CALL_NOT_IMPLEMENTED to every call, and the .reg code walks and
// writes key by key there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

// The writes of an import, each as RegCreateKeyEx (and RegSetValueEx) would
// make it, without opening a handle; the key last written to is remembered
// for the next write. Meant to run inside a RegBatch. Under HKEY_CLASSES_ROOT
// (merged layers) ERROR_CALL_NOT_IMPLEMENTED: use the handle calls there.
class RegTreeWriter {
public:
    // Creates `subKey` (with its parents) below `root` unless it exists;
    // `view` as for RegCreateKeyEx.
    LONG CreateKey(HKEY root, std::string_view subKey, uint32_t view);
    // The same, then sets the value `name` on it.
    LONG SetValue(HKEY root, std::string_view subKey, uint32_t view, std::string_view name, uint32_t type,
                  const void *data, size_t size);
    // Forgets the remembered key (after a key was deleted).
    void Forget() { known_ = false; }

private:
    LONG KeyId(HKEY root, std::string_view subKey, uint32_t view, int64_t *id);

    bool known_ = false;
    HKEY root_ = 0;
    uint32_t view_ = 0;
    std::string subKey_;
    int64_t id_ = 0;
};

} // namespace halcyon::platform::reg
