// Lines of the text files the platform reads (profiles, .reg files).
#pragma once

#include <string_view>

namespace halcyon::platform {

// `line` without the blanks (spaces, tabs) around it and a carriage return
// left at its end.
inline std::string_view TrimLine(std::string_view line)
{
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

} // namespace halcyon::platform
