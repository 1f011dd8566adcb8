// Writers whose file must be on disk (data and folder entry) before they
// report success: the plan store, the module record file, the folder
// manifest.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/frame/folder_crc.h"
#include "engine/frame/plan_records.h"
#include "engine/staging/nrvinst_oem.h"
#include "support/ini/ini_store.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

namespace {

struct Writer {
    const char *name;
    std::function<bool(const std::string &dir)> write; // true on success
    std::vector<std::string> written;                   // below dir
};

TEST(DurableWriters, WhatTheyWroteIsOnDiskBeforeTheyReturn)
{
    const Writer writers[] = {
        {"plan store",
         [](const std::string &dir) {
             support::CMemoryIniIO ini;
             ini.WriteString("Image", "ReleaseID", "12345");
             return ini.SaveToFile(dir + "/halcyon.ini");
         },
         {"halcyon.ini"}},
        {"module record file",
         [](const std::string &dir) {
             ModuleRecord m;
             m.ReleaseID = "300100";
             m.PartType = "Module";
             return modules::WriteEPIDToNrvinstFile(&m, dir + "/nrvinst.oem", "") == 0;
         },
         {"nrvinst.oem"}},
        {"folder manifest",
         [](const std::string &dir) {
             WriteFile(dir + "/mod/a.txt", "a");
             std::string message;
             return frame::WriteFolderManifest(dir + "/mod", message) == 0;
         },
         {"mod/_FS_SWRINFO/crc.info", "mod/_FS_SWRINFO/files.info", "mod/_FS_SWRINFO"}},
    };
    for (const Writer &w : writers) {
        TempDir dir{"durable"};
        FileLayerRecorder rec;
        ASSERT_TRUE(w.write(dir.path())) << w.name;
        for (const std::string &rel : w.written)
            EXPECT_TRUE(rec.Durable(dir / rel)) << w.name << ": " << rel;
    }
}

} // namespace

} // namespace halcyon::test
