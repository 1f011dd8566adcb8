#include "engine/plan/module_node.h"

#include "support/idf/idf_result.h"

namespace halcyon::plan {

namespace {

// `a` (NUL-terminated) equals `b` without regard to (ASCII) case.
bool NameIs(const char *a, std::string_view b)
{
    size_t i = 0;
    for (; i < b.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x == 0)
            return false;
        if (x != y) {
            if (x >= 'A' && x <= 'Z')
                x = static_cast<unsigned char>(x + ('a' - 'A'));
            if (y >= 'A' && y <= 'Z')
                y = static_cast<unsigned char>(y + ('a' - 'A'));
            if (x != y)
                return false;
        }
    }
    return a[i] == 0;
}

} // namespace

const ModuleNode::Change *ModuleNode::FindChange(std::string_view name) const
{
    for (uint8_t i = 0; i < changeCount_; ++i)
        if (NameIs(changes_[i].name, name))
            return &changes_[i];
    for (const Change &c : moreChanges_)
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
        return c->value.c_str();
    // From the end: of attributes named alike, the last one's value counts.
    for (pugi::xml_attribute a = node_.last_attribute(); a; a = a.previous_attribute())
        if (NameIs(a.name(), name))
            return a.value();
    return nullptr;
}

int32_t ModuleNode::GetAttributeValue(std::string_view name, std::string &value) const
{
    if (const char *v = Find(name)) {
        value.assign(v);
        return support::IDF_OK;
    }
    value.clear();
    return support::IDF_ATTRIBUTE_NOT_FOUND;
}

int32_t ModuleNode::AddAttribute(const char *name, std::string_view value)
{
    if (Change *c = FindChange(name)) {
        c->value.assign(value);
    } else if (changeCount_ < changes_.size()) {
        changes_[changeCount_].name = name;
        changes_[changeCount_].value.assign(value);
        ++changeCount_;
    } else {
        moreChanges_.push_back(Change{name, std::string(value)});
    }
    return support::IDF_OK;
}

} // namespace halcyon::plan
