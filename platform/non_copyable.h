// A base for classes that own something (a handle, a lock, a folder) and so
// must be neither copied nor assigned: `class Lock : NonCopyable { ... };`.
#pragma once

namespace halcyon {

class NonCopyable {
protected:
    NonCopyable() = default;
    ~NonCopyable() = default;

public:
    NonCopyable(const NonCopyable &) = delete;
    NonCopyable &operator=(const NonCopyable &) = delete;
};

} // namespace halcyon
