// Progress display of long engine runs (image apply, factory run): a bar
// redrawn in place when the output is a terminal, plain lines at every tenth
// otherwise. Fed by the imaging message callback.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "halcyon/HalcyonDLL.h"
#include "platform/non_copyable.h"

namespace halcyon::cli {

struct ProgressState {
    unsigned percent = 0;              // 0..100
    uint64_t totalBytes = 0;           // 0 when unknown
    std::optional<uint64_t> msLeft;    // estimate of the time left
    uint64_t BytesDone() const { return totalBytes / 100 * percent + totalBytes % 100 * percent / 100; }
};

// "1.5 GiB", "200.0 MiB", "512 B".
std::string FormatBytes(uint64_t bytes);
// "0:42", "12:05", "1:02:03".
std::string FormatDuration(uint64_t ms);
// The bar line, at most `width` columns:
// "[#########...........]  42%  1.2 GiB / 2.9 GiB  1:23 left".
std::string FormatProgressBar(const ProgressState &state, size_t width);
// The plain line: "42% (1.2 GiB of 2.9 GiB, 1:23 left)".
std::string FormatProgressLine(const ProgressState &state);

class ProgressDisplay : NonCopyable {
public:
    // `terminal`: draw a bar in place; else write a plain line whenever
    // another tenth is reached.
    ProgressDisplay(std::FILE *out, bool terminal, uint64_t totalBytes = 0);
    ~ProgressDisplay() { Finish(); }

    void SetTotalBytes(uint64_t bytes) { state_.totalBytes = bytes; }
    void Update(unsigned percent, std::optional<uint64_t> msLeft);
    // Ends the bar's line (once); later updates start a new one.
    void Finish();
    const ProgressState &State() const { return state_; }

    // True when `out` is a terminal.
    static bool IsTerminal(std::FILE *out);
    // A WimMessageCallback whose user data is a ProgressDisplay*:
    // WIM_MSG_PROGRESS updates it, WIM_MSG_ERROR ends the bar's line. The
    // answer is WIM_MSG_ABORT_IMAGE once RequestAbort() was called.
    static uint32_t WimCallback(uint32_t message, uintptr_t wparam, intptr_t lparam, void *userData);
    // Makes the next callback answer ask the imaging library to stop
    // (async-signal-safe).
    static void RequestAbort();
    static bool AbortRequested();

private:
    void Draw();
    size_t Width() const;

    std::FILE *out_;
    bool terminal_;
    ProgressState state_;
    bool lineOpen_ = false;
    int lastTenth_ = -1;
    unsigned lastPercentDrawn_ = 101;
    uint64_t lastSecondsDrawn_ = UINT64_MAX;
};

} // namespace halcyon::cli
