#include <gtest/gtest.h>

#include <string>

#include "engine/plan/idf_signature.h"
#include "support/idf/idf_document.h"
#include "support/idf/idf_result.h"
#include "support/ini/ini_store.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon::plan;
using namespace halcyon::test;
using halcyon::support::CMemoryIniIO;

namespace {

class IdfSignature : public IdfTest {
protected:
    // GetIdfSignature into `store` of an IDF whose root has `rootAttributes`.
    int32_t Signature(std::string_view rootAttributes, CMemoryIniIO &store)
    {
        return GetIdfSignature(Idf("", rootAttributes), store, log_, 0);
    }
};

// The keys every signature needs before BomSnapshotID.
const std::string kFirstFourKeys = "Timestamp=\"t\" Series=\"s\" LangRegion=\"l\" BomSnapshotName=\"n\" ";

TEST_F(IdfSignature, HeaderIntoIdfSection)
{
    CMemoryIniIO store;
    ASSERT_EQ(0, Signature(std::string(kIdfHeaderAttributes) + " PEModuleMCodeAssignment=\"PE-1\"", store));
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
    ASSERT_EQ(0, Signature(kFirstFourKeys + "BomSnapshotID=\"i\"", store));
    EXPECT_EQ(5u, store.Entries("IDF").size());
    EXPECT_FALSE(store.KeyExists("IDF", "WaitForSetupDelay"));
}

TEST_F(IdfSignature, MissingSnapshotIdStopsAfterFourKeys)
{
    CMemoryIniIO store;
    EXPECT_EQ(8, Signature(kFirstFourKeys + "WaitForSetupDelay=\"5\"", store));
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
    EXPECT_EQ(27, GetIdfSignature(Idf(""), store, dir_ / "none/x.log", 0));
    EXPECT_FALSE(store.SectionExists("IDF"));
}

TEST_F(IdfSignature, FormatVersion)
{
    std::string version = "stale";
    ASSERT_EQ(0, GetIdfVersion(Idf(""), version));
    EXPECT_EQ("1.05.0.20080531.1", version);
    ASSERT_EQ(0, GetIdfVersion(Idf("", "Series=\"s\""), version));
    EXPECT_EQ("", version);
    version = "stale";
    EXPECT_EQ(28, GetIdfVersion(dir_ / "missing.xml", version));
    EXPECT_EQ("", version);
}

TEST_F(IdfSignature, McodeInformation)
{
    std::string idf = Idf("<Mcode Code=\"M-7\"><PartNumber>A</PartNumber><PartNumber>B</PartNumber></Mcode>" +
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
