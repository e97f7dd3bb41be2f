#pragma once

#include <functional>
#include <string>

// Where the program's console lines go. A program of the Windows GUI
// subsystem has standard streams only when its caller gave it some.
enum class MessageRoute {
    StandardStreams, // the caller's streams (a file, a pipe, a console), left as they are
    ParentConsole,   // none given: the console of the process that started it
    NoConsole,       // neither: lines reach the debugger only, and a fatal error a dialog
};

// The two questions the choice asks of the system; attaching is tried only
// when the standard handles are not usable.
struct ConsoleProbe {
    std::function<bool()> standardHandlesUsable;
    std::function<bool()> attachToParentConsole;
};

MessageRoute chooseMessageRoute(const ConsoleProbe& probe);

// Whether a fatal line needs a dialog as well: it goes to the error stream,
// so the dialog depends on that stream alone. Kept streams whose error stream
// goes nowhere (a launcher that keeps only the output) need one too.
bool fatalNeedsDialog(MessageRoute route, bool errorStreamUsable);

// What a fatal line means in plain words, and what the person can do about
// it, for a dialog shown to someone who has no console to read it in.
std::string fatalExplanation(const std::string& fatalLine);
