#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace halcyon::cli {

namespace {

bool jsonRequested = false;

bool OptionChar(char c)
{
    return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '-';
}

// Edit distance, for suggesting the option meant.
size_t Distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

UsageOptions OptionsOf(const Command &cmd)
{
    UsageOptions found;
    const std::string &u = cmd.usage;
    for (size_t at = u.find("--"); at != std::string::npos; at = u.find("--", at + 2)) {
        if (at > 0 && u[at - 1] != ' ' && u[at - 1] != '[' && u[at - 1] != '(' && u[at - 1] != '|')
            continue;
        size_t end = at + 2;
        while (end < u.size() && OptionChar(u[end]))
            ++end;
        if (end == at + 2)
            continue;
        const std::string name = u.substr(at, end - at);
        found.names.insert(name);
        if (end + 1 < u.size() && u[end] == ' ' && std::isupper(static_cast<unsigned char>(u[end + 1])))
            found.withValue.insert(name);
    }
    return found;
}

std::string UnknownOption(const Command &cmd, const Args &args)
{
    const UsageOptions known = OptionsOf(cmd);
    // A command that shows no "--name" option reads its arguments in a
    // syntax of its own ("reg add KEY /d --text").
    if (known.names.empty())
        return {};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--")
            break;
        if (a.size() <= 2 || a.compare(0, 2, "--") != 0)
            continue;
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (known.names.count(name) || name == "--help") {
            if (eq == std::string::npos && known.withValue.count(name))
                ++i; // its value, whatever it looks like
            continue;
        }
        std::string message = "unknown option " + name;
        std::string nearest;
        size_t best = 3; // farther than two edits is no suggestion
        for (const auto &n : known.names) {
            // A shortened name counts as one edit away.
            const size_t d = n.compare(0, name.size(), name) == 0 ? 1 : Distance(name, n);
            if (d < best) {
                best = d;
                nearest = n;
            }
        }
        if (!nearest.empty())
            message += " (did you mean " + nearest + "?)";
        return message;
    }
    return {};
}

void SetJsonRequested(const Args &args)
{
    jsonRequested = false;
    for (const auto &a : args) {
        if (a == "--")
            break;
        if (a == "--json")
            jsonRequested = true;
    }
}

bool JsonRequested() { return jsonRequested; }

} // namespace halcyon::cli
