#include "app/console_output.h"

#include "app/message_route.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>

namespace {

MessageRoute route = MessageRoute::StandardStreams;
bool errorStreamUsable = true;

bool usable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool standardHandlesUsable() {
    return usable(STD_OUTPUT_HANDLE) || usable(STD_ERROR_HANDLE);
}

// The C streams, and the C++ streams that write through them, are pointed at
// the console the program attached to.
bool attachToParentConsole() {
    if (AttachConsole(ATTACH_PARENT_PROCESS) == FALSE) {
        return false;
    }
    FILE* reopened = nullptr;
    freopen_s(&reopened, "CONOUT$", "w", stdout);
    freopen_s(&reopened, "CONOUT$", "w", stderr);
    return true;
}

// Passes everything on to a stream's own buffer and every completed line to
// the debugger's output as well. A stream without anywhere to go (no console)
// stays usable, so the debugger still gets later lines. The pipe thread writes
// too, hence the lock.
class DebuggerCopy : public std::streambuf {
public:
    explicit DebuggerCopy(std::streambuf* target) : target(target) {}

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            const char character = traits_type::to_char_type(c);
            const std::lock_guard<std::mutex> lock(guard);
            put(&character, 1);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::lock_guard<std::mutex> lock(guard);
        put(text, count);
        return count;
    }

    int sync() override {
        const std::lock_guard<std::mutex> lock(guard);
        target->pubsync();
        return 0;
    }

private:
    void put(const char* text, std::streamsize count) {
        target->sputn(text, count);
        for (std::streamsize i = 0; i < count; ++i) {
            line.push_back(text[i]);
            if (text[i] == '\n') {
                OutputDebugStringA(line.c_str());
                line.clear();
            }
        }
    }

    std::streambuf* target;
    std::string line;
    std::mutex guard;
};

// Never destroyed: the streams flush into them until the very end of the process.
void copyToDebugger(std::ostream& stream) {
    stream.rdbuf(new DebuggerCopy(stream.rdbuf()));
}

// The window a console control event closes; set once it exists.
std::atomic<HWND> consoleControlTarget{nullptr};

} // namespace

// NOTE: the console's control events close the window as its user does, so
// the main loop ends and the teardown (the VR session, the device) runs
// before the exit code 0. Without a handler of its own, the system's ends the
// process at once (0xC000013A) with the session and the device never
// released. The handler's thread waits for the process to end: returned
// from, a close event ends the process there and then. Log-off and shut-down
// never come this way to a program with windows: they reach the window as
// the session's end (app/app_main.cpp).
BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        break;
    default:
        return FALSE;
    }
    const HWND window = consoleControlTarget.load();
    if (window == nullptr) {
        return FALSE;
    }
    PostMessageA(window, WM_CLOSE, 0, 0); // refused once the window is gone: ending already
    Sleep(INFINITE);
    return TRUE;
}

void closeOnConsoleControl(HWND window) {
    consoleControlTarget = window;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void routeConsoleOutput() {
    errorStreamUsable = usable(STD_ERROR_HANDLE);
    route = chooseMessageRoute(ConsoleProbe{standardHandlesUsable, attachToParentConsole});
    copyToDebugger(std::cout);
    copyToDebugger(std::cerr);
}

void reportFatal(const std::string& line) {
    std::cerr << line << std::endl;
    if (!fatalNeedsDialog(route, errorStreamUsable)) {
        return;
    }
    const std::string text = fatalExplanation(line) + "\n\nDetails: " + line;
    MessageBoxA(nullptr, text.c_str(), "Hello Triangle",
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TASKMODAL);
}
