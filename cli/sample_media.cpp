#include "cli/sample_media.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <wimlib.h>

#include "cli/joined.h"
#include "cli/real_machine.h"
#include "engine/frame/folder_crc.h"
#include "engine/image/wim_scramble.h"
#include "platform/machine.h"
#include "support/wim/wim_builder.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

namespace {

constexpr const char *kBlid = "NX500A0001";

void Write(const fs::path &p, const std::string &data, bool executable = false)
{
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + platform::PathUtf8(p));
    if (executable) {
        std::error_code ec;
        fs::permissions(p, fs::perms(0755), ec);
    }
}

// Deterministic filler that compresses like real program files (partly).
std::string Filler(size_t bytes, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        s[i] = (i / 64) % 3 == 0 ? static_cast<char>('A' + (i % 26)) : static_cast<char>(rng() & 0xFF);
    return s;
}

// A setup script: records its run and arguments, writes its files and
// registry values on the target, exits with `exitCode`. On the emulated
// machine a shell script (the target is its drive C:); on Windows a command
// script that installs into the machine's own C:\Program Files and HKLM, as
// a factory installer does (no "||": Wine's cmd leaves the script at it).
std::string SetupScript(const std::string &name, const std::string &programFolder, const std::string &version,
                        int exitCode)
{
    if (kRealMachine)
        return "@echo off\r\n"
               "rem Setup of " + name + " (sample media).\r\n"
               "set \"dir=C:\\Program Files\\" + programFolder + "\"\r\n"
               "if not exist \"%dir%\" mkdir \"%dir%\"\r\n"
               "if not exist \"%dir%\" exit /b 1\r\n"
               "if exist payload xcopy /e /i /y /q payload \"%dir%\" > nul\r\n"
               "> \"%dir%\\version.txt\" echo " + version + "\r\n"
               ">> \"%HALCYON_TARGET%\\setup-runs.log\" echo " + name + " ran with: %*\r\n"
               "reg add \"HKLM\\SOFTWARE\\NX500\\" + programFolder + "\" /v Version /t REG_SZ /d \"" + version +
               "\" /f > nul\r\n"
               "if errorlevel 1 exit /b 1\r\n"
               "exit /b " + std::to_string(exitCode) + "\r\n";
    std::string s = "#!/bin/sh\n"
                    "# Setup of " + name + " (sample media).\n"
                    "set -e\n"
                    "target=\"${HALCYON_TARGET:?}\"\n"
                    "dir=\"$target/Program Files/" + programFolder + "\"\n"
                    "mkdir -p \"$dir\"\n"
                    "cp -R ./payload/. \"$dir/\" 2>/dev/null || true\n"
                    "printf '%s\\r\\n' '" + version + "' > \"$dir/version.txt\"\n"
                    "printf '%s ran with:' '" + name + "' >> \"$target/setup-runs.log\"\n"
                    "for a in \"$@\"; do printf ' [%s]' \"$a\" >> \"$target/setup-runs.log\"; done\n"
                    "printf '\\n' >> \"$target/setup-runs.log\"\n"
                    "\"${HALCYON_BIN:?}\" reg add 'HKLM\\SOFTWARE\\NX500\\" + programFolder +
                    "' /v Version /t REG_SZ /d '" + version + "' /f > /dev/null\n"
                    "exit " + std::to_string(exitCode) + "\n";
    return s;
}

// The file name of a setup script: "setup" -> "setup.sh", or "setup.cmd" on
// Windows.
// The drive the image's drivers are copied to: the emulated machine's C: is
// the target; on Windows the target is a folder of its own (HALCYON_TARGET,
// set by the run), so the version check must look there and not on C:.
constexpr const char *kDriverRoot = kRealMachine ? "%HALCYON_TARGET%" : "C:";

std::string Script(const std::string &base) { return base + (kRealMachine ? ".cmd" : ".sh"); }

struct ModuleSpec {
    std::string releaseId;
    std::string partName;
    std::string moduleType;   // moduleType attribute
    std::string installer;    // InstallerType
    std::string setupFile;
    std::string reboot;       // rebootSetting
    std::string temporary = "False";
    std::string args;
    std::string version;
    std::string verifyPath;   // VerificationPath
    int order = 10;
    bool scrambled = false;
    bool manifest = false;
};

std::string Attr(const std::string &v)
{
    std::string out;
    for (char c : v)
        out += c == '&' ? "&amp;" : c == '"' ? "&quot;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    return out;
}

std::string ModuleXml(const ModuleSpec &m)
{
    std::string path = m.installer == "Data" ? "" : "data\\" + m.releaseId;
    return "  <Release ReleaseID=\"" + m.releaseId + "\" PartId=\"P" + m.releaseId + "\" Name=\"" + Attr(m.partName) +
           "\">\n"
           "    <PartNumber>SKU-NX500-BASE</PartNumber>\n"
           "    <Software SoftwareType=\"Module\" PartName=\"" + Attr(m.partName) + "\" ReleaseID=\"" + m.releaseId +
           "\" PartType=\"Module\"\n"
           "              moduleType=\"" + m.moduleType + "\" CommandLineArguments=\"" + Attr(m.args) +
           "\" PathToRelease=\"" + path + "\"\n"
           "              PartId=\"P" + m.releaseId + "\" rebootSetting=\"" + m.reboot + "\" InstallerType=\"" +
           m.installer + "\" SetupFile=\"" + Attr(m.setupFile) + "\"\n"
           "              MajorVersion=\"1\" DetailedVersion=\"" + m.version + "\" VersionCheckAfterInstallation=\"" +
           (m.verifyPath.empty() ? "" : m.version) + "\" VerificationPath=\"" + Attr(m.verifyPath) + "\"\n"
           "              BasePlus=\"True\" CustomerDescription=\"" + Attr(m.partName) + "\" CustomerLabel=\"" +
           Attr(m.partName) + "\" Recoverable=\"True\"\n"
           "              Temporary=\"" + m.temporary + "\" InstallOrderIndex=\"" + std::to_string(m.order) +
           "\" TotalSize=\"1024\" OS=\"W11P64\"/>\n" +
           (m.installer == "Data" ? "    <DataModule Name=\"ZRP_RECVPARTBUFFER_DATAPART\" Value=\"500\"/>\n"
                                    "    <DataModule Name=\"ExFunc\" Value=\"A12\"/>\n"
                                    "    <DataModule Name=\"ZPGM_ELIG_VAL\" Value=\"EDU\"/>\n"
                                  : "") +
           "  </Release>\n";
}

// An image of `folder`; owner, group and mode are kept where the host has
// them (wimlib on Windows cannot capture UNIX data).
support::wim::WimImageSpec Capture(const fs::path &folder)
{
    support::wim::WimImageSpec spec;
    spec.sourceFolder = platform::PathUtf8(folder);
    spec.unixData = !kRealMachine;
    return spec;
}

int32_t MakeModuleImage(const fs::path &work, const fs::path &modFile, const ModuleSpec &m, std::string &error)
{
    fs::path content = work / ("mod-" + m.releaseId);
    Write(content / m.setupFile, SetupScript(m.partName, m.partName, m.version, 0), true);
    Write(content / "payload" / "readme.txt", m.partName + " " + m.version + "\r\n");
    Write(content / "payload" / "bin" / "tool.dat", Filler(64 * 1024, static_cast<uint32_t>(std::stoul(m.releaseId))));
    support::wim::WimImageSpec spec = Capture(content);
    spec.name = m.partName;
    spec.description = "MODULE";
    spec.releaseId = m.releaseId;
    fs::create_directories(modFile.parent_path());
    int32_t rc =
        support::wim::CreateWim(platform::PathUtf8(modFile), spec, support::wim::WimCompression::Xpress, &error);
    if (rc == 0 && m.scrambled && !image::EncryptDecryptWim(platform::PathUtf8(modFile))) {
        error = "cannot scramble " + platform::PathUtf8(modFile);
        return -1;
    }
    return rc;
}


// Copies a file or folder tree from the share onto a medium.
void Put(const fs::path &from, const fs::path &to)
{
    fs::create_directories(to.parent_path());
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// Cuts `wim` into `count` byte pieces "Norv<n>.nr2" in `folder`.
std::vector<fs::path> CutIntoParts(const fs::path &wim, const fs::path &folder, int count)
{
    std::ifstream in(wim, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<fs::path> parts;
    const size_t piece = (bytes.size() + static_cast<size_t>(count) - 1) / static_cast<size_t>(count);
    for (int i = 0; i < count; ++i) {
        const size_t start = std::min(bytes.size(), piece * static_cast<size_t>(i));
        parts.push_back(folder / ("Norv" + std::to_string(i + 1) + ".nr2"));
        Write(parts.back(), bytes.substr(start, std::min(piece, bytes.size() - start)));
    }
    return parts;
}

std::string Join(const std::vector<std::string> &entries) { return Joined(entries, ","); }

// The recovery media a maker cuts from the share: two discs and one USB
// medium carrying the IDF, the recovery environment, the permanent modules'
// folders and the foundation image (with its push-button-reset image) cut
// into parts spread over the discs, described by nrvhdrcv.ini.
void WriteRecoveryMedia(const fs::path &root, const fs::path &work, const fs::path &os,
                        const std::vector<std::string> &permanentModules, SampleMedia &media, std::string &error)
{
    const fs::path share = root;
    const fs::path recovery = root / "recovery";
    fs::remove_all(recovery);

    // The recovery environment (drive X:): the language list, the language
    // tool and the server's log folder.
    fs::path winre = work / "winre";
    Write(winre / "Norv" / "ZRPLP.ini",
          "[LPMode]\r\nLP-C=No\r\n[Lang]\r\nLang1=en-US\r\nLang2=de-DE\r\nLang3=fr-FR\r\nLang4=ja-JP\r\n");
    Write(winre / "Windows" / "System32" / "Wpeutil.exe",
          "#!/bin/sh\n# Language tool of the recovery environment (sample media).\n"
          "printf '%s\\n' \"$*\" >> \"$(dirname \"$0\")/wpeutil.log\"\nexit 0\n",
          true);
    fs::create_directories(winre / "Norv" / "Plugins" / "logs");
    support::wim::WimImageSpec env = Capture(winre);
    env.name = "NX500 Recovery Environment";
    env.description = "RECOVERY ENVIRONMENT";
    env.releaseId = "300200";
    const fs::path winreWim = work / "winre.wim";
    if (int32_t rc =
            support::wim::CreateWim(platform::PathUtf8(winreWim), env, support::wim::WimCompression::Xpress, &error);
        rc != 0)
        throw std::runtime_error("recovery environment: " + error);

    // The foundation image for recovery: the factory image and the
    // push-button-reset image (the same system with its reset settings).
    fs::path pbr = work / "pbr";
    fs::copy(os, pbr, fs::copy_options::recursive);
    Write(pbr / "Recovery" / "OEM" / "ResetConfig.xml",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Reset>\r\n  <Run Phase=\"FactoryReset_AfterImageApply\"/>\r\n"
          "</Reset>\r\n");
    support::wim::WimImageSpec fi = Capture(os), reset = Capture(pbr);
    fi.name = "NX500 Foundation Image";
    fi.description = "FOUNDATION IMAGE 1";
    fi.releaseId = "300100";
    reset.name = "NX500 Push-Button Reset";
    reset.description = "PUSHBUTTONRESET IMAGE";
    reset.releaseId = "300100";
    const fs::path norv = work / "Norv.wim";
    if (int32_t rc = support::wim::CreateWim(platform::PathUtf8(norv), {fi, reset},
                                             support::wim::WimCompression::Xpress, &error);
        rc != 0)
        throw std::runtime_error("recovery foundation image: " + error);
    // With an integrity table, so that the rebuilt image tells a damaged part.
    {
        WIMStruct *wim = nullptr;
        // wimlib takes the host's own path characters (UTF-16 on Windows).
        int rc = wimlib_open_wim(norv.c_str(), 0, &wim);
        if (rc == 0)
            rc = wimlib_overwrite(wim, WIMLIB_WRITE_FLAG_CHECK_INTEGRITY | WIMLIB_WRITE_FLAG_REBUILD, 0);
        wimlib_free(wim);
        if (rc != 0)
            throw std::runtime_error(
                "recovery foundation image: wimlib error " + std::to_string(rc) + " (" +
                platform::PathUtf8(fs::path(wimlib_get_error_string(static_cast<enum wimlib_error_code>(rc)))) + ")");
    }
    const auto parts = CutIntoParts(norv, work / "parts", 3);

    // What each medium holds.
    std::vector<std::string> disc1 = {"sources\\nx500.xml", "sources\\nrvhdrcv.ini", "sources\\boot.wim",
                                      "sources\\data\\300200", "sources\\data\\300100"};
    std::vector<std::string> disc2;
    for (size_t i = 0; i < permanentModules.size(); ++i)
        (i < permanentModules.size() / 2 ? disc1 : disc2).push_back("sources\\data\\" + permanentModules[i]);
    disc1.insert(disc1.end(), {"sources\\Norv1.nr2", "sources\\Norv2.nr2"});
    disc2.push_back("sources\\Norv3.nr2");
    std::vector<std::string> usb = disc1;
    usb.insert(usb.end(), disc2.begin(), disc2.end());

    const std::string description = "[SOURCE]\r\nWINREPart=sources\\boot.wim\r\nFIPart=Norv1.nr2,Norv2.nr2,Norv3.nr2\r\n"
                                    "[MEDIA:RDVD]\r\nRDVD1=" + Join(disc1) + "\r\nRDVD2=" + Join(disc2) +
                                    "\r\n[MEDIA:RUFD]\r\nRUFD1=" + Join(usb) + "\r\n";
    auto author = [&](const fs::path &medium, const std::string &marker, const std::vector<std::string> &entries) {
        fs::create_directories(medium / "sources");
        Write(medium / "sources" / marker, "");
        for (std::string entry : entries) {
            const std::string host = [&] {
                std::string h = entry;
                for (char &c : h)
                    if (c == '\\')
                        c = '/';
                return h;
            }();
            if (entry == "sources\\nx500.xml")
                Put(media.idf, medium / host); // the IDF the recovery plan is built from
            else if (entry == "sources\\nrvhdrcv.ini")
                Write(medium / host, description);
            else if (entry == "sources\\boot.wim")
                Put(winreWim, medium / host); // the recovery environment's boot image
            else if (entry == "sources\\data\\300200")
                Put(winreWim, medium / host / "winre.wim");
            else if (entry == "sources\\data\\300100")
                Put(share / "sources" / "data" / "300100" / "apps.app", medium / host / "apps.app");
            else if (entry.rfind("sources\\Norv", 0) == 0)
                Put(parts[static_cast<size_t>(entry[12] - '1')], medium / host);
            else
                Put(share / host, medium / host);
        }
    };
    media.discs = {platform::PathUtf8(recovery / "rdvd1"), platform::PathUtf8(recovery / "rdvd2")};
    media.usb = platform::PathUtf8(recovery / "rufd1");
    author(media.discs[0], "RDVD1", disc1);
    author(media.discs[1], "RDVD2", disc2);
    author(media.usb, "RUFD1", usb);
    // A medium is self-contained: each disc also carries the description.
    Write(platform::FsPath(media.discs[1]) / "sources" / "nrvhdrcv.ini", description);
}
} // namespace

bool WriteSampleMedia(const std::string &rootText, SampleMedia &media, std::string &error)
{
    try {
        fs::path root = fs::absolute(platform::FsPath(rootText));
        fs::create_directories(root);
        fs::path work = root / ".build";
        fs::remove_all(work);
        media = SampleMedia{};
        media.root = platform::PathUtf8(root);
        media.idf = platform::PathUtf8(root / "nx500.xml");
        media.bom = platform::PathUtf8(root / "nx500.bom");
        media.blid = kBlid;

        // The foundation image: a small Windows tree.
        fs::path os = work / "foundation";
        Write(os / "Windows" / "System32" / "config" / "SYSTEM", Filler(2 << 20, 1));
        Write(os / "Windows" / "System32" / "kernel.sys", Filler(6 << 20, 2));
        Write(os / "Windows" / "System32" / "drivers" / "storage.sys", Filler(1 << 20, 3));
        Write(os / "Windows" / "Fonts" / "sans.ttf", Filler(3 << 20, 4));
        Write(os / "Program Files" / "Common Files" / "shared.dll", Filler(2 << 20, 5));
        Write(os / "Users" / "Default" / "NTUSER.DAT", Filler(256 << 10, 6));
        Write(os / "Windows" / "win.ini", "; for 16-bit app support\r\n[fonts]\r\n");
        fs::create_directories(os / "Windows" / "Temp");
        support::wim::WimImageSpec foundation = Capture(os);
        foundation.name = "NX500 Foundation Image";
        foundation.description = "FOUNDATION IMAGE 1";
        foundation.blid = std::string(kBlid) + ", NX500B0002";
        foundation.releaseId = "300100";
        // Shipped split in two (system.nrv, system2.nrv), the first part's
        // header scrambled.
        fs::path systemWim = root / "sources" / "data" / "300100" / "system.nrv";
        fs::create_directories(systemWim.parent_path());
        const fs::path whole = work / "system.wim";
        if (int32_t rc = support::wim::CreateWim(platform::PathUtf8(whole), foundation,
                                                 support::wim::WimCompression::Xpress, &error);
            rc != 0) {
            error = "foundation image: " + error;
            return false;
        }
        if (int32_t rc = support::wim::SplitWim(platform::PathUtf8(whole), platform::PathUtf8(systemWim),
                                                (fs::file_size(whole) + 1) / 2, nullptr, &error);
            rc != 0) {
            error = "foundation image: " + error;
            return false;
        }
        if (!image::EncryptDecryptWim(platform::PathUtf8(systemWim))) {
            error = "cannot scramble the foundation image";
            return false;
        }
        uint64_t osKb = 0;
        for (auto &e : fs::recursive_directory_iterator(os))
            if (e.is_regular_file())
                osKb += (e.file_size() + 1023) / 1024;

        // The application image beside the foundation image: an application
        // with its setup program and a driver copied as a folder.
        fs::path apps = work / "apps";
        Write(apps / "Apps" / "PhotoViewer" / Script("setup"), SetupScript("Photo Viewer", "PhotoViewer", "2.1.0", 0),
              true);
        Write(apps / "Apps" / "PhotoViewer" / "payload" / "viewer.dat", Filler(32 * 1024, 300150));
        Write(apps / "Apps" / "CardReader" / "cardreader.inf", "[Version]\r\nDriverVer=3.0.1\r\n");
        Write(apps / "Apps" / "CardReader" / "version.txt", "3.0.1\r\n");
        support::wim::WimImageSpec appSpec = Capture(apps);
        appSpec.name = "NX500 Applications";
        appSpec.description = "APPLICATIONS";
        if (int32_t rc = support::wim::CreateWim(platform::PathUtf8((systemWim.parent_path() / "apps.app")), appSpec,
                                                 support::wim::WimCompression::Xpress, &error);
            rc != 0) {
            error = "application image: " + error;
            return false;
        }

        std::vector<ModuleSpec> modules = {
            {"300310", "Support Assistant", "Application Module", "EXE/BATCH", Script("install"), "After", "False",
             "--silent --log \"x y\"", "4.0.7", "C:\\Program Files\\Support Assistant\\version.txt", 20, true},
            {"300320", "Trial Tools", "Tool Module", "EXE/BATCH", "setup.cmd", "Before", "True", "", "1.3", "", 30},
            {"300330", "Energy Profile", "EPC", "EXE/BATCH", Script("apply"), "None", "False", "/profile=balanced",
             "1.0", "", 5},
            {"300360", "Touchpad Driver", "Driver Module", "EXE/BATCH", Script("setup"), "Both", "False", "", "2.2.1",
             "C:\\Program Files\\Touchpad Driver\\version.txt", 15, true},
            {"300370", "Media Codecs", "Application Module", "EXE/BATCH", Script("setup"), "None", "False", "", "9.1",
             "", 25},
            {"300380", "Store Links", "Application Module", "EXE/BATCH", Script("setup"), "None", "True_Fulfillment",
             "", "1.0", "", 40},
        };
        std::string releases;
        for (const auto &m : modules) {
            fs::path modFile = root / "sources" / "data" / m.releaseId / (m.releaseId + ".mod");
            if (int32_t rc = MakeModuleImage(work, modFile, m, error); rc != 0) {
                error = m.partName + ": " + error;
                return false;
            }
            releases += ModuleXml(m);
        }

        // A FILE COPY module with a CRC manifest (removed from the copy).
        ModuleSpec chipset{"300300", "Chipset Driver", "Driver Module", "FILE COPY", "Drivers\\Chipset", "None",
                           "False", "", "10.1.2", "Drivers\\Chipset\\version.txt", 10};
        fs::path chipsetDir = root / "sources" / "data" / "300300";
        Write(chipsetDir / "chipset.inf", "[Version]\r\nDriverVer=10.1.2\r\n");
        Write(chipsetDir / "version.txt", "10.1.2\r\n");
        Write(chipsetDir / "x64" / "chipset.sys", Filler(128 * 1024, 300300));
        std::string message;
        if (frame::WriteFolderManifest(platform::PathUtf8(chipsetDir), message) != 0) {
            error = "cannot write the CRC manifest of " + platform::PathUtf8(chipsetDir) + ": " + message;
            return false;
        }
        releases += ModuleXml(chipset);

        // A module of the pre-installation environment: its installer lies
        // in the module folder itself.
        ModuleSpec pe{"300340", "PE Tools", "PE-Module", "EXE/BATCH", Script("petools"), "None", "False", "", "1.0",
                      "",       1};
        Write(root / "sources" / "data" / "300340" / Script("petools"), SetupScript("PE Tools", "PE Tools", "1.0", 0),
              true);
        releases += ModuleXml(pe);

        // Every module folder carries its CRC manifest.
        std::vector<std::string> permanent;
        for (const auto &m : modules)
            if (m.temporary == "False")
                permanent.push_back(m.releaseId);
        permanent.insert(permanent.begin(), "300300");
        permanent.push_back("300340");
        for (const std::string id : {"300310", "300320", "300330", "300340", "300360", "300370", "300380"}) {
            if (frame::WriteFolderManifest(platform::PathUtf8(root / "sources" / "data" / id), message) != 0) {
                error = "cannot write the CRC manifest of module " + std::string(id) + ": " + message;
                return false;
            }
        }

        // Factory switches.
        ModuleSpec data{"300500", "Factory Switches", "Module", "Data", "", "None", "False", "", "1.0", "", 99};
        releases += ModuleXml(data);
        media.modules = static_cast<int>(modules.size()) + 2; // + FILE COPY + Data

        std::string idf =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<IDF IDFFormatVersion=\"1.05.0.20080531.1\" Timestamp=\"2026-11-30T10:00:00\" Series=\"NX500\"\n"
            "     LangRegion=\"EN-US\" BomSnapshotName=\"NX500-Q4\" BomSnapshotID=\"SNAP-000123\"\n"
            "     WaitForSetupDelay=\"0\" HDDRecovery=\"True\" DynamicP1=\"True\" Mcode=\"M-NX500-01\">\n"
            "  <ComponentList>\n    <Component PartNumber=\"MB-NX500\"/>\n  </ComponentList>\n"
            "  <Mcode Code=\"M-NX500-01\">\n    <PartNumber>SKU-NX500-BASE</PartNumber>\n  </Mcode>\n"
            "  <Release ReleaseID=\"300100\" PartId=\"P300100\" Name=\"Foundation image\">\n"
            "    <PartNumber>SKU-NX500-BASE</PartNumber>\n"
            "    <Software SoftwareType=\"Foundation Image\" PartName=\"NX500 Foundation Image\" BLID=\"" +
            std::string(kBlid) +
            ",NX500B0002\"\n"
            "              MajorVersion=\"11\" OS=\"W11P64\" ReleaseID=\"300100\" PathToRelease=\"data\\300100\"\n"
            "              TotalSize=\"" +
            std::to_string(osKb) +
            "\" BitLocker=\"false\">\n"
            "      <ChildRelease ReleaseID=\"300150\"/>\n"
            "      <ChildRelease ReleaseID=\"300160\"/>\n"
            "    </Software>\n"
            "  </Release>\n"
            "  <Release ReleaseID=\"300150\" PartId=\"P300150\" Name=\"Photo viewer (in image)\">\n"
            "    <Software SoftwareType=\"Image Application\" PartName=\"Photo Viewer\" ReleaseID=\"300150\" "
            "PartType=\"Application\"\n"
            "              ModuleType=\"Application Module\" CommandLineArguments=\"/quiet\" "
            "PathToRelease=\"Apps\\PhotoViewer\"\n"
            "              PartId=\"P300150\" rebootSetting=\"None\" InstallerType=\"EXE/BATCH\" "
            "SetupFile=\"" +
            Script("setup") +
            "\"\n"
            "              MajorVersion=\"2\" DetailedVersion=\"2.1.0\" VersionCheckAfterInstallation=\"2.1.0\"\n"
            "              VerificationPath=\"C:\\Program Files\\PhotoViewer\\version.txt\" BasePlus=\"True\"\n"
            "              CustomerDescription=\"Photo viewer\" CustomerLabel=\"Photo Viewer\" Recoverable=\"True\"\n"
            "              Temporary=\"False\" InstallOrderIndex=\"20\" TotalSize=\"10240\"/>\n"
            "  </Release>\n"
            "  <Release ReleaseID=\"300160\" PartId=\"P300160\" Name=\"Card reader driver (in image)\">\n"
            "    <Software SoftwareType=\"Image Application\" PartName=\"Card Reader Driver\" ReleaseID=\"300160\" "
            "PartType=\"Driver\"\n"
            "              ModuleType=\"Driver Module\" CommandLineArguments=\"\" PathToRelease=\"Apps\\CardReader\"\n"
            "              PartId=\"P300160\" rebootSetting=\"None\" InstallerType=\"INF\" "
            "SetupFile=\"cardreader.inf\"\n"
            "              MajorVersion=\"3\" DetailedVersion=\"3.0.1\" VersionCheckAfterInstallation=\"3.0.1\"\n"
            "              VerificationPath=\"" +
            std::string(kDriverRoot) + "\\Windows\\Drivers\\Inf\\Card Reader\\version.txt\" "
            "BasePlus=\"True\"\n"
            "              CustomerDescription=\"Card reader driver\" CustomerLabel=\"Card Reader\" "
            "Recoverable=\"True\"\n"
            "              Temporary=\"False\" InstallOrderIndex=\"10\" TotalSize=\"512\"/>\n"
            "  </Release>\n"
            "  <Release ReleaseID=\"300200\" PartId=\"P300200\" Name=\"Recovery environment\">\n"
            "    <PartNumber>SKU-NX500-BASE</PartNumber>\n"
            "    <Software SoftwareType=\"P1 (recovery) Image\" PartName=\"NX500 Recovery Environment\" "
            "ReleaseID=\"300200\"\n"
            "              PathToRelease=\"data\\300200\" TotalSize=\"524288\" OS=\"W11P64\"/>\n"
            "  </Release>\n" +
            releases + "</IDF>\n";
        Write(root / "nx500.xml", idf);
        Write(root / "nx500.bom", "SKU-NX500-BASE\r\nMB-NX500\r\n");

        // The IDF library the factory picks the IDF from by the machine's BOM:
        // this machine's family and one that does not fit it.
        Write(root / "idf" / "NX500" / "Q4" / "nx500.xml", idf);
        Write(root / "idf" / "NX500" / "Q4" / "NX500_Q4_status.txt", "RTM:nx500.xml\r\n");
        std::string other = idf;
        for (auto [from, to] : {std::pair<std::string, std::string>{"MB-NX500", "MB-NX300"}, {"NX500", "NX300"}})
            for (size_t at = other.find(from); at != std::string::npos; at = other.find(from, at + to.size()))
                other.replace(at, from.size(), to);
        Write(root / "idf" / "NX300" / "Q1" / "nx300.xml", other);
        Write(root / "idf" / "NX300" / "Q1" / "NX300_Q1_status.txt", "RTM:nx300.xml\r\n");

        WriteRecoveryMedia(root, work, os, permanent, media, error);
        fs::remove_all(work);
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

bool ApplySampleIdentity(const SampleMedia &media)
{
    return platform::SetMachineSetting("Identity", "BLID", media.blid) &&
           platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "False");
}

} // namespace halcyon::cli
