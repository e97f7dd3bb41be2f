#include "app/pipe_protocol.h"

#include <cmath>
#include <cstring>

float angleFromFrame(const std::uint8_t* frame) {
    // NOTE: frames are little-endian, like every Windows target.
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
    while (!transport.open(access)) {
        transport.pause();
    }
}

void PipeProtocol::connectFirst() {
    openWithRetries(PipeTransport::Access::Full);
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
