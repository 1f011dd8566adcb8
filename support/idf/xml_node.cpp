#include "support/idf/xml_node.h"

#include "platform/path_map.h"
#include "support/idf/idf_result.h"

namespace halcyon::support {

std::pair<std::string, std::string> *CXMLNode::Find(std::string_view name)
{
    for (auto &a : attributes_)
        if (platform::EqualsNoCase(a.first, name))
            return &a;
    return nullptr;
}

const std::pair<std::string, std::string> *CXMLNode::Find(std::string_view name) const
{
    for (const auto &a : attributes_)
        if (platform::EqualsNoCase(a.first, name))
            return &a;
    return nullptr;
}

int32_t CXMLNode::GetAttributeValue(std::string_view name, std::string &value) const
{
    if (const auto *a = Find(name)) {
        value = a->second;
        return IDF_OK;
    }
    value.clear();
    return IDF_ATTRIBUTE_NOT_FOUND;
}

bool CXMLNode::HasAttribute(std::string_view name) const { return Find(name) != nullptr; }

int32_t CXMLNode::AddAttribute(std::string_view name, std::string_view value)
{
    if (auto *a = Find(name))
        a->second.assign(value);
    else
        attributes_.emplace_back(std::string(name), std::string(value));
    return IDF_OK;
}

int32_t CXMLNode::UpdateAttribute(std::string_view name, std::string_view value) { return AddAttribute(name, value); }

void CXMLNode::UpdateNode(const CXMLNode &other)
{
    for (const auto &a : other.attributes_)
        AddAttribute(a.first, a.second);
}

void CXMLNode::Reset()
{
    name_.clear();
    attributes_.clear();
}

std::string CXMLNode::ToText() const
{
    std::string out = name_;
    for (const auto &a : attributes_) {
        if (!out.empty())
            out += ' ';
        out += a.first;
        out += "=\"";
        out += a.second;
        out += '"';
    }
    return out;
}

int32_t CXMLNodeList::GetNode(int32_t index, CXMLNode &node) const
{
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) {
        node.Reset();
        return IDF_INDEX_OUT_OF_RANGE;
    }
    node = nodes_[static_cast<size_t>(index)];
    return IDF_OK;
}

int32_t CXMLNodeList::UpdateNode(int32_t index, const CXMLNode &node)
{
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size())
        return IDF_INDEX_OUT_OF_RANGE;
    nodes_[static_cast<size_t>(index)] = node;
    return IDF_OK;
}

void CXMLNodeList::PrintListPC(std::FILE *out) const
{
    if (!out)
        return;
    for (const auto &n : nodes_)
        std::fprintf(out, "  %s\n", n.ToText().c_str());
    std::fflush(out);
}

} // namespace halcyon::support
