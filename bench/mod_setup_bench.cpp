// Engine overhead of the module setup verb per module: a 200-module plan
// whose installers do nothing ("exit 0"), timed end to end (plan reading,
// resume marks and registration in the registry, image apply, process start
// and wait, clean-up). Prints a table in Markdown.
//
//   mod_setup_bench [MODULES] [ROUNDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/staging/mod_setup_options.h"
#include "halcyon/HalcyonDLL.h"
#include "support/ini/ini_store.h"
#include "support/wim/wim_builder.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

struct Media {
    std::string root, perm, mount, dest, plan, peplan, log;
};

void WriteFile(const std::string &path, const std::string &text, bool executable)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    if (executable)
        ::chmod(path.c_str(), 0755);
}

void WritePlan(const std::string &path, int modules, bool pe, bool selected)
{
    support::CMemoryIniIO ini;
    ini.WriteString("IDF", "Series", "BENCH");
    const std::string prefix = pe ? "PE" : "";
    for (int i = 1; i <= modules; ++i) {
        const std::string s = prefix + std::to_string(i);
        const std::string id = std::to_string(400000 + i);
        const std::pair<const char *, std::string> keys[] = {
            {"ReleaseName", "Bench " + id}, {"ReleaseID", id}, {"PartType", selected ? "Module" : "Other"},
            {"ModuleType", "Module"}, {"CmdLineArgs", ""}, {"PathToRelease", "mods\\" + id},
            {"PartId", "P" + id}, {"InstallerType", "EXE/BATCH"}, {"SetupFile", "setup.sh"},
            {"MajorVersion", "1"}, {"DetailedVersion", "1.0"}, {"VerificationType", "ReturnCode"},
            {"VerificationMode", "None"}, {"BasePlus", "True"}, {"CustomerLabel", "Bench " + id},
            {"Recoverable", "True"}, {"Temporary", "FALSE"}, {"TotalSize", "1"}};
        for (const auto &[k, v] : keys)
            ini.WriteString(s, k, v);
    }
    ini.WriteString(prefix + std::to_string(modules + 1), "End", "True");
    ini.WriteString(pe ? "1" : "PE1", "End", "True");
    ini.SaveToFile(path);
}

Media MakeMedia(const std::string &root, int modules)
{
    Media m{root, root + "/perm", root + "/mount", root + "/dest", root + "/plan.ini", root + "/peplan.ini",
            root + "/bench.log"};
    fs::create_directories(m.mount);
    fs::create_directories(m.dest);
    const std::string staging = root + "/staging";
    WriteFile(staging + "/setup.sh", "#!/bin/sh\nexit 0\n", true);
    support::wim::WimImageSpec spec;
    spec.sourceFolder = staging;
    std::string error;
    for (int i = 1; i <= modules; ++i) {
        const std::string id = std::to_string(400000 + i);
        const std::string folder = m.perm + "/mods/" + id;
        fs::create_directories(folder);
        spec.releaseId = id;
        if (support::wim::CreateWim(folder + "/" + id + ".mod", spec, support::wim::WimCompression::None, &error)) {
            std::fprintf(stderr, "CreateWim: %s\n", error.c_str());
            std::exit(1);
        }
    }
    return m;
}

// One call of the verb; seconds taken.
double Run(const Media &m, const std::string &plan, uint64_t options, const char *partType, int32_t &rc)
{
    auto t0 = std::chrono::steady_clock::now();
    rc = ModSetupX(plan.c_str(), m.perm.c_str(), m.perm.c_str(), m.perm.c_str(), m.dest.c_str(), m.mount.c_str(), "",
                   partType, "", "", m.log.c_str(), 1, options, nullptr, 0, "", nullptr);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int modules = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    char tmpl[] = "/tmp/mod-setup-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const std::string root = tmpl;
    ::setenv("HALCYON_MACHINE", (root + "/machine").c_str(), 1);
    Media m = MakeMedia(root, modules);
    WritePlan(m.plan, modules, false, true);
    WritePlan(m.peplan, modules, true, true);
    const std::string skipped = root + "/skipped.ini";
    WritePlan(skipped, modules, false, false);
    // The PE form without images: the installer lies in the module folder.
    for (int i = 1; i <= modules; ++i) {
        const std::string id = std::to_string(400000 + i);
        WriteFile(root + "/pe/mods/" + id + "/setup.sh", "#!/bin/sh\nexit 0\n", true);
    }
    Media pe = m;
    pe.perm = root + "/pe";

    struct Case {
        const char *name;
        const Media *media;
        std::string plan;
        uint64_t options;
        const char *partType;
    };
    const Case cases[] = {
        {"image apply + installer (EXE/BATCH)", &m, m.plan, 0, ""},
        {"image mount + installer (option 0x4000000)", &m, m.plan, modules::OPTION_MOUNT_WIM, ""},
        {"installer in the module folder (PE, no image)", &pe, m.peplan, modules::OPTION_PE_MODULES, ""},
        {"module filtered out (marks only)", &m, skipped, modules::OPTION_FILTER_PART_TYPE, "Module"},
    };
    std::printf("| case | modules | best total (s) | per module (ms) |\n|---|---:|---:|---:|\n");
    // MOD_SETUP_BENCH_CASE=n runs only the n-th case (1-based).
    const char *only = std::getenv("MOD_SETUP_BENCH_CASE");
    int index = 0;
    for (const Case &c : cases) {
        if (++index, only && std::atoi(only) != index)
            continue;
        double best = 1e9;
        for (int r = 0; r < rounds; ++r) {
            int32_t rc = 0;
            double s = Run(*c.media, c.plan, c.options, c.partType, rc);
            if (rc != 0) {
                std::fprintf(stderr, "%s: ModSetupX returned %d (log %s)\n", c.name, rc, m.log.c_str());
                return 1;
            }
            best = std::min(best, s);
        }
        std::printf("| %s | %d | %.3f | %.2f |\n", c.name, modules, best, best * 1000.0 / modules);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
