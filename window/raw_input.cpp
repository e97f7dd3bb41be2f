#include "window/raw_input.h"

#include <memory>
#include <new>

std::optional<RawMouseData> readRawMouse(HRAWINPUT input, RawInputReader reader) {
    UINT size = 0;
    reader(input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER));
    if (size == 0) {
        return std::nullopt;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
    if (!buffer) {
        return std::nullopt;
    }
    const UINT read = reader(input, RID_INPUT, buffer.get(), &size, sizeof(RAWINPUTHEADER));
    if (read != size) {
        OutputDebugStringA("GetRawInputData does not return correct size !\n");
    }
    // NOTE: a read that failed or came back shorter than a mouse record builds
    // no event: the buffer would otherwise be read beyond what the system
    // filled. A mismatch that still covers a whole record is used as it is.
    constexpr UINT mouseRecordSize = sizeof(RAWINPUTHEADER) + sizeof(RAWMOUSE);
    if (read == static_cast<UINT>(-1) || read < mouseRecordSize) {
        return std::nullopt;
    }
    const auto* raw = reinterpret_cast<const RAWINPUT*>(buffer.get());
    if (raw->header.dwType != RIM_TYPEMOUSE) {
        return std::nullopt;
    }
    return RawMouseData{raw->data.mouse.lLastX, raw->data.mouse.lLastY};
}
