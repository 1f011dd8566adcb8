// The loopback listener's host part on Linux: POSIX sockets, poll(2), and
// SIGINT and SIGTERM as stop requests. SIGPIPE is never raised: every send
// says MSG_NOSIGNAL.
#include "platform/loopback_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace halcyon::platform::loopback {

namespace {

volatile sig_atomic_t gStop = 0;
struct sigaction gInt{}, gTerm{};

void OnSignal(int) { gStop = 1; }

int Fd(Socket s) { return static_cast<int>(s); }

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

} // namespace

Host::Host()
{
    gStop = 0;
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &gInt);
    ::sigaction(SIGTERM, &sa, &gTerm);
}

Host::~Host()
{
    ::sigaction(SIGINT, &gInt, nullptr);
    ::sigaction(SIGTERM, &gTerm, nullptr);
}

bool Host::Started(std::string &) const { return true; }

bool Host::StopRequested() const { return gStop != 0; }

Socket Host::Listen(uint16_t port, uint16_t &bound, std::string &error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return kNoSocket;
    }
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never another interface
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return kNoSocket;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    bound = ntohs(addr.sin_port);
    return fd;
}

Socket Host::Accept(Socket listener)
{
    const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return fd < 0 ? kNoSocket : fd;
}

bool Host::Wait(const std::vector<Socket> &sockets, std::vector<bool> &readable, int ms, std::string &error)
{
    std::vector<pollfd> fds;
    for (Socket s : sockets)
        fds.push_back({Fd(s), POLLIN, 0});
    readable.assign(sockets.size(), false);
    if (::poll(fds.data(), fds.size(), ms) < 0) {
        if (errno == EINTR)
            return true;
        error = std::string("poll: ") + std::strerror(errno);
        return false;
    }
    for (size_t i = 0; i < fds.size(); ++i)
        readable[i] = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    return true;
}

Received Host::Receive(Socket s, std::string &into)
{
    char buf[2048];
    const ssize_t n = ::recv(Fd(s), buf, sizeof buf, 0);
    if (n > 0) {
        into.append(buf, static_cast<size_t>(n));
        return Received::Bytes;
    }
    return n < 0 && WouldBlock() ? Received::Nothing : Received::Over;
}

void Host::Send(Socket s, const std::string &data, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < data.size() && !gStop) {
        const ssize_t n = ::send(Fd(s), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && !WouldBlock())
            return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;
        pollfd p{Fd(s), POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
    }
}

void Host::Close(Socket s) { ::close(Fd(s)); }

} // namespace halcyon::platform::loopback
