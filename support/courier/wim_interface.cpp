#include "support/courier/wim_interface.h"

#include <wimlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <system_error>
#include <vector>


#include "platform/fs_path.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"
#include "platform/write_behind.h"
#include "support/courier/courier_faults.h"
#include "support/courier/foundation_parts.h"
#include "support/courier/wim_integrity.h"
#include "support/files/file_ops.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_tchar.h"
#include "support/wim/wimlib_session.h"

namespace fs = std::filesystem;

namespace halcyon::support::courier {

namespace {

using wim::MapWimlibError;
using wim::WimlibErrorText;

struct WimFree {
    void operator()(WIMStruct *w) const { wimlib_free(w); }
};
using WimPtr = std::unique_ptr<WIMStruct, WimFree>;

// How much a join copies before it starts the disk on it.
constexpr uint64_t kWriteBehindStep = uint64_t{16} << 20;

// The temporary name a target is written under until it is complete.
std::string PartialPath(const std::string &hostTarget) { return hostTarget + ".partial"; }

// Removes a temporary target when the operation does not finish.
class PartialFile {
public:
    explicit PartialFile(std::string path) : path_(std::move(path))
    {
        std::error_code ec;
        fs::remove(platform::FsPath(path_), ec);
    }
    ~PartialFile()
    {
        if (!committed_) {
            std::error_code ec;
            fs::remove(platform::FsPath(path_), ec);
        }
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;
    const std::string &Path() const { return path_; }
    // Renames the file over `target`; false with `ec` set on failure.
    // The folder entry is flushed too: a power cut then leaves the old
    // target or the new one, never a name without its data.
    bool CommitTo(const std::string &target, std::error_code &ec)
    {
        ec.clear();
        if (const int err = platform::ReplaceHostFile(path_, target, false))
            ec.assign(err, std::generic_category());
        committed_ = !ec;
        if (committed_) {
            if (const int err = SyncParentFolder(target))
                ec.assign(err, std::generic_category());
        }
        return !ec;
    }

private:
    std::string path_;
    bool committed_ = false;
};

uint32_t ErrnoToError(int err)
{
    switch (err) {
    case ENOSPC:
        return wim::WIM_ERROR_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS:
        return wim::WIM_ERROR_ACCESS_DENIED;
    case ENOENT:
        return wim::WIM_ERROR_PATH_NOT_FOUND;
    default:
        return wim::WIM_ERROR_WRITE_FAULT;
    }
}

struct ExportChoice {
    int compression = -1; // -1: the source's
    bool integrity = false;
    std::vector<std::string> unknown;
};

ExportChoice ParseExportArg(const std::string &arg)
{
    ExportChoice choice;
    std::string word;
    auto take = [&] {
        if (word.empty())
            return;
        std::string w = platform::ToLowerAscii(word);
        word.clear();
        while (!w.empty() && (w.front() == '/' || w.front() == '-'))
            w.erase(0, 1);
        const std::string original = w;
        if (w.rfind("compress:", 0) == 0)
            w = w.substr(9);
        if (w == "none")
            choice.compression = WIMLIB_COMPRESSION_TYPE_NONE;
        else if (w == "xpress" || w == "fast")
            choice.compression = WIMLIB_COMPRESSION_TYPE_XPRESS;
        else if (w == "lzx" || w == "maximum")
            choice.compression = WIMLIB_COMPRESSION_TYPE_LZX;
        else if (w == "lzms" || w == "recovery")
            choice.compression = WIMLIB_COMPRESSION_TYPE_LZMS;
        else if (w == "check")
            choice.integrity = true;
        else if (!original.empty())
            choice.unknown.push_back(original);
    };
    for (char c : arg) {
        if (c == ' ' || c == ',' || c == '\t')
            take();
        else
            word += c;
    }
    take();
    return choice;
}

// The further parts of a split WIM beside its first part: same extension,
// name beginning with the first part's stem (without regard to case).
std::vector<std::string> SplitPartsBeside(const std::string &hostFirst)
{
    std::vector<std::string> parts;
    const fs::path first = platform::FsPath(hostFirst);
    const std::string stem = platform::ToLowerAscii(platform::PathUtf8(first.stem()));
    const std::string ext = platform::ToLowerAscii(platform::PathUtf8(first.extension()));
    std::error_code ec;
    fs::directory_iterator it(first.has_parent_path() ? first.parent_path() : fs::path("."), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = platform::PathUtf8(it->path().filename());
        const std::string lower = platform::ToLowerAscii(name);
        std::error_code typeEc;
        // A link would reference whatever it points to as a part.
        if (name == platform::PathUtf8(first.filename()) || it->is_symlink(typeEc) || !it->is_regular_file(typeEc))
            continue;
        if (lower.size() > stem.size() + ext.size() && lower.rfind(stem, 0) == 0 &&
            lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0)
            parts.push_back(platform::PathUtf8(it->path()));
    }
    std::sort(parts.begin(), parts.end());
    return parts;
}

} // namespace

// Turns wimlib's write progress into the courier's messages.
struct CourierProgress {
    const CWimInterface *owner = nullptr;
    int lastPercent = -1;
    bool rangeSent = false;

    void Percent(int percent)
    {
        if (percent <= lastPercent)
            return;
        lastPercent = percent;
        owner->Send(WIM_MSG_PROGRESS, percent);
    }
    void Range(uint64_t bytes)
    {
        if (rangeSent)
            return;
        rangeSent = true;
        owner->Send(WIM_MSG_SETRANGE, static_cast<int64_t>(bytes));
    }
    void Bytes(uint64_t done, uint64_t total)
    {
        Range(total);
        Percent(total == 0 ? 100 : static_cast<int>(done >= total ? 100 : done * 100 / total));
    }

    static enum wimlib_progress_status OnWrite(enum wimlib_progress_msg msg, union wimlib_progress_info *info,
                                               void *context)
    {
        auto *p = static_cast<CourierProgress *>(context);
        if (msg == WIMLIB_PROGRESS_MSG_WRITE_STREAMS) {
            // Hold 100 back until the file is in place.
            const uint64_t total = info->write_streams.total_bytes;
            const uint64_t done = std::min(info->write_streams.completed_bytes, total);
            p->Range(total);
            if (total > 0)
                p->Percent(static_cast<int>(done * 99 / total));
        }
        return WIMLIB_PROGRESS_STATUS_CONTINUE;
    }
};

void CWimInterface::InitInterface()
{
    wim::EnsureWimlibReady();
    ready_ = true;
    state_ = State::Idle;
}

void CWimInterface::SetCallBack(WimCourierCallback callback, void *data)
{
    callback_ = callback;
    callbackData_ = data;
}

void CWimInterface::Log(const std::string &text) const
{
    if (logWriter_)
        logWriter_(text, logPath_);
}

void CWimInterface::Send(uint32_t message, int64_t param) const
{
    if (callback_)
        callback_(message, param, callbackData_);
}

bool CWimInterface::Fail(uint32_t error, const std::string &text)
{
    state_ = State::Failed;
    lastError_ = error;
    lastErrorText_ = text;
    Log("WimCourier Error: " + text);
    Send(WIM_MSG_ERROR, static_cast<int64_t>(error));
    return false;
}

bool CWimInterface::Succeed()
{
    state_ = State::Succeeded;
    lastError_ = 0;
    lastErrorText_.clear();
    return true;
}

int32_t CWimInterface::GetImageIndex(const std::string &wimPath, const std::string &description)
{
    if (!ready_)
        InitInterface();
    const std::string host = platform::HostPath(wimPath);
    WIMStruct *raw = nullptr;
    const int ret = wimlib_open_wim(wim::ToWimText(host).c_str(), 0, &raw);
    WimPtr wimFile(raw);
    if (ret != 0) {
        Log("WimCourier: cannot open " + host + ": wimlib: " + WimlibErrorText(ret));
        return 0;
    }
    struct wimlib_wim_info info{};
    wimlib_get_wim_info(wimFile.get(), &info);
    for (uint32_t i = 1; i <= info.image_count; ++i) {
        const wimlib_tchar *text = wimlib_get_image_description(wimFile.get(), static_cast<int>(i));
        if (text && platform::EqualsNoCase(wim::FromWimText(text), description))
            return static_cast<int32_t>(i);
    }
    Log("WimCourier: no image described \"" + description + "\" in " + host);
    return 0;
}

bool CWimInterface::ExportFI(const std::string &source, const std::string &target, const std::string &exportArg,
                             int32_t index)
{
    if (!ready_)
        InitInterface();
    const std::string hostSource = platform::HostPath(source);
    const std::string hostTarget = platform::HostPath(target);
    const ExportChoice choice = ParseExportArg(exportArg);
    for (const std::string &word : choice.unknown)
        Log("WimCourier: export argument passed over: " + word);
    Log("WimCourier: export image " + std::to_string(index) + " of " + hostSource + " to " + hostTarget);

    if (CourierFaultTrips(CourierStep::OpenSource))
        return Fail(wim::WIM_ERROR_READ_FAULT, "cannot open " + hostSource + ": injected fault");
    WIMStruct *raw = nullptr;
    errno = 0;
    int ret = wimlib_open_wim(wim::ToWimText(hostSource).c_str(), 0, &raw);
    WimPtr sourceWim(raw);
    if (ret != 0)
        return Fail(MapWimlibError(ret, errno), "cannot open " + hostSource + ": wimlib: " + WimlibErrorText(ret));
    struct wimlib_wim_info info{};
    wimlib_get_wim_info(sourceWim.get(), &info);
    if (info.total_parts > 1) {
        const std::vector<std::string> parts = SplitPartsBeside(hostSource);
        const wim::WimTextList names(parts);
        ret = names.empty() ? WIMLIB_ERR_SPLIT_INVALID
                            : wimlib_reference_resource_files(sourceWim.get(), names.data(),
                                                              static_cast<unsigned>(names.size()), 0, 0);
        if (ret != 0)
            return Fail(MapWimlibError(ret, errno),
                        "cannot reference the split parts of " + hostSource + ": wimlib: " + WimlibErrorText(ret));
    }
    if (index < 1 || static_cast<uint32_t>(index) > info.image_count)
        return Fail(wim::WIM_ERROR_INVALID_INDEX,
                    "no image " + std::to_string(index) + " in " + hostSource + " (" +
                        std::to_string(info.image_count) + " images)");

    const int compression = choice.compression >= 0 ? choice.compression : static_cast<int>(info.compression_type);
    raw = nullptr;
    ret = wimlib_create_new_wim(static_cast<enum wimlib_compression_type>(compression), &raw);
    // The new WIM shares data with the source: it goes first.
    WimPtr targetWim(raw);
    if (ret != 0)
        return Fail(MapWimlibError(ret, errno), "cannot create a WIM: wimlib: " + WimlibErrorText(ret));
    if (CourierFaultTrips(CourierStep::ExportImage))
        return Fail(wim::WIM_ERROR_GEN_FAILURE, "cannot export image " + std::to_string(index) + ": injected fault");
    ret = wimlib_export_image(sourceWim.get(), index, targetWim.get(), nullptr, nullptr, 0);
    if (ret != 0)
        return Fail(MapWimlibError(ret, errno),
                    "cannot export image " + std::to_string(index) + ": wimlib: " + WimlibErrorText(ret));

    CourierProgress progress;
    progress.owner = this;
    progress.Percent(0);
    PartialFile partial(PartialPath(hostTarget));
    if (CourierFaultTrips(CourierStep::WriteTarget)) {
        // Leave a piece behind, as an interrupted write would.
        platform::HostFile piece;
        if (piece.Open(partial.Path(), platform::FileAccess::Write, platform::FileCreation::CreateOrTruncate) == 0)
            (void)piece.Write("MSWIM", 5);
        return Fail(wim::WIM_ERROR_WRITE_FAULT, "cannot write " + partial.Path() + ": injected fault");
    }
    wimlib_register_progress_function(targetWim.get(), &CourierProgress::OnWrite, &progress);
    errno = 0;
    ret = wimlib_write(targetWim.get(), wim::ToWimText(partial.Path()).c_str(), WIMLIB_ALL_IMAGES,
                       choice.integrity ? WIMLIB_WRITE_FLAG_CHECK_INTEGRITY : 0, 0);
    const int writeErrno = errno;
    wimlib_register_progress_function(targetWim.get(), nullptr, nullptr);
    if (ret != 0)
        return Fail(MapWimlibError(ret, writeErrno),
                    "cannot write " + partial.Path() + ": wimlib: " + WimlibErrorText(ret));
    // On disk before it can be renamed into place.
    if (const int err = SyncFile(partial.Path()))
        return Fail(ErrnoToError(err), "cannot write " + partial.Path() + ": " + std::strerror(err));
    std::error_code ec;
    if (!partial.CommitTo(hostTarget, ec))
        return Fail(ErrnoToError(ec.value()), "cannot rename " + partial.Path() + " to " + hostTarget + ": " + ec.message());
    progress.Percent(100);
    return Succeed();
}

bool CWimInterface::CombineFileWithStream(const std::string &folder, const std::string &target)
{
    if (!ready_)
        InitInterface();
    const std::string hostTarget = platform::HostPath(target);
    std::vector<std::string> parts;
    std::string error;
    if (!ListFoundationParts(folder, parts, error))
        return Fail(wim::WIM_ERROR_FILE_NOT_FOUND, error);
    Log("WimCourier: join " + std::to_string(parts.size()) + " parts of " + platform::HostPath(folder) + " into " +
        hostTarget);

    uint64_t total = 0;
    for (const std::string &p : parts) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(platform::FsPath(p), ec);
        if (ec)
            return Fail(wim::WIM_ERROR_READ_FAULT, "cannot read " + p + ": " + ec.message());
        total += size;
    }

    CourierProgress progress;
    progress.owner = this;
    progress.Range(total);
    progress.Percent(0);
    PartialFile partial(PartialPath(hostTarget));
    // The integrity table is checked on the parts while the kernel copies
    // them (large reads on two threads, beside the copy), so the check costs
    // no second read of the joined file; wimlib's own check (small reads,
    // one thread) is the fallback.
    std::atomic<bool> stopCheck{false};
    std::string integrityError;
    std::future<IntegrityResult> integrityCheck;
    try {
        integrityCheck = std::async(std::launch::async, [&] {
            return CheckWimIntegrity(parts, partial.Path(), &stopCheck, integrityError);
        });
    } catch (const std::system_error &) {
        // No thread to spare: checked after the copy instead.
    }
    // Whatever way this function returns, the check has ended by then.
    struct StopCheck {
        std::atomic<bool> &stop;
        std::future<IntegrityResult> &check;
        ~StopCheck()
        {
            stop = true;
            if (check.valid())
                check.wait();
        }
    } stopOnReturn{stopCheck, integrityCheck};
    {
        // Created new (never through a link): PartialFile removed what was there.
        platform::HostFile out;
        if (const int err = out.Open(partial.Path(), platform::FileAccess::Write, platform::FileCreation::CreateNew))
            return Fail(ErrnoToError(err), "cannot create " + partial.Path() + ": " + std::strerror(err));
        // The joined bytes are sent to the disk as they come (in steps of
        // kWriteBehindStep), so that the flush at the end waits for the last
        // step only, not for the whole image.
        struct JoinProgress {
            CourierProgress *progress;
            platform::HostFile *out;
            uint64_t done;
            uint64_t total;
            uint64_t writing; // what the disk has been given so far
        } join{&progress, &out, 0, total, 0};
        auto advanced = [](uint64_t bytes, void *context) {
            auto *j = static_cast<JoinProgress *>(context);
            j->done += bytes;
            if (j->done - j->writing >= kWriteBehindStep) {
                platform::StartWriteBehind(*j->out, j->writing, j->done - j->writing);
                j->writing = j->done;
            }
            if (j->total > 0)
                j->progress->Percent(static_cast<int>(std::min(j->done, j->total) * 99 / j->total));
        };
        for (const std::string &p : parts) {
            if (CourierFaultTrips(CourierStep::JoinCopy))
                return Fail(wim::WIM_ERROR_WRITE_FAULT, "cannot copy " + p + ": injected fault");
            platform::HostFile in;
            if (const int err = in.Open(p, platform::FileAccess::Read, platform::FileCreation::OpenExisting))
                return Fail(wim::WIM_ERROR_READ_FAULT, "cannot open " + p + ": " + std::strerror(err));
            if (const int err = CopyFileData(in, out, partial.Path(), advanced, &join))
                return Fail(ErrnoToError(err), "cannot copy " + p + " to " + partial.Path() + ": " + std::strerror(err));
        }
        // On disk before it can be renamed into place.
        if (const int err = FlushFileData(out, hostTarget))
            return Fail(ErrnoToError(err), "cannot write " + partial.Path() + ": " + std::strerror(err));
        if (const int err = out.Close())
            return Fail(ErrnoToError(err), "cannot write " + partial.Path() + ": " + std::strerror(err));
    }

    // The joined bytes count only when they open as one complete WIM.
    if (CourierFaultTrips(CourierStep::JoinOpen))
        return Fail(wim::WIM_ERROR_BAD_FORMAT, "the joined file does not open as a WIM: injected fault");
    {
        const IntegrityResult integrity = integrityCheck.valid()
                                              ? integrityCheck.get()
                                              : CheckWimIntegrity(partial.Path(), integrityError);
        if (integrity == IntegrityResult::Corrupt || integrity == IntegrityResult::Unreadable)
            return Fail(wim::WIM_ERROR_BAD_FORMAT, "the joined file does not open as a WIM: " + integrityError);
        const int openFlags = integrity == IntegrityResult::Unavailable ? WIMLIB_OPEN_FLAG_CHECK_INTEGRITY : 0;
        WIMStruct *raw = nullptr;
        errno = 0;
        const int ret = wimlib_open_wim(wim::ToWimText(partial.Path()).c_str(), openFlags, &raw);
        WimPtr joined(raw);
        if (ret != 0)
            return Fail(wim::WIM_ERROR_BAD_FORMAT,
                        "the joined file does not open as a WIM: wimlib: " + WimlibErrorText(ret));
        struct wimlib_wim_info info{};
        wimlib_get_wim_info(joined.get(), &info);
        if (info.total_parts != 1 || info.image_count < 1)
            return Fail(wim::WIM_ERROR_BAD_FORMAT, "the joined file is not a complete WIM (" +
                                                       std::to_string(info.total_parts) + " parts, " +
                                                       std::to_string(info.image_count) + " images)");
    }
    std::error_code ec;
    if (!partial.CommitTo(hostTarget, ec))
        return Fail(ErrnoToError(ec.value()), "cannot rename " + partial.Path() + " to " + hostTarget + ": " + ec.message());
    progress.Percent(100);
    return Succeed();
}

bool CWimInterface::WaitInterface()
{
    const bool ok = state_ != State::Failed;
    state_ = State::Idle;
    return ok;
}

bool CWimInterface::UnInitInterface()
{
    state_ = State::Idle;
    ready_ = false;
    return true;
}

} // namespace halcyon::support::courier
