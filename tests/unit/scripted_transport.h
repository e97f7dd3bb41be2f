#pragma once

#include "app/pipe_protocol.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A pipe server played from a script. When the script has no answer left the
// transport throws ScriptEnded, which is how tests stop the endless client.
class ScriptedTransport : public PipeTransport {
public:
    struct ScriptEnded {};

    std::deque<OpenResult> opens;                // answers to open(), in order
    std::deque<std::vector<std::uint8_t>> reads; // bytes for each read
    std::deque<bool> readFails;                  // true: that read fails instead
    std::vector<std::string> calls;              // what the client did

    void failRead() {
        reads.emplace_back();
        readFails.push_back(true);
    }
    void sendBytes(std::vector<std::uint8_t> bytes) {
        reads.push_back(std::move(bytes));
        readFails.push_back(false);
    }

    OpenResult open(Access access) override {
        calls.push_back(access == Access::Full ? "open full" : "open read-write");
        if (opens.empty()) {
            throw ScriptEnded{};
        }
        const OpenResult answer = opens.front();
        opens.pop_front();
        return answer;
    }

    long read(std::uint8_t* buffer, std::size_t size) override {
        calls.push_back("read");
        if (reads.empty()) {
            throw ScriptEnded{};
        }
        std::vector<std::uint8_t> bytes = std::move(reads.front());
        const bool fails = readFails.front();
        reads.pop_front();
        readFails.pop_front();
        if (fails) {
            return -1;
        }
        // A byte-mode read returns at most what was asked; the rest waits.
        if (bytes.size() > size) {
            reads.emplace_front(bytes.begin() + static_cast<long>(size), bytes.end());
            readFails.push_front(false);
            bytes.resize(size);
        }
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            buffer[i] = bytes[i];
        }
        return static_cast<long>(bytes.size());
    }

    void write(const char* bytes, std::size_t size) override {
        calls.push_back("write " + std::string(bytes, size));
    }
    void close() override { calls.push_back("close"); }
    void pause() override { calls.push_back("pause"); }
};
