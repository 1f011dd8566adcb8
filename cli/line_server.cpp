#include "cli/line_server.h"

#include "cli/line_page.h"
#include "platform/non_copyable.h"

#if defined(_WIN32)

namespace halcyon::cli {

int ServeLine(const ServeSettings &, const std::function<std::string()> &, std::FILE *, std::string &error)
{
    error = "--serve is available on Linux only";
    return 1;
}

} // namespace halcyon::cli

#else

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <optional>
#include <vector>

namespace halcyon::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequest = 8192;
constexpr size_t kMaxClients = 32;
constexpr auto kClientTime = std::chrono::seconds(5);

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

struct Client {
    Socket socket;
    std::string request;
    Clock::time_point deadline;
};

std::string Response(int status, const char *reason, const char *type, const std::string &body, bool head,
                     const char *extra = "")
{
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type +
                      "\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                      "Content-Security-Policy: default-src 'self'\r\n" + extra + "Connection: close\r\n\r\n";
    if (!head)
        out += body;
    return out;
}

std::string Answer(const std::string &request, const std::function<std::string()> &json)
{
    const std::string line = request.substr(0, request.find("\r\n"));
    const size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1 || line.compare(sp2 + 1, 5, "HTTP/") != 0)
        return Response(400, "Bad Request", "text/plain", "bad request\n", false);
    const std::string method = line.substr(0, sp1);
    std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    target = target.substr(0, target.find('?'));
    const bool head = method == "HEAD";
    if (method != "GET" && !head)
        return Response(405, "Method Not Allowed", "text/plain", "GET or HEAD only\n", false, "Allow: GET, HEAD\r\n");
    if (target == "/" || target == "/index.html")
        return Response(200, "OK", "text/html; charset=utf-8", LinePageHtml(), head);
    if (target == "/line.js")
        return Response(200, "OK", "text/javascript; charset=utf-8", LinePageScript(), head);
    if (target == "/line.json")
        return Response(200, "OK", "application/json", json(), head);
    return Response(404, "Not Found", "text/plain", "not found\n", head);
}

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

int ServeLine(const ServeSettings &settings, const std::function<std::string()> &json, std::FILE *announce,
              std::string &error)
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
    std::fprintf(announce, "serving http://127.0.0.1:%u/\n", static_cast<unsigned>(ntohs(addr.sin_port)));
    std::fflush(announce);

    std::optional<Clock::time_point> end;
    if (settings.seconds > 0)
        end = Clock::now() + std::chrono::seconds(settings.seconds);
    std::list<Client> clients;
    while (!gStop && (!end || Clock::now() < *end)) {
        std::vector<pollfd> fds;
        fds.push_back({listener.get(), static_cast<short>(clients.size() < kMaxClients ? POLLIN : 0), 0});
        for (const auto &c : clients)
            fds.push_back({c.socket.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) {
            error = std::string("poll: ") + std::strerror(errno);
            return 1;
        }
        const auto now = Clock::now();
        auto it = clients.begin();
        for (size_t i = 1; i < fds.size(); ++i) {
            Client &c = *it;
            bool drop = now >= c.deadline;
            if (!drop && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[2048];
                const ssize_t n = ::recv(c.socket.get(), buf, sizeof buf, 0);
                if (n > 0) {
                    c.request.append(buf, static_cast<size_t>(n));
                    if (c.request.find("\r\n\r\n") != std::string::npos) {
                        SendAll(c.socket.get(), Answer(c.request, json), c.deadline);
                        drop = true;
                    } else if (c.request.size() > kMaxRequest) {
                        SendAll(c.socket.get(),
                                Response(431, "Request Header Fields Too Large", "text/plain", "too large\n", false),
                                c.deadline);
                        drop = true;
                    }
                } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    drop = true;
                }
            }
            it = drop ? clients.erase(it) : std::next(it);
        }
        if (fds[0].revents & POLLIN) {
            while (clients.size() < kMaxClients) {
                int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                clients.push_back(Client{Socket(fd), {}, Clock::now() + kClientTime});
            }
        }
    }
    return 0;
}

} // namespace halcyon::cli

#endif
