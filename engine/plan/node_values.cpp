#include "engine/plan/node_values.h"

#include <cstdio>

namespace halcyon::plan {

void PrintConsole(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string ParseErrorLine(int32_t code, std::string_view suffix)
{
    std::string line = "ERROR: returned " + std::to_string(code) + " while parsing the IDF file";
    line += suffix;
    return line;
}

} // namespace halcyon::plan
