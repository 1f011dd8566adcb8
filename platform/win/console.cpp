// The console through the Win32 API: a stream is a terminal when its handle
// is a console (the CRT's _isatty also says so for the null device), and
// diverting standard output also switches the standard handle that child
// processes inherit.
#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include "platform/win/windows_api.h"

namespace halcyon::platform {

namespace {

HANDLE StreamHandle(std::FILE *stream)
{
    if (!stream)
        return INVALID_HANDLE_VALUE;
    const int fd = _fileno(stream);
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

} // namespace

void UseUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
    // The progress bars redraw their line with an escape sequence.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && ::GetConsoleMode(out, &mode))
        ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool IsTerminal(std::FILE *stream)
{
    DWORD mode = 0;
    const HANDLE h = StreamHandle(stream);
    return h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) != 0;
}

size_t TerminalColumns(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = StreamHandle(stream);
    if (h == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(h, &info))
        return 0;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<size_t>(columns) : 0;
}

bool QuietStandardOutput::Divert()
{
    if (original_)
        return true;
    std::fflush(stdout);
    int saved = _dup(_fileno(stdout));
    int nul = _wopen(L"NUL", _O_WRONLY | _O_NOINHERIT);
    bool ok = false;
    if (saved >= 0 && nul >= 0) {
        // The kept copy is this process's own.
        ::SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(saved)), HANDLE_FLAG_INHERIT, 0);
        if (std::FILE *f = _fdopen(saved, "w")) {
            original_ = f;
            saved_ = saved;
            saved = -1;
            _dup2(nul, _fileno(stdout));
            ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
            ok = true;
        }
    }
    if (saved >= 0)
        _close(saved);
    if (nul >= 0)
        _close(nul);
    return ok;
}

QuietStandardOutput::~QuietStandardOutput()
{
    if (!original_)
        return;
    std::fflush(stdout);
    std::fflush(original_);
    _dup2(saved_, _fileno(stdout));
    ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
    std::fclose(original_);
}

} // namespace halcyon::platform
