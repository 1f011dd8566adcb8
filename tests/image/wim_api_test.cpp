// The imaging interface on real WIM files captured by the tests: open,
// split parts, image information, apply with messages, mount, and the
// fault-injecting wrapper.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/image/wim_scramble.h"
#include "support/wim/faulty_wim_api.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_builder.h"
#include "tests/common/heard_messages.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
using namespace halcyon::support::wim;

namespace {

using Heard = test::HeardMessages;

// Progress comes in wparam, an error's code in lparam.
uint32_t Listen(uint32_t message, uintptr_t wparam, intptr_t lparam, void *user)
{
    const int64_t param = message == WIM_MSG_ERROR ? static_cast<int64_t>(lparam) : static_cast<int64_t>(wparam);
    return static_cast<Heard *>(user)->Hear(message, param);
}

class WimApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::WriteFile(dir_ / "src/setup.sh", "#!/bin/sh\necho hi\n");
        ::chmod((dir_ / "src/setup.sh").c_str(), 0750);
        test::WriteFile(dir_ / "src/data/big.bin", Pattern(3 << 20, 7));
        test::WriteFile(dir_ / "src/data/other.bin", Pattern(2 << 20, 11));
        fs::create_directories(dir_ / "src/empty");
        test::WriteFile(dir_ / "src2/second.txt", "second image\n");

        WimImageSpec first;
        first.sourceFolder = dir_ / "src";
        first.description = "FOUNDATION IMAGE 1";
        first.blid = "ABC1234567";
        first.releaseId = "300100";
        WimImageSpec second;
        second.sourceFolder = dir_ / "src2";
        second.description = "BASE PLUS IMAGE";
        std::string error;
        ASSERT_EQ(CreateWim(wim_, {first, second}, WimCompression::None, &error), 0) << error;
    }

    static std::string Pattern(size_t size, unsigned seed)
    {
        std::string s(size, '\0');
        uint32_t x = seed;
        for (auto &c : s) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 16);
        }
        return s;
    }

    WimHandle Open(IWimApi &api, const std::string &path, uint32_t flags = 0)
    {
        return api.CreateFile(path, WIM_GENERIC_READ, WIM_OPEN_EXISTING, flags, 0, nullptr);
    }

    test::MachineScope machine_;
    test::TempDir dir_{"wimapi"};
    std::string wim_ = dir_ / "install.wim";
    std::unique_ptr<IWimApi> api_ = MakeWimlibApi();
};

TEST_F(WimApiTest, OpensCountsAndDescribesImages)
{
    uint32_t created = 99;
    WimHandle wim = api_->CreateFile(wim_, WIM_GENERIC_READ, WIM_OPEN_EXISTING, WIM_FLAG_VERIFY, 0, &created);
    ASSERT_TRUE(wim) << api_->GetLastErrorText();
    EXPECT_EQ(created, WIM_OPENED_EXISTING);
    EXPECT_TRUE(api_->SetTemporaryPath(wim, dir_.path()));
    EXPECT_EQ(api_->GetImageCount(wim), 2u);

    WimHandle image = api_->LoadImage(wim, 2);
    ASSERT_TRUE(image);
    std::string xml;
    ASSERT_TRUE(api_->GetImageInformation(image, xml));
    EXPECT_EQ(xml.rfind("<IMAGE INDEX=\"2\">", 0), 0u) << xml;
    EXPECT_NE(xml.find("<DESCRIPTION>BASE PLUS IMAGE</DESCRIPTION>"), std::string::npos);
    EXPECT_EQ(xml.find("FOUNDATION"), std::string::npos) << "only the image's own element";

    WimHandle first = api_->LoadImage(wim, 1);
    ASSERT_TRUE(api_->GetImageInformation(first, xml));
    EXPECT_NE(xml.find("<BLID>ABC1234567</BLID>"), std::string::npos);
    EXPECT_NE(xml.find("<RELEASEID>300100</RELEASEID>"), std::string::npos);

    EXPECT_FALSE(api_->LoadImage(wim, 3));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_INVALID_INDEX);
    EXPECT_FALSE(api_->LoadImage(wim, 0));

    EXPECT_TRUE(image.Close());
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(wim.Close());
    EXPECT_FALSE(wim.Close()) << "a closed handle stays closed";
}

TEST_F(WimApiTest, RefusesWhatItCannotOpen)
{
    EXPECT_FALSE(Open(*api_, dir_ / "missing.wim"));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_FILE_NOT_FOUND);

    test::WriteFile(dir_ / "text.wim", "not a wim at all, just text");
    EXPECT_FALSE(Open(*api_, dir_ / "text.wim"));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_BAD_FORMAT);
    EXPECT_FALSE(api_->GetLastErrorText().empty());

    test::WriteFile(dir_ / "empty.wim", "");
    EXPECT_FALSE(Open(*api_, dir_ / "empty.wim"));
    EXPECT_NE(api_->GetLastError(), 0u);

    const std::string whole = test::ReadFile(wim_);
    test::WriteFile(dir_ / "cut.wim", whole.substr(0, whole.size() / 2));
    WimHandle cut = Open(*api_, dir_ / "cut.wim");
    EXPECT_FALSE(cut && api_->LoadImage(cut, 1)) << "a truncated WIM does not load";

    ASSERT_TRUE(image::EncryptDecryptWim(wim_));
    EXPECT_FALSE(Open(*api_, wim_)) << "a scrambled header is not a WIM";
    ASSERT_TRUE(image::EncryptDecryptWim(wim_));
    EXPECT_TRUE(Open(*api_, wim_));

    EXPECT_FALSE(api_->CreateFile(wim_, WIM_GENERIC_WRITE, WIM_OPEN_EXISTING, 0, 0, nullptr));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(api_->CreateFile(wim_, WIM_GENERIC_READ, WIM_CREATE_ALWAYS, 0, 0, nullptr));

    WimHandle wim = Open(*api_, wim_);
    EXPECT_FALSE(api_->SetTemporaryPath(wim, dir_ / "no-such-folder"));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_PATH_NOT_FOUND);
    WimHandle none;
    EXPECT_FALSE(api_->SetTemporaryPath(none, dir_.path()));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_INVALID_HANDLE);
    WimHandle image = api_->LoadImage(wim, 1);
    EXPECT_EQ(api_->GetImageCount(image), 0u) << "an image handle is no file handle";
}

TEST_F(WimApiTest, AppliesWithProgressThatNeverGoesBack)
{
    WimHandle wim = Open(*api_, wim_, WIM_FLAG_VERIFY);
    ASSERT_TRUE(wim);
    Heard heard;
    ASSERT_NE(api_->RegisterMessageCallback(wim, Listen, &heard), INVALID_CALLBACK_VALUE);
    WimHandle image = api_->LoadImage(wim, 1);
    const std::string target = dir_ / "applied";
    ASSERT_TRUE(api_->ApplyImage(image, target, WIM_FLAG_VERIFY)) << api_->GetLastErrorText();

    EXPECT_EQ(test::ReadFile(target + "/data/big.bin"), Pattern(3 << 20, 7));
    EXPECT_EQ(test::ReadFile(target + "/setup.sh"), "#!/bin/sh\necho hi\n");
    EXPECT_TRUE(fs::is_directory(target + "/empty"));
#if !defined(_WIN32) // images made on Windows carry no POSIX modes
    struct stat st {};
    ASSERT_EQ(::stat((target + "/setup.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u) << "Unix data restored";
#endif

    ASSERT_FALSE(heard.percents.empty());
    EXPECT_EQ(heard.percents.front(), 0);
    EXPECT_EQ(heard.percents.back(), 100);
    for (size_t i = 1; i < heard.percents.size(); ++i)
        EXPECT_LT(heard.percents[i - 1], heard.percents[i]);
    EXPECT_EQ(heard.ranges, 1);

    EXPECT_TRUE(api_->UnregisterMessageCallback(wim, Listen));
    EXPECT_FALSE(api_->UnregisterMessageCallback(wim, Listen));
    const size_t heardBefore = heard.percents.size();
    ASSERT_TRUE(api_->ApplyImage(image, dir_ / "again", 0));
    EXPECT_EQ(heard.percents.size(), heardBefore) << "unregistered callbacks hear nothing";
}

TEST_F(WimApiTest, CallbackWithoutHandleHearsEveryApply)
{
    Heard heard;
    WimHandle none;
    ASSERT_NE(api_->RegisterMessageCallback(none, Listen, &heard), INVALID_CALLBACK_VALUE);
    {
        WimHandle wim = Open(*api_, wim_);
        WimHandle image = api_->LoadImage(wim, 2);
        ASSERT_TRUE(api_->ApplyImage(image, dir_ / "global", 0));
    }
    EXPECT_TRUE(api_->UnregisterMessageCallback(none, Listen));
    ASSERT_FALSE(heard.percents.empty());
    EXPECT_EQ(heard.percents.back(), 100);
    EXPECT_EQ(api_->RegisterMessageCallback(none, nullptr, nullptr), INVALID_CALLBACK_VALUE);
}

TEST_F(WimApiTest, CallbackCanAbortTheApply)
{
    WimHandle wim = Open(*api_, wim_);
    Heard heard;
    heard.abortAt50 = true;
    api_->RegisterMessageCallback(wim, Listen, &heard);
    WimHandle image = api_->LoadImage(wim, 1);
    EXPECT_FALSE(api_->ApplyImage(image, dir_ / "aborted", 0));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_REQUEST_ABORTED);
    EXPECT_EQ(heard.errors, 1);
    EXPECT_EQ(heard.lastError, static_cast<int64_t>(WIM_ERROR_REQUEST_ABORTED));
}

TEST_F(WimApiTest, SplitPartsAreReferencedNotConcatenated)
{
    std::vector<std::string> parts;
    std::string error;
    ASSERT_EQ(SplitWim(wim_, dir_ / "X.nrv", 1 << 20, &parts, &error), 0) << error;
    ASSERT_GE(parts.size(), 3u);
    EXPECT_EQ(parts[0], dir_ / "X.nrv");
    EXPECT_EQ(parts[1], dir_ / "X2.nrv");

    {
        WimHandle wim = Open(*api_, parts[0]);
        ASSERT_TRUE(wim);
        WimHandle image = api_->LoadImage(wim, 1);
        ASSERT_TRUE(image);
        EXPECT_FALSE(api_->ApplyImage(image, dir_ / "partial", 0)) << "parts missing";
        EXPECT_NE(api_->GetLastError(), 0u);
    }
    WimHandle wim = Open(*api_, parts[0]);
    for (size_t i = 1; i < parts.size(); ++i)
        ASSERT_TRUE(api_->SetReferenceFile(wim, parts[i], WIM_REFERENCE_APPEND)) << api_->GetLastErrorText();
    EXPECT_FALSE(api_->SetReferenceFile(wim, dir_ / "X9.nrv", WIM_REFERENCE_APPEND));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_FILE_NOT_FOUND);
    WimHandle image = api_->LoadImage(wim, 1);
    ASSERT_TRUE(api_->ApplyImage(image, dir_ / "whole", 0)) << api_->GetLastErrorText();
    EXPECT_EQ(test::ReadFile(dir_ / "whole/data/other.bin"), Pattern(2 << 20, 11));
}

TEST_F(WimApiTest, MountStandInIsAnExtractionRemovedOnUnmount)
{
    SetFuseMountAllowed(false);
    const std::string mount = dir_ / "mnt";
    fs::create_directories(mount);
    ASSERT_TRUE(api_->MountImage(mount, wim_, 1, dir_.path())) << api_->GetLastErrorText();
    EXPECT_EQ(test::ReadFile(mount + "/data/big.bin"), Pattern(3 << 20, 7));
    EXPECT_FALSE(api_->MountImage(mount, wim_, 1, dir_.path())) << "already mounted";

    EXPECT_FALSE(api_->UnmountImage(mount, wim_, 1, true)) << "changes are never committed";
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(api_->UnmountImage(mount, dir_ / "other.wim", 1, false));
    ASSERT_TRUE(api_->UnmountImage(mount, wim_, 1, false)) << api_->GetLastErrorText();
    EXPECT_TRUE(fs::is_directory(mount));
    EXPECT_TRUE(fs::is_empty(mount));
    EXPECT_FALSE(api_->UnmountImage(mount, wim_, 1, false)) << "nothing mounted any more";

    EXPECT_FALSE(api_->MountImage(dir_ / "no-folder", wim_, 1, ""));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(api_->MountImage(mount, wim_, 5, ""));
    EXPECT_EQ(api_->GetLastError(), WIM_ERROR_INVALID_INDEX);
    EXPECT_TRUE(fs::is_empty(mount));
    SetFuseMountAllowed(true);
}

#if !defined(_WIN32) // FUSE is a Linux mount
TEST_F(WimApiTest, FuseMountWhereAvailable)
{
    SetFuseMountAllowed(true);
    if (!FuseMountAllowed())
        GTEST_SKIP() << "no /dev/fuse";
    const std::string mount = dir_ / "fuse";
    fs::create_directories(mount);
    ASSERT_TRUE(api_->MountImage(mount, wim_, 1, "")) << api_->GetLastErrorText();
    if (!IsWimFuseMount(mount)) {
        // FUSE refused (no permission): the stand-in took over.
        EXPECT_EQ(test::ReadFile(mount + "/setup.sh"), "#!/bin/sh\necho hi\n");
        ASSERT_TRUE(api_->UnmountImage(mount, wim_, 1, false));
        GTEST_SKIP() << "FUSE mount not permitted here";
    }
    EXPECT_EQ(test::ReadFile(mount + "/data/other.bin"), Pattern(2 << 20, 11));
    ASSERT_TRUE(api_->UnmountImage(mount, wim_, 1, false)) << api_->GetLastErrorText();
    EXPECT_FALSE(IsWimFuseMount(mount));
    EXPECT_TRUE(fs::is_empty(mount));
}
#endif

TEST_F(WimApiTest, InjectedFailuresCarryTheirErrorAndReleaseHandles)
{
    FaultyWimApi faulty(*api_);
    faulty.FailOn(WimCall::LoadImage, WIM_ERROR_NOT_ENOUGH_MEMORY, 2);
    WimHandle wim = Open(faulty, wim_);
    ASSERT_TRUE(wim);
    EXPECT_EQ(faulty.GetImageCount(wim), 2u);
    WimHandle one = faulty.LoadImage(wim, 1);
    EXPECT_TRUE(one);
    EXPECT_FALSE(faulty.LoadImage(wim, 1)) << "second call fails";
    EXPECT_EQ(faulty.GetLastError(), WIM_ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(faulty.LoadImage(wim, 1)) << "third works again";
    EXPECT_EQ(faulty.Calls(WimCall::LoadImage), 3);

    faulty.FailOn(WimCall::CloseImage, 6);
    EXPECT_FALSE(one.Close());
    EXPECT_EQ(faulty.GetLastError(), 6u);
    faulty.FailOn(WimCall::ApplyImage);
    WimHandle two = faulty.LoadImage(wim, 2);
    EXPECT_FALSE(faulty.ApplyImage(two, dir_ / "never", 0));
    EXPECT_EQ(faulty.GetLastError(), WIM_ERROR_GEN_FAILURE);
    EXPECT_FALSE(fs::exists(dir_ / "never"));

    faulty.Clear();
    EXPECT_TRUE(faulty.ApplyImage(two, dir_ / "through", 0)) << "calls pass through the wrapper";
    EXPECT_EQ(test::ReadFile(dir_ / "through/second.txt"), "second image\n");
    EXPECT_EQ(faulty.GetLastError(), 0u);
    EXPECT_TRUE(two.Close());
    EXPECT_TRUE(wim.Close());

    // Every call of the interface can be made to fail.
    for (WimCall call : {WimCall::CreateFile, WimCall::SetTemporaryPath, WimCall::SetReferenceFile,
                         WimCall::GetImageCount, WimCall::GetImageInformation, WimCall::RegisterMessageCallback,
                         WimCall::UnregisterMessageCallback, WimCall::MountImage, WimCall::UnmountImage,
                         WimCall::CloseFile}) {
        faulty.FailOn(call, 1000 + static_cast<uint32_t>(call));
    }
    EXPECT_FALSE(Open(faulty, wim_));
    faulty.Clear();
    WimHandle w = Open(faulty, wim_);
    WimHandle img = faulty.LoadImage(w, 1);
    faulty.FailOn(WimCall::SetTemporaryPath, 1001);
    faulty.FailOn(WimCall::SetReferenceFile, 1002);
    faulty.FailOn(WimCall::GetImageCount, 1003);
    faulty.FailOn(WimCall::GetImageInformation, 1005);
    faulty.FailOn(WimCall::RegisterMessageCallback, 1006);
    faulty.FailOn(WimCall::UnregisterMessageCallback, 1007);
    faulty.FailOn(WimCall::MountImage, 1009);
    faulty.FailOn(WimCall::UnmountImage, 1010);
    faulty.FailOn(WimCall::CloseFile, 1012);
    std::string xml;
    EXPECT_FALSE(faulty.SetTemporaryPath(w, dir_.path()));
    EXPECT_EQ(faulty.GetLastError(), 1001u);
    EXPECT_FALSE(faulty.SetReferenceFile(w, wim_, WIM_REFERENCE_APPEND));
    EXPECT_EQ(faulty.GetImageCount(w), 0u);
    EXPECT_EQ(faulty.GetLastError(), 1003u);
    EXPECT_FALSE(faulty.GetImageInformation(img, xml));
    EXPECT_EQ(faulty.RegisterMessageCallback(w, Listen, nullptr), INVALID_CALLBACK_VALUE);
    EXPECT_FALSE(faulty.UnregisterMessageCallback(w, Listen));
    EXPECT_FALSE(faulty.MountImage(dir_.path(), wim_, 1, ""));
    EXPECT_FALSE(faulty.UnmountImage(dir_.path(), wim_, 1, false));
    EXPECT_TRUE(img.Close());
    EXPECT_FALSE(w.Close());
    EXPECT_EQ(faulty.GetLastError(), 1012u);
}

TEST_F(WimApiTest, ProcessWideInterfaceCanBeReplaced)
{
    FaultyWimApi faulty(WimApi());
    faulty.FailOn(WimCall::CreateFile, WIM_ERROR_ACCESS_DENIED);
    {
        ScopedWimApiOverride use(faulty);
        EXPECT_EQ(&WimApi(), &faulty);
        EXPECT_FALSE(Open(WimApi(), wim_));
        EXPECT_EQ(WimApi().GetLastError(), WIM_ERROR_ACCESS_DENIED);
    }
    EXPECT_NE(&WimApi(), &faulty);
    EXPECT_TRUE(Open(WimApi(), wim_));
}

} // namespace
