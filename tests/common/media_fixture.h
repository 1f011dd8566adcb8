// The ground of the tests of the media verbs: a private machine that does
// not take the RMID from the OEM string, a scratch folder, and the plan
// (two modules to start with) and media description the test fills in.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/image/media_description.h"
#include "platform/machine.h"
#include "tests/common/media_set.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

class MediaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "False");
        plan.modules = {{"300100"}, {"300200"}};
    }

    MachineScope machine;
    TempDir dir{"halcyon-media"};
    std::string planPath = dir / "halcyon.ini", mediaIni = dir / "nrvhdrcv.ini";
    MediaPlan plan;
    image::MediaDescription media;
};

} // namespace halcyon::test
