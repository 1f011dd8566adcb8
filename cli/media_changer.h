// Media folders shown to the engine one at a time, the way a drive shows the
// disc put into it: a symbolic link in a private temporary folder takes the
// place of the drive and is switched to the folder of the medium asked for.
// Where the host makes no such link (Windows without the right to, Wine),
// the drive is the place of the first medium put in, and a later medium is
// taken only from that same place: a disc drive whose disc the operator
// swapped.
#pragma once

#include <string>
#include <vector>

#include "platform/non_copyable.h"

namespace halcyon::cli {

class MediaChanger : NonCopyable {
public:
    // `dirs`: medium n is dirs[n-1]; an empty entry is a medium not at hand.
    explicit MediaChanger(std::vector<std::string> dirs);
    ~MediaChanger();

    bool Ready() const { return !folder_.empty(); }
    // The drive: the folder the engine reads the medium from.
    std::string Drive() const { return fixed_.empty() ? folder_ + "/drive" : fixed_; }

    // Puts medium `n` (1-based) in the drive. False when there is no such
    // medium, or when it was put in already and the engine still asks.
    bool Insert(size_t n);
    // Puts the folder `dir` in the drive as medium `n` (a medium named at the
    // prompt) and keeps it as that medium.
    bool InsertFolder(size_t n, const std::string &dir);
    size_t Current() const { return current_; }

private:
    std::vector<std::string> dirs_;
    std::string folder_;
    std::string fixed_; // the drive, when it cannot be switched
    size_t current_ = 0;
};

} // namespace halcyon::cli
