// The loopback listener's host part on Windows: Winsock, WSAPoll, and the
// console's Ctrl+C, Ctrl+Break and close events as stop requests.
#include "platform/loopback_host.h"

// <windows.h> comes lean from windows_api.h, without the old Winsock
// header, so Winsock 2 can follow it.
#include "windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>

namespace halcyon::platform::loopback {

namespace {

std::atomic<bool> gStop{false};

BOOL WINAPI OnConsoleEvent(DWORD)
{
    gStop = true;
    return TRUE;
}

SOCKET Handle(Socket s) { return static_cast<SOCKET>(s); }

std::string ErrorText(const std::string &what) { return what + ": Winsock error " + std::to_string(::WSAGetLastError()); }

bool WouldBlock()
{
    const int code = ::WSAGetLastError();
    return code == WSAEWOULDBLOCK || code == WSAEINTR;
}

// Neither blocking nor inherited by processes started meanwhile.
bool Prepare(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0 &&
           ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

} // namespace

Host::Host()
{
    gStop = false;
    WSADATA data;
    error_ = ::WSAStartup(MAKEWORD(2, 2), &data);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

Host::~Host()
{
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (error_ == 0)
        ::WSACleanup();
}

bool Host::Started(std::string &error) const
{
    if (error_ != 0)
        error = "cannot start Winsock: error " + std::to_string(error_);
    return error_ == 0;
}

bool Host::StopRequested() const { return gStop; }

Socket Host::Listen(uint16_t port, uint16_t &bound, std::string &error)
{
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET || !Prepare(s)) {
        error = ErrorText("cannot make a socket");
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        return kNoSocket;
    }
    // No other program may take the port over while it is served.
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive), sizeof exclusive);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never another interface
    if (::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0) {
        error = ErrorText("cannot listen on 127.0.0.1:" + std::to_string(port));
        ::closesocket(s);
        return kNoSocket;
    }
    int len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&addr), &len);
    bound = ntohs(addr.sin_port);
    return static_cast<Socket>(s);
}

Socket Host::Accept(Socket listener)
{
    for (;;) {
        const SOCKET s = ::accept(Handle(listener), nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return kNoSocket;
        if (Prepare(s))
            return static_cast<Socket>(s);
        ::closesocket(s);
    }
}

bool Host::Wait(const std::vector<Socket> &sockets, std::vector<bool> &readable, int ms, std::string &error)
{
    readable.assign(sockets.size(), false);
    if (sockets.empty()) {
        ::Sleep(static_cast<DWORD>(ms));
        return true;
    }
    std::vector<WSAPOLLFD> fds;
    for (Socket s : sockets)
        fds.push_back({Handle(s), POLLRDNORM, 0});
    if (::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), ms) == SOCKET_ERROR) {
        if (WouldBlock())
            return true;
        error = ErrorText("poll");
        return false;
    }
    for (size_t i = 0; i < fds.size(); ++i)
        readable[i] = (fds[i].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
    return true;
}

Received Host::Receive(Socket s, std::string &into)
{
    char buf[2048];
    const int n = ::recv(Handle(s), buf, sizeof buf, 0);
    if (n > 0) {
        into.append(buf, static_cast<size_t>(n));
        return Received::Bytes;
    }
    return n == SOCKET_ERROR && WouldBlock() ? Received::Nothing : Received::Over;
}

void Host::Send(Socket s, const std::string &data, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < data.size() && !gStop) {
        const int chunk = static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 20));
        const int n = ::send(Handle(s), data.data() + sent, chunk, 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n == SOCKET_ERROR && !WouldBlock())
            return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;
        WSAPOLLFD p{Handle(s), POLLWRNORM, 0};
        ::WSAPoll(&p, 1, static_cast<INT>(std::min<long long>(left, 200)));
    }
}

void Host::Close(Socket s) { ::closesocket(Handle(s)); }

} // namespace halcyon::platform::loopback
