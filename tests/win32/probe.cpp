// Reads another program's windows from outside its process, as a screen reader or a test does:
// every top-level window of the processes whose executable has a given file name, its child
// controls with their texts (WM_GETTEXT), states and rectangles, and the keyboard focus of each
// window thread (GetGUIThreadInfo). Prints one JSON object per request.
//
//   probe snapshot <exe file name>     one snapshot, then exit
//   probe processes                     the running processes' ids and executable names
//   probe close <hwnd>                  posts WM_CLOSE to a window (as its frame's close button)
//   probe serve                         reads such requests line by line from stdin and answers
//                                       each with one line of JSON, until "quit" or end of input
//
// Handles are printed and read as decimal numbers.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text, int length) {
    if (length <= 0)
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// A JSON string literal; the text arrives as UTF-8 and only the characters JSON requires are
// escaped.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string number(HWND window) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(window));
}

std::string handle(HWND window) {
    return window ? number(window) : "null";
}

std::string boolean(bool value) {
    return value ? "true" : "false";
}

std::string rect(const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
}

std::string className(HWND window) {
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return utf8(name, length);
}

// The text as the window's own procedure gives it: an edit field answers with what is typed in
// it, which the window manager's copy of the caption does not hold. A hung program must not hang
// the probe, hence the timeout.
std::string windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return "";
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 2000,
                             &copied))
        return "";
    return utf8(buffer.data(), static_cast<int>(copied));
}

// The executable's file name of every running process, from a snapshot of the process list
// (which needs no access rights to the processes themselves).
std::vector<std::pair<DWORD, std::string>> processNames() {
    std::vector<std::pair<DWORD, std::string>> names;
    HANDLE list = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (list == INVALID_HANDLE_VALUE)
        return names;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(list, &entry); more; more = Process32NextW(list, &entry))
        names.emplace_back(entry.th32ProcessID,
                           utf8(entry.szExeFile, static_cast<int>(wcslen(entry.szExeFile))));
    CloseHandle(list);
    return names;
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    std::wstring wa = wide(a), wb = wide(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

std::string styleFields(HWND window) {
    LONG style = GetWindowLongW(window, GWL_STYLE);
    LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "\"style\":%lu,\"exstyle\":%lu",
                  static_cast<unsigned long>(static_cast<DWORD>(style)),
                  static_cast<unsigned long>(static_cast<DWORD>(exStyle)));
    std::string out = buffer;
    out += ",\"appwindow\":" + boolean(exStyle & WS_EX_APPWINDOW);
    out += ",\"toolwindow\":" + boolean(exStyle & WS_EX_TOOLWINDOW);
    out += ",\"tabstop\":" + boolean(style & WS_TABSTOP);
    out += ",\"hscroll\":" + boolean(style & WS_HSCROLL);
    out += ",\"vscroll\":" + boolean(style & WS_VSCROLL);
    return out;
}

std::string windowFields(HWND window) {
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    RECT clientOnScreen{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    std::string out = "\"hwnd\":" + number(window);
    out += ",\"class\":" + quoted(className(window));
    out += ",\"text\":" + quoted(windowText(window));
    out += ",\"visible\":" + boolean(IsWindowVisible(window));
    out += ",\"enabled\":" + boolean(IsWindowEnabled(window));
    out += ",\"rect\":" + rect(outer);
    out += ",\"client\":" + rect(clientOnScreen);
    out += "," + styleFields(window);
    return out;
}

std::string childJson(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    RECT inParent = r;
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&inParent), 2);
    std::string out = "{" + windowFields(child);
    out += ",\"id\":" + std::to_string(GetDlgCtrlID(child));
    out += ",\"parent\":" + handle(GetParent(child));
    out += ",\"in_parent\":" + rect(inParent);
    return out + "}";
}

struct Found {
    std::set<DWORD> pids;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (found->pids.count(pid))
        found->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

std::string snapshot(const std::string& exe) {
    Found found;
    for (const auto& [pid, name] : processNames())
        if (sameName(baseName(name), exe))
            found.pids.insert(pid);
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&found));
    std::set<DWORD> threads;
    std::set<DWORD> processes;
    std::string out = "{\"windows\":[";
    bool first = true;
    for (HWND window : found.windows) {
        DWORD pid = 0;
        DWORD tid = GetWindowThreadProcessId(window, &pid);
        threads.insert(tid);
        processes.insert(pid);
        if (!first)
            out += ",";
        first = false;
        out += "{" + windowFields(window);
        out += ",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(tid);
        out += ",\"owner\":" + handle(GetWindow(window, GW_OWNER));
        out += ",\"iconic\":" + boolean(IsIconic(window));
        out += ",\"zoomed\":" + boolean(IsZoomed(window));
        out += ",\"children\":[";
        std::vector<HWND> children;
        EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&children));
        for (size_t i = 0; i < children.size(); ++i) {
            if (i)
                out += ",";
            out += childJson(window, children[i]);
        }
        out += "]}";
    }
    out += "],\"threads\":[";
    first = true;
    for (DWORD tid : threads) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(tid, &info))
            continue;
        if (!first)
            out += ",";
        first = false;
        out += "{\"tid\":" + std::to_string(tid);
        out += ",\"focus\":" + handle(info.hwndFocus);
        out += ",\"active\":" + handle(info.hwndActive);
        out += ",\"capture\":" + handle(info.hwndCapture);
        out += ",\"menu_mode\":" + boolean(info.flags & GUI_INMENUMODE);
        out += "}";
    }
    out += "],\"pids\":[";
    first = true;
    for (DWORD pid : processes) {
        if (!first)
            out += ",";
        first = false;
        out += std::to_string(pid);
    }
    out += "],\"foreground\":" + handle(GetForegroundWindow());
    out += ",\"screen\":[" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
           std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "]";
    HDC screen = GetDC(nullptr);
    out += ",\"dpi\":" + std::to_string(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    return out + "}";
}

std::string closeWindow(const std::string& text) {
    HWND window = reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>(std::strtoull(text.c_str(), nullptr, 10)));
    if (!IsWindow(window))
        return "{\"error\":\"no such window\"}";
    return "{\"posted\":" + boolean(PostMessageW(window, WM_CLOSE, 0, 0)) + "}";
}

std::string processList() {
    std::string out = "{\"processes\":[";
    bool first = true;
    for (const auto& [pid, name] : processNames()) {
        if (!first)
            out += ",";
        first = false;
        out += "[" + std::to_string(pid) + "," + quoted(name) + "]";
    }
    return out + "]}";
}

std::string answer(const std::string& command, const std::string& argument) {
    if (command == "processes")
        return processList();
    if (command == "snapshot")
        return snapshot(argument);
    if (command == "close")
        return closeWindow(argument);
    return "{\"error\":" + quoted("unknown request: " + command) + "}";
}

void emit(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    // Rectangles in real pixels, whatever the resolution: a program that is not aware of it
    // would be given scaled ones.
    SetProcessDPIAware();
    if (argc == 3 || (argc == 2 && std::strcmp(argv[1], "processes") == 0)) {
        emit(answer(argv[1], argc == 3 ? argv[2] : ""));
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "serve") == 0) {
        char line[1024];
        while (std::fgets(line, sizeof line, stdin)) {
            std::string request = line;
            while (!request.empty() && (request.back() == '\n' || request.back() == '\r'))
                request.pop_back();
            if (request == "quit")
                break;
            size_t blank = request.find(' ');
            emit(blank == std::string::npos
                     ? answer(request, "")
                     : answer(request.substr(0, blank), request.substr(blank + 1)));
        }
        return 0;
    }
    std::fputs("usage: probe snapshot <exe file name> | probe close <hwnd> | probe serve\n",
               stderr);
    return 2;
}
