#include "app/app_state.h"

namespace {
AppState appState;
}

void setAppState(HINSTANCE instance, HINSTANCE prevInstance, const char* commandLine,
                 std::int32_t showCommand) {
    appState = AppState{instance, prevInstance, commandLine, showCommand};
}

const AppState& getAppState() {
    return appState;
}
