// StringList1000: the fixed list the plan builders and the IDF queries pass
// between them. 1000 slots; the used part ends with the entry "NULL", so at
// most 999 real entries fit. A fresh list holds "NULL" in its first slot and
// empty text in the others.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon::support {

class StringList1000 {
public:
    static constexpr size_t kSlots = 1000;
    static constexpr size_t kMaxEntries = 999;
    static constexpr std::string_view kEnd = "NULL";

    StringList1000();
    StringList1000(const StringList1000 &other);
    StringList1000 &operator=(const StringList1000 &other);
    StringList1000(StringList1000 &&) noexcept = default;
    StringList1000 &operator=(StringList1000 &&) noexcept = default;
    ~StringList1000() = default;

    // Builds a list from `entries` followed by "NULL" (at most 999 are taken).
    static StringList1000 From(const std::vector<std::string> &entries);

    // Slot access; `index` must be below kSlots (at() checks and throws).
    std::string &operator[](size_t index) { return (*slots_)[index]; }
    const std::string &operator[](size_t index) const { return (*slots_)[index]; }
    std::string &at(size_t index) { return slots_->at(index); }
    const std::string &at(size_t index) const { return slots_->at(index); }
    static constexpr size_t size() { return kSlots; }

    // Entries before the first slot equal to "NULL" (case-sensitive, or
    // without regard to case); kSlots when no slot holds it.
    size_t Count() const;
    size_t CountNoCase() const;
    // The entries before the first "NULL" (case-sensitive).
    std::vector<std::string> Entries() const;

    // Empties every slot and puts "NULL" in the first (an empty list).
    void Clear();
    // Empties every slot, without an end mark (a value list).
    void ClearAll();

private:
    std::unique_ptr<std::array<std::string, kSlots>> slots_;
};

// True when `text` is the list end mark "NULL" (case-sensitive).
inline bool IsListEnd(std::string_view text) { return text == StringList1000::kEnd; }

} // namespace halcyon::support
