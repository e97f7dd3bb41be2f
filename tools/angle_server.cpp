// angle_server: the other end of the program's control pipe. It creates
// \\.\pipe\qel_pipe, waits for the program to connect and sends it angles in
// degrees, checking that each one is answered with "SUCCESS".
//
//   angle_server ANGLE...                  send these angles, in order
//   angle_server --stdin                   send one angle per line of standard input
//   angle_server --sweep FROM TO STEP HZ   send FROM, FROM+STEP, ... up to TO, HZ per second
//   angle_server --bench COUNT             send COUNT angles back to back and print the
//                                          round-trip percentiles in microseconds
// Items for diagnosing a client, allowed among the angles:
//   raw:HEX      write these bytes in one write and expect one reply per whole frame
//   reconnect    wait for the client to drop the connection and connect again
// Exit codes: 0 all acknowledged, 2 bad input, 3 pipe unavailable, 4 client lost.
#include "app/pipe_protocol.h"
#include "tools/common/unix_time.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr DWORD replySize = successReplySize;
constexpr DWORD pipeBufferSize = 512;
constexpr int exitBadInput = 2, exitPipeUnavailable = 3, exitClientLost = 4;

struct Failure {
    int exitCode;
    std::string message;
};

// One thing to do over the pipe.
struct Item {
    enum class Kind { Bytes, Reconnect } kind = Kind::Bytes;
    std::vector<std::uint8_t> bytes;
    std::string label;
};

std::vector<std::uint8_t> frameOf(float angle) {
    std::uint32_t bits;
    std::memcpy(&bits, &angle, sizeof(bits));
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

bool parseAngle(const std::string& text, float& angle) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0') {
        return false;
    }
    angle = value;
    return true;
}

std::vector<std::uint8_t> parseHex(const std::string& hex) {
    if (hex.empty() || hex.size() % 2 != 0 ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        throw Failure{exitBadInput, "'" + hex + "' is not an even number of hex digits"};
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

Item parseItem(const std::string& text) {
    if (text == "reconnect") {
        return Item{Item::Kind::Reconnect, {}, text};
    }
    if (text.rfind("raw:", 0) == 0) {
        return Item{Item::Kind::Bytes, parseHex(text.substr(4)), text};
    }
    float angle = 0.0f;
    if (!parseAngle(text, angle)) {
        throw Failure{exitBadInput, "'" + text + "' is not a number"};
    }
    return Item{Item::Kind::Bytes, frameOf(angle), text};
}

double microsecondsBetween(LARGE_INTEGER start, LARGE_INTEGER end) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value;
    }();
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
           static_cast<double>(frequency.QuadPart);
}

// The server end of the pipe, with one instance so that a second server is
// refused instead of silently sharing the name.
class PipeServer {
public:
    PipeServer() {
        handle = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                  pipeBufferSize, pipeBufferSize, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            throw Failure{exitPipeUnavailable,
                          error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY
                              ? std::string(pipeName) +
                                    " already exists: is another server running?"
                              : "cannot create " + std::string(pipeName) + " (error " +
                                    std::to_string(error) + ")"};
        }
    }
    ~PipeServer() { CloseHandle(handle); }
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    void waitForClient() {
        if (!ConnectNamedPipe(handle, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            throw Failure{exitPipeUnavailable, "waiting for the client failed (error " +
                                                   std::to_string(GetLastError()) + ")"};
        }
    }

    // Drops the current client and waits for it to connect again.
    void reconnect() {
        DisconnectNamedPipe(handle);
        waitForClient();
    }

    // Writes the bytes in one write and reads one reply per whole frame.
    // Returns the round trip in microseconds.
    double exchange(const std::vector<std::uint8_t>& bytes) {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            throw lostClient();
        }
        for (std::size_t frame = 0; frame < bytes.size() / frameSize; ++frame) {
            readReply();
        }
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        ++acknowledged;
        return microsecondsBetween(start, end);
    }

    int acknowledgedCount() const { return acknowledged; }

private:
    void readReply() {
        char reply[replySize];
        DWORD received = 0;
        while (received < replySize) {
            DWORD count = 0;
            if (!ReadFile(handle, reply + received, replySize - received, &count, nullptr) ||
                count == 0) {
                throw lostClient();
            }
            received += count;
        }
        if (std::memcmp(reply, successReply, replySize) != 0) {
            throw Failure{exitClientLost, "the client answered '" + std::string(reply, replySize) +
                                              "' instead of SUCCESS"};
        }
    }

    Failure lostClient() const {
        return Failure{exitClientLost, "the client disconnected after " +
                                           std::to_string(acknowledged) + " acknowledged writes"};
    }

    HANDLE handle = INVALID_HANDLE_VALUE;
    int acknowledged = 0;
};

void perform(PipeServer& server, const Item& item) {
    if (item.kind == Item::Kind::Reconnect) {
        server.reconnect();
        std::cout << "reconnected" << std::endl;
        return;
    }
    const unsigned long long sentAt = unixTimeNanoseconds();
    const double microseconds = server.exchange(item.bytes);
    std::cout << item.label << " -> " << item.bytes.size() / frameSize << " x SUCCESS in "
              << static_cast<long>(microseconds) << " us (sent at " << sentAt << " ns)"
              << std::endl;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()));
    return values[index];
}

int runBench(PipeServer& server, long count) {
    std::vector<double> roundTrips;
    roundTrips.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        roundTrips.push_back(server.exchange(frameOf(static_cast<float>(i % 360))));
    }
    std::printf("frames: %ld\nround trip p50: %.1f us\nround trip p99: %.1f us\n", count,
                percentile(roundTrips, 0.50), percentile(roundTrips, 0.99));
    return 0;
}

std::vector<Item> sweepItems(const std::vector<std::string>& arguments, DWORD& pauseMs) {
    float from = 0, to = 0, step = 0, rate = 0;
    if (arguments.size() != 5 || !parseAngle(arguments[1], from) || !parseAngle(arguments[2], to) ||
        !parseAngle(arguments[3], step) || !parseAngle(arguments[4], rate) || step == 0.0f ||
        rate <= 0.0f || (to - from) / step < 0.0f) {
        throw Failure{exitBadInput, "--sweep needs FROM TO STEP HZ, with STEP leading from FROM "
                                    "to TO and HZ above 0"};
    }
    pauseMs = static_cast<DWORD>(1000.0f / rate);
    std::vector<Item> items;
    const long steps = static_cast<long>(std::floor((to - from) / step + 1e-4f));
    for (long i = 0; i <= steps; ++i) {
        const float angle = from + step * static_cast<float>(i);
        items.push_back(Item{Item::Kind::Bytes, frameOf(angle), std::to_string(angle)});
    }
    return items;
}

int serveStandardInput(PipeServer& server) {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            perform(server, parseItem(line));
        }
    }
    return 0;
}

int run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw Failure{exitBadInput, "nothing to send; give angles, --stdin, --sweep or --bench"};
    }
    const std::string& mode = arguments[0];
    std::vector<Item> items;
    DWORD pauseMs = 0;
    long benchCount = 0;
    if (mode == "--sweep") {
        items = sweepItems(arguments, pauseMs);
    } else if (mode == "--bench") {
        benchCount = arguments.size() == 2 ? std::atol(arguments[1].c_str()) : 0;
        if (benchCount <= 0) {
            throw Failure{exitBadInput, "--bench needs a positive frame count"};
        }
    } else if (mode != "--stdin") {
        for (const std::string& argument : arguments) {
            items.push_back(parseItem(argument)); // every item is checked before the pipe exists
        }
    }

    PipeServer server;
    std::cout << "waiting for the client on " << pipeName << std::endl;
    server.waitForClient();
    std::cout << "client connected" << std::endl;
    if (benchCount > 0) {
        return runBench(server, benchCount);
    }
    if (mode == "--stdin") {
        return serveStandardInput(server);
    }
    for (const Item& item : items) {
        perform(server, item);
        Sleep(pauseMs);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const Failure& failure) {
        std::cout.flush();
        std::cerr << "angle_server: " << failure.message << std::endl;
        return failure.exitCode;
    }
}
