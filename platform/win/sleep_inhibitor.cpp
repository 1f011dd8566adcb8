// The machine kept awake through a system power request object. Where the
// system has no power requests (older systems, Wine) nothing is held, which
// is no error for callers.
#include "platform/sleep_inhibitor.h"

#include "platform/win/windows_api.h"

#include <cstdlib>

#include "platform/win/wide_text.h"

namespace halcyon::platform {

bool SleepInhibitor::Acquire(std::string_view reason)
{
    if (Held())
        return true;
    if (const char *off = std::getenv("HALCYON_NO_INHIBIT"); off && *off && std::string_view(off) != "0")
        return false;
    std::wstring text = win::Widen(reason.empty() ? std::string_view("halcyon") : reason);
    REASON_CONTEXT context{};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = text.data();
    HANDLE request = ::PowerCreateRequest(&context);
    if (request == INVALID_HANDLE_VALUE || request == nullptr)
        return false;
    if (!::PowerSetRequest(request, PowerRequestSystemRequired)) {
        ::CloseHandle(request);
        return false;
    }
    ::PowerSetRequest(request, PowerRequestDisplayRequired);
    request_ = request;
    return true;
}

void SleepInhibitor::Release()
{
    if (!Held())
        return;
    HANDLE request = static_cast<HANDLE>(request_);
    ::PowerClearRequest(request, PowerRequestDisplayRequired);
    ::PowerClearRequest(request, PowerRequestSystemRequired);
    ::CloseHandle(request);
    request_ = nullptr;
}

} // namespace halcyon::platform
