// Feeds the pipe client arbitrary sequences of reads and checks that it never
// crashes and that the published angle is always that of the last complete
// frame holding a finite angle.
//
// Input: a list of reads. Each starts with a byte h: 0xFF is a failed read;
// otherwise h % 9 bytes follow and arrive in one read (a read of more than 4
// bytes is split, as byte-mode pipes do). Bit 0x40 of h puts one refused
// connection attempt into the script at that point, so refusals meet the
// first connection and reconnections alike.
#include "../unit/scripted_transport.h"

#include <cstring>
#include <sstream>

namespace {

constexpr std::uint8_t failedRead = 0xFF;
constexpr std::uint8_t refuseNextOpen = 0x40;

struct Script {
    ScriptedTransport transport;
    bool haveExpected = false;
    std::uint32_t expectedBits = 0;
};

// An exponent of all ones is an infinity or a NaN.
bool finiteBits(std::uint32_t bits) {
    return (bits & 0x7F800000u) != 0x7F800000u;
}

// What the last finite complete frame must be, worked out from the script
// alone.
void expectFrames(Script& script, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i + frameSize <= bytes.size(); i += frameSize) {
        std::uint32_t bits;
        std::memcpy(&bits, &bytes[i], frameSize);
        if (finiteBits(bits)) {
            script.expectedBits = bits;
            script.haveExpected = true;
        }
    }
}

Script parse(const std::uint8_t* data, std::size_t size) {
    Script script;
    std::size_t position = 0;
    while (position < size) {
        const std::uint8_t header = data[position++];
        if ((header & refuseNextOpen) != 0) {
            script.transport.opens.push_back(PipeTransport::OpenResult::Unavailable);
        }
        script.transport.opens.push_back(PipeTransport::OpenResult::Opened);
        if (header == failedRead) {
            script.transport.failRead();
            continue;
        }
        const std::size_t length = std::min<std::size_t>(header % 9, size - position);
        std::vector<std::uint8_t> bytes(data + position, data + position + length);
        position += length;
        expectFrames(script, bytes);
        script.transport.sendBytes(bytes);
    }
    script.transport.opens.push_back(PipeTransport::OpenResult::Opened);
    return script;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script = parse(data, size);
    std::atomic<float> angle{0.0f};
    std::ostringstream log;
    PipeProtocol protocol(script.transport, angle, log);
    try {
        protocol.run();
    } catch (const ScriptedTransport::ScriptEnded&) {
    }
    const float published = angle.load();
    std::uint32_t bits;
    std::memcpy(&bits, &published, sizeof(bits));
    const std::uint32_t expected = script.haveExpected ? script.expectedBits : 0u;
    if (bits != expected || log.str() != "Connected to the pipe.\n") {
        __builtin_trap();
    }
    return 0;
}
