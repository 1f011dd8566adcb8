#include "engine/frame/log.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "engine/frame/console_echo.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"

namespace halcyon {

namespace {

std::tm LocalNow()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    platform::LocalCivilTime(now, &tm);
    return tm;
}

std::string Stamp(const std::tm &tm)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d.%02d.%02d %02d:%02d:%02d ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

// Text-mode output: every line feed is written as CR LF.
std::string TextMode(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

std::string ToLogBytes(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (len == 0 || i + len > s.size()) {
            out += '?';
            ++i;
            continue;
        }
        uint32_t cp = c & (0x7F >> len);
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += len;
    }
    return out;
}

int32_t WriteLog(std::string_view text, std::string_view logPath, int echo)
{
    if (!logPath.empty()) {
        std::string host = platform::HostPath(logPath);
        platform::HostFile f;
        if (f.Open(host, platform::FileAccess::Append, platform::FileCreation::OpenOrCreate) != 0)
            return 27;
        std::string line = Stamp(LocalNow());
        line += ToLogBytes(text);
        line += '\n';
        line = TextMode(line);
        (void)f.Write(line.data(), line.size());
    }
    if (echo != 0) {
        std::string out(text);
        out += '\n';
        EchoLine(out);
    }
    return 0;
}

void WriteCodeLog(std::string_view text, std::string_view logPath, uint32_t code)
{
    size_t sep = logPath.find_last_of("\\/");
    if (sep == std::string_view::npos)
        return;
    std::string folder = platform::HostPath(logPath.substr(0, sep + 1));
    const auto folderStatus = platform::StatHostPath(folder);
    if (!folderStatus || !folderStatus->directory)
        return;

    std::string host = platform::HostPath(logPath);
    // Binary read/write, created when absent, contents kept.
    platform::HostFile f;
    uint64_t length = 0;
    if (f.Open(host, platform::FileAccess::ReadWrite, platform::FileCreation::OpenOrCreate) != 0 ||
        f.Size(&length) != 0)
        return;

    std::string record = Stamp(LocalNow());
    record += text;
    if (code != 0) {
        record += "\r\n";
        record += "[CodeError : " + std::to_string(code) + "]";
    }
    record += "\r\n";
    std::string bytes = ToLogBytes(record);
    bytes += '\0';
    // Over the terminating NUL of the previous record.
    (void)f.WriteAt(length > 0 ? length - 1 : 0, bytes.data(), bytes.size());
}

void EnsureTrailingBackslash(std::string &path)
{
    if (!path.empty() && path.back() != '\\')
        path += '\\';
}

} // namespace halcyon
