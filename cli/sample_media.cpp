#include "cli/sample_media.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>

#include "engine/frame/folder_crc.h"
#include "engine/image/wim_scramble.h"
#include "platform/machine.h"
#include "support/wim/wim_builder.h"

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
        throw std::runtime_error("cannot write " + p.string());
    if (executable)
        ::chmod(p.c_str(), 0755);
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
// registry values on the target, exits with `exitCode`.
std::string SetupScript(const std::string &name, const std::string &programFolder, const std::string &version,
                        int exitCode)
{
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
    for (char c : v) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string ModuleXml(const ModuleSpec &m)
{
    std::string path = m.installer == "Data" ? "" : "sources\\data\\" + m.releaseId;
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

int32_t MakeModuleImage(const fs::path &work, const fs::path &modFile, const ModuleSpec &m, std::string &error)
{
    fs::path content = work / ("mod-" + m.releaseId);
    Write(content / m.setupFile, SetupScript(m.partName, m.partName, m.version, 0), true);
    Write(content / "payload" / "readme.txt", m.partName + " " + m.version + "\r\n");
    Write(content / "payload" / "bin" / "tool.dat", Filler(64 * 1024, static_cast<uint32_t>(std::stoul(m.releaseId))));
    support::wim::WimImageSpec spec;
    spec.sourceFolder = content.string();
    spec.name = m.partName;
    spec.description = "MODULE";
    spec.releaseId = m.releaseId;
    fs::create_directories(modFile.parent_path());
    int32_t rc = support::wim::CreateWim(modFile.string(), spec, support::wim::WimCompression::Xpress, &error);
    if (rc == 0 && m.scrambled && !image::EncryptDecryptWim(modFile.string())) {
        error = "cannot scramble " + modFile.string();
        return -1;
    }
    return rc;
}

} // namespace

bool WriteSampleMedia(const std::string &rootText, SampleMedia &media, std::string &error)
{
    try {
        fs::path root = fs::absolute(rootText);
        fs::create_directories(root);
        fs::path work = root / ".build";
        fs::remove_all(work);
        media = SampleMedia{};
        media.root = root.string();
        media.idf = (root / "nx500.xml").string();
        media.bom = (root / "nx500.bom").string();
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
        support::wim::WimImageSpec foundation;
        foundation.sourceFolder = os.string();
        foundation.name = "NX500 Foundation Image";
        foundation.description = "FOUNDATION IMAGE 1";
        foundation.blid = std::string(kBlid) + ", NX500B0002";
        foundation.releaseId = "300100";
        fs::path systemWim = root / "sources" / "data" / "300100" / "system.wim";
        fs::create_directories(systemWim.parent_path());
        if (int32_t rc = support::wim::CreateWim(systemWim.string(), foundation, support::wim::WimCompression::Xpress,
                                                 &error);
            rc != 0) {
            error = "foundation image: " + error;
            return false;
        }
        if (!image::EncryptDecryptWim(systemWim.string())) {
            error = "cannot scramble the foundation image";
            return false;
        }
        uint64_t osKb = 0;
        for (auto &e : fs::recursive_directory_iterator(os))
            if (e.is_regular_file())
                osKb += (e.file_size() + 1023) / 1024;

        std::vector<ModuleSpec> modules = {
            {"300310", "Support Assistant", "Application Module", "EXE/BATCH", "install.sh", "After", "False",
             "--silent --log \"x y\"", "4.0.7", "C:\\Program Files\\Support Assistant\\version.txt", 20, true},
            {"300320", "Trial Tools", "Tool Module", "EXE/BATCH", "setup.cmd", "Before", "True", "", "1.3", "", 30},
            {"300330", "Energy Profile", "EPC", "EXE/BATCH", "apply.sh", "None", "False", "/profile=balanced", "1.0",
             "", 5},
            {"300360", "Touchpad Driver", "Driver Module", "EXE/BATCH", "setup.sh", "Both", "False", "", "2.2.1",
             "C:\\Program Files\\Touchpad Driver\\version.txt", 15, true},
            {"300370", "Media Codecs", "Application Module", "EXE/BATCH", "setup.sh", "None", "False", "", "9.1", "",
             25},
            {"300380", "Store Links", "Application Module", "EXE/BATCH", "setup.sh", "None", "True_Fulfillment", "",
             "1.0", "", 40},
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
        if (frame::WriteFolderManifest(chipsetDir.string(), message) != 0) {
            error = "cannot write the CRC manifest of " + chipsetDir.string() + ": " + message;
            return false;
        }
        releases += ModuleXml(chipset);

        // A module of the pre-installation environment: its installer lies
        // in the module folder itself.
        ModuleSpec pe{"300340", "PE Tools", "PE-Module", "EXE/BATCH", "petools.sh", "None", "False", "", "1.0", "", 1};
        Write(root / "sources" / "data" / "300340" / "petools.sh", SetupScript("PE Tools", "PE Tools", "1.0", 0), true);
        releases += ModuleXml(pe);

        // Factory switches.
        ModuleSpec data{"300500", "Factory Switches", "Module", "Data", "", "None", "False", "", "1.0", "", 99};
        releases += ModuleXml(data);
        media.modules = static_cast<int>(modules.size()) + 2; // + FILE COPY + Data

        std::string idf =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<IDF IDFFormatVersion=\"1.05.0.20080531.1\" Timestamp=\"2026-11-30T10:00:00\" Series=\"NX500\"\n"
            "     LangRegion=\"EN-US\" BomSnapshotName=\"NX500-Q4\" BomSnapshotID=\"SNAP-000123\"\n"
            "     WaitForSetupDelay=\"1\" HDDRecovery=\"True\" DynamicP1=\"True\" Mcode=\"M-NX500-01\">\n"
            "  <ComponentList>\n    <Component PartNumber=\"MB-NX500\"/>\n  </ComponentList>\n"
            "  <Mcode Code=\"M-NX500-01\">\n    <PartNumber>SKU-NX500-BASE</PartNumber>\n  </Mcode>\n"
            "  <Release ReleaseID=\"300100\" PartId=\"P300100\" Name=\"Foundation image\">\n"
            "    <PartNumber>SKU-NX500-BASE</PartNumber>\n"
            "    <Software SoftwareType=\"Foundation Image\" PartName=\"NX500 Foundation Image\" BLID=\"" +
            std::string(kBlid) + ",NX500B0002\"\n"
            "              MajorVersion=\"11\" OS=\"W11P64\" ReleaseID=\"300100\" PathToRelease=\"sources\\data\\300100\"\n"
            "              TotalSize=\"" + std::to_string(osKb) + "\" BitLocker=\"false\">\n"
            "      <ChildRelease ReleaseID=\"300150\"/>\n"
            "    </Software>\n"
            "  </Release>\n"
            "  <Release ReleaseID=\"300150\" PartId=\"P300150\" Name=\"Photo viewer (in image)\">\n"
            "    <Software SoftwareType=\"Image Application\" PartName=\"Photo Viewer\" ReleaseID=\"300150\" "
            "PartType=\"Application\"\n"
            "              ModuleType=\"Application Module\" CommandLineArguments=\"/quiet\" "
            "PathToRelease=\"Apps\\PhotoViewer\"\n"
            "              PartId=\"P300150\" rebootSetting=\"None\" InstallerType=\"EXE/BATCH\" "
            "SetupFile=\"setup.sh\"\n"
            "              MajorVersion=\"2\" DetailedVersion=\"2.1.0\" VersionCheckAfterInstallation=\"2.1.0\"\n"
            "              VerificationPath=\"C:\\Program Files\\PhotoViewer\\version.txt\" BasePlus=\"True\"\n"
            "              CustomerDescription=\"Photo viewer\" CustomerLabel=\"Photo Viewer\" Recoverable=\"True\"\n"
            "              Temporary=\"False\" InstallOrderIndex=\"20\" TotalSize=\"10240\"/>\n"
            "  </Release>\n"
            "  <Release ReleaseID=\"300200\" PartId=\"P300200\" Name=\"Recovery environment\">\n"
            "    <PartNumber>SKU-NX500-BASE</PartNumber>\n"
            "    <Software SoftwareType=\"P1 (recovery) Image\" PartName=\"NX500 Recovery Environment\" "
            "ReleaseID=\"300200\"\n"
            "              PathToRelease=\"sources\\data\\300200\" TotalSize=\"524288\" OS=\"W11P64\"/>\n"
            "  </Release>\n" +
            releases + "</IDF>\n";
        Write(root / "nx500.xml", idf);
        Write(root / "nx500.bom", "SKU-NX500-BASE\r\nMB-NX500\r\n");
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
