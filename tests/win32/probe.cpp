// Reads another program's windows from outside its process, as a screen reader or a test does:
// every top-level window of the processes whose executable has a given file name, its child
// controls with their texts (WM_GETTEXT), states and rectangles, and the keyboard focus of each
// window thread (GetGUIThreadInfo). Prints one JSON object per request.
//
//   probe snapshot <exe file name>     one snapshot, then exit
//   probe processes                     the running processes' ids and executable names
//   probe close <hwnd>                  posts WM_CLOSE to a window (as its frame's close button)
//   probe click <hwnd>                  posts BM_CLICK to a button (as the standard accessible
//                                       object's default action does on Windows)
//   probe msaa <hwnd>                   what a screen reader reads of a window or control through
//                                       Microsoft Active Accessibility (AccessibleObjectFromWindow,
//                                       OBJID_CLIENT): name, role, state, value, description,
//                                       default action, and the same of each of its children
//   probe msaa-set <hwnd> <text>        put_accValue on it; prints the result code
//   probe msaa-press <hwnd>             accDoDefaultAction on it; prints the result code
//   probe msaa-odd <hwnd>             every method of its client object with odd arguments (child
//                                       ids out of range, VARIANTs of the wrong type, flags and
//                                       directions out of range, no place for the result); prints
//                                       each call's result code and what it gave
//   probe events                        (serve only) the name and description changes that a
//                                       WinEvent hook out of context has seen since the last ask
//   probe serve                         reads such requests line by line from stdin and answers
//                                       each with one line of JSON, until "quit" or end of input
//
// Handles are printed and read as decimal numbers.
#include <windows.h>

#include <oleacc.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
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

HWND handleOf(const std::string& text) {
    return reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>(std::strtoull(text.c_str(), nullptr, 10)));
}

std::string closeWindow(const std::string& text) {
    HWND window = handleOf(text);
    if (!IsWindow(window))
        return "{\"error\":\"no such window\"}";
    return "{\"posted\":" + boolean(PostMessageW(window, WM_CLOSE, 0, 0)) + "}";
}

std::string hresult(HRESULT result) {
    return std::to_string(static_cast<long>(result));
}

std::string bstr(BSTR text) {
    std::string out = text ? utf8(text, static_cast<int>(SysStringLen(text))) : "";
    SysFreeString(text);
    return out;
}

VARIANT childId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// One object's properties as a reader gets them; a property the object does not give is null.
std::string accessibleFields(IAccessible* object, LONG id) {
    const VARIANT self = childId(id);
    std::string out;
    // Each property read on its own: the text comes back through the BSTR once the call is done.
    const auto text = [&](const char* field,
                          HRESULT (STDMETHODCALLTYPE IAccessible::*read)(VARIANT, BSTR*)) {
        BSTR value = nullptr;
        const HRESULT result = (object->*read)(self, &value);
        out += std::string(out.empty() ? "" : ",") + "\"" + field + "\":";
        if (SUCCEEDED(result) && value) {
            out += quoted(bstr(value));
        } else {
            SysFreeString(value);
            out += "null";
        }
    };
    text("name", &IAccessible::get_accName);
    text("value", &IAccessible::get_accValue);
    text("description", &IAccessible::get_accDescription);
    text("action", &IAccessible::get_accDefaultAction);
    VARIANT role;
    VariantInit(&role);
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) {
        wchar_t name[128] = {};
        const UINT length = GetRoleTextW(static_cast<DWORD>(role.lVal), name, 128);
        out += ",\"role\":" + std::to_string(role.lVal);
        out += ",\"role_text\":" + quoted(utf8(name, static_cast<int>(length)));
    }
    VariantClear(&role);
    VARIANT state;
    VariantInit(&state);
    if (SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4) {
        out += ",\"state\":" + std::to_string(state.lVal);
    }
    VariantClear(&state);
    return out;
}

std::string accessible(const std::string& argument) {
    IAccessible* object = nullptr;
    const HRESULT result = AccessibleObjectFromWindow(
        handleOf(argument), OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    if (FAILED(result) || !object)
        return "{\"error\":\"AccessibleObjectFromWindow: " + hresult(result) + "\"}";
    std::string out = "{" + accessibleFields(object, CHILDID_SELF) + ",\"children\":[";
    LONG count = 0;
    if (FAILED(object->get_accChildCount(&count)))
        count = 0;
    for (LONG i = 1; i <= count; ++i) {
        if (i > 1)
            out += ",";
        IDispatch* dispatch = nullptr;
        IAccessible* child = nullptr;
        if (SUCCEEDED(object->get_accChild(childId(i), &dispatch)) && dispatch &&
            SUCCEEDED(dispatch->QueryInterface(__uuidof(IAccessible),
                                               reinterpret_cast<void**>(&child)))) {
            out += "{" + accessibleFields(child, CHILDID_SELF) + "}";
            child->Release();
        } else {
            out += "{" + accessibleFields(object, i) + "}";
        }
        if (dispatch)
            dispatch->Release();
    }
    object->Release();
    return out + "]}";
}

// put_accValue ("set") or accDoDefaultAction ("press") on a window's client object.
std::string accessibleAction(const std::string& what, const std::string& argument) {
    const size_t blank = argument.find(' ');
    IAccessible* object = nullptr;
    HRESULT result =
        AccessibleObjectFromWindow(handleOf(argument.substr(0, blank)), OBJID_CLIENT,
                                   __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    if (FAILED(result) || !object)
        return "{\"error\":\"AccessibleObjectFromWindow: " + hresult(result) + "\"}";
    if (what == "set") {
        const std::wstring text =
            wide(blank == std::string::npos ? std::string() : argument.substr(blank + 1));
        BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        result = object->put_accValue(childId(CHILDID_SELF), value);
        SysFreeString(value);
    } else {
        result = object->accDoDefaultAction(childId(CHILDID_SELF));
    }
    object->Release();
    return "{\"hr\":" + hresult(result) + "}";
}

// Odd calls, as a careless or hostile reader makes them: every method of a window's client
// object with child ids out of range, with VARIANTs of the wrong type, with flags and directions
// out of range, and without a place for the result (which COM's proxy refuses before the call
// leaves this process). Then, for comparison, each child by its id and by its own object, and
// navigation among the children. Each call is one row {"call", "arg", "hr", "out"}; "out" is
// what came back (null: nothing; an object by its name), so that the test can tell an answer
// from a refusal. The object is asked once more at the end ("alive").
struct Odd {
    std::string name;
    VARIANT value;
};

std::string variantText(const VARIANT& v) {
    std::string out = "{\"vt\":" + std::to_string(v.vt);
    if (v.vt == VT_I4)
        out += ",\"i4\":" + std::to_string(v.lVal);
    else if (v.vt == VT_DISPATCH) {
        // An object: by its name.
        IAccessible* object = nullptr;
        BSTR name = nullptr;
        if (v.pdispVal && SUCCEEDED(v.pdispVal->QueryInterface(
                              __uuidof(IAccessible), reinterpret_cast<void**>(&object)))) {
            VARIANT self;
            VariantInit(&self);
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            object->get_accName(self, &name);
            object->Release();
        }
        out += ",\"name\":" + (name ? quoted(bstr(name)) : std::string("null"));
    }
    return out + "}";
}

std::string oddCalls(const std::string& argument) {
    IAccessible* object = nullptr;
    const HRESULT found = AccessibleObjectFromWindow(
        handleOf(argument), OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object)
        return "{\"error\":\"AccessibleObjectFromWindow: " + hresult(found) + "\"}";
    LONG count = 0;
    const HRESULT counted = object->get_accChildCount(&count);
    std::string rows;
    const auto row = [&](const std::string& call, const std::string& arg, HRESULT result,
                         const std::string& out) {
        rows += std::string(rows.empty() ? "" : ",") + "{\"call\":" + quoted(call) +
                ",\"arg\":" + quoted(arg) + ",\"hr\":" + hresult(result) + ",\"out\":" + out + "}";
    };
    row("get_accChildCount", "", counted, std::to_string(count));

    // The child ids that name no child, and VARIANTs that are no child id at all.
    static LONG selfByReference = CHILDID_SELF;
    const auto id = [](LONG value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        return v;
    };
    VARIANT empty, text, shortId, noObject, byReference;
    VariantInit(&empty);
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"1");
    VariantInit(&shortId);
    shortId.vt = VT_I2;
    shortId.iVal = 1;
    VariantInit(&noObject);
    noObject.vt = VT_DISPATCH;
    noObject.pdispVal = nullptr;
    VariantInit(&byReference);
    byReference.vt = VT_I4 | VT_BYREF;
    byReference.plVal = &selfByReference;
    const Odd odd[] = {
        {"I4 -1", id(-1)},
        {"I4 count+1", id(count + 1)},
        {"I4 2147483647", id(0x7fffffff)},
        {"I4 -2147483648", id(static_cast<LONG>(0x80000000u))},
        {"EMPTY", empty},
        {"BSTR 1", text},
        {"I2 1", shortId},
        {"DISPATCH null", noObject},
        {"I4|BYREF self", byReference},
    };

    using Text = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
    const std::pair<const char*, Text> texts[] = {
        {"get_accName", &IAccessible::get_accName},
        {"get_accValue", &IAccessible::get_accValue},
        {"get_accDescription", &IAccessible::get_accDescription},
        {"get_accHelp", &IAccessible::get_accHelp},
        {"get_accKeyboardShortcut", &IAccessible::get_accKeyboardShortcut},
        {"get_accDefaultAction", &IAccessible::get_accDefaultAction},
    };
    using Variant = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, VARIANT*);
    const std::pair<const char*, Variant> variants[] = {
        {"get_accRole", &IAccessible::get_accRole},
        {"get_accState", &IAccessible::get_accState},
    };
    for (const Odd& child : odd) {
        for (const auto& [call, read] : texts) {
            BSTR value = nullptr;
            const HRESULT result = (object->*read)(child.value, &value);
            row(call, child.name, result, value ? quoted(bstr(value)) : "null");
        }
        for (const auto& [call, read] : variants) {
            VARIANT value;
            VariantInit(&value);
            const HRESULT result = (object->*read)(child.value, &value);
            row(call, child.name, result, value.vt == VT_EMPTY ? "null" : variantText(value));
            VariantClear(&value);
        }
        IDispatch* dispatch = nullptr;
        HRESULT result = object->get_accChild(child.value, &dispatch);
        row("get_accChild", child.name, result, dispatch ? "\"object\"" : "null");
        if (dispatch)
            dispatch->Release();
        BSTR file = nullptr;
        LONG topic = -7;
        result = object->get_accHelpTopic(&file, child.value, &topic);
        row("get_accHelpTopic", child.name, result,
            file          ? quoted(bstr(file))
            : topic != -7 ? std::to_string(topic)
                          : "null");
        long left = -7, top = -7, width = -7, height = -7;
        result = object->accLocation(&left, &top, &width, &height, child.value);
        row("accLocation", child.name, result,
            left == -7 && top == -7 && width == -7 && height == -7
                ? "null"
                : "[" + std::to_string(left) + "," + std::to_string(top) + "," +
                      std::to_string(width) + "," + std::to_string(height) + "]");
        row("accSelect TAKEFOCUS", child.name, object->accSelect(SELFLAG_TAKEFOCUS, child.value),
            "null");
        row("accDoDefaultAction", child.name, object->accDoDefaultAction(child.value), "null");
        BSTR typed = SysAllocString(L"5");
        row("put_accValue", child.name, object->put_accValue(child.value, typed), "null");
        row("put_accName", child.name, object->put_accName(child.value, typed), "null");
        SysFreeString(typed);
        for (long direction : {NAVDIR_NEXT, NAVDIR_FIRSTCHILD}) {
            VARIANT end;
            VariantInit(&end);
            result = object->accNavigate(direction, child.value, &end);
            row("accNavigate " + std::to_string(direction), child.name, result,
                end.vt == VT_EMPTY ? "null" : variantText(end));
            VariantClear(&end);
        }
    }

    // The children by their ids in the object, against the child objects themselves: the id
    // counted from 1 must name the same child everywhere.
    for (LONG i = 1; i <= count; ++i) {
        const std::string arg = "I4 " + std::to_string(i);
        BSTR name = nullptr;
        HRESULT result = object->get_accName(id(i), &name);
        row("get_accName", arg, result, name ? quoted(bstr(name)) : "null");
        IDispatch* dispatch = nullptr;
        IAccessible* child = nullptr;
        result = object->get_accChild(id(i), &dispatch);
        if (SUCCEEDED(result) && dispatch &&
            SUCCEEDED(dispatch->QueryInterface(__uuidof(IAccessible),
                                               reinterpret_cast<void**>(&child)))) {
            name = nullptr;
            result = child->get_accName(id(CHILDID_SELF), &name);
            child->Release();
        }
        row("get_accChild get_accName", arg, result, name ? quoted(bstr(name)) : "null");
        if (dispatch)
            dispatch->Release();
        for (long direction : {NAVDIR_NEXT, NAVDIR_PREVIOUS}) {
            VARIANT end;
            VariantInit(&end);
            result = object->accNavigate(direction, id(i), &end);
            row("accNavigate " + std::to_string(direction), arg, result,
                end.vt == VT_EMPTY ? "null" : variantText(end));
            VariantClear(&end);
        }
    }
    for (long direction : {NAVDIR_FIRSTCHILD, NAVDIR_LASTCHILD}) {
        VARIANT end;
        VariantInit(&end);
        const HRESULT result = object->accNavigate(direction, id(CHILDID_SELF), &end);
        row("accNavigate " + std::to_string(direction), "I4 0", result,
            end.vt == VT_EMPTY ? "null" : variantText(end));
        VariantClear(&end);
    }

    // Navigation in directions that are none, from the object itself and from its first child.
    for (long direction : {0L, 9L, -1L, 0x7fffffffL}) {
        for (LONG start : {static_cast<LONG>(CHILDID_SELF), 1L}) {
            VARIANT end;
            VariantInit(&end);
            const HRESULT result = object->accNavigate(direction, id(start), &end);
            row("accNavigate " + std::to_string(direction), "I4 " + std::to_string(start), result,
                end.vt == VT_EMPTY ? "null" : variantText(end));
            VariantClear(&end);
        }
    }
    // Selection flags that are none (beyond SELFLAG_VALID, or all bits), on the object itself.
    for (long flags : {0x20L, -1L}) {
        row("accSelect " + std::to_string(flags), "I4 0",
            object->accSelect(flags, id(CHILDID_SELF)), "null");
    }
    // Points far off the screen and at the ends of the coordinate range.
    // (and, for comparison, the middle of the window).
    RECT area{};
    GetWindowRect(handleOf(argument), &area);
    const std::pair<long, long> points[] = {
        {(area.left + area.right) / 2, (area.top + area.bottom) / 2},
        {-100000, -100000},
        {0x7fffffff, 0x7fffffff},
        {static_cast<long>(0x80000000u), 0}};
    for (const auto& [x, y] : points) {
        VARIANT hit;
        VariantInit(&hit);
        const HRESULT result = object->accHitTest(x, y, &hit);
        row("accHitTest",
            &x == &points[0].first ? "middle" : std::to_string(x) + "," + std::to_string(y), result,
            hit.vt == VT_EMPTY ? "null" : variantText(hit));
        VariantClear(&hit);
    }
    // The calls without an argument, for what they give.
    {
        VARIANT value;
        VariantInit(&value);
        HRESULT result = object->get_accFocus(&value);
        row("get_accFocus", "", result, value.vt == VT_EMPTY ? "null" : variantText(value));
        VariantClear(&value);
        result = object->get_accSelection(&value);
        row("get_accSelection", "", result, value.vt == VT_EMPTY ? "null" : variantText(value));
        VariantClear(&value);
        IDispatch* parent = nullptr;
        result = object->get_accParent(&parent);
        row("get_accParent", "", result, parent ? "\"object\"" : "null");
        if (parent)
            parent->Release();
    }
    // No place for the result: the proxy refuses these before they leave this process; the row
    // shows that the reader is told so and that nothing else happens.
    {
        const VARIANT self = id(CHILDID_SELF);
        row("get_accName", "no result", object->get_accName(self, nullptr), "null");
        row("get_accRole", "no result", object->get_accRole(self, nullptr), "null");
        row("get_accChildCount", "no result", object->get_accChildCount(nullptr), "null");
        row("get_accChild", "no result", object->get_accChild(id(1), nullptr), "null");
        row("get_accParent", "no result", object->get_accParent(nullptr), "null");
        row("get_accFocus", "no result", object->get_accFocus(nullptr), "null");
        row("accHitTest", "no result", object->accHitTest(0, 0, nullptr), "null");
        row("accNavigate 1", "no result", object->accNavigate(NAVDIR_NEXT, self, nullptr), "null");
        row("accLocation", "no result",
            object->accLocation(nullptr, nullptr, nullptr, nullptr, self), "null");
    }
    // A child enumeration (readers use get_accChildCount and get_accChild where there is none).
    IUnknown* children = nullptr;
    const HRESULT enumerates =
        object->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&children));
    row("QueryInterface IEnumVARIANT", "", enumerates, children ? "\"object\"" : "null");
    if (children)
        children->Release();

    VariantClear(&text);
    VARIANT role;
    VariantInit(&role);
    const HRESULT alive = object->get_accRole(id(CHILDID_SELF), &role);
    VariantClear(&role);
    object->Release();
    return "{\"rows\":[" + rows + "],\"alive\":" + hresult(alive) + "}";
}

// The WinEvent hook: out of context, so its events come to this process's hook thread through
// that thread's message queue, as they come to a screen reader.
std::mutex eventsLock;
std::string eventsSeen;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                      DWORD) {
    const char* name = event == EVENT_OBJECT_NAMECHANGE ? "name" : "description";
    std::lock_guard<std::mutex> lock(eventsLock);
    eventsSeen += std::string(eventsSeen.empty() ? "" : ",") + "{\"event\":\"" + name +
                  "\",\"hwnd\":" + number(window) + ",\"object\":" + std::to_string(object) +
                  ",\"child\":" + std::to_string(child) + "}";
}

DWORD WINAPI hookThread(void*) {
    SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_DESCRIPTIONCHANGE, nullptr, onEvent, 0, 0,
                    WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

std::string events() {
    std::lock_guard<std::mutex> lock(eventsLock);
    std::string out = "{\"events\":[" + eventsSeen + "]}";
    eventsSeen.clear();
    return out;
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
    if (command == "click") {
        const HWND window = handleOf(argument);
        if (!IsWindow(window))
            return "{\"error\":\"no such window\"}";
        return "{\"posted\":" + boolean(PostMessageW(window, BM_CLICK, 0, 0)) + "}";
    }
    if (command == "msaa")
        return accessible(argument);
    if (command == "msaa-set")
        return accessibleAction("set", argument);
    if (command == "msaa-press")
        return accessibleAction("press", argument);
    if (command == "msaa-odd")
        return oddCalls(argument);
    if (command == "events")
        return events();
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
    // The accessible objects of another process come through COM; this thread never pumps
    // messages, so it joins the multithreaded apartment.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (argc >= 3 || (argc == 2 && std::strcmp(argv[1], "processes") == 0)) {
        std::string argument;
        for (int i = 2; i < argc; ++i)
            argument += (i > 2 ? " " : "") + std::string(argv[i]);
        emit(answer(argv[1], argument));
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "serve") == 0) {
        CloseHandle(CreateThread(nullptr, 0, hookThread, nullptr, 0, nullptr));
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
