#include <gtest/gtest.h>

#include <string>

#include "engine/plan/idf_signature.h"
#include "support/idf/idf_document.h"
#include "support/idf/idf_result.h"
#include "support/ini/ini_store.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon::plan;
using halcyon::support::ClearIdfCache;
using halcyon::support::CMemoryIniIO;
using halcyon::test::IdfText;
using halcyon::test::List;
using halcyon::test::MachineScope;
using halcyon::test::ReadFile;
using halcyon::test::ReleaseXml;
using halcyon::test::TempDir;
using halcyon::test::WriteIdf;

namespace {

class IdfSignature : public ::testing::Test {
protected:
    void SetUp() override { ClearIdfCache(); }
    std::string Idf(std::string_view root, std::string_view body = "")
    {
        return WriteIdf(dir_, IdfText(body, root), "s" + std::to_string(++n_) + ".xml");
    }
    MachineScope machine_;
    TempDir dir_{"idfsig"};
    std::string log_ = dir_ / "plan.log";
    int n_ = 0;
};

TEST_F(IdfSignature, HeaderIntoIdfSection)
{
    CMemoryIniIO store;
    std::string idf = Idf(std::string(halcyon::test::kIdfHeaderAttributes) + " PEModuleMCodeAssignment=\"PE-1\"");
    ASSERT_EQ(0, GetIdfSignature(idf, store, log_, 0));
    auto entries = store.Entries("IDF");
    ASSERT_EQ(7u, entries.size());
    EXPECT_EQ("Timestamp", entries[0].first);
    EXPECT_EQ("2026-11-30T10:00:00", entries[0].second);
    EXPECT_EQ("BomSnapshotID", entries[4].first);
    EXPECT_EQ("WaitForSetupDelay", entries[5].first);
    EXPECT_STREQ("PE-1", store.GetValue("IDF", "PEModuleMCodeAssignment"));
    EXPECT_NE(std::string::npos, ReadFile(log_).find("GetIdfSignature End"));
}

TEST_F(IdfSignature, OptionalKeysOnlyWhenPresent)
{
    CMemoryIniIO store;
    ASSERT_EQ(0, GetIdfSignature(Idf("Timestamp=\"t\" Series=\"s\" LangRegion=\"l\" BomSnapshotName=\"n\" "
                                     "BomSnapshotID=\"i\""),
                                 store, log_, 0));
    EXPECT_EQ(5u, store.Entries("IDF").size());
    EXPECT_FALSE(store.KeyExists("IDF", "WaitForSetupDelay"));
}

TEST_F(IdfSignature, MissingSnapshotIdStopsAfterFourKeys)
{
    CMemoryIniIO store;
    EXPECT_EQ(8, GetIdfSignature(Idf("Timestamp=\"t\" Series=\"s\" LangRegion=\"l\" BomSnapshotName=\"n\" "
                                     "WaitForSetupDelay=\"5\""),
                                 store, log_, 0));
    EXPECT_EQ(4u, store.Entries("IDF").size());
    EXPECT_NE(std::string::npos, ReadFile(log_).find("ERROR: While trying to retrieve IDF BomSnapshotID"));
    EXPECT_EQ(std::string::npos, ReadFile(log_).find("GetIdfSignature End"));
}

TEST_F(IdfSignature, UnreadableHeaderAndLogFailures)
{
    CMemoryIniIO store;
    std::string bad = WriteIdf(dir_, "<IDF", "bad.xml");
    EXPECT_EQ(28, GetIdfSignature(bad, store, log_, 0));
    EXPECT_NE(std::string::npos,
              ReadFile(log_).find("ERROR: returned " + std::to_string(halcyon::support::IDF_NOT_WELL_FORMED) +
                                  " while parsing the IDF file"));
    EXPECT_EQ(27, GetIdfSignature(Idf(halcyon::test::kIdfHeaderAttributes), store, dir_ / "none/x.log", 0));
    EXPECT_FALSE(store.SectionExists("IDF"));
}

TEST_F(IdfSignature, FormatVersion)
{
    std::string version = "stale";
    ASSERT_EQ(0, GetIdfVersion(Idf(halcyon::test::kIdfHeaderAttributes), version));
    EXPECT_EQ("1.05.0.20080531.1", version);
    ASSERT_EQ(0, GetIdfVersion(Idf("Series=\"s\""), version));
    EXPECT_EQ("", version);
    version = "stale";
    EXPECT_EQ(28, GetIdfVersion(dir_ / "missing.xml", version));
    EXPECT_EQ("", version);
}

TEST_F(IdfSignature, McodeInformation)
{
    std::string idf = Idf(halcyon::test::kIdfHeaderAttributes,
                          "<Mcode Code=\"M-7\"><PartNumber>A</PartNumber><PartNumber>B</PartNumber></Mcode>" +
                              ReleaseXml("1", "A"));
    CMemoryIniIO store;
    ASSERT_EQ(0, GetMcodeInformation(idf, List({"b", "A"}), store, log_, 0));
    EXPECT_STREQ("M-7", store.GetValue("McodeInformation", "MCODE"));
    EXPECT_NE(std::string::npos, ReadFile(log_).find("GetMcodeInformation End"));

    CMemoryIniIO other;
    int32_t rc = GetMcodeInformation(idf, List({"A"}), other, log_, 0);
    EXPECT_EQ(halcyon::support::IDF_MCODE_NOT_FOUND, rc);
    EXPECT_NE(std::string::npos, ReadFile(log_).find("ERROR: returned " + std::to_string(rc) + " while getting plain MCode"));
    EXPECT_FALSE(other.SectionExists("McodeInformation"));
}

} // namespace
