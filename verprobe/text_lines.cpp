#include "verprobe/text_lines.h"

#include "platform/host_file.h"
#include "verprobe/file_version.h"
#include "verprobe/result_codes.h"
#include "verprobe/text_rules.h"

namespace halcyon::verprobe {

LineReader::LineReader(const std::string &hostPath) : file_(platform::OpenHostFileForRead(hostPath)) {}

bool LineReader::Next(std::string *line, bool *overlong)
{
    line->clear();
    *overlong = false;
    if (!file_)
        return false;
    bool any = false;
    bool cutAtNul = false;
    bool pendingCr = false; // a CR held back until we know whether LF follows
    auto store = [&](char c) {
        if (cutAtNul)
            return;
        if (line->size() >= kMaxLineBytes) {
            *overlong = true;
            return;
        }
        *line += c;
    };
    int c;
    while ((c = platform::ReadByteUnlocked(file_.get())) != EOF) {
        any = true;
        if (pendingCr) {
            pendingCr = false;
            if (c == '\n') {
                store('\n');
                return true;
            }
            store('\r');
        }
        if (c == '\r') {
            pendingCr = true;
            continue;
        }
        if (c == '\0') {
            cutAtNul = true;
            continue;
        }
        store(static_cast<char>(c));
        if (c == '\n')
            return true;
    }
    if (pendingCr)
        store('\r');
    return any;
}

uint32_t ReadFirstLine(std::string_view target, std::string *line)
{
    auto host = RegularFile(target);
    if (!host)
        return kFileNotFound;
    LineReader reader(*host);
    if (!reader.ok())
        return kTextNotFound;
    std::string raw;
    bool overlong = false;
    reader.Next(&raw, &overlong);
    std::string text = EightBitToUtf8(raw);
    std::string_view body = text;
    if (!body.empty() && body.back() == '\n')
        body.remove_suffix(1);
    if (overlong || CharCount(body) > kMaxTextChars)
        return kTextTooLong;
    if (text.empty())
        return kEmptyText;
    *line = std::move(text);
    return kOk;
}

uint32_t SearchLines(const std::string &hostPath, std::string_view expected, std::string *lastLine)
{
    LineReader reader(hostPath);
    if (!reader.ok())
        return kTextNotFound;
    std::string raw;
    bool overlong = false;
    while (reader.Next(&raw, &overlong)) {
        std::string text = EightBitToUtf8(raw);
        if (overlong)
            continue; // far longer than any expected text
        *lastLine = text;
        size_t end = text.find_first_of("\r\n");
        if (end != std::string::npos)
            text.resize(end);
        if (ToUpper(TrimWhiteSpace(text)) == expected)
            return kOk;
    }
    return kTextNotFound;
}

} // namespace halcyon::verprobe
