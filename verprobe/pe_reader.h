// Reader of the version resource of Windows PE files (32- and 64-bit). Every
// offset and size taken from the file is checked against the file before it
// is used; a file that is not PE, or is truncated or malformed, simply has
// no version resource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/host_file.h"

namespace halcyon::verprobe {

// Random-access bytes: a file on disk or a buffer in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `n` bytes at `offset`; false when they are not all there.
    virtual bool Read(uint64_t offset, void *out, size_t n) const = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void *out, size_t n) const override;

private:
    const uint8_t *data_;
    size_t size_;
};

// A regular file opened read-only; `ok()` false when it cannot be opened.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string &hostPath) : file_(hostPath) {}
    bool ok() const { return file_.ok(); }
    uint64_t Size() const override { return file_.Size(); }
    bool Read(uint64_t offset, void *out, size_t n) const override { return file_.ReadAt(offset, out, n); }

private:
    platform::ReadOnlyFile file_;
};

// Largest version resource accepted (real ones are a few kilobytes).
constexpr uint32_t kMaxVersionResourceSize = 1u << 20;

// The bytes of the file's version resource (resource type 16, name 1 when
// present, else the first name; the first language), or nothing.
std::optional<std::vector<uint8_t>> FindVersionResource(const ByteSource &file);

} // namespace halcyon::verprobe
