#include "engine/plan/module_node.h"


#include "support/idf/idf_result.h"
#include "support/ini/name_index.h"

namespace halcyon::plan {

namespace {

// `a` (NUL-terminated) equals `b` without regard to (ASCII) case.
bool NameIs(const char *a, std::string_view b)
{
    size_t i = 0;
    for (; i < b.size(); ++i) {
        if (a[i] == 0 || !support::SameCharNoCase(a[i], b[i]))
            return false;
    }
    return a[i] == 0;
}

// The attribute's value when `v` is one, else a cleared value and
// IDF_ATTRIBUTE_NOT_FOUND.
int32_t ValueOf(const char *v, std::string &value)
{
    if (v) {
        value.assign(v);
        return support::IDF_OK;
    }
    value.clear();
    return support::IDF_ATTRIBUTE_NOT_FOUND;
}

// The bytes from `first` to `last` plus a little, when that is a plausible
// span of one node's attributes (the parser lays them out together).
uint32_t Span(const void *first, const void *last)
{
    constexpr ptrdiff_t kMax = 4096;
    ptrdiff_t d = static_cast<const char *>(last) - static_cast<const char *>(first);
    return d < 0 || d > kMax ? 0 : static_cast<uint32_t>(d + 64);
}

} // namespace

ModuleNode::ModuleNode(pugi::xml_node node, ModuleValues &values) : node_(node), values_(&values)
{
    pugi::xml_attribute last;
    for (pugi::xml_attribute a = node_.first_attribute(); a; a = a.next_attribute()) {
        const char *name = a.name();
        for (size_t k = 0; k < kKnown.size(); ++k)
            if (NameIs(name, kKnown[k]))
                known_[k] = a.value(); // of attributes named alike, the last one counts
        last = a;
    }
    if (pugi::xml_attribute first = node_.first_attribute()) {
        records_ = reinterpret_cast<const char *>(first.internal_object());
        recordBytes_ = Span(records_, last.internal_object());
        text_ = first.name();
        textBytes_ = Span(text_, last.value());
    }
}

void ModuleNode::Prefetch() const
{
    for (uint32_t at = 0; at < recordBytes_; at += 64)
        __builtin_prefetch(records_ + at);
    for (uint32_t at = 0; at < textBytes_; at += 64)
        __builtin_prefetch(text_ + at);
}

const ModuleNode::Change *ModuleNode::FindChange(std::string_view name) const
{
    for (uint8_t i = 0; i < changeCount_; ++i)
        if (NameIs(changes_[i].name, name))
            return &changes_[i];
    if (moreChanges_)
        for (const Change &c : *moreChanges_)
            if (NameIs(c.name, name))
                return &c;
    return nullptr;
}

ModuleNode::Change *ModuleNode::FindChange(std::string_view name)
{
    return const_cast<Change *>(static_cast<const ModuleNode *>(this)->FindChange(name));
}

const char *ModuleNode::Find(std::string_view name) const
{
    if (const Change *c = FindChange(name))
        return c->value;
    for (size_t k = 0; k < kKnown.size(); ++k)
        if (support::SameNoCase(kKnown[k], name))
            return known_[k];
    // From the end: of attributes named alike, the last one's value counts.
    for (pugi::xml_attribute a = node_.last_attribute(); a; a = a.previous_attribute())
        if (NameIs(a.name(), name))
            return a.value();
    return nullptr;
}

int32_t ModuleNode::GetAttributeValue(std::string_view name, std::string &value) const
{
    return ValueOf(Find(name), value);
}

int32_t ModuleNode::AddAttribute(const char *name, std::string_view value)
{
    const char *kept = values_->Keep(value);
    if (Change *c = FindChange(name)) {
        c->value = kept;
    } else if (changeCount_ < changes_.size()) {
        changes_[changeCount_] = Change{name, kept};
        ++changeCount_;
    } else {
        if (!moreChanges_)
            moreChanges_ = std::make_unique<std::vector<Change>>();
        moreChanges_->push_back(Change{name, kept});
    }
    return support::IDF_OK;
}

NodeAttributes::NodeAttributes(const ModuleNode &node)
{
    attributes_.reserve(32);
    node.ForEachAttribute([&](const char *name, const char *value) {
        attributes_.push_back(Attribute{name, value, support::HashNoCase(name)});
    });
}

const char *NodeAttributes::Find(std::string_view name) const
{
    const uint32_t hash = support::HashNoCase(name);
    for (size_t i = attributes_.size(); i-- > 0;) {
        const Attribute &a = attributes_[i];
        if (a.hash == hash && NameIs(a.name, name))
            return a.value;
    }
    return nullptr;
}

int32_t NodeAttributes::GetAttributeValue(std::string_view name, std::string &value) const
{
    return ValueOf(Find(name), value);
}

} // namespace halcyon::plan
