// A small web server for "halcyon line --serve": one static page that polls
// a JSON endpoint. It listens on the loopback address only, answers GET and
// HEAD of "/", "/line.js" and "/line.json", reads at most 8 KiB of a request
// within 5 seconds, keeps at most 32 connections and closes each after one
// answer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace halcyon::cli {

struct ServeSettings {
    uint16_t port = 0;  // 0: a free port
    int seconds = 0;    // stop after this long; 0: until interrupted (Ctrl+C)
};

// Serves until the time is up or the process is interrupted; `json` makes the
// endpoint's answer on every request. Once listening, writes
// "serving http://127.0.0.1:PORT/" to `announce`. 0, or 1 with `error` set
// when it cannot listen.
int ServeLine(const ServeSettings &settings, const std::function<std::string()> &json, std::FILE *announce,
              std::string &error);

} // namespace halcyon::cli
