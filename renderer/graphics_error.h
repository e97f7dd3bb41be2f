#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A failed graphics call: the call's text, its HRESULT in hex and where it was
// made, e.g. "device->CreateFence(...) failed with HRESULT 0x887A0005 at
// renderer/device.cpp:61".
class GraphicsError : public std::runtime_error {
public:
    GraphicsError(const char* call, std::int32_t hresult, const char* file, int line);
    std::int32_t hresult() const { return result; }

private:
    std::int32_t result;
};

// An HRESULT as it is written in messages: 0x and eight upper-case hex digits.
std::string hresultText(std::int32_t hresult);

std::string describeGraphicsFailure(const char* call, std::int32_t hresult, const char* file,
                                    int line);

[[noreturn]] void throwGraphicsError(const char* call, std::int32_t hresult, const char* file,
                                     int line);
