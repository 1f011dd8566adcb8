// ModuleNode: an IDF module node as the module writer reads it, straight
// from the parsed document (no copy of its attributes), with the few
// attributes the preparation passes add or change kept beside it. Reads
// answer as a copied node (support::CXMLNode) would: names without regard to
// (ASCII) case, and of attributes named alike the last one's value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace halcyon::plan {

class ModuleNode {
public:
    ModuleNode() = default;
    explicit ModuleNode(pugi::xml_node node) : node_(node) {}

    // The value, or null when the node has no such attribute. Valid until
    // the attribute is changed.
    const char *Find(std::string_view name) const;
    // 0 and the value when the attribute exists; IDF_ATTRIBUTE_NOT_FOUND
    // (value emptied) otherwise.
    int32_t GetAttributeValue(std::string_view name, std::string &value) const;
    bool HasAttribute(std::string_view name) const { return Find(name) != nullptr; }
    // Adds or replaces an attribute. `name` must stay valid as long as the
    // node (the passes give literals). Returns 0.
    int32_t AddAttribute(const char *name, std::string_view value);
    int32_t UpdateAttribute(const char *name, std::string_view value) { return AddAttribute(name, value); }

private:
    struct Change {
        const char *name = nullptr;
        std::string value;
    };
    Change *FindChange(std::string_view name);
    const Change *FindChange(std::string_view name) const;

    pugi::xml_node node_;
    std::array<Change, 3> changes_; // the passes change three attributes
    uint8_t changeCount_ = 0;
    std::vector<Change> moreChanges_;
};

} // namespace halcyon::plan
