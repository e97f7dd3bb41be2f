// Drives the windows of another process for end-to-end tests:
//   winctl find CLASS TITLE TIMEOUT_MS    prints the window handle when it appears
//   winctl post HANDLE MESSAGE WPARAM LPARAM
//   winctl send HANDLE MESSAGE WPARAM LPARAM
//   winctl send-rect HANDLE MESSAGE WPARAM LEFT TOP RIGHT BOTTOM
//                                         sends with lParam pointing to that RECT
//   winctl hit HANDLE CODE                prints "X Y", the rightmost point of the
//                                         caption's middle row whose WM_NCHITTEST answer is CODE
//   winctl text HANDLE                    prints the window's text and its children's
//   winctl start PROGRAM FOLDER           starts the program as Explorer does and
//                                         exits with its exit code
//   winctl console-start PROGRAM FOLDER   starts the program as a console does, on a
//                                         console of its own; each line on standard
//                                         input types Ctrl+C into the console; exits
//                                         with its exit code
//   winctl rect HANDLE                    prints the window and client rectangles, and
//                                         its monitor's and that monitor's work area
//   winctl exists HANDLE                  exit code 0 while the window exists
//   winctl iconic HANDLE                  exit code 0 while the window is minimised
//   winctl answers HANDLE COUNT           sends WM_NULL COUNT times, 100 ms apart, and
//                                         prints the longest time an answer took, in ms
//   winctl modal HANDLE                   prints which of the system's modal loops (move-size,
//                                         menu) the window's thread is in, "captured" when
//                                         the window holds the mouse, or "none"
//   winctl move HANDLE X Y WIDTH HEIGHT   SetWindowPos
//   winctl show HANDLE COMMAND            ShowWindow with an SW_ command
//   winctl storm HANDLE SEED SECONDS LOG  posts random messages, logging each
//   winctl flood HANDLE MESSAGE COUNT     posts the message COUNT times
//   winctl version FILE                   prints a program's product name and version
//   winctl manifest FILE                  prints a program's application manifest
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

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

// Sent, not posted: the window procedure runs it as a sent message, as it
// does for any process's SendMessage.
int sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 30000, &result)) {
        std::fprintf(stderr, "winctl: SendMessageTimeoutA failed (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}

int sendRectangle(HWND window, UINT message, WPARAM wParam, RECT rect) {
    return sendMessage(window, message, wParam, reinterpret_cast<LPARAM>(&rect));
}

// Scans the middle row of the band above the client area (the caption's)
// from the right, where the system's caption buttons sit, asking the window.
int printHitPoint(HWND window, LRESULT code) {
    RECT rect{};
    POINT client{0, 0};
    GetWindowRect(window, &rect);
    ClientToScreen(window, &client);
    const LONG y = (rect.top + client.y) / 2;
    for (LONG x = rect.right - 1; x >= rect.left; --x) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, WM_NCHITTEST, 0,
                            MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)),
                            SMTO_ABORTIFHUNG, 5000, &answer);
        if (static_cast<LRESULT>(answer) == code) {
            std::printf("%ld %ld\n", x, y);
            return 0;
        }
    }
    std::fprintf(stderr, "winctl: no point of the caption answers %ld\n", static_cast<long>(code));
    return 1;
}

BOOL CALLBACK printChildText(HWND child, LPARAM) {
    char text[1024];
    GetWindowTextA(child, text, sizeof(text));
    std::printf("%s\n", text);
    return TRUE;
}

// A dialog's title, then the texts of its controls, one a line.
int printTexts(HWND window) {
    char text[1024];
    GetWindowTextA(window, text, sizeof(text));
    std::printf("%s\n", text);
    EnumChildWindows(window, printChildText, 0);
    return 0;
}

// Starts the program in its folder with these creation flags, inside a job
// that ends it when this helper ends, however the helper ends: a test that
// stops early ends the program it started too. False, said, when it cannot.
bool startInJob(const char* program, const char* folder, DWORD flags,
                PROCESS_INFORMATION& process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    std::string commandLine = std::string("\"") + program + "\"";
    const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job == nullptr ||
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        std::fprintf(stderr, "winctl: no job to start the program in (error %lu)\n",
                     GetLastError());
        return false;
    }
    if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE,
                        flags | CREATE_SUSPENDED, nullptr, folder, &startup, &process)) {
        std::fprintf(stderr, "winctl: CreateProcessA failed (error %lu)\n", GetLastError());
        return false;
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    return true;
}

// Waits for a started program to end; its exit code.
int exitCodeOnceEnded(PROCESS_INFORMATION& process) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 255;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

// As Explorer starts a program: in its folder, detached from any console,
// inheriting no handles, so the program has no standard handles at all.
int startAsExplorer(const char* program, const char* folder) {
    PROCESS_INFORMATION process{};
    if (!startInJob(program, folder, DETACHED_PROCESS, process)) {
        return 255;
    }
    return exitCodeOnceEnded(process);
}

// The console's events are the program's business, not the helper's.
BOOL WINAPI ignoreControl(DWORD) {
    return TRUE;
}

// Ctrl+C pressed and released, typed into the console's input as a person
// types it; the console host turns it into a control event for the processes
// on the console.
void typeControlC(HANDLE consoleInput) {
    INPUT_RECORD records[2] = {};
    for (int i = 0; i < 2; ++i) {
        KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        records[i].EventType = KEY_EVENT;
        key.bKeyDown = i == 0;
        key.wRepeatCount = 1;
        key.wVirtualKeyCode = 'C';
        key.uChar.UnicodeChar = 3; // what Ctrl+C types
        key.dwControlKeyState = LEFT_CTRL_PRESSED;
    }
    DWORD written = 0;
    if (!WriteConsoleInputW(consoleInput, records, 2, &written)) {
        std::fprintf(stderr, "winctl: WriteConsoleInputW failed (error %lu)\n", GetLastError());
    }
}

// Types Ctrl+C for each line of commands, until the commands end.
void typeControlCs(HANDLE commands, HANDLE consoleInput) {
    char byte = 0;
    DWORD read = 0;
    while (ReadFile(commands, &byte, 1, &read, nullptr) && read == 1) {
        if (byte == '\n') {
            typeControlC(consoleInput);
        }
    }
}

// As Command Prompt starts a program: on a console, which this helper makes
// anew (a program started from a Unix shell has none), without standard
// handles of its own, so that the program attaches to the console as a
// windowed program started from Command Prompt does. Ctrl+C, asked for on
// standard input, is typed into the console as a person types it. (Wine's
// console gives Ctrl+Break the same event as Ctrl+C, and its
// GenerateConsoleCtrlEvent fails.) Exits with the program's exit code, once
// the commands have ended.
int startInConsole(const char* program, const char* folder) {
    const HANDLE commands = GetStdHandle(STD_INPUT_HANDLE);
    FreeConsole();
    if (!AllocConsole()) {
        std::fprintf(stderr, "winctl: AllocConsole failed (error %lu)\n", GetLastError());
        return 255;
    }
    SetConsoleCtrlHandler(ignoreControl, TRUE);
    const HANDLE consoleInput =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    PROCESS_INFORMATION process{};
    if (!startInJob(program, folder, 0, process)) {
        return 255;
    }
    typeControlCs(commands, consoleInput);
    return exitCodeOnceEnded(process);
}

void printRectangle(const char* name, const RECT& rect) {
    std::printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
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
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        std::fprintf(stderr, "winctl: no monitor for the window\n");
        return 1;
    }
    printRectangle("window", outer);
    printRectangle("client",
                   {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom});
    printRectangle("monitor", monitor.rcMonitor);
    printRectangle("work", monitor.rcWork);
    return 0;
}

int moveWindow(HWND window, int x, int y, int width, int height) {
    if (!SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) {
        std::fprintf(stderr, "winctl: SetWindowPos failed (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}

// How long the window's thread takes to answer a sent message, as the system
// judges whether a program responds: the longest of count answers.
int printLongestAnswer(HWND window, long count) {
    constexpr DWORD pauseMs = 100;
    ULONGLONG longest = 0;
    for (long sent = 0; sent < count; ++sent) {
        const ULONGLONG start = GetTickCount64();
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored)) {
            std::fprintf(stderr, "winctl: no answer (error %lu)\n", GetLastError());
            return 1;
        }
        longest = std::max(longest, GetTickCount64() - start);
        Sleep(pauseMs);
    }
    std::printf("%llu\n", longest);
    return 0;
}

// The system's own record of the modal loop a thread is in: moving or sizing
// a window, or a menu; or the mouse captured by the window, as while a caption
// button is held down.
int printModalLoop(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
        std::fprintf(stderr, "winctl: GetGUIThreadInfo failed (error %lu)\n", GetLastError());
        return 1;
    }
    const bool moveSize = (info.flags & GUI_INMOVESIZE) != 0;
    const bool menu = (info.flags & GUI_INMENUMODE) != 0;
    const bool captured = info.hwndCapture == window;
    std::printf("%s\n", moveSize ? "move-size" : menu ? "menu" : captured ? "captured" : "none");
    return 0;
}

// Messages a storm never posts: those that end the window or the thread, and
// those whose default processing starts one of the system's modal loops
// (moving, sizing, menus), during which the program's own loop does not run.
bool leftOutOfStorms(UINT message) {
    switch (message) {
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_QUIT:
    case WM_SYSCOMMAND: // SC_CLOSE, SC_MOVE, SC_SIZE, SC_KEYMENU, ...
    case WM_SYSKEYDOWN: // Alt and F10 open the window menu
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_CONTEXTMENU:
    case 0x0313: // the window menu at a point (undocumented)
        return true;
    default: // non-client mouse buttons start moving, sizing or the window menu
        return message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK;
    }
}

// A random message: mostly from the system's range, some from WM_USER's and
// WM_APP's; parameters of every size, small values and all-ones among them.
struct RandomMessages {
    std::mt19937_64 random;

    UINT message() {
        const auto range = random() % 8;
        if (range == 0) {
            return WM_USER + static_cast<UINT>(random() % (WM_APP - WM_USER));
        }
        if (range == 1) {
            return WM_APP + static_cast<UINT>(random() % (0xC000 - WM_APP));
        }
        return static_cast<UINT>(random() % WM_USER);
    }

    std::uint64_t parameter() {
        switch (random() % 4) {
        case 0:
            return random() % 4; // 0 to 3
        case 1:
            return ~std::uint64_t{0};
        case 2:
            return random() & 0xFFFFFFFFu;
        default:
            return random();
        }
    }
};

int storm(HWND window, unsigned long long seed, double seconds, const char* logPath) {
    FILE* log = std::fopen(logPath, "w");
    if (log == nullptr) {
        std::fprintf(stderr, "winctl: cannot write %s\n", logPath);
        return 1;
    }
    RandomMessages messages{std::mt19937_64(seed)};
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    unsigned long posted = 0;
    unsigned long refused = 0;
    for (unsigned long index = 0; GetTickCount64() < deadline; ++index) {
        const UINT message = messages.message();
        const std::uint64_t wParam = messages.parameter();
        const std::uint64_t lParam = messages.parameter();
        if (leftOutOfStorms(message)) {
            continue;
        }
        const bool sent = PostMessageA(window, message, static_cast<WPARAM>(wParam),
                                       static_cast<LPARAM>(lParam)) != FALSE;
        std::fprintf(log, "%lu 0x%04X 0x%llX 0x%llX %s %lu\n", index, message,
                     static_cast<unsigned long long>(wParam),
                     static_cast<unsigned long long>(lParam), sent ? "posted" : "refused",
                     sent ? 0UL : GetLastError());
        (sent ? posted : refused) += 1;
        if (index % 64 == 0) {
            Sleep(1); // let the program drain its queue
        }
    }
    std::fclose(log);
    std::printf("%lu posted, %lu refused\n", posted, refused);
    return IsWindow(window) ? 0 : 1;
}

int flood(HWND window, UINT message, long count) {
    for (long index = 0; index < count; ++index) {
        if (!PostMessageA(window, message, 0, 0)) {
            std::fprintf(stderr, "winctl: post %ld of %ld refused (error %lu)\n", index + 1, count,
                         GetLastError());
            return 1;
        }
    }
    return 0;
}

// What Explorer shows of a program under Properties, Details.
int printVersion(const char* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(path, 0, size, &block[0])) {
        std::fprintf(stderr, "winctl: %s has no version resource\n", path);
        return 1;
    }
    for (const char* name : {"ProductName", "ProductVersion"}) {
        char* value = nullptr;
        UINT length = 0;
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                            &length)) {
            std::fprintf(stderr, "winctl: %s has no %s\n", path, name);
            return 1;
        }
        std::printf("%s: %s\n", name, value);
    }
    return 0;
}

// The manifest the loader reads: resource 1 of type RT_MANIFEST.
int printManifest(const char* path) {
    const HMODULE program =
        LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC found = program != nullptr ? FindResourceA(program, MAKEINTRESOURCEA(1),
                                                           MAKEINTRESOURCEA(24)) // RT_MANIFEST
                                           : nullptr;
    const HGLOBAL loaded = found != nullptr ? LoadResource(program, found) : nullptr;
    if (loaded == nullptr) {
        std::fprintf(stderr, "winctl: %s has no application manifest\n", path);
        return 1;
    }
    std::fwrite(LockResource(loaded), 1, SizeofResource(program, found), stdout);
    return 0;
}

int usage() {
    std::fprintf(
        stderr,
        "usage: winctl find CLASS TITLE TIMEOUT_MS | post HANDLE MESSAGE WPARAM "
        "LPARAM | send HANDLE MESSAGE WPARAM LPARAM | rect HANDLE | exists HANDLE "
        "| iconic HANDLE | answers HANDLE COUNT | modal HANDLE | move HANDLE X Y W H | show HANDLE "
        "COMMAND | storm HANDLE SEED SECONDS LOG | flood HANDLE MESSAGE COUNT | version FILE | "
        "manifest FILE\n");
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
    if (argc == 6 && std::strcmp(argv[1], "send") == 0) {
        return sendMessage(parseHandle(argv[2]), static_cast<UINT>(parseNumber(argv[3])),
                           static_cast<WPARAM>(parseNumber(argv[4])), parseNumber(argv[5]));
    }
    if (argc == 9 && std::strcmp(argv[1], "send-rect") == 0) {
        const RECT rect{
            static_cast<LONG>(parseNumber(argv[5])), static_cast<LONG>(parseNumber(argv[6])),
            static_cast<LONG>(parseNumber(argv[7])), static_cast<LONG>(parseNumber(argv[8]))};
        return sendRectangle(parseHandle(argv[2]), static_cast<UINT>(parseNumber(argv[3])),
                             static_cast<WPARAM>(parseNumber(argv[4])), rect);
    }
    if (argc == 4 && std::strcmp(argv[1], "hit") == 0) {
        return printHitPoint(parseHandle(argv[2]), static_cast<LRESULT>(parseNumber(argv[3])));
    }
    if (argc == 3 && std::strcmp(argv[1], "text") == 0) {
        return printTexts(parseHandle(argv[2]));
    }
    if (argc == 4 && std::strcmp(argv[1], "start") == 0) {
        return startAsExplorer(argv[2], argv[3]);
    }
    if (argc == 4 && std::strcmp(argv[1], "console-start") == 0) {
        return startInConsole(argv[2], argv[3]);
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
    if (argc == 6 && std::strcmp(argv[1], "storm") == 0) {
        return storm(parseHandle(argv[2]), std::strtoull(argv[3], nullptr, 0),
                     std::strtod(argv[4], nullptr), argv[5]);
    }
    if (argc == 5 && std::strcmp(argv[1], "flood") == 0) {
        return flood(parseHandle(argv[2]), static_cast<UINT>(parseNumber(argv[3])),
                     static_cast<long>(parseNumber(argv[4])));
    }
    if (argc == 3 && std::strcmp(argv[1], "version") == 0) {
        return printVersion(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "manifest") == 0) {
        return printManifest(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "exists") == 0) {
        return IsWindow(parseHandle(argv[2])) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "iconic") == 0) {
        return IsIconic(parseHandle(argv[2])) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "answers") == 0) {
        return printLongestAnswer(parseHandle(argv[2]), static_cast<long>(parseNumber(argv[3])));
    }
    if (argc == 3 && std::strcmp(argv[1], "modal") == 0) {
        return printModalLoop(parseHandle(argv[2]));
    }
    return usage();
}
