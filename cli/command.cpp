#include "cli/command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/failure_reason.h"
#include "cli/options.h"

namespace halcyon::cli {

namespace {
std::vector<Command> &Registry()
{
    static std::vector<Command> commands;
    return commands;
}
} // namespace

CommandRegistration::CommandRegistration(std::string name, std::string summary, std::string usage, CommandFn run)
{
    Registry().push_back(Command{std::move(name), std::move(summary), std::move(usage), run});
}

const std::vector<Command> &Commands()
{
    auto &all = Registry();
    std::sort(all.begin(), all.end(), [](const Command &a, const Command &b) { return a.name < b.name; });
    return all;
}

const Command *FindCommand(std::string_view name)
{
    for (const auto &c : Registry())
        if (c.name == name)
            return &c;
    return nullptr;
}

Options::Options(const Args &args, std::vector<std::string> flagNames)
{
    auto isFlag = [&](const std::string &n) { return std::find(flagNames.begin(), flagNames.end(), n) != flagNames.end(); };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a.substr(2);
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                values_.emplace_back(name.substr(0, eq), name.substr(eq + 1));
            } else if (isFlag(name)) {
                flags_.push_back(name);
            } else if (i + 1 < args.size()) {
                values_.emplace_back(name, args[++i]);
            } else {
                flags_.push_back(name);
            }
        } else {
            positional_.push_back(a);
        }
    }
}

std::optional<std::string> Options::Get(std::string_view name) const
{
    for (auto it = values_.rbegin(); it != values_.rend(); ++it)
        if (it->first == name)
            return it->second;
    return std::nullopt;
}

std::string Options::GetOr(std::string_view name, std::string fallback) const
{
    auto v = Get(name);
    return v ? *v : fallback;
}

unsigned long long Options::GetNumber(std::string_view name, unsigned long long fallback, bool *ok) const
{
    if (ok)
        *ok = true;
    auto v = Get(name);
    if (!v)
        return fallback;
    char *end = nullptr;
    unsigned long long n = std::strtoull(v->c_str(), &end, 0);
    if (v->empty() || (end && *end != '\0')) {
        if (ok)
            *ok = false;
        return fallback;
    }
    return n;
}

std::optional<unsigned long long> Options::Number(std::string_view name, unsigned long long fallback) const
{
    bool ok = true;
    const unsigned long long n = GetNumber(name, fallback, &ok);
    if (!ok)
        return std::nullopt;
    return n;
}

bool Options::Has(std::string_view flag) const
{
    return std::find(flags_.begin(), flags_.end(), flag) != flags_.end();
}

int UsageError(const Command &cmd, std::string_view message)
{
    std::fprintf(stderr, "halcyon %s: %.*s\nusage: %s\n", cmd.name.c_str(), static_cast<int>(message.size()),
                 message.data(), cmd.usage.c_str());
    if (JsonRequested()) {
        std::string text;
        for (char c : message) {
            if (c == '"' || c == '\\')
                text += '\\';
            text += c;
        }
        std::printf("{\"schemaVersion\":%d,\"result\":2,\"error\":\"%s\"}\n", kJsonSchemaVersion, text.c_str());
    }
    return 2;
}

int ReadNumbers(const Command &cmd, const Options &o,
                std::initializer_list<std::pair<const char *, uint64_t *>> numbers)
{
    for (const auto &[name, value] : numbers) {
        const auto number = o.Number(name, *value);
        if (!number)
            return UsageError(cmd, "--" + std::string(name) + " takes a number");
        *value = *number;
    }
    return 0;
}

int RefusePositional(const Command &cmd, const Options &o)
{
    if (o.Positional().empty())
        return 0;
    return UsageError(cmd, "unexpected argument " + o.Positional().front());
}

int VerbResult(const char *verb, int64_t code, const char *done)
{
    if (code == 0) {
        std::printf("%s\n", done);
        return 0;
    }
    std::fprintf(stderr, "%s returned %s\n", verb, CodeText(code).c_str());
    return 1;
}

int VerbFailed(const Command &cmd, const char *verb, int64_t code, const std::string &why)
{
    std::fprintf(stderr, "halcyon %s: %s returned %lld%s%s\n", cmd.name.c_str(), verb, static_cast<long long>(code),
                 why.empty() ? "" : ": ", why.c_str());
    return 1;
}

} // namespace halcyon::cli
