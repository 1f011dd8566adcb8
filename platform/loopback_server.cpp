// The loopback listener's serving loop, the same on both hosts: one thread,
// non-blocking sockets, a wait of at most 200 ms between looks at the clock
// and at the stop requests.
#include "platform/loopback_server.h"

#include <list>

#include "platform/loopback_host.h"

namespace halcyon::platform {

namespace {

using loopback::Clock;
using loopback::Socket;

class OwnedSocket {
public:
    OwnedSocket(loopback::Host &host, Socket s) : host_(&host), s_(s) {}
    ~OwnedSocket()
    {
        if (s_ != loopback::kNoSocket)
            host_->Close(s_);
    }
    OwnedSocket(OwnedSocket &&o) noexcept : host_(o.host_), s_(o.s_) { o.s_ = loopback::kNoSocket; }
    OwnedSocket &operator=(OwnedSocket &&) = delete;
    OwnedSocket(const OwnedSocket &) = delete;
    Socket get() const { return s_; }

private:
    loopback::Host *host_;
    Socket s_;
};

struct Connection {
    OwnedSocket socket;
    std::string received;
    Clock::time_point deadline;
};

} // namespace

int ServeLoopback(const LoopbackSettings &settings, const LoopbackAnswer &answer,
                  const std::function<void(uint16_t)> &listening, std::string &error)
{
    loopback::Host host;
    if (!host.Started(error))
        return 1;
    uint16_t port = 0;
    OwnedSocket listener(host, host.Listen(settings.port, port, error));
    if (listener.get() == loopback::kNoSocket)
        return 1;
    listening(port);

    const auto connectionTime = std::chrono::seconds(settings.connectionSeconds);
    std::optional<Clock::time_point> end;
    if (settings.seconds > 0)
        end = Clock::now() + std::chrono::seconds(settings.seconds);
    std::list<Connection> connections;
    std::vector<Socket> sockets;
    std::vector<bool> readable;
    while (!host.StopRequested() && (!end || Clock::now() < *end)) {
        // The listener is asked only while there is room for one more.
        const bool room = connections.size() < settings.maxConnections;
        sockets.clear();
        if (room)
            sockets.push_back(listener.get());
        for (const auto &c : connections)
            sockets.push_back(c.socket.get());
        if (!host.Wait(sockets, readable, 200, error))
            return 1;
        const auto now = Clock::now();
        auto it = connections.begin();
        for (size_t i = room ? 1 : 0; i < sockets.size(); ++i) {
            Connection &c = *it;
            bool drop = now >= c.deadline;
            if (!drop && readable[i]) {
                switch (host.Receive(c.socket.get(), c.received)) {
                case loopback::Received::Bytes:
                    if (const std::optional<std::string> reply = answer(c.received)) {
                        host.Send(c.socket.get(), *reply, c.deadline);
                        drop = true;
                    }
                    break;
                case loopback::Received::Nothing:
                    break;
                case loopback::Received::Over:
                    drop = true;
                    break;
                }
            }
            it = drop ? connections.erase(it) : std::next(it);
        }
        if (room && readable[0]) {
            while (connections.size() < settings.maxConnections) {
                const Socket s = host.Accept(listener.get());
                if (s == loopback::kNoSocket)
                    break;
                connections.push_back(Connection{OwnedSocket(host, s), {}, Clock::now() + connectionTime});
            }
        }
    }
    return 0;
}

} // namespace halcyon::platform
