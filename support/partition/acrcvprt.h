// Boot and recovery partitions of the emulated machine. The machine's
// [Partitions] section in machine.ini names their drive letters:
//   WinRE     the recovery partition
//   NorvBoot  the maker's boot partition (holds a BCD store)
//   GPTSystem the GPT system partition (holds the original BCD store)
// A missing key means the machine has no such partition.
//
// Results follow the outside library's conventions: Initialize and
// AssignWinREPartition answer non-zero for success, the Active*/Disable*
// calls answer 0 for success. Drive letters are wide characters.
#pragma once

#include <cstdint>

namespace halcyon::support {

class AcRcvPrt {
public:
    // Reads the machine's partition table; 0 when machine.ini has no
    // [Partitions] section. `refresh` is accepted for the library's shape.
    int32_t Initialize(bool refresh);
    // The recovery partition's letter into `letter` (left alone when the
    // machine has none). 0 before a successful Initialize.
    int32_t AssignWinREPartition(char16_t &letter);
    // Activates a partition and reports its letter: 0 on success, 1 when
    // the machine has no such partition. On this machine the partitions are
    // always reachable under their letters, so activation only reports them.
    int32_t ActiveNorvBootPartition(char16_t &letter);
    int32_t DisableNorvBootPartition();
    int32_t ActiveGPTSystemPartition(char16_t &letter);
    int32_t DisableGPTSystemPartition();

private:
    bool initialized_ = false;
};

// A machine.ini [Partitions] value as a drive letter (upper case); 0 when
// absent or not a single letter.
char16_t PartitionLetter(const char *key);

} // namespace halcyon::support
