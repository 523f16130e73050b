// The smallest useful Win32 window, as a yardstick for the program's start-up: one top-level
// window with a label, an edit field and a push button, made with user32 alone. The button (or
// the frame's close button) ends it with exit status 0.
//
// Built a second time as minimal_win32_themed (DRILL_MINIMAL_THEMED): the same window with the
// program's manifest, so with common controls version 6 and the visual styles, as the program has
// them; the difference between the two is what the themed controls cost by themselves.
#include <windows.h>
#ifdef DRILL_MINIMAL_THEMED
#include <commctrl.h>
#endif

namespace {

constexpr int ButtonId = 3;

#ifdef DRILL_WIN32_STARTUP_TRACE
// The same trace as the program's (toolkit/win32/trace_win32.cpp), for the steps to compare.
void traceStep(const char* step) {
    FILETIME creation{}, exit{}, kernel{}, user{}, now{};
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    const auto value = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const DWORD tick = GetTickCount();
    char line[200];
    const auto tenths = static_cast<unsigned long>((value(now) - value(creation)) / 1000);
    const int length = wsprintfA(line, "startup-trace %lu.%03lu +%lu.%lu ms  %s\n", tick / 1000,
                                 tick % 1000, tenths / 10, tenths % 10, step);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}
#else
void traceStep(const char*) {
}
#endif

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == ButtonId)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    traceStep("entry");
#ifdef DRILL_MINIMAL_THEMED
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
#endif
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"MinimalWindow";
    RegisterClassW(&windowClass);

    HWND window =
        CreateWindowExW(0, L"MinimalWindow", L"Minimal", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 472, 275, nullptr, nullptr, instance, nullptr);
    CreateWindowExW(0, L"STATIC", L"37 + 5 = ", WS_CHILD | WS_VISIBLE, 8, 16, 160, 30, window,
                    reinterpret_cast<HMENU>(1), instance, nullptr);
    CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 216, 32,
                    121, 40, window, reinterpret_cast<HMENU>(2), instance, nullptr);
    CreateWindowExW(0, L"BUTTON", L"Exit", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                    336, 192, 121, 41, window, reinterpret_cast<HMENU>(ButtonId), instance,
                    nullptr);
    traceStep("window made");
    ShowWindow(window, show);
    traceStep("shown");
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
