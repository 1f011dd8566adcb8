// The loopback listener over POSIX sockets: one thread, non-blocking sockets
// and poll(2).
#include "platform/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <vector>

#include "platform/non_copyable.h"

namespace halcyon::platform {

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

// SIGINT and SIGTERM end the serving (the sockets close on the way out);
// the earlier handlers come back afterwards. SIGPIPE is never raised: every
// send says MSG_NOSIGNAL.
class StopSignals : NonCopyable {
public:
    StopSignals()
    {
        gStop = 0;
        struct sigaction sa{};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, &int_);
        ::sigaction(SIGTERM, &sa, &term_);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &int_, nullptr);
        ::sigaction(SIGTERM, &term_, nullptr);
    }

private:
    struct sigaction int_{}, term_{};
};

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(Socket &&o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Socket &operator=(Socket &&) = delete;
    Socket(const Socket &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct Connection {
    Socket socket;
    std::string received;
    Clock::time_point deadline;
};

// Sends the whole answer before `deadline`; a reader too slow is dropped.
void SendAll(int fd, const std::string &data, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < data.size() && !gStop) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
    }
}

} // namespace

int ServeLoopback(const LoopbackSettings &settings, const LoopbackAnswer &answer,
                  const std::function<void(uint16_t)> &listening, std::string &error)
{
    Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (listener.get() < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return 1;
    }
    int yes = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(settings.port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never another interface
    if (::bind(listener.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 16) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(settings.port) + ": " + std::strerror(errno);
        return 1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr *>(&addr), &len);
    StopSignals signals;
    listening(ntohs(addr.sin_port));

    const auto connectionTime = std::chrono::seconds(settings.connectionSeconds);
    std::optional<Clock::time_point> end;
    if (settings.seconds > 0)
        end = Clock::now() + std::chrono::seconds(settings.seconds);
    std::list<Connection> connections;
    while (!gStop && (!end || Clock::now() < *end)) {
        std::vector<pollfd> fds;
        fds.push_back(
            {listener.get(), static_cast<short>(connections.size() < settings.maxConnections ? POLLIN : 0), 0});
        for (const auto &c : connections)
            fds.push_back({c.socket.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) {
            error = std::string("poll: ") + std::strerror(errno);
            return 1;
        }
        const auto now = Clock::now();
        auto it = connections.begin();
        for (size_t i = 1; i < fds.size(); ++i) {
            Connection &c = *it;
            bool drop = now >= c.deadline;
            if (!drop && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[2048];
                const ssize_t n = ::recv(c.socket.get(), buf, sizeof buf, 0);
                if (n > 0) {
                    c.received.append(buf, static_cast<size_t>(n));
                    if (const std::optional<std::string> reply = answer(c.received)) {
                        SendAll(c.socket.get(), *reply, c.deadline);
                        drop = true;
                    }
                } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    drop = true;
                }
            }
            it = drop ? connections.erase(it) : std::next(it);
        }
        if (fds[0].revents & POLLIN) {
            while (connections.size() < settings.maxConnections) {
                int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                connections.push_back(Connection{Socket(fd), {}, Clock::now() + connectionTime});
            }
        }
    }
    return 0;
}

} // namespace halcyon::platform
