#include "app/app_main.h"
#include "app/app_state.h"
#include "app/command_line.h"
#include "app/wide_to_narrow.h"

#include <shellapi.h>

namespace {

// Splits the process's wide command line into a narrow argument vector.
NarrowArguments narrowCommandLine() {
    int wideCount = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    if (wide == nullptr) {
        return NarrowArguments{};
    }
    const NarrowArguments arguments = convertArguments(wideCount, wide, CrtWideToNarrow{});
    LocalFree(wide);
    return arguments;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR commandLine, int showCommand) {
    NarrowArguments arguments = narrowCommandLine();
    setAppState(instance, prevInstance, commandLine, showCommand);
    const int exitCode = appMain(arguments.count, arguments.vector);
    freeArguments(arguments);
    return exitCode;
}
