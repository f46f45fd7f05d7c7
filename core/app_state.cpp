#include "core/app_state.h"

AppState& App() {
    static AppState* const state = new AppState();
    return *state;
}

namespace {
// Build the state during static initialisation, before the entry point runs.
[[maybe_unused]] const AppState& builtEarly = App();
} // namespace
