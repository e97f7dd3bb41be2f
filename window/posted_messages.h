#pragma once

#include <windows.h>

// From now on, notes every posted message that a message loop of the calling
// thread takes from its queue, and inside a system loop lets the main loop's
// pass run (window/system_loops.h). Window::create calls it.
void watchPostedMessages();

// Whether msg is the posted message last taken from the thread's queue,
// rather than one the system sent. Any process can post to the window, so a
// posted message's parameters are never read as pointers.
bool isPostedMessage(const MSG& msg);
