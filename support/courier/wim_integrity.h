// The integrity table of a WIM file: SHA-1 digests of fixed-size chunks of
// everything between the header and the end of the blob table. Checked here
// with large reads on two threads, so that verifying a freshly joined image
// costs little more than reading it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace halcyon::support::courier {

enum class IntegrityResult {
    Intact,      // every chunk matches its digest
    NoTable,     // the file has no integrity table: nothing to check
    Corrupt,     // a chunk differs from its digest, or the table is malformed
    Unreadable,  // the file could not be read
    Unavailable, // no SHA-1 implementation was built in; let wimlib check
};

// Checks the WIM at `hostPath`. `error` describes a Corrupt or Unreadable
// result (the chunk and its byte range).
IntegrityResult CheckWimIntegrity(const std::string &hostPath, std::string &error);

// Checks the WIM that the files `pieces` make when joined in their order,
// reading the pieces themselves: a join can check its sources while it
// copies them, instead of reading its result back. `name` is the path the
// error names. When `stop` becomes true the check ends early, as Unreadable.
IntegrityResult CheckWimIntegrity(const std::vector<std::string> &pieces, const std::string &name,
                                  const std::atomic<bool> *stop, std::string &error);

} // namespace halcyon::support::courier
