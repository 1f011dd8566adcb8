// The symbolic-link escape check shared by the verbs that delete, create or
// copy below a root: each component of a path the verb joins below its root
// is replaced in turn by a link to a canary folder (holding a copy of what
// was there, so that following the link would work), and the verb must
// either fail or keep the link as a link, never change the canary (not even
// rewrite it with the same bytes) nor copy it out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace halcyon::test {

struct LinkEscapeRow {
    std::string name;      // the verb and the side, for messages
    std::string root;      // the host root the verb is given
    std::string relative;  // the path it joins below the root ("mods/300100"), '/'-separated
    std::function<int32_t()> run;
    // For a link on the source side: the folder the verb writes into, where
    // the canary's files must not show up.
    std::string out;
};

// Runs the row once per component of `relative` and records a test failure
// for every escape. Each component is put back afterwards.
void ExpectNoLinkEscape(const LinkEscapeRow &row);

} // namespace halcyon::test
