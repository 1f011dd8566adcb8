#include "platform/power_request.h"

#include <array>
#include <map>
#include <mutex>
#include <string>

#include "platform/sleep_inhibitor.h"

namespace halcyon::platform {

namespace {

struct RequestObject {
    std::string reason;
    std::array<int, 3> counts{};
};

struct PowerState {
    std::mutex mutex;
    std::map<PowerRequestHandle, RequestObject> objects;
    PowerRequestHandle next = 1;
    std::optional<PowerRequestType> fault;
    SleepInhibitor inhibitor;
};

PowerState &State()
{
    static PowerState *s = new PowerState; // lives until exit; helpers die with their pipe
    return *s;
}

bool ValidType(PowerRequestType t) { return t >= PowerRequestDisplayRequired && t <= PowerRequestAwayModeRequired; }

int Total(const PowerState &s, PowerRequestType t)
{
    int n = 0;
    for (const auto &[h, o] : s.objects)
        n += o.counts[static_cast<size_t>(t)];
    return n;
}

// Holds the real inhibitor exactly while a system or display request is set.
void UpdateInhibitor(PowerState &s, std::string_view reason)
{
    bool wanted = Total(s, PowerRequestSystemRequired) > 0 || Total(s, PowerRequestDisplayRequired) > 0;
    if (wanted && !s.inhibitor.Held())
        s.inhibitor.Acquire(reason);
    else if (!wanted && s.inhibitor.Held())
        s.inhibitor.Release();
}

// Sets (step +1) or clears (step -1) one `type` request on `request`; a
// clear needs a set before it.
bool CountRequest(PowerRequestHandle request, PowerRequestType type, int step)
{
    PowerState &s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.objects.find(request);
    if (it == s.objects.end() || !ValidType(type) || s.fault == type)
        return false;
    int &count = it->second.counts[static_cast<size_t>(type)];
    if (count + step < 0)
        return false;
    count += step;
    UpdateInhibitor(s, it->second.reason);
    return true;
}

} // namespace

PowerRequestHandle PowerCreateRequest(std::string_view reason)
{
    PowerState &s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    PowerRequestHandle h = s.next++;
    s.objects[h].reason = std::string(reason);
    return h;
}

bool PowerSetRequest(PowerRequestHandle request, PowerRequestType type) { return CountRequest(request, type, +1); }

bool PowerClearRequest(PowerRequestHandle request, PowerRequestType type) { return CountRequest(request, type, -1); }

bool ClosePowerRequest(PowerRequestHandle request)
{
    PowerState &s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.objects.find(request);
    if (it == s.objects.end())
        return false;
    std::string reason = it->second.reason;
    s.objects.erase(it);
    UpdateInhibitor(s, reason);
    return true;
}

int ActivePowerRequests(PowerRequestType type)
{
    PowerState &s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return ValidType(type) ? Total(s, type) : 0;
}

bool SystemSleepInhibited()
{
    PowerState &s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.inhibitor.Held();
}

void SetPowerRequestFault(std::optional<PowerRequestType> type)
{
    PowerState &s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.fault = type;
}

} // namespace halcyon::platform
