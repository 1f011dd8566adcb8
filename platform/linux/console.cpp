#include "platform/console.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace halcyon::platform {

void UseUtf8Console() {}

bool IsTerminal(std::FILE *stream) { return stream && ::isatty(::fileno(stream)) == 1; }

size_t TerminalColumns(std::FILE *stream)
{
    struct winsize ws{};
    if (stream && ::ioctl(::fileno(stream), TIOCGWINSZ, &ws) == 0)
        return ws.ws_col;
    return 0;
}

bool QuietStandardOutput::Divert()
{
    if (original_)
        return true;
    std::fflush(stdout);
    int saved = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    bool ok = false;
    if (saved >= 0 && devnull >= 0) {
        if (std::FILE *f = ::fdopen(saved, "w")) {
            original_ = f;
            saved_ = saved;
            saved = -1;
            ::dup2(devnull, STDOUT_FILENO);
            ok = true;
        }
    }
    if (saved >= 0)
        ::close(saved);
    if (devnull >= 0)
        ::close(devnull);
    return ok;
}

QuietStandardOutput::~QuietStandardOutput()
{
    if (!original_)
        return;
    std::fflush(stdout);
    std::fflush(original_);
    ::dup2(saved_, STDOUT_FILENO);
    std::fclose(original_);
}

} // namespace halcyon::platform
