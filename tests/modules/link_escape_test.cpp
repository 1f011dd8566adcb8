// Symbolic links planted where the setup verb deletes, creates or fills
// folders: in MountDir (an applied image or an earlier run can leave one) and
// in the target of a FILE COPY module. The verb refuses or removes the link
// itself; the folder it points to is never touched.
#include <gtest/gtest.h>

#include <memory>

#include "engine/modules/mod_setup_options.h"
#include "halcyon/ReturnCodes.h"
#include "tests/common/link_escape.h"
#include "tests/modules/mod_setup_fixture.h"

namespace halcyon::test {

namespace {

struct EscapeRow {
    const char *name;
    MediaModule module;
    uint64_t options;
    const char *joined;       // below the root the row names
    bool belowDest;           // root: DestDir (else MountDir)
    bool toFile;              // the link points to a file
    bool refused;             // the verb must return non-zero
};

void PrintTo(const EscapeRow &row, std::ostream *os) { *os << row.name; }

MediaModule Mod(bool scrambled = false, const char *fileCopyTarget = nullptr)
{
    MediaModule m;
    m.releaseId = "300360";
    m.scrambled = scrambled;
    m.files = {{"sub/b.txt", "B"}};
    if (fileCopyTarget) {
        m.installerType = "FILE COPY";
        m.setupFile = fileCopyTarget;
    }
    return m;
}

class LinkEscapeTest : public ModSetupFixture, public ::testing::WithParamInterface<EscapeRow> {};

TEST_P(LinkEscapeTest, CanaryUntouched)
{
    const EscapeRow &row = GetParam();
    auto results = ExpectNoLinkEscape(
        row.joined,
        [&](const std::string &scratch) {
            auto m = std::make_shared<ModMedia>(scratch + "/media");
            m->Make({row.module});
            ModSetupCall call;
            call.options = row.options | modules::OPTION_IGNORE_RESUME;
            return LinkEscapeScene{row.belowDest ? m->dest : m->mount, [m, call] { return m->Call(call); }};
        },
        row.toFile);
    for (const auto &r : results) {
        SCOPED_TRACE(r.linkAt);
        if (row.refused) {
            EXPECT_NE(r.rc, RETURN_SUCCESS);
        } else if (r.rc == RETURN_SUCCESS) {
            EXPECT_FALSE(r.linkKept) << "a verb that succeeds replaced the link by its own folder";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ModSetup, LinkEscapeTest,
    ::testing::Values(
        // The mount folder is deleted and made again: the link goes, not its target.
        EscapeRow{"MountFolder", Mod(), 0, "300360", false, false, false},
        EscapeRow{"MountFolderMounted", Mod(), modules::OPTION_MOUNT_WIM, "300360", false, false, false},
        EscapeRow{"ScrambledWorkingCopy", Mod(true), 0, "300360.mod", false, true, true},
        EscapeRow{"ModuleFolderCopy", Mod(true), modules::OPTION_COPY_MODULE_FOLDER, "300360.crccopy/sub", false,
                  false, false},
        EscapeRow{"FileCopyTarget", Mod(false, "Drivers\\Audio"), 0, "Drivers/Audio/sub", true, false, true},
        EscapeRow{"FileCopyTargetFile", Mod(false, "Drivers"), 0, "Drivers/sub/b.txt", true, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

} // namespace halcyon::test
