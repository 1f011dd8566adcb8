#include "cli/progress.h"

#include <csignal>

#include "platform/console.h"

namespace halcyon::cli {

namespace {

volatile std::sig_atomic_t g_abort = 0;

std::string Printf(const char *format, double value, const char *unit)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value, unit);
    return buf;
}

} // namespace

std::string FormatBytes(uint64_t bytes)
{
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof units / sizeof *units) {
        value /= 1024.0;
        ++unit;
    }
    return Printf("%.1f %s", value, units[unit]);
}

std::string FormatDuration(uint64_t ms)
{
    const uint64_t seconds = (ms + 999) / 1000;
    const uint64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    char buf[48];
    if (h > 0)
        std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", static_cast<unsigned long long>(h),
                      static_cast<unsigned long long>(m), static_cast<unsigned long long>(s));
    else
        std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(m),
                      static_cast<unsigned long long>(s));
    return buf;
}

namespace {

// "  42%  1.2 GiB / 2.9 GiB  1:23 left"
std::string Figures(const ProgressState &state)
{
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3u%%", state.percent > 100 ? 100u : state.percent);
    std::string text = std::string("  ") + pct;
    if (state.totalBytes > 0)
        text += "  " + FormatBytes(state.BytesDone()) + " / " + FormatBytes(state.totalBytes);
    if (state.msLeft && state.percent < 100)
        text += "  " + FormatDuration(*state.msLeft) + " left";
    return text;
}

} // namespace

std::string FormatProgressBar(const ProgressState &state, size_t width)
{
    // The figures keep a steady width so that the bar does not jump.
    std::string figures = Figures(state);
    if (figures.size() < 42)
        figures.append(42 - figures.size(), ' ');
    if (width < figures.size() + 7)
        return figures.substr(0, width);
    const size_t cells = width - figures.size() - 2;
    const unsigned percent = state.percent > 100 ? 100u : state.percent;
    const size_t filled = cells * percent / 100;
    return "[" + std::string(filled, '#') + std::string(cells - filled, '.') + "]" + figures;
}

std::string FormatProgressLine(const ProgressState &state)
{
    std::string text = std::to_string(state.percent > 100 ? 100u : state.percent) + "%";
    std::string detail;
    if (state.totalBytes > 0)
        detail = FormatBytes(state.BytesDone()) + " of " + FormatBytes(state.totalBytes);
    if (state.msLeft && state.percent < 100)
        detail += (detail.empty() ? "" : ", ") + FormatDuration(*state.msLeft) + " left";
    if (!detail.empty())
        text += " (" + detail + ")";
    return text;
}

ProgressDisplay::ProgressDisplay(std::FILE *out, bool terminal, uint64_t totalBytes) : out_(out), terminal_(terminal)
{
    state_.totalBytes = totalBytes;
}

bool ProgressDisplay::IsTerminal(std::FILE *out) { return platform::IsTerminal(out); }

size_t ProgressDisplay::Width() const
{
    const size_t columns = platform::TerminalColumns(out_);
    return columns > 1 ? columns - 1 : 79; // 0: not known
}

void ProgressDisplay::Update(unsigned percent, std::optional<uint64_t> msLeft)
{
    state_.percent = percent > 100 ? 100 : percent;
    state_.msLeft = msLeft;
    Draw();
}

void ProgressDisplay::Draw()
{
    if (terminal_) {
        // Redraw when the figure or the time left (to the second) changed.
        const uint64_t seconds = state_.msLeft ? (*state_.msLeft + 999) / 1000 : UINT64_MAX;
        if (state_.percent == lastPercentDrawn_ && seconds == lastSecondsDrawn_)
            return;
        lastPercentDrawn_ = state_.percent;
        lastSecondsDrawn_ = seconds;
        std::fprintf(out_, "\r%s\x1b[K", FormatProgressBar(state_, Width()).c_str());
        lineOpen_ = true;
        if (state_.percent >= 100)
            Finish();
        else
            std::fflush(out_);
        return;
    }
    const int tenth = static_cast<int>(state_.percent / 10);
    if (tenth == lastTenth_)
        return;
    lastTenth_ = tenth;
    std::fprintf(out_, "%s\n", FormatProgressLine(state_).c_str());
    std::fflush(out_);
}

void ProgressDisplay::Finish()
{
    if (!lineOpen_)
        return;
    std::fputc('\n', out_);
    std::fflush(out_);
    lineOpen_ = false;
}

uint32_t ProgressDisplay::WimCallback(uint32_t message, uintptr_t wparam, intptr_t lparam, void *userData)
{
    auto *display = static_cast<ProgressDisplay *>(userData);
    if (display) {
        if (message == WIM_MSG_PROGRESS)
            display->Update(static_cast<unsigned>(wparam),
                            lparam >= 0 ? std::optional<uint64_t>(static_cast<uint64_t>(lparam)) : std::nullopt);
        else if (message == WIM_MSG_ERROR)
            display->Finish();
    }
    return g_abort ? WIM_MSG_ABORT_IMAGE : WIM_MSG_SUCCESS;
}

void ProgressDisplay::RequestAbort() { g_abort = 1; }

bool ProgressDisplay::AbortRequested() { return g_abort != 0; }

} // namespace halcyon::cli
