// Log helpers of the module installation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/frame/log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/wim/wim_api.h"

namespace halcyon::modules {

// A line whose failure does not matter.
inline void LogLine(std::string_view text, std::string_view log, bool echo = false)
{
    WriteLog(text, log, echo ? 1 : 0);
}

// A guarded line: 0, or the log's code (27) that ends the run.
inline int32_t LogGuarded(std::string_view text, std::string_view log, bool echo = true)
{
    return WriteLog(text, log, echo ? 1 : 0);
}

// The refusal of a plan value that would lead outside the folder it is
// joined to; echoed, as it ends the run.
inline void LogUnsafeValue(std::string_view key, std::string_view value, std::string_view log)
{
    WriteLog("Error: the plan value " + std::string(key) + "='" + std::string(value) +
                 "' would lead outside the folders given. (RETURN_UNSAFE_PATH)",
             log, 1);
}

// True when the plan value may be joined below a folder of the call; else
// its refusal is logged (LogUnsafeValue).
inline bool SafePlanValue(std::string_view key, std::string_view value, std::string_view log)
{
    if (platform::IsSafeRelativePart(value))
        return true;
    LogUnsafeValue(key, value, log);
    return false;
}

// The refusal of a path the verb would delete, create or fill because a
// symbolic link (or something else than a folder) lies on its way; echoed.
inline void LogUnsafeLink(std::string_view what, std::string_view description, std::string_view log)
{
    WriteLog("Error: " + std::string(what) + ": " + std::string(description) +
                 "; nothing is done through it. (RETURN_UNSAFE_PATH)",
             log, 1);
}

// The last error of a failed imaging call (112 when the disk is full) and
// its reason, which names what could not be written; taken before a handle
// is released, which sets the last error again.
struct WimLastError {
    uint32_t code = 0;
    std::string reason;
};

inline WimLastError LastWimError()
{
    const support::wim::IWimApi &api = support::wim::WimApi();
    return WimLastError{api.GetLastError(), api.GetLastErrorText()};
}

// The verb's code for a failed imaging call: 9001 (RETURN_UNSAFE_PATH) when
// the apply stopped at a symbolic link already in the target, else 41.
inline int32_t WimFailureCode(const WimLastError &error)
{
    return error.code == support::wim::WIM_ERROR_STOPPED_ON_SYMLINK ? RETURN_UNSAFE_PATH : RETURN_WIMGAPI_ERROR;
}

// "GetLastError: %d" and the reason; echoed.
inline void LogWimError(const WimLastError &error, std::string_view log)
{
    WriteLog("GetLastError: " + std::to_string(error.code), log, 1);
    if (!error.reason.empty())
        WriteLog("Reason: " + error.reason, log, 1);
}

} // namespace halcyon::modules
