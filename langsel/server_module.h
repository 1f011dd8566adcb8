// The server's module state: the lock count that DllCanUnloadNow answers
// from, and where the server's file lies.
#pragma once

#include <string>

namespace halcyon::langsel {

// Live objects, client references to the class factory and LockServer locks.
void LockModule();
void UnlockModule();
long ModuleLockCount();

// The full path of the loaded server file (for InprocServer32).
std::string ServerPath();

// Runs `body`, turning an exception into an HRESULT so that none crosses a
// COM boundary.
template <class F> int32_t ComBarrier(F &&body) noexcept;

} // namespace halcyon::langsel

#include <new>

namespace halcyon::langsel {

template <class F> int32_t ComBarrier(F &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return static_cast<int32_t>(0x8007000Eu); // E_OUTOFMEMORY
    } catch (...) {
        return static_cast<int32_t>(0x8000FFFFu); // E_UNEXPECTED
    }
}

} // namespace halcyon::langsel
