// A private machine with drive X: of the recovery environment, fake Windows
// PE tools, and the MuiChooser server registered in its registry.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <cstdlib>
#include <sys/stat.h>

#include "halcyon/MuiChooser.h"
#include "langsel/activation.h"
#include "platform/machine_prefix.h"
#include "platform/non_copyable.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

// Owns one interface reference.
template <class T> class ComPtr : NonCopyable {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    T *get() const { return p_; }
    T *operator->() const { return p_; }
    void **out()
    {
        reset();
        return reinterpret_cast<void **>(&p_);
    }
    T **typed()
    {
        reset();
        return &p_;
    }
    void reset()
    {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T *p_ = nullptr;
};

class MuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        x_ = platform::DriveFolder('x');
        std::filesystem::create_directories(x_ + "/Norv/Plugins/logs");
        std::filesystem::create_directories(x_ + "/Windows/System32");
        ASSERT_TRUE(server_) << server_.error();
        auto reg = reinterpret_cast<HRESULT (*)()>(server_.Symbol("DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), S_OK);
        bstr_ = langsel::BstrFunctionsOf(server_);
        ASSERT_TRUE(bstr_);
    }

    void TearDown() override { langsel::FreeUnusedLibraries(); }

    // A new ComMUI object through class activation.
    void Create(ComPtr<IComMUI> &object)
    {
        ASSERT_EQ(langsel::CreateInstance("MuiChooser.ComMUI", IID_IComMUI, object.out()), S_OK);
        ASSERT_TRUE(object);
    }

    BSTR Bstr(std::u16string_view text) { return bstr_.allocLen(text.data(), static_cast<UINT>(text.size())); }
    std::u16string Text(BSTR b) { return b ? std::u16string(b, bstr_.length(b)) : std::u16string(); }

    std::string X(const std::string &rest) const { return x_ + "/" + rest; }
    std::string Drive(char letter, const std::string &rest) const
    {
        return platform::DriveFolder(letter) + "/" + rest;
    }
    void WriteAt(const std::string &path, const std::string &text)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, text);
    }
    std::string Log() const
    {
        std::string path = x_ + "/Norv/Plugins/logs/MuiChooser_log.txt";
        return std::filesystem::exists(path) ? ReadFile(path) : std::string();
    }
    // A fake tool in X:\Windows\System32 that appends its arguments, each in
    // brackets, as one line to `record` and exits with `code`.
    std::string FakeTool(const std::string &name, int code)
    {
        std::string record = machine_.root() + "/" + name + ".calls";
        std::string path = x_ + "/Windows/System32/" + name;
        WriteFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> '" + record +
                            "'\necho >> '" + record + "'\nexit " + std::to_string(code) + "\n");
        ::chmod(path.c_str(), 0755);
        return record;
    }
    std::string Calls(const std::string &record) const
    {
        return std::filesystem::exists(record) ? ReadFile(record) : std::string();
    }
    // Points the machine at a folder that cannot be made (below a plain
    // file), so that every registry call fails, while `body` runs.
    template <class F> void WithUnmakeableMachine(F body)
    {
        WriteFile(machine_.root() + "/plain-file", "x");
        std::string keep = machine_.root();
        ::setenv("HALCYON_MACHINE", (keep + "/plain-file/machine").c_str(), 1);
        body();
        ::setenv("HALCYON_MACHINE", keep.c_str(), 1);
    }
    void Partitions(const std::string &lines) { WriteFile(machine_.root() + "/machine.ini", "[Partitions]\n" + lines); }

    MachineScope machine_;
    std::string x_;
    langsel::ServerLibrary server_{MUICHOOSER_DLL_PATH};
    langsel::BstrFunctions bstr_;
};

} // namespace halcyon::test
