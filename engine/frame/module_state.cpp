#include "engine/frame/module_state.h"

namespace halcyon::frame {

namespace {
const ModuleState kEngineState{"HalcyonDLL"};
thread_local const ModuleState *tCurrent = nullptr;
} // namespace

const ModuleState *EngineModuleState() { return &kEngineState; }

const ModuleState *CurrentModuleState() { return tCurrent; }

const ModuleState *SetCurrentModuleState(const ModuleState *state)
{
    const ModuleState *previous = tCurrent;
    tCurrent = state;
    return previous;
}

} // namespace halcyon::frame
