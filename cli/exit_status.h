// The exit status of every halcyon command: one table, in the manual page.
#pragma once

namespace halcyon::cli {

// Statuses, not bits: they only look like the platform's attribute flags.
inline constexpr int kExitSuccess = 0;
// The command could not do its work, or a check it ran found a fault; the
// reason (with the engine's code and its name) is on standard error.
inline constexpr int kExitFailure = 1;
// The arguments are wrong; nothing was changed.
inline constexpr int kExitUsage = 2;
// The work was done in part: an installer ran but its check failed, a check
// could not be run to its end.
inline constexpr int kExitPartial = 3;
// Stopped by a signal (Ctrl-C): 128 + the signal's number, 130 for SIGINT.
inline constexpr int kExitInterrupted = 130;

// A verb's or routine's code as the command's exit status.
inline int VerbExit(long long code) { return code == 0 ? kExitSuccess : kExitFailure; }

} // namespace halcyon::cli
