// Small helpers of the plan writers: reading IDF node attributes, writing
// plan keys, and the console/log lines the steps share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/plan/module_node.h"
#include "support/idf/xml_node.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// True and the value when the node has the attribute.
inline bool ReadAttribute(const support::CXMLNode &node, std::string_view name, std::string &value)
{
    return node.GetAttributeValue(name, value) == 0;
}
inline bool ReadAttribute(const ModuleNode &node, std::string_view name, std::string &value)
{
    return node.GetAttributeValue(name, value) == 0;
}
inline bool ReadAttribute(const NodeAttributes &node, std::string_view name, std::string &value)
{
    return node.GetAttributeValue(name, value) == 0;
}

// The node's TotalSize text: 0, 8 when the attribute is missing, 241 when
// it is empty.
template <typename Node>
int32_t ReadTotalSize(const Node &node, std::string &size)
{
    if (!ReadAttribute(node, "TotalSize", size))
        return 8;
    return size.empty() ? 241 : 0;
}

// Prints one line on the console.
void PrintConsole(std::string_view text);

// Writes one plan key. False when the store refuses the value because the
// plan file could not hold it (a line break in an IDF value); the console
// then names the section and key.
inline bool WriteKey(support::CMemoryIniIO &store, std::string_view section, std::string_view key,
                     std::string_view value)
{
    if (store.WriteString(section, key, value))
        return true;
    const bool lineBreak = value.find_first_of("\r\n") != std::string_view::npos;
    PrintConsole("ERROR: [" + std::string(section) + "] " + std::string(key) + " can not be written to the plan: " +
                 (lineBreak ? "its value holds a line break" : "the plan file cannot hold this section or key name"));
    return false;
}

// "ERROR: returned <code> while parsing the IDF file" (with `suffix`, e.g. ".").
std::string ParseErrorLine(int32_t code, std::string_view suffix = "");

} // namespace halcyon::plan
