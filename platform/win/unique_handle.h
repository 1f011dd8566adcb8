// A file or folder handle closed when it leaves scope.
#pragma once

#include <utility>

#include "platform/win/windows_api.h"
#include "platform/non_copyable.h"

namespace halcyon::platform::win {

class UniqueHandle : NonCopyable {
public:
    explicit UniqueHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    UniqueHandle(UniqueHandle &&other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
    ~UniqueHandle()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(h_);
    }
    HANDLE get() const { return h_; }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    void Swap(UniqueHandle &other) noexcept { std::swap(h_, other.h_); }
    // Closes now; false when the close itself failed (GetLastError tells).
    bool Close()
    {
        const HANDLE h = std::exchange(h_, INVALID_HANDLE_VALUE);
        return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

} // namespace halcyon::platform::win
