// ModuleNode: an IDF module node as the module writer reads it, straight
// from the parsed document (no copy of its attributes), with the few
// attributes the preparation passes add or change kept beside it. Reads
// answer as a copied node (support::CXMLNode) would: names without regard to
// (ASCII) case, and of attributes named alike the last one's value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

namespace halcyon::plan {

// The values the passes set, each kept once for all the nodes of a run.
class ModuleValues {
public:
    const char *Keep(std::string_view value) { return values_.emplace(value).first->c_str(); }

private:
    std::unordered_set<std::string> values_; // elements never move
};

class ModuleNode {
public:
    // `values` holds what the passes set and outlives the node. The
    // attributes the passes ask for of every node are found here, in one
    // walk in document order.
    ModuleNode(pugi::xml_node node, ModuleValues &values);

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

    // Asks the processor to start loading the node's attributes (records
    // and text), for a reader that will come to it shortly.
    void Prefetch() const;
    // The same for the values of the attributes every pass reads.
    void PrefetchKnown() const
    {
        for (const char *v : known_)
            if (v)
                __builtin_prefetch(v);
    }

    // Calls fn(name, value) for each attribute the node answers with, in
    // an order where a later one wins over an earlier one of the same name.
    template <typename Fn> void ForEachAttribute(Fn &&fn) const
    {
        for (pugi::xml_attribute a = node_.first_attribute(); a; a = a.next_attribute())
            fn(a.name(), a.value());
        for (uint8_t i = 0; i < changeCount_; ++i)
            fn(changes_[i].name, changes_[i].value);
        if (moreChanges_)
            for (const Change &c : *moreChanges_)
                fn(c.name, c.value);
    }

private:
    struct Change {
        const char *name = nullptr;
        const char *value = nullptr; // kept by values_
    };
    Change *FindChange(std::string_view name);
    const Change *FindChange(std::string_view name) const;

    // The attributes looked up in every pass, in the order of kKnown.
    static constexpr std::array<std::string_view, 6> kKnown = {"moduleType",       "InstallerType", "VerificationPath",
                                                               "rebootSetting",    "OS",            "InstallOrderIndex"};

    pugi::xml_node node_;
    ModuleValues *values_;
    std::array<const char *, kKnown.size()> known_{}; // null when absent
    // Where the attribute records and their text lie (spans capped).
    const char *records_ = nullptr;
    const char *text_ = nullptr;
    uint32_t recordBytes_ = 0;
    uint32_t textBytes_ = 0;
    std::array<Change, 3> changes_; // the passes change three attributes
    uint8_t changeCount_ = 0;
    std::unique_ptr<std::vector<Change>> moreChanges_;
};

// A module node's attributes gathered once, for a reader that asks for many
// of them (the module printer): same answers as the node, found without
// walking the document for each.
class NodeAttributes {
public:
    explicit NodeAttributes(const ModuleNode &node);

    const char *Find(std::string_view name) const;
    int32_t GetAttributeValue(std::string_view name, std::string &value) const;

private:
    struct Attribute {
        const char *name;
        const char *value;
        uint32_t hash; // of the name, without regard to case
    };
    std::vector<Attribute> attributes_; // later ones win
};

} // namespace halcyon::plan
