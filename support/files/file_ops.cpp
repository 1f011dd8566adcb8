#include "support/files/file_ops.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>

#include "platform/file_tree.h"
#include "platform/fs_path.h"
#include "platform/host_path_text.h"
#include "platform/host_file.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"

namespace halcyon::support {

namespace {

std::atomic<FileLayerObserver *> g_observer{nullptr};

// The progress step between reports.
constexpr uint64_t kReportStep = uint64_t{8} << 20;

int32_t CopyErr(int err) { return err == ENOSPC ? kCopyDiskFull : (err ? err : EIO); }

thread_local std::string t_failedPath;

int WriteFaultFor(const std::string &hostPath)
{
    FileLayerObserver *o = g_observer.load(std::memory_order_acquire);
    return o ? o->WriteFault(hostPath) : 0;
}

void Report(FlushKind kind, const std::string &hostPath)
{
    if (FileLayerObserver *o = g_observer.load(std::memory_order_acquire))
        o->Flushed(kind, hostPath);
}

// Byte counting and progress reports of one copy call.
struct CopyRun {
    WimMessageCallback cb = nullptr;
    void *ctx = nullptr;
    uint64_t *copied = nullptr;
    uint64_t total = 0;
    int retries = 0;
    uint64_t reportedBytes = 0;
    long lastPercent = -1;
    bool pending = false;

    void Advance(uint64_t n)
    {
        if (!copied)
            return;
        *copied += n;
        pending = true;
        if (!cb)
            return;
        const long pct = Percent();
        if (pct != lastPercent || *copied - reportedBytes >= kReportStep)
            Send(pct);
    }
    // The report owed for the last bytes of a copy call.
    void Settle()
    {
        if (pending && copied && cb)
            Send(Percent());
    }
    long Percent() const { return total ? static_cast<long>(std::min<uint64_t>(100, *copied * 100 / total)) : 0; }
    void Send(long pct)
    {
        lastPercent = pct;
        reportedBytes = *copied;
        pending = false;
        cb(WIM_MSG_PROGRESS, static_cast<uintptr_t>(pct), static_cast<intptr_t>(*copied), ctx);
    }
    static void Advanced(uint64_t n, void *self) { static_cast<CopyRun *>(self)->Advance(n); }
    static int BeforeWrite(const std::string &hostOut, void *self)
    {
        static_cast<CopyRun *>(self)->writing = hostOut;
        return WriteFaultFor(hostOut);
    }
    // The file being written; after a failure, the one that failed.
    std::string writing{};
    // Keeps what failed for LastCopyFailurePath; `rc` passes through.
    int Done(int rc, const std::string &dest)
    {
        t_failedPath = rc == 0 ? std::string() : writing.empty() ? dest : writing;
        return rc;
    }
    platform::TreeCopyOptions Options(std::string_view mask, bool recurse)
    {
        platform::TreeCopyOptions how;
        how.mask = std::string(mask);
        how.recurse = recurse;
        how.retries = retries;
        how.beforeWrite = &CopyRun::BeforeWrite;
        how.advanced = &CopyRun::Advanced;
        how.context = this;
        return how;
    }
};

// Copies the folder `from` (host path, followed as given) into `to`.
// `durable`: the copy is flushed before 0 is returned.
int CopyTree(const std::string &from, const std::string &to, std::string_view mask, bool recurse, CopyRun &run,
             bool durable)
{
    if (int rc = platform::CopyFolderTree(from, to, run.Options(mask, recurse)))
        return run.Done(rc, to);
    run.Settle();
    if (!durable)
        return run.Done(0, to);
    run.writing.clear();
    if (int rc = platform::FlushFileSystem(to))
        return run.Done(rc, to);
    Report(FlushKind::FileSystem, to);
    return run.Done(0, to);
}

int CopyOneFile(std::string_view source, std::string_view dest, WimMessageCallback cb, void *ctx, uint64_t *copied,
                uint64_t total, int retries)
{
    CopyRun run{cb, ctx, copied, total, retries};
    const std::string hostDest = platform::HostPath(dest);
    const int rc = platform::CopyOneFile(platform::HostPath(source), hostDest, run.Options("*.*", false));
    if (rc == 0)
        run.Settle();
    return run.Done(rc, hostDest);
}

// A flush's result; a flush that succeeded is reported to the observer.
int Reported(int rc, FlushKind kind, const std::string &hostPath)
{
    if (rc == 0)
        Report(kind, hostPath);
    return rc;
}

} // namespace

int CopyFileData(platform::HostFile &in, platform::HostFile &out, const std::string &hostOut,
                 void (*advanced)(uint64_t, void *), void *context, int retries)
{
    if (int fault = WriteFaultFor(hostOut))
        return fault;
    return platform::CopyFileContents(in, out, advanced, context, retries);
}

int32_t CopyErrorCode(int32_t err)
{
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case kCopyDiskFull: return 112;
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM: return 5;
    case EEXIST: return 183;
    default: return err;
    }
}

std::string LastCopyFailurePath() { return t_failedPath; }

FileLayerObserver *SetFileLayerObserver(FileLayerObserver *observer)
{
    return g_observer.exchange(observer, std::memory_order_acq_rel);
}

int FlushFileData(platform::HostFile &file, const std::string &hostPath)
{
    return Reported(platform::FlushFileContents(file), FlushKind::FileData, hostPath);
}

int SyncFile(std::string_view path)
{
    const std::string host = platform::HostPath(path);
    return Reported(platform::FlushFileAt(host), FlushKind::FileData, host);
}

int SyncFolder(std::string_view path)
{
    const std::string host = platform::HostPath(path);
    return Reported(platform::FlushHostFolder(host.empty() ? std::string(".") : host), FlushKind::Folder, host);
}

int SyncParentFolder(std::string_view path)
{
    const std::string host = platform::TrimHostSeparators(platform::HostPath(path));
    size_t cut = host.size();
    while (cut > 0 && !platform::IsHostSeparator(host[cut - 1]))
        --cut;
    if (cut == 0)
        return SyncFolder(".");
    // Keep the separator of a root ("/", "C:\\").
    return SyncFolder(platform::TrimHostSeparators(host.substr(0, cut)));
}

int SyncFileSystem(std::string_view path)
{
    const std::string host = platform::HostPath(path);
    return Reported(platform::FlushFileSystem(host), FlushKind::FileSystem, host);
}

bool FileExist(std::string_view path)
{
    if (path.empty())
        return false;
    const auto st = platform::StatHostPath(platform::HostPath(path));
    return st && !st->directory;
}

bool DirExist(std::string_view path)
{
    if (path.empty())
        return false;
    const auto st = platform::StatHostPath(platform::HostPath(path));
    return st && st->directory;
}

bool RecursiveFolderCreate(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    const std::filesystem::path host = platform::FsPath(platform::HostPath(path));
    std::filesystem::create_directories(host, ec);
    return std::filesystem::is_directory(host, ec);
}

int32_t RecursiveFolderCopy(std::string_view source, std::string_view dest, uint64_t)
{
    CopyRun run;
    int rc = CopyTree(platform::HostPath(source), platform::HostPath(dest), "*.*", true, run, true);
    return rc == 0 ? 0 : CopyErr(rc);
}

int32_t RecursiveFolderCopyUnflushed(std::string_view source, std::string_view dest)
{
    CopyRun run;
    int rc = CopyTree(platform::HostPath(source), platform::HostPath(dest), "*.*", true, run, false);
    return rc == 0 ? 0 : CopyErr(rc);
}

void DeleteTree(const std::string &path, uint32_t *counter)
{
    if (counter)
        *counter = 0;
    if (path.empty())
        return;
    // Links are removed as links; read-only entries are removed too.
    RemoveTreeNoFollow(platform::HostPath(path), counter);
}

int32_t CopyFileByStreamFromCDROM(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                  void *context, uint64_t *copied, uint64_t total, int retries)
{
    return CopyOneFile(source, dest, callback, context, copied, total, retries);
}

int32_t CopyFileByStreamFromUFD(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                void *context, uint64_t *copied, uint64_t total, int retries)
{
    return CopyOneFile(source, dest, callback, context, copied, total, retries);
}

int32_t CopyFolderByStreamFromCDROM(std::string_view source, std::string_view dest, std::string_view mask,
                                    WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                    int retries)
{
    std::string_view m = mask;
    while (!m.empty() && (m[0] == '\\' || m[0] == '/'))
        m.remove_prefix(1);
    CopyRun run{callback, context, copied, total, retries};
    return CopyTree(platform::HostPath(source), platform::HostPath(dest), m, m == "*.*", run, false);
}

int32_t CopyFolderByStreamFromUFD(std::string_view source, std::string_view dest, std::string_view mask,
                                  WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                  int retries)
{
    return CopyFolderByStreamFromCDROM(source, dest, mask, callback, context, copied, total, retries);
}

} // namespace halcyon::support
