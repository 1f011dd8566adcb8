// halcyon line: the records of a line's machines as a table, and served as a
// page from loopback (checked in a headless browser when one is installed).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

std::string Record(const std::string &name, const std::string &state, const std::string &extra = "")
{
    return "name=" + name + "\nmachine=/line/" + name + "\ncommand=factory-run\nstate=" + state +
           "\nstage=modules\nprogress=module 3 of 8  Audio\npercent=40\nhost=bench-07\nupdated=" +
           std::to_string(std::time(nullptr)) + "\n" + extra;
}

// A line of 16 machines: 14 running, one failed with its reason, one whose
// process on this host is gone — and files that are no records.
void WriteLine(const test::TempDir &dir)
{
    for (int i = 1; i <= 14; ++i)
        test::WriteFile(dir / ("pc" + std::to_string(100 + i) + ".status"), Record("pc" + std::to_string(100 + i), "running"));
    test::WriteFile(dir / "pc115.status",
                    Record("pc115", "failed", "code=1234\nreason=the <b>image</b> fails its CRC manifest\n"));
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    test::WriteFile(dir / "pc116.status", Record("pc116", "running", "host=" + std::string(host) + "\npid=" +
                                                                     std::to_string(gone) + "\n"));
    test::WriteFile(dir / "notes.txt", "name=notes\ncommand=factory-run\n");
    test::WriteFile(dir / "garbage.status", "just text\n");
    test::WriteFile(dir / "huge.status", Record("huge", "running") + std::string(70 * 1024, 'x'));
    fs::create_symlink(dir / "pc101.status", dir / "linked.status");
}

struct Server {
    pid_t pid = -1;
    int port = 0;
    Server(const std::string &dir, const std::string &seconds)
    {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            const std::string bin = test::HalcyonBinary();
            ::execl(bin.c_str(), bin.c_str(), "line", dir.c_str(), "--serve", "0", "--for", seconds.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const size_t colon = line.rfind(':');
        if (line.rfind("serving http://127.0.0.1:", 0) == 0 && colon != std::string::npos)
            port = std::atoi(line.c_str() + colon + 1);
    }
    // The exit status within `limit`, else -1 (and the server is killed).
    int Wait(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    ~Server()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

int Connect(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string Exchange(int port, const std::string &request)
{
    int fd = Connect(port);
    if (fd < 0)
        return "no connection";
    timeval tv{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    (void)::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        answer.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return answer;
}

std::string FindChromium()
{
    for (const char *name : {"chromium", "chromium-browser"})
        for (const char *dir : {"/usr/bin", "/usr/local/bin"})
            if (::access((std::string(dir) + "/" + name).c_str(), X_OK) == 0)
                return std::string(dir) + "/" + name;
    return {};
}

// What a shell command writes on standard output.
std::string Shell(const std::string &command)
{
    std::string out;
    test::RunShellCommand(command, out);
    return out;
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(LineCommand, ShowsEveryRecordOfTheFolderAndNothingElse)
{
    test::TempDir dir;
    WriteLine(dir);
    struct Case {
        std::string args;
        int exit;
        std::vector<std::string> shown;
    } cases[] = {
        {"line '" + dir.path() + "' --once", 0,
         {"16 machines: 14 running, 1 failed, 1 stopped\n", "pc115                factory-run   failed",
          "code 1234: the <b>image</b> fails its CRC manifest", "pc116                factory-run   stopped",
          "40% module 3 of 8  Audio"}},
        {"line '" + dir.path() + "' --json", 0,
         {"{\"counts\":\"16 machines: 14 running, 1 failed, 1 stopped\"", "\"reason\":\"the <b>image</b> fails"}},
        {"line", 2, {"DIR is required"}},
        {"line '" + (dir / "none") + "'", 1, {"is not a folder"}},
        {"line '" + dir.path() + "' --serve 70000", 2, {"--serve"}},
        {"line '" + dir.path() + "' --interval 0", 2, {"--interval"}},
    };
    for (const auto &c : cases) {
        std::string out;
        EXPECT_EQ(test::RunHalcyon(c.args, out), c.exit) << c.args << "\n" << out;
        for (const auto &text : c.shown)
            EXPECT_NE(out.find(text), std::string::npos) << c.args << ": no '" << text << "' in\n" << out;
        if (c.exit == 0 && c.args.find("--once") != std::string::npos) {
            EXPECT_EQ(Count(out, "\npc1"), 16u) << out;
            EXPECT_EQ(out.find("huge"), std::string::npos);
            EXPECT_EQ(out.find("notes"), std::string::npos);
        }
    }
}

TEST(LineCommand, RedrawsInPlaceOnATerminal)
{
    if (::access("/usr/bin/script", X_OK) != 0)
        GTEST_SKIP() << "no script(1) to give the command a terminal";
    test::TempDir dir;
    WriteLine(dir);
    // script(1) runs it on a pseudo-terminal; timeout ends the endless view.
    const std::string out = Shell("script -qec \"timeout 2.5 '" + test::HalcyonBinary() + "' line '" + dir.path() +
                                  "' --interval 1\" /dev/null </dev/null");
    EXPECT_EQ(Count(out, "\033[2J"), 1u) << out; // cleared once, then drawn over
    EXPECT_GE(Count(out, "\033[H"), 2u) << out;
    EXPECT_GE(Count(out, "16 machines: 14 running, 1 failed, 1 stopped"), 2u) << out;
}

TEST(LineCommand, ServesOnLoopbackWithBoundedRequestsAndStops)
{
    test::TempDir dir;
    WriteLine(dir);
    Server server(dir.path(), "30");
    ASSERT_GT(server.port, 0);

    // An idle connection holds no one up.
    int idle = Connect(server.port);
    ASSERT_GE(idle, 0);
    struct Case {
        std::string request, statusLine, body;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK", "<script src=\"/line.js\"></script>"},
        {"GET /line.js HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "fetch(\"/line.json\""},
        {"GET /line.json?t=1 HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "\"counts\":\"16 machines"},
        {"HEAD /line.json HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", ""},
        {"POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi", "HTTP/1.1 405 Method Not Allowed", ""},
        {"GET /../etc/passwd HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", ""},
        {"nonsense\r\n\r\n", "HTTP/1.1 400 Bad Request", ""},
        {"GET / HTTP/1.1\r\nX: " + std::string(9000, 'a'), "HTTP/1.1 431", ""},
    };
    for (const auto &c : cases) {
        const std::string answer = Exchange(server.port, c.request);
        EXPECT_EQ(answer.rfind(c.statusLine, 0), 0u) << c.request.substr(0, 40) << "\n" << answer.substr(0, 200);
        EXPECT_NE(answer.find(c.body), std::string::npos) << c.request.substr(0, 40);
        if (c.request.rfind("HEAD", 0) == 0) {
            EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), "");
        }
    }
    ::close(idle);

    // Listening on 127.0.0.1 only (state 0A: listen).
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", server.port);
    const std::string tcp = test::ReadFile("/proc/net/tcp");
    EXPECT_NE(tcp.find(std::string("0100007F") + port + " 00000000:0000 0A"), std::string::npos);
    EXPECT_EQ(tcp.find(std::string("00000000") + port + " 00000000:0000 0A"), std::string::npos);

    // Interrupted, it ends; left alone, it ends when its time is up.
    ::kill(server.pid, SIGTERM);
    EXPECT_EQ(server.Wait(std::chrono::seconds(3)), 0);
    Server brief(dir.path(), "1");
    ASSERT_GT(brief.port, 0);
    EXPECT_EQ(brief.Wait(std::chrono::seconds(5)), 0);
}

TEST(LineCommand, PageShowsSixteenMachinesInAHeadlessBrowser)
{
    const std::string chromium = FindChromium();
    if (chromium.empty())
        GTEST_SKIP() << "no chromium installed";
    test::TempDir dir, profile;
    WriteLine(dir);
    Server server(dir.path(), "60");
    ASSERT_GT(server.port, 0);
    const std::string command = "'" + chromium + "' --headless --no-sandbox --disable-gpu --user-data-dir='" +
                                profile.path() + "' --virtual-time-budget=5000 --dump-dom http://127.0.0.1:" +
                                std::to_string(server.port) + "/ 2>/dev/null";
    const std::string dom = Shell(command);

    EXPECT_EQ(Count(dom, "<tr class=\"machine "), 16u) << dom;
    EXPECT_EQ(Count(dom, "<tr class=\"machine running\">"), 14u);
    EXPECT_NE(dom.find("16 machines: 14 running, 1 failed, 1 stopped"), std::string::npos);
    // The failing machine with its reason, shown as text, not taken for markup.
    EXPECT_NE(dom.find("<tr class=\"machine failed\"><td>pc115</td>"), std::string::npos) << dom;
    EXPECT_NE(dom.find("code 1234: the &lt;b&gt;image&lt;/b&gt; fails its CRC manifest"), std::string::npos);
}
