#pragma once

// Starts the pipe client on a thread of its own and detaches it at once; it
// runs until the process ends. A thread that cannot be started or detached
// raises the standard library's system error to the caller.
void startPipeClient();

// The thread body: connects to the control pipe and serves it until the
// process ends, or until something throws, which ends only this thread.
void pipeClientMain();
