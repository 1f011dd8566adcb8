// A listener on the loopback address that answers each connection once: the
// bytes a connection sends are handed over as they arrive, and the first
// answer made of them is sent back before the connection is closed. Nothing
// listens on any other interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace halcyon::platform {

struct LoopbackSettings {
    uint16_t port = 0;         // 0: a free port
    int seconds = 0;           // stop after this long; 0: until interrupted
    size_t maxConnections = 32; // more wait in the listen queue
    int connectionSeconds = 5;  // a connection not answered by then is dropped
};

// Everything a connection has sent so far in, the answer out; no answer (yet)
// waits for more bytes.
using LoopbackAnswer = std::function<std::optional<std::string>(const std::string &received)>;

// Listens on 127.0.0.1, calls `listening` with the port once it does, and
// serves until the time is up or the process is interrupted (SIGINT or
// SIGTERM, whose earlier handlers come back afterwards; on Windows the
// console's Ctrl+C, Ctrl+Break and close events). 0, or 1 with `error`
// set when it cannot listen or the wait for connections fails.
int ServeLoopback(const LoopbackSettings &settings, const LoopbackAnswer &answer,
                  const std::function<void(uint16_t port)> &listening, std::string &error);

} // namespace halcyon::platform
