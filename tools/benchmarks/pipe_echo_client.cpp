// The smallest client of the control pipe, as a yardstick for the program's
// own: connect, then answer every 4-byte frame with "SUCCESS" until the pipe
// breaks.
#include "app/pipe_protocol.h"

#include <windows.h>

int main() {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    while ((pipe = CreateFileA(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr)) == INVALID_HANDLE_VALUE) {
        Sleep(50);
    }
    char frame[frameSize];
    DWORD count = 0;
    while (ReadFile(pipe, frame, sizeof(frame), &count, nullptr) && count == sizeof(frame)) {
        WriteFile(pipe, successReply, successReplySize, &count, nullptr);
    }
    CloseHandle(pipe);
    return 0;
}
