// CXMLNode and CXMLNodeList: copies of IDF elements handed out by the IDF
// queries. A node is an element name with its attributes in document order;
// attribute names are looked up without regard to (ASCII) case, values are
// kept as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halcyon::support {

class CXMLNode {
public:
    CXMLNode() = default;
    explicit CXMLNode(std::string name) : name_(std::move(name)) {}
    ~CXMLNode() = default;
    CXMLNode(const CXMLNode &) = default;
    CXMLNode &operator=(const CXMLNode &) = default;
    CXMLNode(CXMLNode &&) noexcept = default;
    CXMLNode &operator=(CXMLNode &&) noexcept = default;

    const std::string &GetName() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // 0 and the value when the attribute exists; IDF_ATTRIBUTE_NOT_FOUND
    // (value emptied) otherwise.
    int32_t GetAttributeValue(std::string_view name, std::string &value) const;
    bool HasAttribute(std::string_view name) const;
    // Adds the attribute at the end, or replaces the value of an existing
    // one with that name (keeping its position and spelling). Returns 0.
    int32_t AddAttribute(std::string_view name, std::string_view value);
    // Same effect as AddAttribute; the name the plan writers use for a
    // change of a value they read before. Returns 0.
    int32_t UpdateAttribute(std::string_view name, std::string_view value);
    // Adds or replaces each of `other`'s attributes (UpdateAttribute).
    void UpdateNode(const CXMLNode &other);
    // Removes the name and every attribute.
    void Reset();

    size_t GetNumAttributes() const { return attributes_.size(); }
    const std::vector<std::pair<std::string, std::string>> &Attributes() const { return attributes_; }

    // One line: `Name Attr1="value" Attr2="value"`.
    std::string ToText() const;

private:
    std::pair<std::string, std::string> *Find(std::string_view name);
    const std::pair<std::string, std::string> *Find(std::string_view name) const;

    std::string name_;
    std::vector<std::pair<std::string, std::string>> attributes_;
};

class CXMLNodeList {
public:
    CXMLNodeList() = default;
    ~CXMLNodeList() = default;
    CXMLNodeList(const CXMLNodeList &) = default;
    CXMLNodeList &operator=(const CXMLNodeList &) = default;
    CXMLNodeList(CXMLNodeList &&) noexcept = default;
    CXMLNodeList &operator=(CXMLNodeList &&) noexcept = default;

    int32_t GetNumNodes() const { return static_cast<int32_t>(nodes_.size()); }
    bool IsEmpty() const { return nodes_.empty(); }
    // 0 and a copy of node `index`; IDF_INDEX_OUT_OF_RANGE (node reset)
    // when there is no such node.
    int32_t GetNode(int32_t index, CXMLNode &node) const;
    // Replaces node `index` with `node`; IDF_INDEX_OUT_OF_RANGE when there
    // is no such node.
    int32_t UpdateNode(int32_t index, const CXMLNode &node);
    void AddNode(CXMLNode node) { nodes_.push_back(std::move(node)); }
    void Reset() { nodes_.clear(); }
    const std::vector<CXMLNode> &Nodes() const { return nodes_; }

    // Prints each node as one line (CXMLNode::ToText) to `out` (the
    // console by default).
    void PrintListPC(std::FILE *out = stdout) const;

private:
    std::vector<CXMLNode> nodes_;
};

} // namespace halcyon::support
