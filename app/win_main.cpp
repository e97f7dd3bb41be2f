#include "app/app_main.h"
#include "app/app_state.h"
#include "app/command_line.h"
#include "app/wide_to_narrow.h"

#include <shellapi.h>

#include <exception>
#include <iostream>

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
        std::cerr << "fatal: " << failure.what() << std::endl;
    } catch (...) {
        std::cerr << "fatal: an unknown error ended the program" << std::endl;
    }
    return failureExitCode;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR commandLine, int showCommand) {
    NarrowArguments arguments = narrowCommandLine();
    setAppState(instance, prevInstance, commandLine, showCommand);
    const int exitCode = runApplication(arguments);
    freeArguments(arguments);
    return exitCode;
}
