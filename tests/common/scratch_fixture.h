// The common ground of the tests that run a step on a plan: a private
// emulated machine and a scratch folder for the plan, the log and the
// trees the step works on.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/common/test_env.h"

namespace halcyon::test {

class ScratchTest : public ::testing::Test {
protected:
    MachineScope machine;
    TempDir dir{"halcyon-scratch"};
    std::string plan = dir / "halcyon.ini";
    std::string log = dir / "step.log";

    std::string Log() const { return ReadFile(log); }
};

} // namespace halcyon::test
