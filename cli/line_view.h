// What "halcyon line" shows: the status records the machines of a line keep
// in their shared folder, as a table or as JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/run_status.h"

namespace halcyon::cli {

// The records in `dir`, by machine name. Only regular files named *.status
// of at most 16 KiB are read (links are skipped), at most 1024 of them. A
// record that says "running" from a process of this host that is gone reads
// "stopped". False with `error` set when the folder cannot be read.
bool ReadLine(const std::string &dir, std::vector<RunStatus> &machines, std::string &error);

// "16 machines: 14 running, 1 done, 1 failed".
std::string LineCounts(const std::vector<RunStatus> &machines);
// The table, one machine a line, cut to `width` columns (0: no limit);
// `now` (seconds since 1970) tells how long ago each record was written.
std::string LineTable(const std::vector<RunStatus> &machines, int64_t now, size_t width);
// {"counts":"...","now":N,"machines":[...]}
std::string LineJson(const std::vector<RunStatus> &machines, int64_t now);

} // namespace halcyon::cli
