// The pre-flight of a run (--check): everything that would stop it, looked
// at before anything is touched. It takes no lock and writes nothing in the
// machine, the target or the media (a plan it builds goes to a temporary
// folder that is removed again), and lists every problem at once.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace halcyon::cli {

class Options;

struct Preflight {
    std::vector<std::string> problems;
    std::vector<std::pair<std::string, std::string>> facts; // what was found: "idf", "os", "blid", ...

    // Prints "ready" or every problem (text, or one JSON object); the exit
    // status: 0 when ready, 1 otherwise.
    int Print(const std::string &command, bool json, std::FILE *out) const;
};

// What factory-run would need: the media (BOM, the IDF of the BOM, a plan
// made from them, its OS), the machine's BLID in the image's BLID list, the
// language of the BOM and the IDF, free space for the plan on the target's
// file system, and a machine that is free and not nested with the target or
// the media. `sampleMedia`: the run writes the media first (only what does
// not depend on them is checked when they are not there yet).
Preflight CheckFactoryRun(const std::filesystem::path &media, bool sampleMedia, const std::filesystem::path &machine,
                          const std::filesystem::path &target);

// The same for recovery-run: every medium a recovery medium (told by its
// marker), numbered without gaps, the first one with its IDF, the language
// asked for among those the IDF names, free space and a free machine.
Preflight CheckRecoveryRun(const std::vector<std::string> &media, const std::string &language,
                           const std::filesystem::path &machine, const std::filesystem::path &target);

// "factory-run --check" and "recovery-run --check": the run's places
// resolved as the run would (recorded target and media included), checked,
// printed; the exit status. `media`: the recovery media given.
int CheckFactoryRunCommand(const Options &o);
int CheckRecoveryRunCommand(const Options &o, std::vector<std::string> media);

} // namespace halcyon::cli
