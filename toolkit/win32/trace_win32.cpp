// The start-up trace (DRILL_WIN32_STARTUP_TRACE): lines such as
//   startup-trace 25176.161 +9.2 ms  application window
// on the standard error, which Wine passes on to the terminal or the log it was started with.

#include "toolkit/win32/backend_win32.h"

#ifdef DRILL_WIN32_STARTUP_TRACE

#include <algorithm>
#include <cstdio>

namespace toolkit::detail::win32 {

namespace {

double millisecondsSinceCreation() {
    FILETIME creation{}, exit{}, kernel{}, user{}, now{};
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    const auto value = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(value(now) - value(creation)) / 10000.0;
}

// The C++ runtime has started and static objects are being made: the first step.
const bool started = (traceStep("static initialisation"), true);

} // namespace

void traceStep(const char* step, std::string_view detail) {
    const DWORD tick = GetTickCount();
    char line[512];
    int length =
        std::snprintf(line, sizeof line, "startup-trace %lu.%03lu +%.1f ms  %s",
                      static_cast<unsigned long>(tick / 1000),
                      static_cast<unsigned long>(tick % 1000), millisecondsSinceCreation(), step);
    if (!detail.empty() && length > 0 && length < static_cast<int>(sizeof line)) {
        length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                                " %.*s", static_cast<int>(detail.size()), detail.data());
    }
    if (length > 0) {
        length = std::min<int>(length, static_cast<int>(sizeof line) - 2);
        line[length++] = '\n';
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written,
                  nullptr);
    }
}

void traceStep(const char* step, std::wstring_view detail) {
    traceStep(step, std::string_view(narrow(detail)));
}

} // namespace toolkit::detail::win32

#endif
