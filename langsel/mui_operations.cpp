// The IComMUI operations: language names and choice, the first-boot flag
// files and the boot configuration of the recovery environment.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file_attributes.h"
#include "platform/fs_path.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "platform/registry.h"

#include "langsel/com_mui.h"
#include "langsel/drive_file.h"
#include "langsel/mui_log.h"
#include "langsel/pe_tools.h"
#include "langsel/server_module.h"
#include "langsel/bstr_text.h"
#include "langsel/text16.h"
#if defined(_WIN32)
#include "platform_names.h"
#endif

namespace halcyon::langsel {

namespace reg = platform::reg;

namespace {

constexpr const char *kBuildDescription = "X:\\Norv\\ZRPLP.ini";
constexpr const char *kLanguageChoice = "X:\\Norv\\Language.ini";
constexpr const char *kVariablesKey = "SOFTWARE\\Norv Corporation\\Installed Software\\Variables";
constexpr const char *kRamdiskOptions = "{7619dcc8-fafe-11d9-b411-000476eba25f}";
constexpr int kLanguageToolWaitMs = 2000;
constexpr int kTries = 3;
constexpr size_t kProfileBufferChars = 512;

// An operation that answers through `result`: S_FALSE without one; else
// `result` starts as `failure`, the entry is logged and `body` runs.
template <class F> HRESULT ResultOperation(COMLONG *result, COMLONG failure, const char *name, F &&body)
{
    return ComBarrier([&]() -> HRESULT {
        if (!result)
            return S_FALSE;
        *result = failure;
        MuiLog(std::string("enter ") + name);
        return body();
    });
}

bool PathExists(const std::string &windowsPath)
{
    std::error_code ec;
    return std::filesystem::exists(platform::FsPath(platform::HostPath(windowsPath)), ec);
}

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

std::string OnDrive(char16_t letter, const char *rest)
{
    return std::string(1, static_cast<char>(letter)) + rest;
}

// A profile value as a buffer of 512 characters holds it (511 and the NUL).
std::string ReadProfileValue(const char *section, const std::string &key, const char *file)
{
    std::u16string wide = ToUtf16(platform::GetPrivateProfileString(section, key, "", file));
    if (wide.size() >= kProfileBufferChars)
        wide.resize(kProfileBufferChars - 1);
    return ToUtf8(wide);
}

// The choice file is written only below X: and through no link.
bool WriteProfileWithTries(const char *section, const char *key, const std::string &value)
{
    std::string why;
    if (!DriveFileWritable(kLanguageChoice, &why)) {
        MuiLog("refused: " + why);
        return false;
    }
    for (int i = 0; i < kTries; ++i)
        if (platform::WritePrivateProfileString(section, key, value, kLanguageChoice))
            return true;
    return false;
}

// Deletes a file the way the flag files are removed: attributes to normal,
// then the file. A link is removed itself, its target's attributes kept;
// nothing is removed through a link on the way to it.
void DeleteWithAttributes(const std::string &windowsPath)
{
    const size_t cut = windowsPath.find_last_of('\\');
    if (cut == std::string::npos || !DriveFileWritable(windowsPath.substr(0, cut)))
        return;
    if (DriveFileWritable(windowsPath))
        platform::SetFileAttributes(windowsPath, platform::FILE_ATTRIBUTE_NORMAL);
    std::error_code ec;
    std::filesystem::remove(platform::FsPath(platform::HostPath(windowsPath)), ec);
}

// Silent copy of one file over another, creating the target's folders;
// never through a link on the target's way.
bool CopyPathToPath(const std::string &from, const std::string &to)
{
    if (!DriveFileWritable(to))
        return false;
    std::error_code ec;
    const std::filesystem::path target = platform::FsPath(platform::HostPath(to));
    std::filesystem::create_directories(target.parent_path(), ec);
    if (std::filesystem::exists(target, ec))
        platform::SetFileAttributes(target.string(), platform::FILE_ATTRIBUTE_NORMAL);
    return std::filesystem::copy_file(platform::FsPath(platform::HostPath(from)), target,
                                      std::filesystem::copy_options::overwrite_existing, ec) &&
           !ec;
}

} // namespace

HRESULT CComMUI::GetLangNameArray(BSTR *pstrLangNameArray)
{
    return ComBarrier([&]() -> HRESULT {
        if (!pstrLangNameArray || !PathExists(kBuildDescription))
            return S_FALSE;
        // The list is rebuilt on each call, so a second call gives the same
        // names, not each of them twice.
        languages_.clear();
        for (int n = 1;; ++n) {
            std::string name = ReadProfileValue("Lang", "Lang" + std::to_string(n), kBuildDescription);
            if (name.empty())
                break;
            languages_.push_back(std::move(name));
        }
        std::string joined;
        for (size_t i = 0; i < languages_.size(); ++i)
            joined += (i ? "," : "") + languages_[i];
        BSTR result = MakeBstr(joined);
        if (!result)
            return E_OUTOFMEMORY;
        *pstrLangNameArray = result;
        return S_OK;
    });
}

HRESULT CComMUI::SetMultipleLanguage(BSTR *pcLanguageName, COMLONG lLanguageId)
{
    return ComBarrier([&]() -> HRESULT {
        if (!pcLanguageName || lLanguageId < 1 || lLanguageId > 21)
            return S_FALSE;
        std::string name = ToUtf8(BstrView(*pcLanguageName));
        for (const std::string &arguments : {"SetMuiLanguage " + name, "SetUserLocale " + name})
            for (int start = 0; start < kTries; ++start)
                if (RunLanguageToolOnce(arguments, kLanguageToolWaitMs))
                    break;
        return S_OK;
    });
}

HRESULT CComMUI::CreateIniFile(BSTR *pcLangName)
{
    return ComBarrier([&]() -> HRESULT {
        if (!pcLangName)
            return S_FALSE;
        platform::HostFile choice;
        OpenDriveFile(kLanguageChoice, platform::FileAccess::Write, platform::FileCreation::CreateOrTruncate, choice);
        if (lpcBuild_) {
            MuiLog("CreateIniFile::m_bLPCbuild");
            if (WriteProfileWithTries("LPMode", "LP-C", "Yes"))
                MuiLog("WritePrivateProfileString OK");
        }
        WriteProfileWithTries("Lang", "Lang", ToUtf8(BstrView(*pcLangName)));
        return S_OK;
    });
}

HRESULT CComMUI::IsMLSLPC(VARIANT_BOOL *bMlsplc)
{
    return ComBarrier([&]() -> HRESULT {
        MuiLog("enter IsMLSLPC");
        if (!bMlsplc) {
            MuiLog("NULL == bMlsplc");
        } else {
            *bMlsplc = VARIANT_FALSE;
            if (!PathExists(kBuildDescription)) {
                MuiLog("zrplp.ini not exist");
            } else {
                std::string mode = ReadProfileValue("LPMode", "LP-C", kBuildDescription);
                if (mode.empty()) {
                    MuiLog("GetPrivateProfileString fail or not LP-C build");
                } else if (platform::EqualsNoCase(mode, "Yes")) {
                    *bMlsplc = VARIANT_TRUE;
                    lpcBuild_ = true;
                    MuiLog("m_bLPCbuild = true");
                }
            }
        }
        MuiLog("m_bLPCbuild = " + std::to_string(lpcBuild_ ? 1 : 0));
        return S_OK;
    });
}

HRESULT CComMUI::SetLanguageToRegistry(BSTR pstrLangName, COMLONG *plReturnValue)
{
    return ResultOperation(plReturnValue, MUI_ERROR_REGISTRY, "SetLanguageToRegistry", [&]() -> HRESULT {
        HRESULT hr = S_FALSE;
        reg::HKEY key = 0;
        if (reg::RegCreateKeyEx(reg::HKEY_LOCAL_MACHINE, kVariablesKey, reg::KEY_ALL_ACCESS, &key) ==
            reg::ERROR_SUCCESS) {
            // The emulated registry keeps string data as UTF-8, without a
            // terminating NUL.
            std::string data = ToUtf8(BstrView(pstrLangName));
            bool written = reg::RegSetValueEx(key, "SelectedLanguage", reg::REG_SZ, data.data(), data.size()) ==
                           reg::ERROR_SUCCESS;
            bool closed = reg::RegCloseKey(key) == reg::ERROR_SUCCESS;
            if (written && closed) {
                *plReturnValue = 0;
                hr = S_OK;
            }
        }
        MuiLog("out SetLanguageToRegistry");
        return hr;
    });
}

bool CComMUI::LocateWinREPartition()
{
    MuiLog("enter GetWinREPartitionDriveLetter");
    MuiLog("before Initialize");
    winREDriveLetter_ = u'0';
    bool found = false;
    if (partitions_.Initialize(false) == 0) {
        MuiLog("Initialize fail");
    } else {
        MuiLog("Initialize is OK");
        if (partitions_.AssignWinREPartition(winREDriveLetter_) == 0) {
            MuiLog("AssignRecoveryPartition fail");
        } else if (winREDriveLetter_ == u'0') {
            MuiLog("cDriveLetter is '0'");
        } else {
            MuiLog("after AssignRecoveryPartition");
            found = true;
        }
    }
    MuiLog(std::string("m_cWinREPartitionDriveLetter = ") + static_cast<char>(winREDriveLetter_));
    return found;
}

HRESULT CComMUI::DeleteFirstBootFlagFiles(COMLONG *plReturnValue)
{
    return ResultOperation(plReturnValue, MUI_ERROR_FIRSTBOOT, "DeleteFirstBootFlagFiles", [&]() -> HRESULT {
        HRESULT hr = S_FALSE;
        if (LocateWinREPartition()) {
            const std::string flag = OnDrive(winREDriveLetter_, ":\\sources\\Norv\\Setting\\FIRSTBOOT");
            const std::string version = OnDrive(winREDriveLetter_, ":\\sources\\Norv\\Setting\\FirstBootVer.txt");
            MuiLog("strFirstBootPath = " + flag);
            for (int round = 0; round < kTries; ++round) {
                if (PathExists(flag)) {
                    DeleteWithAttributes(flag);
                    MuiLog("DeleteFirstBoot");
                }
                if (PathExists(version)) {
                    DeleteWithAttributes(version);
                    MuiLog("Delete FirstBoottxt");
                }
                if (!PathExists(flag) && !PathExists(version)) {
                    MuiLog("DeleteFile is OK");
                    *plReturnValue = 0;
                    hr = S_OK;
                    break;
                }
                MuiLog("iDeleteFileTimes++");
            }
        }
        MuiLog("out DeleteFirstBootFlagFiles");
        return hr;
    });
}

HRESULT CComMUI::RecoverLPCBCD(COMLONG *plReturnValue)
{
    return ResultOperation(plReturnValue, MUI_ERROR_RECOVER_BCD, "RecoverLPCBCD", [&]() -> HRESULT {
        char16_t letter = u'0';
        if (partitions_.ActiveGPTSystemPartition(letter) != 0) {
            MuiLog("ActiveGPTSystemPartition fail ");
            return S_FALSE;
        }
        MuiLog("ActiveGPTSystemPartition OK ");
        if (letter == u'0' || !IsDriveLetter(letter))
            return S_FALSE;
        const std::string store = OnDrive(letter, ":\\EFI\\Microsoft\\boot\\BCD");
        const std::string original = store + ".LPCORG";
        MuiLog("strBCDPath = " + store);
        if (!PathExists(original)) {
            MuiLog("BCD.LPCORG not exist");
            return S_FALSE;
        }
        MuiLog("enter CopyPathToPath");
        bool copied = CopyPathToPath(original, store);
        MuiLog(copied ? "CopyPathToPath OK" : "CopyPathToPath fail");
        if (!copied) {
            MuiLog("copy fail");
            return S_FALSE;
        }
        MuiLog("copy OK");
        DeleteWithAttributes(original);
        MuiLog("delete BCD.LPCORG");
        if (partitions_.DisableGPTSystemPartition() != 0) {
            MuiLog("DisableGPTSystemPartition fail ");
            return S_FALSE;
        }
        MuiLog("DisableGPTSystemPartition OK ");
        *plReturnValue = 0;
        return S_OK;
    });
}

HRESULT CComMUI::SetBCDToWinRE(COMLONG *plReturnValue) { return SetBCDTo(true, plReturnValue); }
HRESULT CComMUI::SetBCDToWinPE(COMLONG *plReturnValue) { return SetBCDTo(false, plReturnValue); }

HRESULT CComMUI::SetBCDTo(bool winRE, COMLONG *plReturnValue)
{
    return ComBarrier([&]() -> HRESULT {
        if (!plReturnValue)
            return S_OK;
        const std::string who = winRE ? "CComMUI::SetBCDToWinRE" : "CComMUI::SetBCDToWinPE";
        *plReturnValue = 0;
        char16_t letter = u'0';
        if (partitions_.ActiveNorvBootPartition(letter) != 0)
            *plReturnValue = MUI_ERROR_ACTIVATE;
        const std::string store = OnDrive(letter, ":\\EFI\\Microsoft\\boot\\BCD");
        const std::string ramdisk = OnDrive(winREDriveLetter_, ":");
        // Without a drive letter the path would name a folder relative to
        // the current one; such a store counts as missing.
        if (!IsDriveLetter(letter) || !PathExists(store)) {
            MuiLog(who + " failed to find the path of bcd file");
            *plReturnValue = MUI_ERROR_NO_BCD;
            return S_OK;
        }
        if (!DriveFileWritable(store) || !platform::SetFileAttributes(store, platform::FILE_ATTRIBUTE_NORMAL)) {
            MuiLog(who + " failed to change attribute for bcd file");
            *plReturnValue = MUI_ERROR_BCD_ATTRIBUTES;
            return S_OK;
        }
        const std::string image = winRE ? "\\Recovery\\WindowsRE\\winre.wim," : "\\sources\\boot.wim,";
        const std::string ramdiskImage = "ramdisk=[" + ramdisk + "]" + image + kRamdiskOptions;
        const std::string options = std::string(" /set  ") + kRamdiskOptions;
        struct Step {
            std::string arguments;
            const char *name;
        };
        const Step steps[] = {
            {"/store " + store + " /set {default} device " + ramdiskImage, "device"},
            {"/store " + store + " /set  {default} osdevice " + ramdiskImage, "osdevice"},
            {"/store " + store + options + " ramdisksdidevice partition=" + ramdisk, "ramdisksdidevice"},
            {"/store " + store + options + " ramdisksdipath \\boot\\boot.sdi", "ramdisksdipath"},
        };
        for (const Step &step : steps) {
            if (!RunBcdTool(step.arguments)) {
                MuiLog(who + " failed for ExecuteBCDEdit when set " + step.name);
                *plReturnValue = MUI_ERROR_BCD_TOOL;
                return S_OK;
            }
        }
        if (partitions_.DisableNorvBootPartition() != 0)
            *plReturnValue = MUI_ERROR_DEACTIVATE;
        return S_OK;
    });
}

} // namespace halcyon::langsel
