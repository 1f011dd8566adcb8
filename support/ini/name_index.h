// NameIndex: an open-addressing hash table of 32-bit ids, for the INI
// store's names. The table keeps each id's hash; callers hash the name and
// say, through a match function, whether an id is the one they look for.
// Removed ids leave a marker until the table next grows.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Hash of a name without regard to (ASCII) case.
inline uint32_t HashNoCase(std::string_view s)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c + ('a' - 'A'));
        h = (h ^ c) * 16777619u;
    }
    return h ^ (h >> 15);
}

// Hash of a name as written.
inline uint32_t HashExact(std::string_view s)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : s)
        h = (h ^ c) * 16777619u;
    return h ^ (h >> 15);
}

// Equality without regard to (ASCII) case.
inline bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) {
            if (x >= 'A' && x <= 'Z')
                x = static_cast<unsigned char>(x + ('a' - 'A'));
            if (y >= 'A' && y <= 'Z')
                y = static_cast<unsigned char>(y + ('a' - 'A'));
            if (x != y)
                return false;
        }
    }
    return true;
}

} // namespace halcyon::support
