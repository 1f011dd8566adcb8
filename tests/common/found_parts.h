// Test helpers for foundation images: WIMs cut into "Norv<n>.nr2" byte
// pieces, and what a WIM holds.
#pragma once

#include <string>
#include <vector>

namespace halcyon::test {

// Cuts the file `wimPath` into `count` byte pieces "<prefix><n>.nr2" (n from
// 1) in `folder` (created when missing); returns their paths in order.
std::vector<std::string> CutIntoParts(const std::string &wimPath, const std::string &folder, int count,
                                      const std::string &prefix = "Norv");

// The NAMEs of the WIM's images in order; empty when it does not open.
std::vector<std::string> WimImageNames(const std::string &wimPath);
// The DESCRIPTIONs of the WIM's images in order.
std::vector<std::string> WimImageDescriptions(const std::string &wimPath);
// The WIM's compression type (wimlib's number), -1 when it does not open.
int WimCompressionType(const std::string &wimPath);

} // namespace halcyon::test
