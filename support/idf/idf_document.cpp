#include "support/idf/idf_document.h"

#include <algorithm>
#include <cstdio>
#include <list>
#include <mutex>
#include <new>

#include "platform/file_version.h"
#include "platform/host_file.h"
#include "platform/path_map.h"
#include "support/idf/idf_result.h"

namespace halcyon::support {

namespace {

thread_local std::string tLastError;

constexpr unsigned char kScrambleMask = 0x5C;
constexpr size_t kCacheEntries = 4;
constexpr uint64_t kCacheBytes = 2 * kIdfMaxFileBytes;

bool IsXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when the bytes look like the start of an XML text: an optional
// byte-order mark, white space, then '<'. UTF-16 and UTF-32 marks count.
bool LooksLikeXml(std::string_view b)
{
    auto u = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() >= 2 && ((u(0) == 0xFF && u(1) == 0xFE) || (u(0) == 0xFE && u(1) == 0xFF)))
        return true;
    size_t i = 0;
    if (b.size() >= 3 && u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF)
        i = 3;
    while (i < b.size() && IsXmlSpace(u(i)))
        ++i;
    return i < b.size() && b[i] == '<';
}

bool OnlySpace(std::string_view b)
{
    for (unsigned char c : b)
        if (!IsXmlSpace(c))
            return false;
    return true;
}

int32_t Fail(int32_t code, std::string detail)
{
    tLastError = std::move(detail);
    return code;
}

std::string Where(std::string_view text, ptrdiff_t offset)
{
    if (offset < 0)
        offset = 0;
    size_t end = std::min(text.size(), static_cast<size_t>(offset));
    size_t line = 1, column = 1;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string NodeText(pugi::xml_node n) { return IdfKey(n.text().get()); }

void BuildIndex(IdfDocument &d)
{
    for (pugi::xml_node c = d.root.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        std::string_view name = c.name();
        if (name == "Release") {
            IdfRelease r;
            r.node = c;
            r.releaseId = IdfKey(FindAttribute(c, "ReleaseID").value());
            r.partId = IdfKey(FindAttribute(c, "PartId").value());
            for (pugi::xml_node p = c.first_child(); p; p = p.next_sibling()) {
                if (p.type() != pugi::node_element)
                    continue;
                std::string_view child = p.name();
                if (child == "PartNumber")
                    r.partNumbers.push_back(NodeText(p));
                else if (child == "DataModule")
                    r.dataModules.push_back(p);
            }
            d.releases.push_back(std::move(r));
        } else if (name == "Mcode") {
            IdfMcode m;
            m.node = c;
            m.code = IdfKey(FindAttribute(c, "Code").value());
            for (pugi::xml_node p = c.child("PartNumber"); p; p = p.next_sibling("PartNumber"))
                m.partNumbers.push_back(NodeText(p));
            d.mcodes.push_back(std::move(m));
        } else if (name == "SkuMap") {
            d.skuMaps.push_back(c);
        } else if (name == "ComponentList") {
            for (pugi::xml_node p = c.child("Component"); p; p = p.next_sibling("Component"))
                d.components.push_back(p);
        }
    }
}

// Deepest element nesting, walked without recursion; stops early once the
// limit is passed. Also reports a DOCTYPE anywhere.
int32_t CheckTree(const pugi::xml_document &doc)
{
    int depth = 0;
    pugi::xml_node n = doc.first_child();
    while (n) {
        if (n.type() == pugi::node_doctype)
            return Fail(IDF_DOCTYPE_REFUSED, "document type declarations are not accepted");
        if (n.first_child()) {
            n = n.first_child();
            if (++depth > kIdfMaxDepth)
                return Fail(IDF_TOO_DEEP, "elements nested deeper than " + std::to_string(kIdfMaxDepth) + " levels");
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
            if (n == doc)
                return IDF_OK;
        }
        if (n)
            n = n.next_sibling();
    }
    return IDF_OK;
}

struct CacheEntry {
    std::string hostPath;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    uint64_t inode = 0;
    std::shared_ptr<const IdfDocument> doc;
};

struct Cache {
    std::mutex mutex;
    std::list<CacheEntry> entries; // most recently used first
    IdfCacheStats stats;
};

Cache &TheCache()
{
    static Cache cache;
    return cache;
}

int32_t ReadFileBytes(const std::string &hostPath, uint64_t expected, std::string &out)
{
    std::FILE *f = platform::OpenHostFileForRead(hostPath);
    if (!f)
        return Fail(IDF_FILE_UNREADABLE, "cannot open " + hostPath);
    out.clear();
    out.reserve(static_cast<size_t>(expected));
    char buf[65536];
    size_t got;
    int32_t rc = IDF_OK;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (out.size() + got > kIdfMaxFileBytes) {
            rc = Fail(IDF_FILE_TOO_LARGE, "larger than " + std::to_string(kIdfMaxFileBytes) + " bytes");
            break;
        }
        out.append(buf, got);
    }
    if (rc == IDF_OK && std::ferror(f))
        rc = Fail(IDF_FILE_UNREADABLE, "read error on " + hostPath);
    std::fclose(f);
    return rc;
}

} // namespace

std::string IdfKey(std::string_view text)
{
    size_t b = 0, e = text.size();
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (b < e && space(text[b]))
        ++b;
    while (e > b && space(text[e - 1]))
        --e;
    return platform::ToUpperAscii(text.substr(b, e - b));
}

pugi::xml_attribute FindAttribute(pugi::xml_node node, std::string_view name)
{
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        if (platform::EqualsNoCase(a.name(), name))
            return a;
    return pugi::xml_attribute();
}

std::string IdfLastErrorDetail() { return tLastError; }

int32_t ParseIdf(std::string_view bytes, IdfDocument &out)
{
    tLastError.clear();
    if (bytes.size() > kIdfMaxFileBytes)
        return Fail(IDF_FILE_TOO_LARGE, "larger than " + std::to_string(kIdfMaxFileBytes) + " bytes");
    if (OnlySpace(bytes))
        return Fail(IDF_FILE_EMPTY, "the file holds no XML");

    std::string plain;
    if (!LooksLikeXml(bytes)) {
        plain.assign(bytes);
        for (auto &c : plain)
            c = static_cast<char>(static_cast<unsigned char>(c) ^ kScrambleMask);
        if (LooksLikeXml(plain))
            bytes = plain;
    }

    uint64_t markup = 0;
    for (char c : bytes)
        if (c == '<' || c == '=')
            ++markup;
    if (markup > kIdfMaxMarkup)
        return Fail(IDF_TOO_COMPLEX, "more than " + std::to_string(kIdfMaxMarkup) + " elements and attributes");

    const unsigned options = pugi::parse_default | pugi::parse_doctype;
    pugi::xml_parse_result result = out.doc.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto);
    switch (result.status) {
    case pugi::status_ok:
        break;
    case pugi::status_out_of_memory:
        return Fail(IDF_OUT_OF_MEMORY, "out of memory while parsing");
    case pugi::status_bad_doctype:
        return Fail(IDF_DOCTYPE_REFUSED, Where(bytes, result.offset) + ": bad document type declaration");
    case pugi::status_io_error:
    case pugi::status_file_not_found:
        return Fail(IDF_FILE_UNREADABLE, result.description());
    default:
        return Fail(IDF_NOT_WELL_FORMED, Where(bytes, result.offset) + ": " + result.description());
    }

    if (int32_t rc = CheckTree(out.doc); rc != IDF_OK)
        return rc;

    int roots = 0;
    for (pugi::xml_node c = out.doc.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element || c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            ++roots;
    out.root = out.doc.document_element();
    if (roots != 1 || !out.root)
        return Fail(IDF_NOT_WELL_FORMED, "the document needs exactly one root element");
    if (std::string_view(out.root.name()) != "IDF")
        return Fail(IDF_ROOT_NOT_IDF, std::string("the root element is \"") + out.root.name() + "\", not \"IDF\"");

    BuildIndex(out);
    out.fileBytes = bytes.size();
    return IDF_OK;
}

int32_t LoadIdf(std::string_view idfPath, std::shared_ptr<const IdfDocument> &doc)
{
    doc.reset();
    tLastError.clear();
    try {
        if (idfPath.empty())
            return Fail(IDF_FILE_NOT_FOUND, "no IDF path given");
        std::string host = platform::HostPath(idfPath);
        const std::optional<platform::FileVersion> version = platform::FileVersionOf(host);
        if (!version)
            return Fail(IDF_FILE_NOT_FOUND, "no file " + host);
        if (!version->regular)
            return Fail(IDF_FILE_UNREADABLE, host + " is not a regular file");
        uint64_t size = version->size;
        if (size > kIdfMaxFileBytes)
            return Fail(IDF_FILE_TOO_LARGE, "larger than " + std::to_string(kIdfMaxFileBytes) + " bytes");
        int64_t mtime = version->writeNs;
        int64_t ctime = version->changeNs;
        uint64_t inode = version->identity;

        Cache &cache = TheCache();
        {
            std::lock_guard<std::mutex> lock(cache.mutex);
            for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
                if (it->hostPath != host)
                    continue;
                if (it->size == size && it->mtimeNs == mtime && it->ctimeNs == ctime && it->inode == inode) {
                    cache.entries.splice(cache.entries.begin(), cache.entries, it);
                    ++cache.stats.hits;
                    doc = cache.entries.front().doc;
                    return IDF_OK;
                }
                cache.entries.erase(it);
                break;
            }
        }

        std::string bytes;
        if (int32_t rc = ReadFileBytes(host, size, bytes); rc != IDF_OK)
            return rc;
        const bool sizeAsStated = bytes.size() == size;
        auto parsed = std::make_shared<IdfDocument>();
        int32_t rc = ParseIdf(bytes, *parsed);
        {
            std::lock_guard<std::mutex> lock(cache.mutex);
            ++cache.stats.parses;
        }
        if (rc != IDF_OK)
            return rc;
        bytes.clear();
        bytes.shrink_to_fit();

        // Only a read that saw the size the stat reported is kept: a file
        // being written meanwhile is parsed again next time.
        if (sizeAsStated) {
            std::lock_guard<std::mutex> lock(cache.mutex);
            CacheEntry e{host, size, mtime, ctime, inode, parsed};
            cache.entries.push_front(std::move(e));
            uint64_t total = 0;
            size_t count = 0;
            for (auto it = cache.entries.begin(); it != cache.entries.end();) {
                total += it->size;
                ++count;
                if (it != cache.entries.begin() && (count > kCacheEntries || total > kCacheBytes))
                    it = cache.entries.erase(it);
                else
                    ++it;
            }
        }
        doc = std::move(parsed);
        return IDF_OK;
    } catch (const std::bad_alloc &) {
        doc.reset();
        return Fail(IDF_OUT_OF_MEMORY, "out of memory while reading the IDF");
    }
}

IdfCacheStats GetIdfCacheStats()
{
    Cache &cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.stats;
}

void ClearIdfCache()
{
    Cache &cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.entries.clear();
    cache.stats = IdfCacheStats{};
}

} // namespace halcyon::support
