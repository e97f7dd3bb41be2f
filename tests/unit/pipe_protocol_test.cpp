#include "scripted_transport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <sstream>

namespace {

using Calls = std::vector<std::string>;
constexpr auto opened = PipeTransport::OpenResult::Opened;
constexpr auto missing = PipeTransport::OpenResult::Unavailable;
constexpr auto denied = PipeTransport::OpenResult::AccessDenied;

std::vector<std::uint8_t> frameOf(float angle) {
    std::uint32_t bits;
    std::memcpy(&bits, &angle, sizeof(bits));
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

struct Client {
    ScriptedTransport transport;
    std::atomic<float> angle{0.0f};
    std::ostringstream log;

    void runUntilTheScriptEnds() {
        PipeProtocol protocol(transport, angle, log);
        EXPECT_THROW(protocol.run(), ScriptedTransport::ScriptEnded);
    }
};

TEST(AngleFromFrame, DecodesLittleEndianFloats) {
    const std::uint8_t ninety[] = {0x00, 0x00, 0xB4, 0x42};
    const std::uint8_t minusFortyFiveAndAHalf[] = {0x00, 0x00, 0x36, 0xC2};
    EXPECT_EQ(angleFromFrame(ninety), 90.0f);
    EXPECT_EQ(angleFromFrame(minusFortyFiveAndAHalf), -45.5f);
}

TEST(PipeProtocol, RetriesAMissingPipeSilentlyThenSaysItConnectedOnce) {
    Client client;
    client.transport.opens = {missing, missing, opened};
    client.runUntilTheScriptEnds();
    EXPECT_EQ(client.transport.calls,
              (Calls{"open full", "pause", "open full", "pause", "open full", "read"}));
    EXPECT_EQ(client.log.str(), "Connected to the pipe.\n");
    EXPECT_EQ(client.angle.load(), 0.0f);
}

TEST(PipeProtocol, EightBytesInOneWriteAreTwoFramesWithTwoReplies) {
    Client client;
    client.transport.opens = {opened};
    std::vector<std::uint8_t> both = frameOf(90.0f);
    const std::vector<std::uint8_t> second = frameOf(-45.5f);
    both.insert(both.end(), second.begin(), second.end());
    client.transport.sendBytes(both);
    client.runUntilTheScriptEnds();
    EXPECT_EQ(client.transport.calls,
              (Calls{"open full", "read", "write SUCCESS", "read", "write SUCCESS", "read"}));
    EXPECT_EQ(client.angle.load(), -45.5f);
}

TEST(PipeProtocol, AShortReadDropsTheConnectionAndKeepsTheAngle) {
    Client client;
    client.transport.opens = {opened, missing, opened};
    client.transport.sendBytes(frameOf(12.5f));
    client.transport.sendBytes({0x00, 0x00}); // a frame split over two writes
    client.transport.sendBytes(frameOf(30.0f));
    client.runUntilTheScriptEnds();
    EXPECT_EQ(client.transport.calls,
              (Calls{"open full", "read", "write SUCCESS", "read", "close", "open read-write",
                     "pause", "open read-write", "read", "write SUCCESS", "read"}));
    EXPECT_EQ(client.log.str(), "Connected to the pipe.\n"); // once, across reconnections
    EXPECT_EQ(client.angle.load(), 30.0f);
}

TEST(PipeProtocol, AFailedOrEmptyReadReconnectsWithReadWriteAccess) {
    Client client;
    client.transport.opens = {opened, opened, opened};
    client.transport.sendBytes(frameOf(7.0f));
    client.transport.failRead();    // the server went away
    client.transport.sendBytes({}); // end of file
    client.runUntilTheScriptEnds();
    EXPECT_EQ(client.transport.calls,
              (Calls{"open full", "read", "write SUCCESS", "read", "close", "open read-write",
                     "read", "close", "open read-write", "read"}));
    EXPECT_EQ(client.angle.load(), 7.0f);
}

TEST(PipeProtocol, AcknowledgesNonFiniteAnglesButKeepsTheLastFiniteOne) {
    Client client;
    client.transport.opens = {opened};
    client.transport.sendBytes(frameOf(30.0f));
    client.transport.sendBytes({0x01, 0x00, 0xC0, 0x7F}); // a NaN with a payload
    client.transport.sendBytes(frameOf(std::numeric_limits<float>::infinity()));
    client.transport.sendBytes(frameOf(-std::numeric_limits<float>::infinity()));
    client.runUntilTheScriptEnds();
    EXPECT_EQ(client.transport.calls,
              (Calls{"open full", "read", "write SUCCESS", "read", "write SUCCESS", "read",
                     "write SUCCESS", "read", "write SUCCESS", "read"}));
    EXPECT_EQ(client.angle.load(), 30.0f);

    Client fromTheStart;
    fromTheStart.transport.opens = {opened};
    fromTheStart.transport.sendBytes({0x00, 0x00, 0xC0, 0x7F});
    fromTheStart.runUntilTheScriptEnds();
    EXPECT_EQ(fromTheStart.angle.load(), 0.0f);
}

// A server that refuses full access is asked again at once for read and write;
// one that is merely missing is not.
TEST(PipeProtocol, AFirstConnectionRefusedFullAccessFallsBackToReadAndWrite) {
    Client client;
    client.transport.opens = {missing, denied, opened};
    client.runUntilTheScriptEnds();
    EXPECT_EQ(client.transport.calls,
              (Calls{"open full", "pause", "open full", "open read-write", "read"}));
    EXPECT_EQ(client.log.str(), "Connected to the pipe.\n");
}

// A transport whose replies cannot be written: what it throws stops the client
// with a line on the error stream instead of leaving the thread.
struct FailingWrites : ScriptedTransport {
    void write(const char*, std::size_t) override { throw std::bad_alloc(); }
};

TEST(PipeProtocol, WhatTheClientThrowsIsReportedAndEndsOnlyTheClient) {
    FailingWrites transport;
    transport.opens = {opened};
    transport.sendBytes(frameOf(12.0f));
    std::atomic<float> angle{0.0f};
    std::ostringstream log;
    std::ostringstream errors;
    PipeProtocol(transport, angle, log).runUntilFailure(errors);
    EXPECT_EQ(errors.str(), "The pipe client stopped: std::bad_alloc\n");
    EXPECT_EQ(angle.load(), 12.0f);
}

} // namespace
