// The "current module state" of the calling thread: which library's
// resources are current while code runs. Every verb except
// IsLastModuleRecoverable, GetMiniCDriveSize and GetFoundationImage makes the
// engine's own state current for its whole run and restores the caller's on
// every path.
#pragma once

namespace halcyon::frame {

struct ModuleState {
    const char *owner;
};

// The engine's own state (one per process).
const ModuleState *EngineModuleState();

// The state current on this thread; nullptr when nobody has set one.
const ModuleState *CurrentModuleState();

// Makes `state` current on this thread; returns the previous one.
const ModuleState *SetCurrentModuleState(const ModuleState *state);

// Scoped switch to the engine's state.
class ModuleStateGuard {
public:
    ModuleStateGuard() : previous_(SetCurrentModuleState(EngineModuleState())) {}
    ~ModuleStateGuard() { SetCurrentModuleState(previous_); }
    ModuleStateGuard(const ModuleStateGuard &) = delete;
    ModuleStateGuard &operator=(const ModuleStateGuard &) = delete;

private:
    const ModuleState *previous_;
};

} // namespace halcyon::frame
