#include "app/pipe_client.h"

#include "app/pipe_protocol.h"
#include "app/remote_angle.h"

#include <windows.h>

#include <iostream>
#include <thread>

namespace {

constexpr DWORD retryMilliseconds = 50;

// NOTE: SECURITY_IDENTIFICATION lets a pipe server identify this program but
// never act as it; any local process could have created a pipe of this name.
constexpr DWORD openFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// The client end of the named pipe: blocking byte-mode I/O, no overlapped I/O
// and no time-outs.
class NamedPipeTransport : public PipeTransport {
public:
    OpenResult open(Access access) override {
        const DWORD desired = access == Access::Full ? GENERIC_ALL : GENERIC_READ | GENERIC_WRITE;
        handle = CreateFileA(pipeName, desired, 0, nullptr, OPEN_EXISTING, openFlags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return OpenResult::Opened;
        }
        return GetLastError() == ERROR_ACCESS_DENIED ? OpenResult::AccessDenied
                                                     : OpenResult::Unavailable;
    }

    long read(std::uint8_t* buffer, std::size_t size) override {
        DWORD count = 0;
        if (!ReadFile(handle, buffer, static_cast<DWORD>(size), &count, nullptr)) {
            return -1;
        }
        return static_cast<long>(count);
    }

    void write(const char* bytes, std::size_t size) override {
        DWORD written = 0;
        WriteFile(handle, bytes, static_cast<DWORD>(size), &written, nullptr);
    }

    void close() override {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    void pause() override { Sleep(retryMilliseconds); }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

} // namespace

void startPipeClient() {
    std::thread client(pipeClientMain);
    client.detach();
}

void pipeClientMain() {
    NamedPipeTransport transport;
    PipeProtocol protocol(transport, remoteAngle, std::cout);
    protocol.runUntilFailure(std::cerr);
}
