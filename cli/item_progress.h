// The items (applications, modules) an install verb takes from a plan: the
// arguments that choose them and the verb's progress calls, where item n is
// announced with (n-1, total) and done with (n, total), with the same label.
#pragma once

#include <cstdint>
#include <string>

#include "cli/command.h"

namespace halcyon::cli {

// --plan, --options and --start (the first item, an `item` number).
struct PlanItems {
    std::string plan;
    uint64_t options = 0;
    int32_t start = 1;
};

// 0 when the arguments were read; else the usage error's exit status.
inline int ReadPlanItems(const Command &cmd, const Options &o, const std::string &item, PlanItems &out)
{
    const auto plan = o.Get("plan");
    if (!plan)
        return UsageError(cmd, "--plan is required");
    out.plan = *plan;
    if (int rc = ReadNumbers(cmd, o, {{"options", &out.options}}))
        return rc;
    const auto start = o.Number("start", 1);
    if (!start || *start > INT32_MAX)
        return UsageError(cmd, "--start takes " + item + " number");
    out.start = static_cast<int32_t>(*start);
    return 0;
}

class ItemProgress {
public:
    // "done" when the call ends the item announced last, else "installing"
    // (the call announces an item); `number` receives the item's number.
    const char *Step(int32_t index, const std::string &label, int32_t &number)
    {
        if (pendingIndex_ >= 0 && index == pendingIndex_ + 1 && label == pendingLabel_) {
            pendingIndex_ = -1;
            number = index;
            return "done";
        }
        pendingIndex_ = index;
        pendingLabel_ = label;
        number = index + 1;
        return "installing";
    }

private:
    std::string pendingLabel_;
    int32_t pendingIndex_ = -1;
};

// The verbs' progress callback for an object of type `T` that shows the
// calls (`Show(index, total, label)`); `user` is the object.
template <class T> int32_t ProgressCallback(int32_t index, int32_t total, const char *label, uintptr_t user)
{
    reinterpret_cast<T *>(user)->Show(index, total, label ? label : "");
    return 0;
}

} // namespace halcyon::cli
