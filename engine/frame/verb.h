// The boundary of an exported verb: the engine's module state is made
// current for the verb's run, and nothing thrown inside reaches the caller.
#pragma once

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "engine/frame/module_state.h"
#include "halcyon/ReturnCodes.h"

namespace halcyon::frame {

// A C string argument as text; NULL reads as empty.
inline std::string Arg(const char *s) { return s ? std::string(s) : std::string(); }

// Runs `body` and turns an exception escaping it into `onError`, reported on
// standard error with the verb's name.
template <typename Result, typename Body>
Result CatchAll(const char *name, Result onError, Body &&body) noexcept
{
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "%s: out of memory\n", name);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: internal error: %s\n", name, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: internal error\n", name);
    }
    return onError;
}

// Runs `body` as verb `name` under the engine's module state; nothing thrown
// inside reaches the caller.
template <typename Result, typename Body>
Result RunVerb(const char *name, Result onError, Body &&body) noexcept
{
    ModuleStateGuard guard;
    return CatchAll(name, onError, std::forward<Body>(body));
}

// The same for the verbs that keep the caller's module state.
template <typename Result, typename Body>
Result RunVerbKeepingState(const char *name, Result onError, Body &&body) noexcept
{
    return CatchAll(name, onError, std::forward<Body>(body));
}

} // namespace halcyon::frame
