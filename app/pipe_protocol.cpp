#include "app/pipe_protocol.h"

#include <cmath>
#include <cstring>
#include <exception>

namespace {

void reportStop(std::ostream& errors, const char* reason) noexcept {
    try {
        errors << "The pipe client stopped: " << reason << std::endl;
    } catch (...) {
        // Nothing is left to report with; the thread ends quietly.
    }
}

} // namespace

float angleFromFrame(const std::uint8_t* frame) {
    // Frames are little-endian, like every Windows target.
    const std::uint32_t bits =
        static_cast<std::uint32_t>(frame[0]) | static_cast<std::uint32_t>(frame[1]) << 8 |
        static_cast<std::uint32_t>(frame[2]) << 16 | static_cast<std::uint32_t>(frame[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// NOTE: a NaN or infinite angle is acknowledged like any other but not
// published: turned by it, the model would vanish from the eye views until a
// finite angle came. The eye passes keep the last finite angle received.
void PipeProtocol::publishAngle(float received) {
    if (std::isfinite(received)) {
        angle.exchange(received);
    }
}

void PipeProtocol::openWithRetries(PipeTransport::Access access) {
    while (transport.open(access) != PipeTransport::OpenResult::Opened) {
        transport.pause();
    }
}

// NOTE: a server that grants this client read and write but not full access
// refuses the full access of the first connection for ever, although it
// would accept every reconnection; the same attempt is then made at once with
// read and write access. Servers that grant full access see what they always
// saw.
bool PipeProtocol::openFirst() {
    using Result = PipeTransport::OpenResult;
    const Result full = transport.open(PipeTransport::Access::Full);
    return full == Result::Opened ||
           (full == Result::AccessDenied &&
            transport.open(PipeTransport::Access::ReadWrite) == Result::Opened);
}

void PipeProtocol::connectFirst() {
    while (!openFirst()) {
        transport.pause();
    }
    log << "Connected to the pipe." << std::endl;
}

bool PipeProtocol::serveFrame() {
    std::uint8_t frame[frameSize] = {};
    if (transport.read(frame, frameSize) != static_cast<long>(frameSize)) {
        transport.close(); // a short read's bytes are dropped
        return false;
    }
    publishAngle(angleFromFrame(frame));
    transport.write(successReply, successReplySize);
    return true;
}

void PipeProtocol::reconnect() {
    openWithRetries(PipeTransport::Access::ReadWrite);
}

void PipeProtocol::run() {
    connectFirst();
    for (;;) {
        if (!serveFrame()) {
            reconnect();
        }
    }
}

// NOTE: an exception (an allocation failure in the console output, say) ends
// the pipe thread with a line on the error stream instead of reaching the
// thread's edge, where it would end the whole process.
void PipeProtocol::runUntilFailure(std::ostream& errors) noexcept {
    try {
        run();
    } catch (const std::exception& failure) {
        reportStop(errors, failure.what());
    } catch (...) {
        reportStop(errors, "an unknown error");
    }
}
