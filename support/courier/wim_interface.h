// The foundation-image courier: exports one image of a WIM into a new WIM
// file and joins split foundation parts ("Norv1.nr2", "Norv2.nr2", ...) into
// one WIM, on wimlib. Each operation is started by its call and runs to its
// end before the call returns (no thread is started); WaitInterface() then
// reports how the operation just started went.
//
//   support::courier::CWimInterface wim;
//   wim.InitInterface();
//   wim.SetCallBack(callback, data);
//   wim.ExportFI(source, target, "", wim.GetImageIndex(source, "FOUNDATION IMAGE 1"));
//   if (!wim.WaitInterface()) ... wim.LastErrorText() ...
//   wim.UnInitInterface();
//
// A target is written under a temporary name beside it ("<target>.partial")
// and renamed into place only when complete, so a failed or interrupted run
// never leaves a target that looks complete; a target already there is kept
// until then.
//
// Messages to the callback (message, 64-bit parameter, callback data):
//   WIM_MSG_SETRANGE  parameter = bytes to be written (once per operation)
//   WIM_MSG_PROGRESS  parameter = percent done, rising from 0 to 100
//   WIM_MSG_ERROR     parameter = the last error (Windows numbering of
//                     support/wim/wim_api.h) when the operation fails
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::support::courier {

// Writes one line of the courier's own to the log named by SetLogFilePath.
using CourierLogWriter = void (*)(std::string_view text, std::string_view logPath);

class CWimInterface {
public:
    CWimInterface() = default;
    ~CWimInterface() = default;
    CWimInterface(const CWimInterface &) = delete;
    CWimInterface &operator=(const CWimInterface &) = delete;

    // Makes the interface ready for use (wimlib set up once per process).
    void InitInterface();
    // The log the courier's lines go to, through the writer set below.
    void SetLogFilePath(const std::string &path) { logPath_ = path; }
    void SetLogWriter(CourierLogWriter writer) { logWriter_ = writer; }
    // The front end's callback and its data (null: no messages).
    void SetCallBack(WimCourierCallback callback, void *data);

    // The 1-based index of the image of `wimPath` whose DESCRIPTION equals
    // `description` without regard to case; 0 when there is none or the
    // file does not open as a WIM.
    int32_t GetImageIndex(const std::string &wimPath, const std::string &description);

    // Exports image `index` of `source` (a WIM, or the first part of a
    // split WIM whose further parts "<name>*<ext>" lie beside it) into a new
    // WIM at `target`. `exportArg`: words separated by blanks or commas,
    // without regard to case, each with an optional leading "/" or "-":
    // "none", "xpress" (or "fast"), "lzx" (or "maximum"), "lzms" (or
    // "recovery"), also as "compress:<word>", choose the compression
    // (default: the source's); "check" adds an integrity table. Unknown
    // words are logged and passed over. True when the target was written.
    bool ExportFI(const std::string &source, const std::string &target, const std::string &exportArg, int32_t index);

    // Joins the parts "Norv<n>.nr2" of `folder` in the order of their
    // numbers into `target` and checks that the result opens as a complete
    // WIM with at least one image. True when it does.
    bool CombineFileWithStream(const std::string &folder, const std::string &target);

    // Result of the operation started last: true when it succeeded (or when
    // none was started). Clears it.
    bool WaitInterface();
    // Releases the interface; it can be initialised again.
    bool UnInitInterface();

    // The last failure, for log lines: Windows-numbered error and text.
    uint32_t LastError() const { return lastError_; }
    const std::string &LastErrorText() const { return lastErrorText_; }

private:
    enum class State { Idle, Succeeded, Failed };

    void Log(const std::string &text) const;
    bool Fail(uint32_t error, const std::string &text);
    bool Succeed();
    void Send(uint32_t message, int64_t param) const;

    friend struct CourierProgress;

    std::string logPath_;
    CourierLogWriter logWriter_ = nullptr;
    WimCourierCallback callback_ = nullptr;
    void *callbackData_ = nullptr;
    State state_ = State::Idle;
    bool ready_ = false;
    uint32_t lastError_ = 0;
    std::string lastErrorText_;
};

} // namespace halcyon::support::courier
