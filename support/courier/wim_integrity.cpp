#include "support/courier/wim_integrity.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/host_file_rw.h"

#ifdef HALCYON_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace halcyon::support::courier {

namespace {

constexpr size_t kHeaderSize = 208;
constexpr size_t kBlobTableOffset = 48;
constexpr size_t kIntegrityOffset = 124;
constexpr size_t kDigestSize = 20;
// Larger chunks than any writer uses mean a broken table, not a real one.
constexpr uint32_t kMaxChunk = 256u << 20;

#ifdef HALCYON_HAVE_OPENSSL

uint64_t Le(const unsigned char *p, size_t bytes)
{
    uint64_t v = 0;
    for (size_t i = bytes; i-- > 0;)
        v = (v << 8) | p[i];
    return v;
}

struct ResourceHeader {
    uint64_t sizeInWim = 0; // 7 bytes
    uint64_t offset = 0;
};

ResourceHeader ReadResourceHeader(const unsigned char *p) { return {Le(p, 7), Le(p + 8, 8)}; }

// Files read as the one file they make when joined in order.
class JoinedFiles {
public:
    int Open(const std::vector<std::string> &paths, std::string &failed)
    {
        files_ = std::vector<platform::HostFile>(paths.size());
        uint64_t start = 0;
        for (size_t i = 0; i < paths.size(); ++i) {
            uint64_t size = 0;
            int err = files_[i].Open(paths[i], platform::FileAccess::Read, platform::FileCreation::OpenExisting);
            if (err == 0)
                err = files_[i].Size(&size);
            if (err != 0) {
                failed = paths[i];
                return err;
            }
            starts_.push_back(start);
            start += size;
        }
        starts_.push_back(start);
        return 0;
    }
    // Up to `size` bytes at `offset`, from the piece that holds it.
    int ReadAt(uint64_t offset, void *buf, size_t size, size_t *got)
    {
        *got = 0;
        size_t i = 0;
        while (i + 1 < starts_.size() && starts_[i + 1] <= offset)
            ++i;
        if (i >= files_.size())
            return 0; // past the end
        const uint64_t inPiece = starts_[i + 1] - offset;
        return files_[i].ReadAt(offset - starts_[i], buf, static_cast<size_t>(std::min<uint64_t>(size, inPiece)), got);
    }

private:
    std::vector<platform::HostFile> files_;
    std::vector<uint64_t> starts_;
};

// Exactly `size` bytes at `offset`: 0, or an errno value (EIO for a short
// file).
int ReadAt(JoinedFiles &file, void *buf, size_t size, uint64_t offset)
{
    auto *out = static_cast<unsigned char *>(buf);
    while (size > 0) {
        size_t got = 0;
        if (const int err = file.ReadAt(offset, out, size, &got))
            return err;
        if (got == 0)
            return EIO;
        out += got;
        size -= got;
        offset += got;
    }
    return 0;
}

#endif

} // namespace

IntegrityResult CheckWimIntegrity(const std::string &hostPath, std::string &error)
{
    return CheckWimIntegrity(std::vector<std::string>{hostPath}, hostPath, nullptr, error);
}

IntegrityResult CheckWimIntegrity(const std::vector<std::string> &pieces, const std::string &hostPath,
                                  const std::atomic<bool> *stop, std::string &error)
{
#ifndef HALCYON_HAVE_OPENSSL
    (void)pieces;
    (void)hostPath;
    (void)stop;
    (void)error;
    return IntegrityResult::Unavailable;
#else
    JoinedFiles file;
    std::string failed;
    if (const int err = file.Open(pieces, failed)) {
        error = "cannot open " + failed + ": " + std::strerror(err);
        return IntegrityResult::Unreadable;
    }
    const auto stopped = [stop] { return stop && stop->load(); };
    unsigned char header[kHeaderSize];
    if (const int err = ReadAt(file, header, sizeof header, 0)) {
        error = "cannot read the header of " + hostPath + ": " + std::strerror(err);
        return IntegrityResult::Unreadable;
    }
    const ResourceHeader table = ReadResourceHeader(header + kIntegrityOffset);
    if (table.offset == 0 || table.sizeInWim == 0)
        return IntegrityResult::NoTable;
    const ResourceHeader blobs = ReadResourceHeader(header + kBlobTableOffset);
    const uint64_t end = blobs.offset + blobs.sizeInWim;
    if (table.sizeInWim < 12 || table.sizeInWim > (uint64_t{64} << 20) || end <= kHeaderSize) {
        error = "the integrity table of " + hostPath + " is malformed";
        return IntegrityResult::Corrupt;
    }
    std::vector<unsigned char> raw(table.sizeInWim);
    if (const int err = ReadAt(file, raw.data(), raw.size(), table.offset)) {
        error = "cannot read the integrity table of " + hostPath + ": " + std::strerror(err);
        return IntegrityResult::Unreadable;
    }
    const uint64_t entries = Le(raw.data() + 4, 4);
    const uint32_t chunk = static_cast<uint32_t>(Le(raw.data() + 8, 4));
    const uint64_t covered = end - kHeaderSize;
    if (chunk == 0 || chunk > kMaxChunk || 12 + entries * kDigestSize > raw.size() ||
        entries != (covered + chunk - 1) / chunk) {
        error = "the integrity table of " + hostPath + " is malformed";
        return IntegrityResult::Corrupt;
    }

    // Chunks are handed out one at a time to two workers, so that one held
    // up (a busy processor) leaves the rest to the other; the first failure
    // stops both.
    std::atomic<uint64_t> nextChunk{0};
    std::atomic<uint64_t> firstBad{UINT64_MAX};
    std::atomic<int> readError{0};
    // A chunk is read and hashed in pieces that stay in the processor cache
    // between the read and the hash.
    constexpr size_t kPiece = size_t{1} << 20;
    auto work = [&] {
        std::vector<unsigned char> buf(std::min<size_t>(chunk, kPiece));
        EVP_MD_CTX *ctx = EVP_MD_CTX_new();
        for (uint64_t i = nextChunk++; i < entries && firstBad.load() == UINT64_MAX && readError.load() == 0;
             i = nextChunk++) {
            if (stopped()) {
                readError = ECANCELED;
                break;
            }
            const uint64_t offset = kHeaderSize + i * chunk;
            const size_t size = static_cast<size_t>(std::min<uint64_t>(chunk, covered - i * chunk));
            bool hashed = ctx && EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr) == 1;
            for (size_t done = 0; done < size && hashed;) {
                const size_t n = std::min(buf.size(), size - done);
                if (const int err = ReadAt(file, buf.data(), n, offset + done)) {
                    readError = err;
                    break;
                }
                hashed = EVP_DigestUpdate(ctx, buf.data(), n) == 1;
                done += n;
            }
            if (readError.load() != 0)
                break;
            unsigned char digest[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            hashed = hashed && EVP_DigestFinal_ex(ctx, digest, &length) == 1 && length == kDigestSize;
            if (!hashed || std::memcmp(digest, raw.data() + 12 + i * kDigestSize, kDigestSize) != 0) {
                uint64_t expected = UINT64_MAX;
                firstBad.compare_exchange_strong(expected, i);
                break;
            }
        }
        EVP_MD_CTX_free(ctx);
    };
    {
        std::thread second(work);
        work();
        second.join();
    }
    if (readError.load() != 0) {
        error = "cannot read " + hostPath + ": " + std::strerror(readError.load());
        return IntegrityResult::Unreadable;
    }
    if (const uint64_t bad = firstBad.load(); bad != UINT64_MAX) {
        const uint64_t from = kHeaderSize + bad * chunk;
        error = "integrity check failed: chunk " + std::to_string(bad + 1) + " of " + std::to_string(entries) +
                " (bytes " + std::to_string(from) + " to " +
                std::to_string(from + std::min<uint64_t>(chunk, covered - bad * chunk) - 1) + ") of " + hostPath +
                " differs from its digest";
        return IntegrityResult::Corrupt;
    }
    return IntegrityResult::Intact;
#endif
}

} // namespace halcyon::support::courier
