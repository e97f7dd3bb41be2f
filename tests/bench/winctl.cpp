// Drives the windows of another process for end-to-end tests:
//   winctl find CLASS TITLE TIMEOUT_MS    prints the window handle when it appears
//   winctl post HANDLE MESSAGE WPARAM LPARAM
//   winctl rect HANDLE                    prints the window and client rectangles
//   winctl exists HANDLE                  exit code 0 while the window exists
//   winctl move HANDLE X Y WIDTH HEIGHT   SetWindowPos
//   winctl show HANDLE COMMAND            ShowWindow with an SW_ command
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND parseHandle(const char* text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 0)));
}

LONG_PTR parseNumber(const char* text) {
    return static_cast<LONG_PTR>(std::strtoll(text, nullptr, 0));
}

int findWindow(const char* className, const char* title, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        if (HWND window = FindWindowA(className, title)) {
            std::printf("%llu\n",
                        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
            return 0;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    std::fprintf(stderr, "winctl: no window of class \"%s\" titled \"%s\"\n", className, title);
    return 1;
}

int postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!PostMessageA(window, message, wParam, lParam)) {
        std::fprintf(stderr, "winctl: PostMessageA failed (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}

int printRectangles(HWND window) {
    RECT outer{};
    RECT client{};
    POINT origin{0, 0};
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client) ||
        !ClientToScreen(window, &origin)) {
        std::fprintf(stderr, "winctl: no such window\n");
        return 1;
    }
    std::printf("window %ld %ld %ld %ld\n", outer.left, outer.top, outer.right, outer.bottom);
    std::printf("client %ld %ld %ld %ld\n", origin.x, origin.y, origin.x + client.right,
                origin.y + client.bottom);
    return 0;
}

int moveWindow(HWND window, int x, int y, int width, int height) {
    if (!SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) {
        std::fprintf(stderr, "winctl: SetWindowPos failed (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: winctl find CLASS TITLE TIMEOUT_MS | post HANDLE MESSAGE WPARAM "
                         "LPARAM | rect HANDLE | exists HANDLE | move HANDLE X Y W H | show HANDLE "
                         "COMMAND\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "find") == 0) {
        return findWindow(argv[2], argv[3], static_cast<DWORD>(parseNumber(argv[4])));
    }
    if (argc == 6 && std::strcmp(argv[1], "post") == 0) {
        return postMessage(parseHandle(argv[2]), static_cast<UINT>(parseNumber(argv[3])),
                           static_cast<WPARAM>(parseNumber(argv[4])), parseNumber(argv[5]));
    }
    if (argc == 3 && std::strcmp(argv[1], "rect") == 0) {
        return printRectangles(parseHandle(argv[2]));
    }
    if (argc == 7 && std::strcmp(argv[1], "move") == 0) {
        return moveWindow(parseHandle(argv[2]), static_cast<int>(parseNumber(argv[3])),
                          static_cast<int>(parseNumber(argv[4])),
                          static_cast<int>(parseNumber(argv[5])),
                          static_cast<int>(parseNumber(argv[6])));
    }
    if (argc == 4 && std::strcmp(argv[1], "show") == 0) {
        ShowWindow(parseHandle(argv[2]), static_cast<int>(parseNumber(argv[3])));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "exists") == 0) {
        return IsWindow(parseHandle(argv[2])) ? 0 : 1;
    }
    return usage();
}
