// What each host gives the loopback listener (loopback_server.cpp): its
// socket layer, seen as numbers, and the stop requests of the console.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/non_copyable.h"

namespace halcyon::platform::loopback {

using Clock = std::chrono::steady_clock;
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

enum class Received { Bytes, Nothing, Over };

// While it lives, the socket layer is up and a stop request of the console
// (SIGINT and SIGTERM; Ctrl+C, Ctrl+Break and close on Windows) is noted
// instead of ending the process; the earlier handling comes back after.
class Host : NonCopyable {
public:
    Host();
    ~Host();
    // False with `error` set when the socket layer could not start.
    bool Started(std::string &error) const;
    bool StopRequested() const;

    // A listening socket on 127.0.0.1:`port` (0: a free one), neither
    // blocking nor inherited; `bound` is its port. kNoSocket with `error` set.
    Socket Listen(uint16_t port, uint16_t &bound, std::string &error);
    // A connection waiting on `listener`, set up like it; kNoSocket when none.
    Socket Accept(Socket listener);
    // Waits up to `ms` for any of `sockets` to be readable (or closed by the
    // other end); `readable` says which. False with `error` set on a failure.
    bool Wait(const std::vector<Socket> &sockets, std::vector<bool> &readable, int ms, std::string &error);
    // Appends what arrived on `s` to `into`.
    Received Receive(Socket s, std::string &into);
    // Sends all of `data` before `deadline`, or gives up (a reader too slow).
    void Send(Socket s, const std::string &data, Clock::time_point deadline);
    void Close(Socket s);

private:
    int error_ = 0;
};

} // namespace halcyon::platform::loopback
