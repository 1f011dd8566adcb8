#include "tests/common/mod_media.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

#include "engine/frame/folder_crc.h"
#include "engine/image/wim_scramble.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "support/ini/ini_store.h"
#include "support/wim/wim_builder.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

[[maybe_unused]] std::string ShellQuote(const std::string &s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// The host's separator: the setup scripts' working folders compare with
// the media's paths as text.
#if defined(_WIN32)
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

std::string HostJoin(const std::string &base, const std::string &windowsPart)
{
    std::string part = windowsPart;
    std::replace(part.begin(), part.end(), '\\', kSep);
    return base + kSep + part;
}

#if defined(_WIN32)
// The same on Windows as a command script: one line per run, then the
// child, the wait and the exit code (ping stands in for sleep).
std::string SetupScript(const MediaModule &m, const std::string &runLog)
{
    std::ostringstream s;
    s << "@echo off\r\n";
    s << "set \"line=" << m.releaseId << " cwd=%CD% args=\"\r\n";
    s << ":next\r\nif \"%~1\"==\"\" goto done\r\nset \"line=%line%[%~1]\"\r\nshift\r\ngoto next\r\n:done\r\n";
    s << ">> \"" << runLog << "\" echo %line%\r\n";
    if (m.childSeconds > 0)
        s << "start \"\" /b cmd /c \"ping -n " << m.childSeconds + 1 << " 127.0.0.1 > nul\"\r\n";
    if (m.sleepSeconds > 0)
        s << "ping -n " << static_cast<int>(m.sleepSeconds + 1.999) << " 127.0.0.1 > nul\r\n";
    s << m.scriptExtra << "\r\n";
    s << "exit /b " << m.exitCode << "\r\n";
    return s.str();
}
#else
std::string SetupScript(const MediaModule &m, const std::string &runLog)
{
    std::ostringstream s;
    s << "#!/bin/sh\n";
    s << "line=" << ShellQuote(m.releaseId) << "\" cwd=$(pwd) args=\"\n";
    s << "for a in \"$@\"; do line=\"$line[$a]\"; done\n";
    s << "echo \"$line\" >> " << ShellQuote(runLog) << "\n";
    if (m.childSeconds > 0)
        s << "(sleep " << m.childSeconds << ") >/dev/null 2>&1 &\n";
    if (m.sleepSeconds > 0)
        s << "sleep " << m.sleepSeconds << "\n";
    s << m.scriptExtra << "\n";
    s << "exit " << m.exitCode << "\n";
    return s.str();
}
#endif

void WriteExecutable(const std::string &path, const std::string &text)
{
    WriteFile(path, text);
#if !defined(_WIN32)
    ::chmod(path.c_str(), 0755);
#endif
}

} // namespace

ModMedia::ModMedia(std::string r) : root(std::move(r))
{
    const std::string sep(1, kSep);
    perm = root + sep + "perm";
    temp = root + sep + "temp";
    trueFul = root + sep + "truefulfill";
    dest = root + sep + "dest";
    mount = root + sep + "mount";
    log = root + sep + "setup.log";
    plan = root + sep + "halcyon.ini";
    runLog = root + sep + "runs.log";
    nrvinst = root + sep + "nrvinst.oem";
    for (const std::string *d : {&perm, &temp, &trueFul, &dest, &mount})
        fs::create_directories(*d);
}

std::string ModMedia::SourceTree(const std::string &temporary) const
{
    if (platform::EqualsNoCase(temporary, "TRUE"))
        return temp;
    if (platform::EqualsNoCase(temporary, "true_fulfillment"))
        return trueFul;
    return perm;
}

void ModMedia::Build(const MediaModule &m) const
{
    if (!m.buildMedia || platform::EqualsNoCase(m.installerType, "Data"))
        return;
    const std::string folder = HostJoin(SourceTree(m.temporary), m.Path());
    fs::create_directories(folder);
    if (platform::EqualsNoCase(m.installerType, "FILE COPY")) {
        for (const auto &[name, text] : m.files)
            WriteFile(HostJoin(folder, name), text);
    } else if (m.noImage) {
        WriteExecutable(HostJoin(folder, m.setupFile), SetupScript(m, runLog));
        for (const auto &[name, text] : m.files)
            WriteFile(HostJoin(folder, name), text);
    } else {
        const std::string staging = root + "/staging/" + m.releaseId;
        fs::remove_all(staging);
        fs::create_directories(staging);
        WriteExecutable(HostJoin(staging, m.setupFile), SetupScript(m, runLog));
        for (const auto &[name, text] : m.files)
            WriteFile(HostJoin(staging, name), text);
        support::wim::WimImageSpec spec;
        spec.sourceFolder = staging;
        spec.name = m.Name();
        spec.releaseId = m.imageReleaseId.empty() ? m.releaseId : m.imageReleaseId;
        const std::string image = folder + "/" + m.releaseId + ".mod";
        std::string error;
        if (support::wim::CreateWim(image, spec, support::wim::WimCompression::None, &error) != 0)
            throw std::runtime_error("CreateWim: " + error);
        fs::remove_all(staging);
        if (m.scrambled && !image::EncryptDecryptWim(image))
            throw std::runtime_error("cannot scramble " + image);
    }
    std::string message;
    if (m.crcManifest && frame::WriteFolderManifest(folder, message) != 0)
        throw std::runtime_error("cannot write the CRC manifest of " + folder + ": " + message);
}

void ModMedia::WritePlan(const std::vector<MediaModule> &modules, const PlanSettings &settings) const
{
    support::CMemoryIniIO ini;
    ini.WriteString("IDF", "Timestamp", "2026-01-01T00:00:00");
    ini.WriteString("IDF", "Series", "NX500");
    if (!settings.waitForSetupDelay.empty())
        ini.WriteString("IDF", "WaitForSetupDelay", settings.waitForSetupDelay);
    const std::string prefix = settings.peFamily ? "PE" : "";
    int n = 1;
    for (const MediaModule &m : modules) {
        const std::string s = prefix + std::to_string(n++);
        ini.WriteString(s, "ReleaseName", m.Name());
        ini.WriteString(s, "ReleaseID", m.releaseId);
        ini.WriteString(s, "PartType", m.partType);
        ini.WriteString(s, "ModuleType", m.moduleType);
        ini.WriteString(s, "CmdLineArgs", m.cmdLineArgs);
        if (!platform::EqualsNoCase(m.installerType, "Data") || !m.pathToRelease.empty())
            ini.WriteString(s, "PathToRelease", m.Path());
        ini.WriteString(s, "InstallAfterOOBE", m.installAfterOOBE);
        ini.WriteString(s, "PartId", m.Part());
        ini.WriteString(s, "RebootBefore", m.rebootBefore);
        ini.WriteString(s, "RebootAfter", m.rebootAfter);
        ini.WriteString(s, "InstallerType", m.installerType);
        ini.WriteString(s, "SetupFile", m.setupFile);
        ini.WriteString(s, "MajorVersion", m.majorVersion);
        ini.WriteString(s, "DetailedVersion", m.detailedVersion);
        ini.WriteString(s, "VerificationType", m.verificationType);
        ini.WriteString(s, "VerificationMode", m.verificationMode);
        ini.WriteString(s, "VerCheckAfter", m.verCheckAfter);
        ini.WriteString(s, "VersionPath", m.versionPath);
        ini.WriteString(s, "BasePlus", m.basePlus);
        ini.WriteString(s, "CustomerLabel", m.Label());
        ini.WriteString(s, "Recoverable", m.recoverable);
        ini.WriteString(s, "Temporary", m.temporary);
        ini.WriteString(s, "TotalSize", m.totalSize);
    }
    if (settings.endSection)
        ini.WriteString(prefix + std::to_string(n), "End", "True");
    ini.WriteString(settings.peFamily ? "1" : "PE1", "End", "True");
    ini.WriteString("CleanSweep", "CleanSweep", settings.cleanSweep);
    if (!ini.SaveToFile(plan))
        throw std::runtime_error("cannot write " + plan);
}

void ModMedia::Make(const std::vector<MediaModule> &modules, const PlanSettings &settings) const
{
    for (const MediaModule &m : modules)
        Build(m);
    WritePlan(modules, settings);
}

int32_t ModMedia::Call(const ModSetupCall &c) const
{
    const std::string oem = c.nrvinst.empty() ? nrvinst : c.nrvinst;
    return ModSetupX(plan.c_str(), perm.c_str(), temp.c_str(), trueFul.c_str(), dest.c_str(), mount.c_str(),
                     c.installerType.c_str(), c.partType.c_str(), c.recoverable.c_str(), c.temporary.c_str(),
                     log.c_str(), c.start, c.options, c.callback, c.userData, oem.c_str(), c.exitCode);
}

std::vector<std::string> ModMedia::CommandArgs(const ModSetupCall &c) const
{
    char options[32];
    std::snprintf(options, sizeof options, "0x%llx", static_cast<unsigned long long>(c.options));
    std::vector<std::string> args = {"mod-setup", "--plan", plan, "--perm", perm, "--temp", temp,
                                     "--truefulfillment", trueFul, "--dest", dest, "--mount", mount,
                                     "--log", log, "--start", std::to_string(c.start), "--options", options,
                                     "--nrvinst", c.nrvinst.empty() ? nrvinst : c.nrvinst};
    auto add = [&](const char *name, const std::string &v) {
        if (!v.empty()) {
            args.push_back(name);
            args.push_back(v);
        }
    };
    add("--installer-type", c.installerType);
    add("--part-type", c.partType);
    add("--recoverable", c.recoverable);
    add("--temporary", c.temporary);
    return args;
}

std::vector<std::string> ModMedia::Runs() const
{
    std::vector<std::string> lines;
    std::ifstream in(runLog);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::vector<std::string> ModMedia::RunIds() const
{
    std::vector<std::string> ids;
    for (const std::string &line : Runs())
        ids.push_back(line.substr(0, line.find(' ')));
    return ids;
}

std::string ModMedia::LogText() const { return ReadFile(log); }

std::string HostChild(const std::string &folder, const std::string &windowsPart)
{
    return HostJoin(folder, windowsPart);
}

namespace {

void DumpKey(const std::string &key, std::vector<std::string> &lines)
{
    namespace reg = platform::reg;
    reg::UniqueKey h;
    if (reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, key, reg::KEY_READ, h.out()) != reg::ERROR_SUCCESS)
        return;
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; reg::RegEnumValue(h.get(), i, &name, &type, &data) == reg::ERROR_SUCCESS; ++i)
        lines.push_back(key + "|" + name + "=" + std::string(data.begin(), data.end()));
    std::vector<std::string> subkeys;
    for (uint32_t i = 0; reg::RegEnumKeyEx(h.get(), i, &name) == reg::ERROR_SUCCESS; ++i)
        subkeys.push_back(name);
    h.reset();
    for (const std::string &sub : subkeys)
        DumpKey(key + "\\" + sub, lines);
}

} // namespace

std::string DumpRegistryTree(const std::string &key)
{
    std::vector<std::string> lines;
    DumpKey(key, lines);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string &l : lines)
        out += l + "\n";
    return out;
}

int32_t ProgressLog::Callback(int32_t index, int32_t total, const char *label, uintptr_t user)
{
    reinterpret_cast<ProgressLog *>(user)->calls.push_back({index, total, label ? label : ""});
    return 0;
}

} // namespace halcyon::test
