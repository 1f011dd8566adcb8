// Starting programs the way the shell opens them: ShellExecuteExW with the
// working folder, the system's associations (".cmd" and ".bat" run under
// cmd.exe) and its search for bare names.
#include "platform/process.h"
#include "platform/process_internal.h"

#include "platform/host_file.h"
#include "platform/path_map.h"
#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

namespace {

int32_t ShellErrorFromWin32(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
        return SE_ERR_PNF;
    case ERROR_ACCESS_DENIED:
        return SE_ERR_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return SE_ERR_OOM;
    case ERROR_SHARING_VIOLATION:
        return SE_ERR_SHARE;
    case ERROR_DLL_NOT_FOUND:
        return SE_ERR_DLLNOTFOUND;
    default:
        return SE_ERR_NOASSOC;
    }
}

bool IsFolder(const std::string &path)
{
    auto status = StatHostPath(path);
    return status && status->directory;
}

// A file the shell did not find: "path not found" when the folder it names
// (below the working folder when relative) is missing, as the shell's own
// value would say; a bare name is searched for, so it stays "file not found".
int32_t NotFoundError(const std::string &hostWorkDir, const std::string &hostFile)
{
    const size_t slash = hostFile.find_last_of("\\/");
    if (slash == std::string::npos)
        return SE_ERR_FNF;
    std::string folder = hostFile.substr(0, slash);
    const bool absolute = hostFile.size() > 1 && (hostFile[1] == ':' || hostFile[0] == '\\' || hostFile[0] == '/');
    if (!absolute && !hostWorkDir.empty())
        folder = hostWorkDir + "\\" + folder;
    if (folder.empty() || (folder.size() == 2 && folder[1] == ':'))
        folder += '\\';
    return IsFolder(folder) ? SE_ERR_FNF : SE_ERR_PNF;
}

} // namespace

int32_t ResolveShellCommand(std::string_view workDir, std::string_view file, std::string_view parameters,
                            std::string &hostWorkDir, std::vector<std::string> &argv)
{
    hostWorkDir = HostPath(workDir);
    if (!hostWorkDir.empty() && !IsFolder(hostWorkDir))
        return SE_ERR_PNF;
    std::string program = HostPath(file);
    std::string lower = ToLowerAscii(program);
    argv.clear();
    auto endsWith = [&](std::string_view suffix) {
        return lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (endsWith(".cmd") || endsWith(".bat")) {
        argv = {"cmd.exe", "/c", program};
    } else {
        argv = {program};
    }
    for (auto &a : SplitCommandLine(parameters))
        argv.push_back(std::move(a));
    return 0;
}

int32_t StartProgram(std::string_view workDir, std::string_view file, std::string_view parameters,
                     std::optional<uint32_t> reportedCode, ProcessHandle &process)
{
    std::string hostWorkDir = HostPath(workDir);
    if (!hostWorkDir.empty() && !IsFolder(hostWorkDir))
        return SE_ERR_PNF;
    std::string_view bare = file;
    if (bare.size() >= 2 && bare.front() == '"' && bare.back() == '"')
        bare = bare.substr(1, bare.size() - 2);
    if (bare.empty())
        return SE_ERR_FNF;
    const std::string hostFile = HostPath(bare);
    std::wstring wfile = win::Widen(hostFile);
    std::wstring wparams = win::Widen(parameters);
    std::wstring wdir = win::Widen(hostWorkDir);

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = nullptr;
    info.lpFile = wfile.c_str();
    info.lpParameters = wparams.empty() ? nullptr : wparams.c_str();
    info.lpDirectory = wdir.empty() ? nullptr : wdir.c_str();
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&info)) {
        // The shell's own error value when it gave one, else the system's.
        DWORD error = ::GetLastError();
        auto app = reinterpret_cast<intptr_t>(info.hInstApp);
        int32_t shellError = app > 0 && app <= 32 ? static_cast<int32_t>(app) : ShellErrorFromWin32(error);
        if (shellError == SE_ERR_FNF || shellError == SE_ERR_PNF)
            return NotFoundError(hostWorkDir, hostFile);
        return shellError;
    }
    if (!info.hProcess) {
        // Opened without a new process (a document handed to a running
        // program): nothing to wait for.
        process = ProcessHandleAccess::Fake(reportedCode.value_or(0));
        return 0;
    }
    process = ProcessHandleAccess::ChildFromHandle(info.hProcess, reportedCode);
    return 0;
}

} // namespace halcyon::platform
