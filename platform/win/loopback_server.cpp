// The loopback listener over Winsock: one thread, non-blocking sockets and
// WSAPoll. Ctrl+C, Ctrl+Break and the console closing end it.
#include "platform/loopback_server.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <vector>

#include "platform/non_copyable.h"

namespace halcyon::platform {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> gStop{false};

BOOL WINAPI OnConsoleEvent(DWORD)
{
    gStop = true;
    return TRUE;
}

// The console's stop events end the serving while it lives.
class StopEvents : NonCopyable {
public:
    StopEvents()
    {
        gStop = false;
        ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
    ~StopEvents() { ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE); }
};

class WinsockSession : NonCopyable {
public:
    WinsockSession()
    {
        WSADATA data;
        error_ = ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockSession()
    {
        if (error_ == 0)
            ::WSACleanup();
    }
    int error() const { return error_; }

private:
    int error_;
};

class Socket {
public:
    explicit Socket(SOCKET s = INVALID_SOCKET) : s_(s) {}
    ~Socket()
    {
        if (s_ != INVALID_SOCKET)
            ::closesocket(s_);
    }
    Socket(Socket &&o) noexcept : s_(o.s_) { o.s_ = INVALID_SOCKET; }
    Socket &operator=(Socket &&) = delete;
    Socket(const Socket &) = delete;
    SOCKET get() const { return s_; }

private:
    SOCKET s_;
};

struct Connection {
    Socket socket;
    std::string received;
    Clock::time_point deadline;
};

std::string ErrorText(const char *what, int code) { return std::string(what) + ": Winsock error " + std::to_string(code); }

bool WouldBlock(int code) { return code == WSAEWOULDBLOCK || code == WSAEINTR; }

// Neither blocking nor inherited by processes started meanwhile.
bool Prepare(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0 &&
           ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

// Sends the whole answer before `deadline`; a reader too slow is dropped.
void SendAll(SOCKET s, const std::string &data, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < data.size() && !gStop) {
        const int chunk = static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 20));
        const int n = ::send(s, data.data() + sent, chunk, 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n == SOCKET_ERROR && !WouldBlock(::WSAGetLastError()))
            return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;
        WSAPOLLFD p{s, POLLWRNORM, 0};
        ::WSAPoll(&p, 1, static_cast<INT>(std::min<long long>(left, 200)));
    }
}

} // namespace

int ServeLoopback(const LoopbackSettings &settings, const LoopbackAnswer &answer,
                  const std::function<void(uint16_t)> &listening, std::string &error)
{
    WinsockSession winsock;
    if (winsock.error() != 0) {
        error = ErrorText("cannot start Winsock", winsock.error());
        return 1;
    }
    Socket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (listener.get() == INVALID_SOCKET || !Prepare(listener.get())) {
        error = ErrorText("cannot make a socket", ::WSAGetLastError());
        return 1;
    }
    // No other program may take the port over while it is served.
    BOOL exclusive = TRUE;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
                 sizeof exclusive);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(settings.port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never another interface
    if (::bind(listener.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 16) != 0) {
        error = ErrorText(("cannot listen on 127.0.0.1:" + std::to_string(settings.port)).c_str(),
                          ::WSAGetLastError());
        return 1;
    }
    int len = sizeof addr;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr *>(&addr), &len);
    StopEvents stop;
    listening(ntohs(addr.sin_port));

    const auto connectionTime = std::chrono::seconds(settings.connectionSeconds);
    std::optional<Clock::time_point> end;
    if (settings.seconds > 0)
        end = Clock::now() + std::chrono::seconds(settings.seconds);
    std::list<Connection> connections;
    while (!gStop && (!end || Clock::now() < *end)) {
        // The listener is asked only while there is room for one more.
        const bool room = connections.size() < settings.maxConnections;
        std::vector<WSAPOLLFD> fds;
        if (room)
            fds.push_back({listener.get(), POLLRDNORM, 0});
        for (const auto &c : connections)
            fds.push_back({c.socket.get(), POLLRDNORM, 0});
        if (fds.empty()) {
            ::Sleep(50);
            continue;
        }
        if (::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), 200) == SOCKET_ERROR &&
            !WouldBlock(::WSAGetLastError())) {
            error = ErrorText("poll", ::WSAGetLastError());
            return 1;
        }
        const auto now = Clock::now();
        auto it = connections.begin();
        for (size_t i = room ? 1 : 0; i < fds.size(); ++i) {
            Connection &c = *it;
            bool drop = now >= c.deadline;
            if (!drop && (fds[i].revents & (POLLRDNORM | POLLHUP | POLLERR))) {
                char buf[2048];
                const int n = ::recv(c.socket.get(), buf, sizeof buf, 0);
                if (n > 0) {
                    c.received.append(buf, static_cast<size_t>(n));
                    if (const std::optional<std::string> reply = answer(c.received)) {
                        SendAll(c.socket.get(), *reply, c.deadline);
                        drop = true;
                    }
                } else if (n == 0 || !WouldBlock(::WSAGetLastError())) {
                    drop = true;
                }
            }
            it = drop ? connections.erase(it) : std::next(it);
        }
        if (room && (fds[0].revents & POLLRDNORM)) {
            while (connections.size() < settings.maxConnections) {
                SOCKET s = ::accept(listener.get(), nullptr, nullptr);
                if (s == INVALID_SOCKET)
                    break;
                Socket accepted(s);
                if (Prepare(s))
                    connections.push_back(Connection{std::move(accepted), {}, Clock::now() + connectionTime});
            }
        }
    }
    return 0;
}

} // namespace halcyon::platform
