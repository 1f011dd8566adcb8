// Test hook of the foundation-image courier: makes one step of its
// operations fail, so that every failure path of its callers can be driven.
//
//   support::courier::ScopedCourierFault fail(support::courier::CourierStep::WriteTarget);
//   ... the next export fails while the new WIM is written ...
#pragma once

#include <cstdint>

namespace halcyon::support::courier {

enum class CourierStep {
    OpenSource,   // opening the WIM to export from (and its split parts)
    ExportImage,  // taking the image over into the new WIM
    WriteTarget,  // writing the new WIM file
    JoinCopy,     // copying the bytes of a part into the joined file
    JoinOpen,     // opening the joined file as a WIM
    Count_
};

// Fails `step` for this object's life: every time when `occurrence` is 0,
// else only the occurrence-th time (1-based, counted from now on). Not
// thread-safe; nest in stack order.
class ScopedCourierFault {
public:
    explicit ScopedCourierFault(CourierStep step, int occurrence = 0);
    ~ScopedCourierFault();
    ScopedCourierFault(const ScopedCourierFault &) = delete;
    ScopedCourierFault &operator=(const ScopedCourierFault &) = delete;

private:
    CourierStep step_;
    int previousOccurrence_;
    int previousSeen_;
    bool previousActive_;
};

// For the courier: counts a pass through `step`; true when it must fail.
bool CourierFaultTrips(CourierStep step);

} // namespace halcyon::support::courier
