// A registry snapshot on Windows: the system has no read transaction over a
// tree, so a walk (reg query /s, an export) reads the live registry and the
// snapshot holds nothing.
#include "platform/registry.h"

namespace halcyon::platform::reg {

RegSnapshot::RegSnapshot() {}

RegSnapshot::~RegSnapshot() {}

} // namespace halcyon::platform::reg
