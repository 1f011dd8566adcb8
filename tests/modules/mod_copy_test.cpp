// Module staging: ModCopyX copies the selected module folders, ModExtractX
// applies each module's container (or copies its folder) into a folder named
// after the module. Media and plans are built by the tests.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "engine/image/wim_scramble.h"
#include "engine/modules/file_copy_installer.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/ini/ini_store.h"
#include "support/wim/faulty_wim_api.h"
#include "support/wim/wim_builder.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/link_escape.h"
#include "tests/common/mod_media.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

using support::wim::WimCall;

// The option bits: the PE list, the filters by key, and the naming.
enum StagingOption : uint64_t {
    kPe = 0x40,          kPartType = 0x80,        kInstallerType = 0x100,     kTemporary = 0x200,
    kRecoverable = 0x400, kBasePlus = 0x100000, kNameByLabel = 0x10000000, kModuleType = 0x20000000,
};

struct Filters {
    std::string installerType, partType, moduleType, recoverable, temporary;
};

class ModStagingTest : public ::testing::Test {
protected:
    MachineScope machine;
    TempDir dir{"modcopy"};
    ModMedia media{dir.path()};
    std::string tmp = dir / "wimtemp";
    EnvScope tmpEnv{"TMPDIR", tmp};

    void SetUp() override { fs::create_directories(tmp); }

    static MediaModule Module(const std::string &id)
    {
        MediaModule m;
        m.releaseId = id;
        m.files = {{"data.txt", "payload " + id}};
        return m;
    }
    // A module folder holding plain files, no container.
    static MediaModule FolderModule(const std::string &id)
    {
        MediaModule m = Module(id);
        m.noImage = true;
        return m;
    }

    int32_t Copy(uint64_t options = 0, const Filters &f = {}, uint64_t copyArg = 0) const
    {
        return ModCopyX(media.plan.c_str(), media.perm.c_str(), media.dest.c_str(), f.installerType.c_str(),
                        f.partType.c_str(), f.recoverable.c_str(), f.temporary.c_str(), media.log.c_str(), options,
                        copyArg);
    }
    int32_t Extract(uint64_t options = 0, const Filters &f = {}) const
    {
        return ModExtractX(media.plan.c_str(), media.perm.c_str(), media.dest.c_str(), f.installerType.c_str(),
                           f.partType.c_str(), f.moduleType.c_str(), f.recoverable.c_str(), f.temporary.c_str(),
                           media.log.c_str(), 0, options, 0);
    }

    std::string Dest(const std::string &rel) const { return media.dest + "/" + rel; }
    std::string Source(const std::string &rel) const { return media.perm + "/" + rel; }
    bool LogHas(const std::string &text) const { return media.LogText().find(text) != std::string::npos; }
    std::vector<std::string> Entries(const std::string &folder) const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Changes one plan value after the plan was written.
    void SetPlanValue(const std::string &section, const std::string &key, const std::string &value) const
    {
        support::CMemoryIniIO ini;
        ASSERT_TRUE(ini.LoadFile(media.plan));
        ini.WriteString(section, key, value);
        ASSERT_TRUE(ini.SaveToFile(media.plan));
    }
};

// ---- ModCopyX ----

TEST_F(ModStagingTest, CopyKeepsRelativePathsSkipsDataModulesAndLogsEachModule)
{
    auto a = FolderModule("300101");
    auto b = FolderModule("300102");
    b.pathToRelease = "deep\\tree\\300102";
    MediaModule data = Module("300103");
    data.installerType = "Data";
    media.Make({a, data, b});

    ASSERT_EQ(Copy(), RETURN_SUCCESS) << media.LogText();
    EXPECT_EQ(ReadFile(Dest("mods/300101/data.txt")), "payload 300101");
    EXPECT_EQ(ReadFile(Dest("deep/tree/300102/data.txt")), "payload 300102");
    EXPECT_EQ(Entries(media.dest), (std::vector<std::string>{"deep", "mods"}));
    EXPECT_EQ(Entries(Dest("mods")), std::vector<std::string>{"300101"});
    for (const char *line : {"ModCopyX Begin", "Copying Modules and EPCs...", "Copying: Module 300101",
                             "Copying: Module 300102", "ModCopyX End"})
        EXPECT_TRUE(LogHas(line)) << line;
    EXPECT_FALSE(LogHas("Copying: Module 300103"));
}

TEST_F(ModStagingTest, CopyFiltersSelectModulesWithoutRegardToCase)
{
    std::vector<MediaModule> mods;
    for (int i = 0; i < 6; ++i)
        mods.push_back(FolderModule(std::to_string(300111 + i)));
    mods[1].installerType = "FILE COPY";
    mods[2].partType = "Driver";
    mods[3].recoverable = "False";
    mods[4].basePlus = "False";
    mods[5].temporary = "true_fulfillment";
    for (auto &m : mods)
        m.pathToRelease = "mods\\" + m.releaseId; // one source tree for all
    for (auto &m : mods) {
        MediaModule built = m;
        built.temporary = "FALSE";
        media.Build(built);
    }
    media.WritePlan(mods);

    Filters f{"exe/batch", "MODULE", "", "TRUE", "false|TRUE_FULFILLMENT"};
    ASSERT_EQ(Copy(kInstallerType | kPartType | kRecoverable | kTemporary | kBasePlus, f), RETURN_SUCCESS)
        << media.LogText();
    // 300116 passes by the second alternative of the Temporary filter.
    EXPECT_EQ(Entries(Dest("mods")), (std::vector<std::string>{"300111", "300116"}));

    // The same filter values without their option bits select everything.
    fs::remove_all(Dest("mods"));
    ASSERT_EQ(Copy(0, f), RETURN_SUCCESS);
    EXPECT_EQ(Entries(Dest("mods")).size(), 6u);
}

TEST_F(ModStagingTest, PeOptionWalksThePeFamily)
{
    PlanSettings pe;
    pe.peFamily = true;
    media.Make({FolderModule("300121")}, pe);
    ASSERT_EQ(Copy(kPe), RETURN_SUCCESS);
    EXPECT_TRUE(fs::exists(Dest("mods/300121/data.txt")));
    fs::remove_all(Dest("mods"));
    // Without the option the bare family ([1] holds only End) is empty.
    ASSERT_EQ(Copy(), RETURN_SUCCESS);
    EXPECT_FALSE(fs::exists(Dest("mods")));
}

TEST_F(ModStagingTest, StartFailuresOfBothVerbs)
{
    media.Make({FolderModule("300131")});
    fs::remove(media.plan);
    EXPECT_EQ(Copy(), RETURN_UNABLE_OPEN_INI);
    EXPECT_EQ(Extract(), RETURN_UNABLE_OPEN_INI);
    EXPECT_TRUE(LogHas("Error: Load halcyon.ini error. (RETURN_UNABLE_OPEN_INI)"));
    EXPECT_TRUE(LogHas("Halcyon.ini" + media.plan));

    media.WritePlan({FolderModule("300131")});
    fs::rename(media.dest, media.dest + ".gone");
    EXPECT_EQ(Copy(), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_EQ(Extract(), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("Error: Can not find the dest path. (RETURN_DEST_DIR_NOT_EXIST)"));
    EXPECT_TRUE(LogHas("sDestDir" + media.dest + "\\"));
    fs::rename(media.perm, media.perm + ".gone");
    EXPECT_EQ(Copy(), RETURN_SOURCE_DIR_NOT_EXIST);
    EXPECT_EQ(Extract(), RETURN_SOURCE_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)"));
    fs::rename(media.perm + ".gone", media.perm);
    fs::rename(media.dest + ".gone", media.dest);

    // The progress line cannot be written: 27 before any module.
    const std::string badLog = dir / "no/such/folder/copy.log";
    EXPECT_EQ(ModCopyX(media.plan.c_str(), media.perm.c_str(), media.dest.c_str(), "", "", "", "", badLog.c_str(), 0,
                       0),
              27);
    EXPECT_EQ(ModExtractX(media.plan.c_str(), media.perm.c_str(), media.dest.c_str(), "", "", "", "", "",
                          badLog.c_str(), 0, 0, 0),
              27);
    EXPECT_TRUE(fs::is_empty(media.dest));
}

TEST_F(ModStagingTest, BrokenSectionEndsTheWalkWithTheReadersCode)
{
    PlanSettings noEnd;
    noEnd.endSection = false;
    media.Make({FolderModule("300141")}, noEnd);
    EXPECT_EQ(Copy(), 98);
    EXPECT_TRUE(fs::exists(Dest("mods/300141"))); // handled before the broken section
    EXPECT_FALSE(LogHas("ModCopyX End"));
    EXPECT_EQ(Extract(), 98);
}

TEST_F(ModStagingTest, CopyFailuresMapTo117ForAFullDiskAnd58Otherwise)
{
    media.Make({FolderModule("300151")});
    fs::create_directories(Dest("mods/300151"));
    {
        FileLayerRecorder full;
        full.failWritesWith = ENOSPC;
        EXPECT_EQ(Copy(), 117);
        EXPECT_FALSE(LogHas("ModCopyX End"));
        // The line names the file that could not be written.
        EXPECT_TRUE(LogHas("GetLastError: 112 writing " + Dest("mods/300151/"))) << media.LogText();
        fs::remove_all(Dest("300151"));
        EXPECT_EQ(Extract(), 117);
    }
    fs::create_directories(Dest("mods/300151/data.txt")); // a folder where the file must go
    EXPECT_EQ(Copy(), 58);
}

TEST_F(ModStagingTest, StagedModulesAreOnDiskBeforeSuccess)
{
    media.Make({FolderModule("300191"), Module("300192")});
    FileLayerRecorder rec;
    ASSERT_EQ(Copy(), RETURN_SUCCESS) << media.LogText();
    EXPECT_TRUE(rec.Durable(Dest("mods/300191")));
    EXPECT_TRUE(rec.Durable(Dest("mods/300192")));
    rec.Clear();
    ASSERT_EQ(Extract(), RETURN_SUCCESS) << media.LogText();
    EXPECT_TRUE(rec.Durable(Dest("300191")));
    EXPECT_TRUE(rec.Durable(Dest("300192")));
}

int32_t CopyAll(const ModMedia &m)
{
    return ModCopyX(m.plan.c_str(), m.perm.c_str(), m.dest.c_str(), "", "", "", "", m.log.c_str(), 0, 0);
}

int32_t ExtractAll(const ModMedia &m)
{
    return ModExtractX(m.plan.c_str(), m.perm.c_str(), m.dest.c_str(), "", "", "", "", "", m.log.c_str(), 0, 0, 0);
}

int32_t FileCopy(const ModMedia &m)
{
    ModuleRecord r;
    r.PathToRelease = "mods\\300195";
    r.SetupFile = "Drivers";
    modules::ModuleRunContext ctx;
    ctx.destDir = m.dest + "\\";
    ctx.logFile = m.log;
    const modules::InstallOutcome o = modules::InstallFileCopyModule(r, m.perm + "\\", ctx);
    return o.stopCode ? o.stopCode : o.launchResult;
}

TEST_F(ModStagingTest, LinksAtJoinedPathsAreRefused)
{
    const struct {
        const char *name;
        const char *joined;
        bool onDest, toFile;
        int32_t (*verb)(const ModMedia &);
    } rows[] = {
        {"ModCopyX source", "mods/300195", false, false, &CopyAll},
        {"ModCopyX destination", "mods/300195", true, false, &CopyAll},
        {"ModExtractX source folder", "mods/300195", false, false, &ExtractAll},
        {"ModExtractX container", "mods/300196/300196.mod", false, true, &ExtractAll},
        {"ModExtractX target", "300196", true, false, &ExtractAll},
        {"FILE COPY source", "mods/300195", false, false, &FileCopy},
    };
    for (const auto &row : rows) {
        const auto results = ExpectNoLinkEscape(
            row.joined,
            [&](const std::string &scratch) {
                auto m = std::make_shared<ModMedia>(scratch + "/media");
                m->Make({FolderModule("300195"), Module("300196")});
                auto verb = row.verb;
                return LinkEscapeScene{row.onDest ? m->dest : m->perm, [m, verb] { return verb(*m); }};
            },
            row.toFile);
        for (const auto &r : results)
            EXPECT_NE(r.rc, 0) << row.name << ": " << r.linkAt;
    }
    // A link at the working copy's place in the (shared) temporary folder is
    // removed as a link, never written through.
    for (const auto &r : ExpectNoLinkEscape(
             "300197.mod",
             [&](const std::string &scratch) {
                 auto m = std::make_shared<ModMedia>(scratch + "/media");
                 MediaModule scrambled = Module("300197");
                 scrambled.scrambled = true;
                 m->Make({scrambled});
                 return LinkEscapeScene{tmp, [m] { return ExtractAll(*m); }};
             },
             true))
        EXPECT_EQ(r.rc, RETURN_SUCCESS) << r.linkAt;
    // Links inside a module folder are copied as links.
    media.Make({FolderModule("300195")});
    fs::create_symlink("/etc/hostname", Source("mods/300195/outside.txt"));
    ASSERT_EQ(Copy(), RETURN_SUCCESS) << media.LogText();
    EXPECT_TRUE(fs::is_symlink(Dest("mods/300195/outside.txt")));
}

TEST_F(ModStagingTest, CopyOntoItselfIsRefusedAndLeavesTheSourceIntact)
{
    media.Make({FolderModule("300161")});
    int32_t rc = ModCopyX(media.plan.c_str(), media.perm.c_str(), (media.perm + "/").c_str(), "", "", "", "",
                          media.log.c_str(), 0, 0);
    EXPECT_EQ(rc, 58);
    EXPECT_EQ(ReadFile(Source("mods/300161/data.txt")), "payload 300161");
}

TEST_F(ModStagingTest, UnsafePathToReleaseIsRefusedBeforeAnythingIsCopied)
{
    fs::create_directories(dir / "outside");
    WriteFile(dir / "outside/secret.txt", "x");
    auto m = FolderModule("300171");
    media.Make({m});
    SetPlanValue("1", "PathToRelease", "..\\outside");
    EXPECT_EQ(Copy(), RETURN_UNSAFE_PATH);
    EXPECT_EQ(Extract(), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(Entries(media.dest).empty());
    EXPECT_FALSE(fs::exists(dir / "outside/data.txt"));
    EXPECT_TRUE(LogHas("(RETURN_UNSAFE_PATH)"));
}

// ---- ModExtractX ----

TEST_F(ModStagingTest, ExtractAppliesPlainAndScrambledContainersAndCopiesBareFolders)
{
    auto plain = Module("300201");
    auto scrambled = Module("300202");
    scrambled.scrambled = true;
    auto bare = FolderModule("300203");
    media.Make({plain, scrambled, bare});
    const std::string scrambledMod = Source("mods/300202/300202.mod");
    const std::string before = ReadFile(scrambledMod);
    // Media may be a read-only share.
    const std::string plainMod = Source("mods/300201/300201.mod");
    fs::permissions(plainMod, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    ASSERT_EQ(Extract(), RETURN_SUCCESS) << media.LogText();
    EXPECT_EQ(fs::perms::none, fs::status(plainMod).permissions() & fs::perms::owner_write)
        << "the media's container was made writable";
    EXPECT_EQ(ReadFile(Dest("300201/data.txt")), "payload 300201");
    EXPECT_TRUE(fs::exists(Dest("300201/setup.sh")));
    EXPECT_EQ(ReadFile(Dest("300202/data.txt")), "payload 300202");
    EXPECT_EQ(ReadFile(Dest("300203/data.txt")), "payload 300203");
    EXPECT_TRUE(fs::exists(Dest("300203/setup.sh")));
    // The scrambled container was unscrambled in a temporary copy that is gone.
    EXPECT_EQ(ReadFile(scrambledMod), before);
    EXPECT_TRUE(Entries(tmp).empty());
    EXPECT_TRUE(LogHas("Decrypting WIM: " + tmp + "/300202.mod"));
    EXPECT_TRUE(LogHas("Applying WIM: " + tmp + "/300202.mod"));
    // The plain one was applied in place.
    EXPECT_TRUE(LogHas("Applying WIM: " + media.perm + "\\mods\\300201\\300201.mod"));
    for (const char *line : {"ModExtractX Start", "Extracting Modules...", "Extracting: Module 300201",
                             "Extracting: Module 300203", "ModExtractX End"})
        EXPECT_TRUE(LogHas(line)) << line;
}

TEST_F(ModStagingTest, ModContainerWinsOverWimAndAStaleTargetIsReplaced)
{
    auto m = Module("300211");
    media.Make({m});
    const std::string staging = dir / "other";
    fs::create_directories(staging);
    WriteFile(staging + "/other.txt", "from the wim");
    support::wim::WimImageSpec spec;
    spec.sourceFolder = staging;
    spec.releaseId = "300211";
    ASSERT_EQ(support::wim::CreateWim(Source("mods/300211/a.wim"), spec), 0);
    fs::create_directories(Dest("300211"));
    WriteFile(Dest("300211/stale.txt"), "old");

    ASSERT_EQ(Extract(), RETURN_SUCCESS) << media.LogText();
    EXPECT_TRUE(fs::exists(Dest("300211/data.txt")));
    EXPECT_FALSE(fs::exists(Dest("300211/other.txt")));
    EXPECT_FALSE(fs::exists(Dest("300211/stale.txt")));

    // Without the ".mod" the ".wim" is applied.
    fs::remove(Source("mods/300211/300211.mod"));
    ASSERT_EQ(Extract(), RETURN_SUCCESS) << media.LogText();
    EXPECT_EQ(Entries(Dest("300211")), std::vector<std::string>{"other.txt"});
}

TEST_F(ModStagingTest, TargetNamedByLabelOrPartIdWithTheOption)
{
    auto a = FolderModule("300221");
    a.customerLabel = "Photo Suite";
    auto b = FolderModule("300222");
    b.partId = "PN-222";
    media.Make({a, b});
    SetPlanValue("2", "CustomerLabel", "");
    ASSERT_EQ(Extract(kNameByLabel), RETURN_SUCCESS) << media.LogText();
    EXPECT_EQ(Entries(media.dest), (std::vector<std::string>{"PN-222", "Photo Suite"}));

    SetPlanValue("2", "PartId", "");
    EXPECT_EQ(Extract(kNameByLabel), RETURN_INI_BLANK_PARTID);
    EXPECT_TRUE(LogHas("ERROR: PART ID is empty. (RETURN_INI_BLANK_PARTID)"));
    // Without the option the release ID names the folder.
    ASSERT_EQ(Extract(), RETURN_SUCCESS);
    EXPECT_TRUE(fs::exists(Dest("300222/data.txt")));
}

TEST_F(ModStagingTest, ExtractFiltersIncludeModuleTypeAndDataModulesAreNotSkipped)
{
    auto a = FolderModule("300231");
    auto b = FolderModule("300232");
    b.moduleType = "EPC";
    auto data = FolderModule("300233");
    data.installerType = "Data";
    data.pathToRelease = "mods\\300233";
    media.Make({a, b, data});
    data.installerType = "EXE/BATCH";
    media.Build(data); // the data module's folder exists too

    Filters f;
    f.moduleType = "epc";
    ASSERT_EQ(Extract(kModuleType, f), RETURN_SUCCESS);
    EXPECT_EQ(Entries(media.dest), std::vector<std::string>{"300232"});
    fs::remove_all(Dest("300232"));
    ASSERT_EQ(Extract(), RETURN_SUCCESS);
    EXPECT_EQ(Entries(media.dest), (std::vector<std::string>{"300231", "300232", "300233"}));
}

TEST_F(ModStagingTest, ReleaseIdOfTheContainerMustMatch)
{
    auto m = Module("300241");
    m.imageReleaseId = "999999";
    media.Make({m});
    EXPECT_EQ(Extract(), 57);
    EXPECT_TRUE(LogHas("ERROR: calling CompareReleaseid function error."));
}

TEST_F(ModStagingTest, TemporaryFolderFailures)
{
    auto m = Module("300251");
    m.scrambled = true;
    media.Make({m});
    // The copy's place is taken by a folder: 43.
    fs::create_directories(tmp + "/300251.mod");
    EXPECT_EQ(Extract(), RETURN_COPY_TEMP_WIM);
    EXPECT_TRUE(LogHas("ERROR: calling CopyFile function error. (RETURN_COPY_TEMP_WIM)"));
    EXPECT_TRUE(LogHas("Source: " + media.perm + "\\mods\\300251\\300251.mod TO: " + tmp + "/300251.mod"));
    fs::remove_all(tmp + "/300251.mod");
    // No temporary folder at all: 101.
    ::setenv("TMPDIR", (dir / "missing").c_str(), 1);
    EXPECT_EQ(Extract(), RETURN_GET_TEMP_PATH);
    EXPECT_TRUE(LogHas("ERROR: unable to get a temporary WIMGAPI directory"));
    EXPECT_TRUE(LogHas("Temporary WIMGAPI directory: "));
}

TEST_F(ModStagingTest, ImagingFailuresReturn41AndCleanUpAsTheirRowsSay)
{
    auto m = Module("300261");
    m.scrambled = true;
    media.Make({m});
    struct Row {
        WimCall call;
        const char *line;
        bool targetRemoved;
    };
    const Row rows[] = {
        {WimCall::CreateFile, "ERROR: while trying to open WIM", false},
        {WimCall::SetTemporaryPath, "ERROR: while setting temporary folder", false},
        {WimCall::LoadImage, "ERROR: while loading image from WIM", false},
        {WimCall::ApplyImage, "ERROR: while trying to mount WIM", true},
        {WimCall::CloseImage, "ERROR: while closing handle to WIM Image", true},
        {WimCall::CloseFile, "ERROR: while closing handle to WIM file", true},
    };
    auto real = support::wim::MakeWimlibApi();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        fs::remove(media.log);
        support::wim::FaultyWimApi faulty(*real);
        faulty.FailOn(row.call);
        {
            support::wim::ScopedWimApiOverride use(faulty);
            EXPECT_EQ(Extract(), RETURN_WIMGAPI_ERROR);
        }
        EXPECT_TRUE(LogHas(row.line));
        EXPECT_EQ(fs::exists(Dest("300261")), !row.targetRemoved);
        EXPECT_TRUE(Entries(tmp).empty()); // the unscrambled copy is gone
        EXPECT_TRUE(image::IsWimScrambled(Source("mods/300261/300261.mod")));
    }
}

TEST_F(ModStagingTest, UnsafeOrOverlappingTargetsAreRefusedBeforeAnyDelete)
{
    auto m = FolderModule("300271");
    media.Make({m});
    for (const char *bad : {"..\\..\\victim", ".\\", "C:\\Windows", "\\abs"}) {
        SCOPED_TRACE(bad);
        SetPlanValue("1", "ReleaseID", bad);
        EXPECT_EQ(Extract(), RETURN_UNSAFE_PATH);
    }
    SetPlanValue("1", "ReleaseID", "300271");
    SetPlanValue("1", "CustomerLabel", "..\\evil");
    EXPECT_EQ(Extract(kNameByLabel), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(LogHas("CustomerLabel='..\\evil'"));
    EXPECT_TRUE(Entries(media.dest).empty());

    // Destination = source and the target folder is the module folder itself:
    // extracting would delete the module it reads.
    SetPlanValue("1", "PathToRelease", "300271");
    fs::create_directories(Source("300271"));
    WriteFile(Source("300271/data.txt"), "keep");
    int32_t rc = ModExtractX(media.plan.c_str(), media.perm.c_str(), media.perm.c_str(), "", "", "", "", "",
                             media.log.c_str(), 0, 0, 0);
    EXPECT_EQ(rc, RETURN_UNSAFE_PATH);
    EXPECT_EQ(ReadFile(Source("300271/data.txt")), "keep");
}

TEST_F(ModStagingTest, CommandsRunTheVerbs)
{
    media.Make({Module("300281")});
    std::string out;
    const std::string common = " --plan '" + media.plan + "' --source '" + media.perm + "' --dest '" + media.dest +
                               "' --log '" + media.log + "'";
    EXPECT_EQ(RunHalcyon("mod-extract" + common, out), 0) << out;
    EXPECT_TRUE(fs::exists(Dest("300281/data.txt")));
    EXPECT_EQ(RunHalcyon("mod-copy" + common + " --options 0x100 --installer-type Data", out), 0) << out;
    EXPECT_FALSE(fs::exists(Dest("mods")));
    EXPECT_EQ(RunHalcyon("mod-copy" + common, out), 0) << out;
    EXPECT_TRUE(fs::exists(Dest("mods/300281/300281.mod")));
    EXPECT_EQ(RunHalcyon("mod-copy --plan x", out), 2) << out;
    fs::remove(media.plan);
    EXPECT_EQ(RunHalcyon("mod-copy" + common, out), 1);
    EXPECT_NE(out.find("ModCopyX returned 2"), std::string::npos) << out;
}

} // namespace

} // namespace halcyon::test
