// The system registry has no whole-tree calls: every call answers
// ERROR_CALL_NOT_IMPLEMENTED and the callers go key by key.
#include "platform/registry_tree.h"

namespace halcyon::platform::reg {

LONG RegReadTree(HKEY, RegTreeVisit, void *)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG RegTreeWriter::CreateKey(HKEY, std::string_view, uint32_t)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG RegTreeWriter::SetValue(HKEY, std::string_view, uint32_t, std::string_view, uint32_t, const void *, size_t)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

} // namespace halcyon::platform::reg
