#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ostream>

// The pipe's name and wire format: 4-byte little-endian float32 angles in, the
// 7 bytes "SUCCESS" (no terminator) out after each one. The tools of the
// project (the server, the benchmark's echo client) use the same constants.
constexpr char pipeName[] = "\\\\.\\pipe\\qel_pipe";
constexpr std::size_t frameSize = 4;
constexpr char successReply[] = "SUCCESS";
constexpr std::size_t successReplySize = sizeof(successReply) - 1;

// The angle a frame carries, bit for bit: no range, NaN or infinity test.
float angleFromFrame(const std::uint8_t* frame);

// What the client needs from the pipe, so the protocol can run against a
// scripted transport in tests.
class PipeTransport {
public:
    enum class Access { Full, ReadWrite };
    enum class OpenResult { Opened, Unavailable, AccessDenied };

    virtual ~PipeTransport() = default;
    // Opens the pipe: Unavailable when it is missing or busy, AccessDenied
    // when the server refuses the access asked for.
    virtual OpenResult open(Access access) = 0;
    // A blocking read of up to `size` bytes; the count read, or -1 on failure.
    virtual long read(std::uint8_t* buffer, std::size_t size) = 0;
    // Writes all bytes or fails; the result is not needed.
    virtual void write(const char* bytes, std::size_t size) = 0;
    virtual void close() = 0;
    virtual void pause() = 0; // the wait between connection attempts
};

// The client side of the pipe. The first connection asks for full access (or,
// refused it, at once for read and write) and every reconnection for read and
// write only; every attempt that fails is retried after a pause, without end
// and without a message.
class PipeProtocol {
public:
    PipeProtocol(PipeTransport& transport, std::atomic<float>& angle, std::ostream& log)
        : transport(transport), angle(angle), log(log) {}

    // Connects for the first time and says so once.
    void connectFirst();

    // Reads one frame: a complete frame is acknowledged, its angle published
    // when it is finite, and true returned; anything else (failure, nothing,
    // a short read) drops the connection and returns false.
    bool serveFrame();

    // Opens the pipe again after a dropped connection, silently.
    void reconnect();

    // connectFirst, then serves frames and reconnects for ever.
    [[noreturn]] void run();

    // run, until something throws: then it reports what on `errors` and
    // returns, which ends only the pipe thread and leaves the window going.
    void runUntilFailure(std::ostream& errors) noexcept;

private:
    void openWithRetries(PipeTransport::Access access);
    bool openFirst();
    void publishAngle(float received);

    PipeTransport& transport;
    std::atomic<float>& angle;
    std::ostream& log;
};
