// The end marker of the module records in nrvinst.oem. The record writer
// puts a module's EPID under the first free key and then "End" under the
// next one, as two separate file writes: an interruption between them
// leaves the list without its end marker, and the writer, finding the module
// already recorded when the module is installed again, writes nothing. The
// setup verb therefore checks the marker after each record.
#pragma once

#include <string_view>

namespace halcyon::modules {

// When section "Module" of the file lists EPIDs under "1", "2", ... that are
// not followed by "End", writes "End" under the key after the last one.
// Nothing is done when the file does not exist or lists no EPID.
void EnsureNrvinstTerminator(std::string_view nrvinstPath);

} // namespace halcyon::modules
