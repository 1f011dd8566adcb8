#include "engine/frame/console_echo.h"

#include "platform/environment.h"

namespace halcyon {

std::FILE *EchoStream()
{
    const auto choice = platform::GetEnvironmentVariable("HALCYON_ECHO");
    if (!choice || choice->empty() || *choice == "stdout")
        return stdout;
    if (*choice == "stderr")
        return stderr;
    if (*choice == "off")
        return nullptr;
    return stdout; // an unknown word keeps the default
}

void EchoLine(std::string_view text)
{
    std::FILE *out = EchoStream();
    if (!out)
        return;
    std::fwrite(text.data(), 1, text.size(), out);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', out);
    std::fflush(out);
}

} // namespace halcyon
