// NameIndex: an open-addressing hash table of 32-bit ids, for the INI
// store's names. The table keeps each id's hash; callers hash the name and
// say, through a match function, whether an id is the one they look for.
// Removed ids leave a marker until the table next grows.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace halcyon::support {

class NameIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    // The first id with `hash` for which match(id) holds, or kNone.
    template <typename Match> uint32_t Find(uint32_t hash, Match &&match) const
    {
        if (slots_.empty())
            return kNone;
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot &s = slots_[i];
            if (s.id == kNone)
                return kNone;
            if (s.id != kRemoved && s.hash == hash && match(s.id))
                return s.id;
        }
    }

    void Insert(uint32_t hash, uint32_t id)
    {
        if ((used_ + 1) * 2 > slots_.size())
            Grow();
        const size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        while (slots_[i].id != kNone)
            i = (i + 1) & mask;
        slots_[i] = Slot{hash, id};
        ++used_;
        ++live_;
    }

    // Removes `id` (stored with `hash`); false when it is not there.
    bool Remove(uint32_t hash, uint32_t id)
    {
        if (slots_.empty())
            return false;
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot &s = slots_[i];
            if (s.id == kNone)
                return false;
            if (s.id == id) {
                s.id = kRemoved;
                --live_;
                return true;
            }
        }
    }

    void Clear()
    {
        slots_.clear();
        used_ = 0;
        live_ = 0;
    }
    size_t Size() const { return live_; }

private:
    static constexpr uint32_t kRemoved = UINT32_MAX - 1;
    struct Slot {
        uint32_t hash = 0;
        uint32_t id = kNone;
    };

    void Grow()
    {
        size_t size = 16;
        while ((live_ + 1) * 2 > size)
            size *= 2;
        // Doubles when full of live ids; else only sweeps the markers out.
        if (size <= slots_.size() && live_ * 4 > slots_.size())
            size = slots_.size() * 2;
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(size, Slot{});
        used_ = 0;
        live_ = 0;
        for (const Slot &s : old)
            if (s.id != kNone && s.id != kRemoved)
                Insert(s.hash, s.id);
    }

    std::vector<Slot> slots_;
    size_t used_ = 0; // live ids and markers
    size_t live_ = 0;
};

namespace detail {

// Eight bytes at a time; the last piece padded with zeros, the length mixed
// in. `lower` turns ASCII capitals into small letters first (in all eight
// bytes at once).
inline uint32_t HashPieces(std::string_view s, bool lower)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    for (size_t at = 0; at < s.size(); at += 8) {
        uint64_t x = 0;
        std::memcpy(&x, s.data() + at, std::min<size_t>(8, s.size() - at));
        if (lower) {
            const uint64_t low7 = x & ~kHigh;
            const uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
            const uint64_t pastZ = low7 + (0x80 - 'Z' - 1) * kOnes;
            x |= (atLeastA & ~pastZ & ~x & kHigh) >> 2;
        }
        h = (h ^ x) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    h *= 0xC4CEB9FE1A85EC53ull;
    return static_cast<uint32_t>(h >> 32);
}

} // namespace detail

// Hash of a name without regard to (ASCII) case.
inline uint32_t HashNoCase(std::string_view s) { return detail::HashPieces(s, true); }

// Hash of a name as written.
inline uint32_t HashExact(std::string_view s) { return detail::HashPieces(s, false); }

// Equality of two characters without regard to (ASCII) case.
inline bool SameCharNoCase(char a, char b)
{
    unsigned char x = static_cast<unsigned char>(a), y = static_cast<unsigned char>(b);
    if (x == y)
        return true;
    if (x >= 'A' && x <= 'Z')
        x = static_cast<unsigned char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z')
        y = static_cast<unsigned char>(y + ('a' - 'A'));
    return x == y;
}

// Equality without regard to (ASCII) case.
inline bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameCharNoCase(a[i], b[i]))
            return false;
    return true;
}

} // namespace halcyon::support
