#include "engine/plan/node_values.h"

#include <cstdio>

#include "engine/frame/console_echo.h"

namespace halcyon::plan {

void PrintConsole(std::string_view text)
{
    EchoLine(text);
}

std::string ParseErrorLine(int32_t code, std::string_view suffix)
{
    std::string line = "ERROR: returned " + std::to_string(code) + " while parsing the IDF file";
    line += suffix;
    return line;
}

} // namespace halcyon::plan
