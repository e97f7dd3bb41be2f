#include "renderer/graphics_error.h"

#include <cstdio>

namespace {

// The last two components of a source path: enough to find it, without the
// build machine's folders.
std::string shortSourcePath(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    if (last == std::string::npos || last == 0) {
        return path;
    }
    const std::size_t previous = path.find_last_of("/\\", last - 1);
    return previous == std::string::npos ? path : path.substr(previous + 1);
}

} // namespace

std::string hresultText(std::int32_t hresult) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hresult));
    return code;
}

std::string describeGraphicsFailure(const char* call, std::int32_t hresult, const char* file,
                                    int line) {
    return std::string(call) + " failed with HRESULT " + hresultText(hresult) + " at " +
           shortSourcePath(file) + ":" + std::to_string(line);
}

GraphicsError::GraphicsError(const char* call, std::int32_t hresult, const char* file, int line)
    : std::runtime_error(describeGraphicsFailure(call, hresult, file, line)), result(hresult) {}

void throwGraphicsError(const char* call, std::int32_t hresult, const char* file, int line) {
    throw GraphicsError(call, hresult, file, line);
}
