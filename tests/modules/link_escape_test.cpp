// Symbolic links planted where the setup verb deletes, creates, fills or
// changes in place: in MountDir (an applied image or an earlier run can leave
// one), in the target of a FILE COPY module, in the module folders of the
// media (a link to a scrambled image outside) and on the way to the machine's
// nrvinst.oem. The verb refuses or removes the link itself; what it points to
// is never touched.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "engine/staging/mod_setup_options.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "tests/common/link_escape.h"
#include "tests/modules/mod_setup_fixture.h"

namespace halcyon::test {

namespace {

enum class Root { Mount, Dest, Source, DriveC, MountSlash };

struct EscapeRow {
    const char *name;
    MediaModule module;
    uint64_t options;
    const char *joined;       // below the root the row names
    Root root;                // MountSlash: MountDir given with a trailing "/"
    bool toFile;              // the link points to a file
    bool refused;             // the verb must return RETURN_UNSAFE_PATH
    const char *outside = nullptr; // the link points to this entry of the media, moved outside
    const char *nrvinst = nullptr; // the record file (else the media's)
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
            if (row.nrvinst)
                call.nrvinst = row.nrvinst;
            LinkEscapeScene scene{m->mount, [m, call] { return m->Call(call); }, ""};
            switch (row.root) {
            case Root::Mount: break;
            case Root::MountSlash: m->mount += "/"; break;
            case Root::Dest: scene.root = m->dest; break;
            case Root::Source: scene.root = m->perm; break;
            case Root::DriveC:
                // The machine outlives the scenes: the drive starts empty in each.
                scene.root = platform::MapPathText("C:\\");
                std::filesystem::remove_all(scene.root + "/Windows");
                break;
            }
            if (row.outside) {
                // The module's own folder or (scrambled) image, a file
                // read-only as media keep it, outside every root.
                scene.linkTarget = scratch + "/canary/outside";
                std::filesystem::create_directories(scratch + "/canary");
                std::filesystem::rename(m->perm + "/" + row.outside, scene.linkTarget);
                if (std::filesystem::is_regular_file(scene.linkTarget))
                    ::chmod(scene.linkTarget.c_str(), 0444);
            }
            return scene;
        },
        row.toFile);
    for (const auto &r : results) {
        SCOPED_TRACE(r.linkAt);
        if (row.refused) {
            EXPECT_EQ(r.rc, RETURN_UNSAFE_PATH);
        } else if (row.root == Root::MountSlash) {
            // Removed as a link whichever way MountDir is written.
            EXPECT_EQ(r.rc, RETURN_SUCCESS);
            EXPECT_FALSE(r.linkKept);
        } else if (r.rc == RETURN_SUCCESS) {
            EXPECT_FALSE(r.linkKept) << "a verb that succeeds replaced the link by its own folder";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ModSetup, LinkEscapeTest,
    ::testing::Values(
        // The mount folder is deleted and made again: the link goes, not its target.
        EscapeRow{"MountFolder", Mod(), 0, "300360", Root::Mount, false, false},
        EscapeRow{"MountFolderSlash", Mod(), 0, "300360", Root::MountSlash, false, false},
        EscapeRow{"MountFolderMounted", Mod(), modules::OPTION_MOUNT_WIM, "300360", Root::Mount, false, false},
        EscapeRow{"ScrambledWorkingCopy", Mod(true), 0, "300360.mod", Root::Mount, true, true},
        EscapeRow{"ModuleFolderCopy", Mod(true), modules::OPTION_COPY_MODULE_FOLDER, "300360.crccopy/sub",
                  Root::Mount, false, false},
        // The media's module image a link to a scrambled image outside: the
        // folder copy would keep the link and unscramble through it.
        EscapeRow{"ScrambledImageLinkCopied", Mod(true), modules::OPTION_COPY_MODULE_FOLDER, "mods/300360/300360.mod",
                  Root::Source, true, true, "mods/300360/300360.mod"},
        EscapeRow{"ScrambledImageLink", Mod(true), 0, "mods/300360/300360.mod", Root::Source, true, true,
                  "mods/300360/300360.mod"},
        // A module folder that leads off the media: refused by both installers.
        EscapeRow{"ModuleFolderLink", Mod(), 0, "mods/300360", Root::Source, false, true, "mods/300360"},
        EscapeRow{"FileCopyModuleFolderLink", Mod(false, "Drivers"), 0, "mods/300360", Root::Source, false, true,
                  "mods/300360"},
        // The record file's folders on the machine's drive.
        EscapeRow{"NrvinstFolder", Mod(), modules::OPTION_WRITE_EPID, "Windows/system32", Root::DriveC, false, true,
                  nullptr, "C:\\Windows\\system32\\nrvinst.oem"},
        EscapeRow{"NrvinstFile", Mod(), modules::OPTION_WRITE_EPID, "Windows/system32/nrvinst.oem", Root::DriveC, true,
                  true, nullptr, "C:\\Windows\\system32\\nrvinst.oem"},
        EscapeRow{"FileCopyTarget", Mod(false, "Drivers\\Audio"), 0, "Drivers/Audio/sub", Root::Dest, false, true},
        EscapeRow{"FileCopyTargetFile", Mod(false, "Drivers"), 0, "Drivers/sub/b.txt", Root::Dest, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

} // namespace halcyon::test
