// The other place of a file on 64-bit Windows: 32-bit programs live under
// "Program Files (x86)" and their system files under "SysWOW64".
#pragma once

#include <string>
#include <string_view>

namespace halcyon::verprobe {

// Swaps ":\PROGRAM FILES (X86)\" and ":\PROGRAM FILES\", then
// ":\WINDOWS\SYSTEM32\" and ":\WINDOWS\SYSWOW64\" (in each pair, the first
// that occurs after the first character is replaced by the other). The
// target is upper case.
std::string RewriteOtherBitness(std::string_view target);

} // namespace halcyon::verprobe
