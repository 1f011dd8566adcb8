#include "support/idf/string_list.h"

#include "platform/path_map.h"

namespace halcyon::support {

StringList1000::StringList1000() : slots_(std::make_unique<std::array<std::string, kSlots>>())
{
    (*slots_)[0] = kEnd;
}

StringList1000::StringList1000(const StringList1000 &other)
    : slots_(std::make_unique<std::array<std::string, kSlots>>(*other.slots_))
{
}

StringList1000 &StringList1000::operator=(const StringList1000 &other)
{
    if (this != &other) {
        if (!slots_)
            slots_ = std::make_unique<std::array<std::string, kSlots>>();
        *slots_ = *other.slots_;
    }
    return *this;
}

StringList1000 StringList1000::From(const std::vector<std::string> &entries)
{
    StringList1000 list;
    size_t n = 0;
    for (; n < entries.size() && n < kMaxEntries; ++n)
        list[n] = entries[n];
    list[n] = kEnd;
    return list;
}

size_t StringList1000::Count() const
{
    for (size_t i = 0; i < kSlots; ++i)
        if ((*slots_)[i] == kEnd)
            return i;
    return kSlots;
}

size_t StringList1000::CountNoCase() const
{
    for (size_t i = 0; i < kSlots; ++i)
        if (platform::EqualsNoCase((*slots_)[i], kEnd))
            return i;
    return kSlots;
}

std::vector<std::string> StringList1000::Entries() const
{
    size_t n = Count();
    return std::vector<std::string>(slots_->begin(), slots_->begin() + static_cast<std::ptrdiff_t>(n));
}

void StringList1000::Clear()
{
    ClearAll();
    (*slots_)[0] = kEnd;
}

void StringList1000::ClearAll()
{
    if (!slots_)
        slots_ = std::make_unique<std::array<std::string, kSlots>>();
    for (auto &s : *slots_)
        s.clear();
}

} // namespace halcyon::support
