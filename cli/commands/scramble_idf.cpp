// halcyon idf-scramble: scrambles a plain IDF or unscrambles a scrambled one
// (ScrambleIdf). The input file is never changed.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

namespace {

constexpr uint64_t kOptionScramble = 0x40000;

const char *Meaning(int32_t rc)
{
    switch (rc) {
    case 78: return "the input is already scrambled";
    case 79: return "the input is not a scrambled IDF";
    case 80: return "the output file cannot be written (or is the input file)";
    case 81: return "the input file cannot be read";
    case 82: return "the input file is empty or too large";
    case 84: case 85: case 86: case 87: return "a file could not be checked after writing";
    case 88: return "the output's size differs from the input's";
    default: return "";
    }
}

int Run(const Args &args)
{
    const Command &cmd = *FindCommand("idf-scramble");
    Options o(args, {"unscramble"});
    if (o.Positional().size() != 2)
        return UsageError(cmd, "an input and an output file are required");
    const std::string &in = o.Positional()[0], &out = o.Positional()[1];
    const bool unscramble = o.Has("unscramble");
    int32_t rc = ScrambleIdf(in.c_str(), out.c_str(), unscramble ? 0 : kOptionScramble);
    if (rc != 0)
        return VerbFailed(cmd, "ScrambleIdf", rc, Meaning(rc));
    std::printf("%s %s into %s\n", unscramble ? "Unscrambled" : "Scrambled", in.c_str(), out.c_str());
    return 0;
}

const CommandRegistration registration(
    "idf-scramble", "scramble a plain IDF, or unscramble one with --unscramble (ScrambleIdf)",
    "halcyon idf-scramble IN OUT [--unscramble]", Run);

} // namespace

} // namespace halcyon::cli
