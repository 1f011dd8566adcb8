#include "engine/frame/folder_crc.h"

#include "engine/frame/crc32_wide.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "engine/frame/console_echo.h"
#include "platform/host_path_text.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"

namespace halcyon::frame {

namespace {

// Files are read in pieces small enough to stay in the processor cache
// between the read and the CRC; the CRC does not depend on the piece size.
constexpr size_t kReadBlock = 262144; // 256 KiB
constexpr uint64_t kAllOnes = ~uint64_t{0};

const char *const kMsgCrcDiffers = "CRC Value is not same.";
const char *const kMsgCannotOpen = "Can not open file.";

std::string MsgNoManifest(const std::string &path)
{
    return "The path " + path + " exist error! Don't find '_FS_SWRINFO', 'crc.info' or 'files.info'.";
}
std::string MsgNothingListed(const std::string &path)
{
    return "The path " + path + " exist error! Don't find other file, except that it is _FS_SWRINFO.";
}
std::string MsgEmptyPath(const std::string &path)
{
    return "The path " + path + " exist error! It is empty path";
}
std::string MsgNotFullPath(const std::string &path)
{
    return "The path " + path + " exist error! It is not a full path";
}

// Host file names are bytes; valid UTF-8 becomes UTF-16, and a byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte, so that
// distinct names stay distinct.
std::u16string ToUtf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        uint32_t cp = 0;
        bool ok = len != 0 && i + len <= s.size();
        if (ok) {
            cp = c & (0xFF >> (len + 1));
            for (size_t k = 1; k < len; ++k) {
                const auto cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
            const uint32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
            ok = ok && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        }
        if (!ok) {
            out.push_back(static_cast<char16_t>(0xDC00 + c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string ToUtf8(std::u16string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00)); // an escaped byte
            continue;
        }
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (u >> 18)));
            out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

std::string Slashes(std::string s)
{
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// True for an absolute path without ".", ".." or empty components, which is
// what the listing reports for it (a drive or share root first on Windows).
bool IsFullPath(const std::string &path)
{
    // The root "/" arrives with its separator removed.
    if (!platform::IsFullHostPath(path.empty() ? std::string("/") : path))
        return false;
    const std::string_view rest = std::string_view(path).substr(platform::HostRootLength(path));
    if (rest.empty())
        return true; // the root, "/" with its separator removed
    if (rest[0] != '/')
        return false;
    size_t pos = 1;
    while (pos <= rest.size()) {
        const size_t next = std::min(rest.find('/', pos), rest.size());
        const std::string_view part = rest.substr(pos, next - pos);
        if (part.empty() || part == "." || part == "..")
            return false;
        pos = next + 1;
    }
    return true;
}

// The folder as the listing takes it: a root keeps its separator.
std::string ListingPath(const std::string &hostFolder)
{
    if (hostFolder.empty() || (hostFolder.size() == 2 && hostFolder[1] == ':'))
        return hostFolder + "/";
    return hostFolder;
}

void PutLe16(std::vector<uint8_t> &t, uint16_t v)
{
    t.push_back(static_cast<uint8_t>(v));
    t.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t> &t, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        t.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutLe64(std::vector<uint8_t> &t, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        t.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// CRC-32 arithmetic modulo its polynomial (bit-reflected, as the CRC is):
// the product of two remainders.
uint32_t MultiplyModP(uint32_t a, uint32_t b)
{
    uint32_t m = 1u << 31;
    uint32_t p = 0;
    for (;;) {
        if (a & m) {
            p ^= b;
            if ((a & (m - 1)) == 0)
                break;
        }
        m >>= 1;
        b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    return p;
}

// The CRC of A followed by B from the CRC of A, the CRC of B and the length
// of B: the stream is read once, its table made afterwards and put before it.
uint32_t CombineCrc(uint32_t crcA, uint32_t crcB, uint64_t lengthB)
{
    uint32_t power = 1u << 31;   // x^0
    uint32_t square = 1u << 23;  // x^8: one byte
    for (uint64_t n = lengthB; n != 0; n >>= 1) {
        if (n & 1)
            power = MultiplyModP(square, power);
        square = MultiplyModP(square, square);
    }
    return MultiplyModP(power, crcA) ^ crcB;
}

} // namespace

CFolderCrc::CFolderCrc(CrcFileTree *tree)
    : host_(tree ? nullptr : std::make_unique<HostCrcFileTree>()), tree_(tree ? *tree : *host_)
{
}

CFolderCrc::~CFolderCrc() = default;

std::string CFolderCrc::RelativeName(size_t i) const
{
    if (i >= entries_.size())
        return {};
    const _stFileInfo &e = entries_[i];
    const size_t start = e.nameStart >= 0 ? static_cast<size_t>(e.nameStart) : folder_.size();
    return ToUtf8(std::u16string_view(e.fullPath).substr(std::min(start, e.fullPath.size())));
}

void CFolderCrc::AddEntry(const std::string &hostPath, const std::u16string &fullPath, bool emptyFolder)
{
    _stFileInfo info;
    info.secondValue = emptyFolder ? kAllOnes : 0;
    info.fullPath = fullPath;
    info.hostPath = hostPath;
    entries_.push_back(std::move(info));
}

void CFolderCrc::ListFolder(const std::string &hostFolder, const std::u16string &folder16, bool isRoot)
{
    std::vector<platform::FolderEntry> names;
    if (tree_.List(ListingPath(hostFolder), names) != 0) {
        if (!listFailed_)
            unreadable_ = hostFolder;
        listFailed_ = true;
        return;
    }
    static const std::u16string excluded = u"_FS_SWRINFO";
    const bool foundAny = !names.empty();
    for (const platform::FolderEntry &d : names) {
        const std::string host = hostFolder + "/" + d.name;
        const std::u16string full = folder16 + u"/" + ToUtf16(d.name);
        if (full.find(excluded) == std::u16string::npos) {
            // Links are listed as they are, never followed into.
            if (d.kind == platform::EntryKind::Folder)
                ListFolder(host, full, false);
            else
                AddEntry(host, full, false);
        }
    }
    // The checked folder itself always holds its manifest, so only
    // subfolders can be empty.
    if (!foundAny && !isRoot)
        AddEntry(hostFolder, folder16, true);
}

int32_t CFolderCrc::List(const std::string &folderPath, std::string &message)
{
    entries_.clear();
    table_.clear();
    sizes_.clear();
    listFailed_ = false;
    unreadable_.clear();
    if (folderPath.empty()) {
        message = MsgEmptyPath(folderPath);
        return 4;
    }
    std::string host = Slashes(tree_.HostPath(Slashes(folderPath)));
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    folder_ = ToUtf16(host);
    if (!IsFullPath(host)) {
        message = MsgNotFullPath(folderPath);
        return 4;
    }
    ListFolder(host, folder_, true);
    if (listFailed_) {
        message = kMsgCannotOpen;
        return 3;
    }
    std::sort(entries_.begin(), entries_.end(),
              [](const _stFileInfo &a, const _stFileInfo &b) { return a.fullPath < b.fullPath; });
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const _stFileInfo &a, const _stFileInfo &b) { return a.fullPath == b.fullPath; }),
                   entries_.end());
    if (entries_.empty()) {
        message = MsgNothingListed(folderPath);
        return 3;
    }
    // Every entry must carry the folder path where its relative name starts;
    // otherwise the names would be cut in the wrong place.
    for (const _stFileInfo &e : entries_) {
        if (e.fullPath.compare(0, folder_.size(), folder_) != 0) {
            message = MsgNotFullPath(folderPath);
            entries_.clear();
            return 4;
        }
    }
    return CheckNames(message) ? 0 : 3;
}

// Every record must fit its 16-bit length and the table its 32-bit one.
bool CFolderCrc::CheckNames(std::string &message)
{
    uint64_t tableLength = 4;
    for (_stFileInfo &e : entries_) {
        const uint64_t record = 2 * (e.fullPath.size() - folder_.size() + 10);
        if (record > 0xFFFF) {
            unreadable_ = e.hostPath;
            message = kMsgCannotOpen;
            return false;
        }
        e.nameStart = static_cast<int32_t>(folder_.size());
        e.recordLength = static_cast<uint16_t>(record);
        tableLength += record;
    }
    if (tableLength > 0xFFFFFFFFu) {
        message = kMsgCannotOpen;
        return false;
    }
    return true;
}

// One pass over the listed files: each is opened once, its size taken from
// that open, and its bytes read and added to the CRC of the contents.
bool CFolderCrc::ReadContents(std::string &message, uint32_t *crc, uint64_t *length)
{
    *crc = 0;
    *length = 0;
    sizes_.assign(entries_.size(), 0);
    for (size_t i = 0; i < entries_.size(); ++i) {
        const _stFileInfo &e = entries_[i];
        if (!e.IsFile())
            continue;
        uint64_t size = 0;
        if (tree_.Open(e.hostPath, &size) != 0) {
            unreadable_ = e.hostPath;
            message = kMsgCannotOpen;
            return false;
        }
        sizes_[i] = size;
        // A buffer no larger than the file needs (one byte more finds its end).
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadBlock, size + 1));
        if (block_.size() < want)
            block_.resize(std::max(want, std::min(kReadBlock, 2 * block_.size())));
        const size_t blockSize = std::min(block_.size(), kReadBlock);
        // The bytes the open found; a file that says it is empty is read to
        // its end.
        uint64_t left = size != 0 ? size : kAllOnes;
        while (left != 0) {
            const size_t ask = static_cast<size_t>(std::min<uint64_t>(blockSize, left));
            size_t n = 0;
            if (tree_.Read(block_.data(), ask, &n) != 0) {
                unreadable_ = e.hostPath;
                message = kMsgCannotOpen;
                return false;
            }
            if (n == 0)
                break;
            *crc = Crc32(*crc, block_.data(), n);
            *length += n;
            left -= n;
            if (n < ask)
                break;
        }
    }
    return true;
}

void CFolderCrc::BuildTable()
{
    uint64_t tableLength = 4;
    for (const _stFileInfo &e : entries_)
        tableLength += e.recordLength;
    table_.clear();
    table_.reserve(static_cast<size_t>(tableLength));
    PutLe32(table_, static_cast<uint32_t>(tableLength));
    uint64_t offset = tableLength;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const _stFileInfo &e = entries_[i];
        PutLe16(table_, e.recordLength);
        if (e.IsFile()) {
            PutLe64(table_, offset);
            PutLe64(table_, sizes_[i]);
            offset += sizes_[i];
        } else {
            PutLe64(table_, kAllOnes);
            PutLe64(table_, 0);
        }
        table_.push_back(0xFE);
        table_.push_back(0xFF);
        for (size_t k = static_cast<size_t>(e.nameStart); k < e.fullPath.size(); ++k) {
            table_.push_back(static_cast<uint8_t>(e.fullPath[k] >> 8));
            table_.push_back(static_cast<uint8_t>(e.fullPath[k] & 0xFF));
        }
    }
}

int32_t CFolderCrc::ComputeFolderCrc(const std::string &folderPath, uint32_t &crc, std::string &message)
{
    const int32_t r = List(folderPath, message);
    if (r != 0)
        return r;
    uint32_t contents = 0;
    uint64_t length = 0;
    if (!ReadContents(message, &contents, &length))
        return 3;
    BuildTable();
    crc = CombineCrc(Crc32(0, table_.data(), table_.size()), contents, length);
    return 0;
}

int32_t CFolderCrc::CheckFolder(const std::string &folderPath, std::string &message)
{
    if (folderPath.empty()) {
        message = MsgEmptyPath(folderPath);
        return 4;
    }
    const std::string manifest = Slashes(folderPath) + "/" + kCrcManifestFolder;
    bool isFolder = false;
    bool ignored = false;
    if (tree_.Stat(tree_.HostPath(manifest), &isFolder) != 0 || !isFolder ||
        tree_.Stat(tree_.HostPath(manifest + "/" + kCrcInfoFile), &ignored) != 0 ||
        tree_.Stat(tree_.HostPath(manifest + "/" + kFilesInfoFile), &ignored) != 0) {
        message = MsgNoManifest(folderPath);
        return 2;
    }
    uint32_t computed = 0;
    const int32_t r = ComputeFolderCrc(folderPath, computed, message);
    if (r != 0)
        return r;

    // The stored CRC: bytes 4 to 7 of "crc.info", most significant first.
    uint8_t head[10] = {};
    size_t got = 0;
    std::string infoPath;
    {
        std::string host = Slashes(tree_.HostPath(Slashes(folderPath)));
        while (!host.empty() && host.back() == '/')
            host.pop_back();
        infoPath = host + "/" + kCrcManifestFolder + "/" + kCrcInfoFile;
        uint64_t ignoredSize = 0;
        if (tree_.Open(infoPath, &ignoredSize) != 0) {
            unreadable_ = infoPath;
            message = kMsgCannotOpen;
            return 2;
        }
        for (size_t n = 1; got < sizeof head && n != 0;)
            if (tree_.Read(head + got, sizeof head - got, &n) != 0)
                n = 0;
            else
                got += n;
    }
    if (got < 8) {
        unreadable_ = infoPath;
        message = kMsgCannotOpen;
        return 2;
    }
    const uint32_t stored = (uint32_t{head[4]} << 24) | (uint32_t{head[5]} << 16) | (uint32_t{head[6]} << 8) | head[7];
    char line[64];
    std::snprintf(line, sizeof line, "Calculated CRC: %ul", computed);
    EchoLine(line);
    std::snprintf(line, sizeof line, "Original CRC: %ul", stored);
    EchoLine(line);
    if (computed != stored) {
        message = kMsgCrcDiffers;
        return 1;
    }
    return 0;
}

int32_t CheckFolder(const std::string &folderPath, std::string &message, std::string *unreadable)
{
    CFolderCrc check;
    const int32_t r = check.CheckFolder(folderPath, message);
    if (unreadable)
        *unreadable = r != 0 ? check.UnreadableFile() : std::string();
    return r;
}

FolderManifest ComposeFolderManifest(const CFolderCrc &crc, uint32_t value)
{
    FolderManifest m;
    const char info[10] = {0, 0, 0, 0, static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value), 0, 0};
    m.crcInfo.assign(info, sizeof info);
    for (size_t i = 0; i < crc.Entries().size(); ++i) {
        m.filesInfo += crc.RelativeName(i);
        m.filesInfo += '\t';
        m.filesInfo += crc.Entries()[i].IsFile() ? std::to_string(crc.Sizes()[i]) : std::string("<DIR>");
        m.filesInfo += "\r\n";
    }
    return m;
}

int32_t WriteFolderManifest(const std::string &folderPath, std::string &message, std::string *unreadable)
{
    CFolderCrc crc;
    uint32_t value = 0;
    if (unreadable)
        unreadable->clear();
    const int32_t r = crc.ComputeFolderCrc(folderPath, value, message);
    if (r != 0) {
        if (unreadable)
            *unreadable = crc.UnreadableFile();
        return r;
    }
    std::string host = Slashes(platform::HostPath(Slashes(folderPath)));
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    const std::string folder = host + "/" + kCrcManifestFolder;
    // The manifest is written into the folder itself, never through a
    // symbolic link planted at the manifest folder or its files.
    for (const char *file : {kCrcInfoFile, kFilesInfoFile}) {
        const support::ConfinedCheck where = support::CheckConfinedPath(host, folder + "/" + file);
        if (where.result != support::Confinement::Inside) {
            message = support::DescribeConfinement(where, host, folder + "/" + file) + "; no manifest is written.";
            if (unreadable)
                *unreadable = where.component;
            return 2;
        }
    }
    if (const int err = support::CreateConfinedFolders(host, folder)) {
        message = kMsgCannotOpen;
        if (unreadable)
            *unreadable = folder + " (" + std::strerror(err) + ")";
        return 2;
    }
    const FolderManifest manifest = ComposeFolderManifest(crc, value);
    const std::pair<const char *, std::string_view> files[] = {{kCrcInfoFile, manifest.crcInfo},
                                                               {kFilesInfoFile, manifest.filesInfo}};
    for (const auto &[name, bytes] : files) {
        const std::string path = folder + "/" + name;
        if (unreadable)
            *unreadable = path;
        platform::HostFile out;
        if (out.Open(path, platform::FileAccess::Write, platform::FileCreation::CreateOrTruncate) != 0 ||
            out.Write(bytes.data(), bytes.size()) != 0 || out.Close() != 0) {
            message = kMsgCannotOpen;
            return 2;
        }
    }
    // The manifest and its folder entries are on disk before it counts as written.
    if (support::SyncFile(folder + "/" + kCrcInfoFile) != 0 || support::SyncFile(folder + "/" + kFilesInfoFile) != 0 ||
        support::SyncFolder(folder) != 0 || support::SyncFolder(host) != 0) {
        message = kMsgCannotOpen;
        return 2;
    }
    if (unreadable)
        unreadable->clear();
    return 0;
}

} // namespace halcyon::frame
