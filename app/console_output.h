#pragma once

#include <windows.h>

#include <string>

// Decides once, first thing in the process, where the program's lines go
// (message_route.h): the caller's streams as they are, or the console of the
// process that started it, or no console at all. Every line written to the
// standard output or error stream also goes to the debugger's output.
void routeConsoleOutput();

// Writes a fatal line to the error stream. With no console to show it in, it
// also opens a dialog that says in plain words what failed, and returns when
// the dialog is dismissed.
void reportFatal(const std::string& line);

// From now on the console's control events (Ctrl+C, Ctrl+Break, the console
// window closed, log-off, shut-down) close this window as its user closes it.
void closeOnConsoleControl(HWND window);

// What the system calls on a thread of its own for a console control event:
// it asks the window to close and waits while the program tears down and
// exits; false (the system's default, which ends the process at once) before
// there is a window. Exposed for tests.
BOOL WINAPI onConsoleControl(DWORD event);
