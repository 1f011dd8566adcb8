// Shared fixture of the module setup tests: a private machine, media in a
// temporary folder and helpers to read the resume marks.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/modules/installed_software_keys.h"
#include "engine/modules/installer_arguments.h"
#include "engine/staging/mod_setup_options.h"
#include "tests/common/mod_media.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

class ModSetupFixture : public ::testing::Test {
protected:
    MachineScope machine;
    TempDir dir{"modsetup"};
    ModMedia media{dir.path()};
    ProgressLog progress;

    ModSetupCall WithProgress(uint64_t options = 0)
    {
        ModSetupCall c;
        c.options = options;
        c.callback = &ProgressLog::Callback;
        c.userData = reinterpret_cast<uintptr_t>(&progress);
        return c;
    }

    static MediaModule Module(const std::string &id)
    {
        MediaModule m;
        m.releaseId = id;
        return m;
    }

    static std::vector<MediaModule> Modules(int count, int firstId = 300101)
    {
        std::vector<MediaModule> v;
        for (int i = 0; i < count; ++i)
            v.push_back(Module(std::to_string(firstId + i)));
        return v;
    }

    // A resume mark; "<absent>" when it cannot be read.
    static std::string Mark(const char *name)
    {
        std::string v;
        if (modules::ReadRegString(modules::kInstallerStatusKey, name, v) != 0)
            return "<absent>";
        return v;
    }

    static bool StatusKeyExists();
    static std::string Registration(const MediaModule &m, const char *value)
    {
        std::string v;
        if (modules::ReadRegString(std::string(modules::kModulesKey) + m.Label() + " " + m.Part(), value, v) != 0)
            return "<absent>";
        return v;
    }

    bool LogHas(const std::string &text) const { return media.LogText().find(text) != std::string::npos; }
};

inline bool ModSetupFixture::StatusKeyExists()
{
    std::string v;
    int32_t rc = modules::ReadRegString(modules::kInstallerStatusKey, "PreviousItemName", v);
    return rc != modules::kRegKeyNotOpened;
}

} // namespace halcyon::test
