#include "app/app_main.h"
#include "app/app_state.h"
#include "app/command_line.h"
#include "app/console_output.h"
#include "app/wide_to_narrow.h"

#include <shellapi.h>

#include <exception>
#include <string>

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

constexpr int failureExitCode = 1;

// Runs the program and turns a failure that nothing else handled into one
// line on the error stream and a non-zero exit code.
// NOTE: every exception is caught here and the program exits with 1: left to
// the C runtime, a graphics failure would end the process through
// std::terminate without saying which call failed, and an exit code of 0
// would report a failed run as a success.
int runApplication(const NarrowArguments& arguments) {
    try {
        return appMain(arguments.count, arguments.vector);
    } catch (const std::exception& failure) {
        reportFatal(std::string("fatal: ") + failure.what());
    } catch (...) {
        reportFatal("fatal: an unknown error ended the program");
    }
    return failureExitCode;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR commandLine, int showCommand) {
    routeConsoleOutput();
    NarrowArguments arguments = narrowCommandLine();
    setAppState(instance, prevInstance, commandLine, showCommand);
    const int exitCode = runApplication(arguments);
    freeArguments(arguments);
    return exitCode;
}
