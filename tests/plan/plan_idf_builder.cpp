#include "tests/plan/plan_idf_builder.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/ini/ini_store.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

namespace {

std::string Escape(const std::string &v)
{
    std::string out;
    for (char c : v) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string AttrText(const Attrs &attrs)
{
    std::string out;
    for (const auto &[k, v] : attrs)
        out += " " + k + "=\"" + Escape(v) + "\"";
    return out;
}

} // namespace

Attrs With(Attrs base, const Attrs &changes)
{
    for (const auto &[k, v] : changes) {
        auto it = std::find_if(base.begin(), base.end(), [&](const auto &p) { return p.first == k; });
        if (v == kDrop) {
            if (it != base.end())
                base.erase(it);
        } else if (it != base.end()) {
            it->second = v;
        } else {
            base.emplace_back(k, v);
        }
    }
    return base;
}

Attrs ModuleNode(const std::string &releaseId, const std::string &name, const std::string &moduleType,
                 int installOrderIndex, const std::string &totalSize)
{
    return {
        {"SoftwareType", "Module"},
        {"PartName", name},
        {"ReleaseID", releaseId},
        {"PartType", "Module"},
        {"moduleType", moduleType},
        {"CommandLineArguments", ""},
        {"PathToRelease", "sources\\data\\" + releaseId},
        {"PartId", "P" + releaseId},
        {"rebootSetting", "None"},
        {"InstallerType", "EXE/BATCH"},
        {"SetupFile", "setup.sh"},
        {"MajorVersion", "1"},
        {"DetailedVersion", "1.0"},
        {"VersionCheckAfterInstallation", ""},
        {"VerificationPath", ""},
        {"BasePlus", "True"},
        {"CustomerDescription", name},
        {"CustomerLabel", name},
        {"Recoverable", "True"},
        {"Temporary", "False"},
        {"InstallOrderIndex", std::to_string(installOrderIndex)},
        {"TotalSize", totalSize},
        {"OS", "W11P64"},
    };
}

Attrs FoundationNode(const std::string &releaseId, const std::string &os)
{
    return {
        {"SoftwareType", "Foundation Image"}, {"PartName", "Foundation " + releaseId}, {"BLID", "BL0001"},
        {"MajorVersion", "11"},  {"OS", os}, {"ReleaseID", releaseId},
        {"PathToRelease", "sources\\data\\" + releaseId}, {"TotalSize", "2097152"},
    };
}

Attrs RecoveryNode(const std::string &releaseId, const std::string &os)
{
    return {
        {"SoftwareType", "P1 (recovery) Image"}, {"PartName", "Recovery " + releaseId}, {"ReleaseID", releaseId},
        {"PathToRelease", "sources\\data\\" + releaseId}, {"TotalSize", "524288"}, {"OS", os},
    };
}

Attrs ApplicationNode(const std::string &releaseId, const std::string &name, int installOrderIndex)
{
    return With(ModuleNode(releaseId, name, "Application Module", installOrderIndex, "2048"),
                {{"SoftwareType", "Image Application"}, {"moduleType", kDrop}, {"ModuleType", "Application Module"},
                 {"PartType", "Application"}, {"PathToRelease", "Apps\\" + name}, {"OS", kDrop}});
}

TestIdf::TestIdf()
{
    header = {
        {"IDFFormatVersion", "1.05.0.20080531.1"}, {"Timestamp", "2026-11-30T10:00:00"}, {"Series", "TS100"},
        {"LangRegion", "EN-US"}, {"BomSnapshotName", "TS100-Q4"}, {"BomSnapshotID", "SNAP-1"},
        {"HDDRecovery", "True"}, {"DynamicP1", "True"}, {"Mcode", "M-T"},
    };
    mcodes.push_back({"M-T", {"SKU-T"}});
}

TestRelease &TestIdf::Add(const Attrs &software, std::vector<std::string> partNumbers)
{
    std::string id;
    for (const auto &[k, v] : software)
        if (k == "ReleaseID")
            id = v;
    releases.push_back(TestRelease{id, std::move(partNumbers), {software}, {{}}, {}});
    return releases.back();
}

std::string TestIdf::Xml() const
{
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IDF" + AttrText(header) + ">\n";
    for (const auto &[code, parts] : mcodes) {
        x += "  <Mcode Code=\"" + Escape(code) + "\">";
        for (const auto &p : parts)
            x += "<PartNumber>" + Escape(p) + "</PartNumber>";
        x += "</Mcode>\n";
    }
    for (const TestRelease &r : releases) {
        x += "  <Release ReleaseID=\"" + Escape(r.releaseId) + "\" PartId=\"P" + Escape(r.releaseId) + "\">\n";
        for (const auto &p : r.partNumbers)
            x += "    <PartNumber>" + Escape(p) + "</PartNumber>\n";
        for (size_t i = 0; i < r.software.size(); ++i) {
            x += "    <Software" + AttrText(r.software[i]);
            const auto *children = i < r.children.size() ? &r.children[i] : nullptr;
            if (children && !children->empty()) {
                x += ">";
                for (const auto &c : *children)
                    x += "<ChildRelease ReleaseID=\"" + Escape(c) + "\"/>";
                x += "</Software>\n";
            } else {
                x += "/>\n";
            }
        }
        for (const auto &[name, value] : r.dataModules)
            x += "    <DataModule Name=\"" + Escape(name) + "\" Value=\"" + Escape(value) + "\"/>\n";
        x += "  </Release>\n";
    }
    x += "</IDF>\n";
    return x;
}

std::string TestIdf::Save(const std::string &path) const
{
    WriteFile(path, Xml());
    return path;
}

std::string GoldenPath(const std::string &name)
{
    return std::string(HALCYON_SOURCE_DIR) + "/tests/plan/golden/" + name;
}

void ExpectSamePlan(const std::string &goldenPath, const std::string &planPath)
{
    support::CMemoryIniIO golden, plan;
    ASSERT_TRUE(golden.LoadFile(goldenPath)) << goldenPath;
    ASSERT_TRUE(plan.LoadFile(planPath)) << planPath;
    std::vector<std::string> want = golden.SectionNames(), got = plan.SectionNames();
    EXPECT_EQ(want, got) << "section order of " << planPath;
    for (const std::string &section : want) {
        if (!plan.SectionExists(section))
            continue;
        EXPECT_EQ(golden.Entries(section), plan.Entries(section)) << "section [" << section << "]";
    }
}

} // namespace halcyon::test
