#include "support/courier/courier_faults.h"

#include <array>
#include <cstddef>

namespace halcyon::support::courier {

namespace {

struct Plan {
    bool active = false;
    int occurrence = 0;
    int seen = 0;
};

std::array<Plan, static_cast<std::size_t>(CourierStep::Count_)> &Plans()
{
    static std::array<Plan, static_cast<std::size_t>(CourierStep::Count_)> plans{};
    return plans;
}

} // namespace

ScopedCourierFault::ScopedCourierFault(CourierStep step, int occurrence) : step_(step)
{
    Plan &plan = Plans()[static_cast<std::size_t>(step)];
    previousActive_ = plan.active;
    previousOccurrence_ = plan.occurrence;
    previousSeen_ = plan.seen;
    plan = Plan{true, occurrence, 0};
}

ScopedCourierFault::~ScopedCourierFault()
{
    Plans()[static_cast<std::size_t>(step_)] = Plan{previousActive_, previousOccurrence_, previousSeen_};
}

bool CourierFaultTrips(CourierStep step)
{
    Plan &plan = Plans()[static_cast<std::size_t>(step)];
    if (!plan.active)
        return false;
    ++plan.seen;
    return plan.occurrence == 0 || plan.seen == plan.occurrence;
}

} // namespace halcyon::support::courier
