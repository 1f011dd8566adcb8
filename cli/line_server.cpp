// The line page's web server: the answers to a request. The listening lives
// in the platform (platform/loopback_server.h).
#include "cli/line_server.h"

#include "cli/line_page.h"
#include "platform/loopback_server.h"

namespace halcyon::cli {

namespace {

constexpr size_t kMaxRequest = 8192;

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

} // namespace

int ServeLine(const ServeSettings &settings, const std::function<std::string()> &json, std::FILE *announce,
              std::string &error)
{
    platform::LoopbackSettings loopback;
    loopback.port = settings.port;
    loopback.seconds = settings.seconds;
    return platform::ServeLoopback(
        loopback,
        [&](const std::string &request) -> std::optional<std::string> {
            if (request.find("\r\n\r\n") != std::string::npos)
                return Answer(request, json);
            if (request.size() > kMaxRequest)
                return Response(431, "Request Header Fields Too Large", "text/plain", "too large\n", false);
            return std::nullopt;
        },
        [&](uint16_t port) {
            std::fprintf(announce, "serving http://127.0.0.1:%u/\n", static_cast<unsigned>(port));
            std::fflush(announce);
        },
        error);
}

} // namespace halcyon::cli
