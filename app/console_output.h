#pragma once

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
