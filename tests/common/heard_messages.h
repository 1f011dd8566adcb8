// What a WIM message callback heard: the progress percentages, the range
// messages and the errors with the last error's code.
#pragma once

#include <cstdint>
#include <vector>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::test {

struct HeardMessages {
    std::vector<int64_t> percents;
    int ranges = 0;
    int errors = 0;
    int64_t lastError = 0;
    bool abortAt50 = false; // answers a progress of 50 to 99 percent with WIM_MSG_ABORT_IMAGE

    // Notes `message` with its percentage or error code; returns the answer.
    uint32_t Hear(uint32_t message, int64_t param)
    {
        if (message == WIM_MSG_PROGRESS) {
            percents.push_back(param);
            if (abortAt50 && param >= 50 && param < 100)
                return WIM_MSG_ABORT_IMAGE;
        } else if (message == WIM_MSG_SETRANGE) {
            ++ranges;
        } else if (message == WIM_MSG_ERROR) {
            ++errors;
            lastError = param;
        }
        return WIM_MSG_SUCCESS;
    }
};

} // namespace halcyon::test
