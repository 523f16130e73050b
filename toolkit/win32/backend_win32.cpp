// The application: its hidden window, the message loop that routes the keys through the neutral
// rules, the modal show's disabling of the other windows, the message box, and what the program
// carries as resources (icon, layouts).

#include "toolkit/win32/backend_win32.h"

#include <commctrl.h>

#include <algorithm>

namespace toolkit::detail {

namespace win32 {

namespace {

constexpr const wchar_t* applicationClass = L"DrillApplication";

Win32Application* theBackend = nullptr;

std::optional<Key> keyOf(WPARAM virtualKey) {
    switch (virtualKey) {
    case VK_RETURN:
        return Key::Enter;
    case VK_ESCAPE:
        return Key::Escape;
    case VK_TAB:
        return Key::Tab;
    case VK_LEFT:
        return Key::Left;
    case VK_RIGHT:
        return Key::Right;
    case VK_UP:
        return Key::Up;
    case VK_DOWN:
        return Key::Down;
    default:
        return std::nullopt;
    }
}

Rect rectOf(const RECT& r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

BOOL CALLBACK onMonitor(HMONITOR, HDC, LPRECT area, LPARAM data) {
    reinterpret_cast<std::vector<Rect>*>(data)->push_back(rectOf(*area));
    return TRUE;
}

} // namespace

Win32Application& backend() {
    return *theBackend;
}

bool hasBackend() {
    return theBackend != nullptr;
}

Win32Application::Win32Application() : fonts_(std::make_unique<FontBook>()) {
    traceStep("application: begin");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    traceStep("application: common controls");

    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = windowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = applicationClass;
    RegisterClassExW(&cls);

    // Hidden, of zero size, captioned with the title: it owns every window of the program, so
    // that the program has one task-bar entry. Its system menu only minimizes, restores and
    // closes.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    window_ = CreateWindowExW(0, applicationClass, L"",
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              x, y, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window_) {
        throw std::runtime_error("cannot create the application window");
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (HMENU menu = GetSystemMenu(window_, FALSE)) {
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
    }
    theBackend = this;
    traceStep("application: window made");
}

Win32Application::~Win32Application() {
    for (FormWindow* form : forms_) {
        form->beginTeardown();
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    if (smallIcon_) {
        DestroyIcon(smallIcon_);
    }
    theBackend = nullptr;
}

int Win32Application::resolution() const {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int Win32Application::zeroHeight(const FontSpec& font) const {
    return fonts_->textExtent(fonts_->font(font), L"0").cy;
}

std::vector<Rect> Win32Application::monitors() const {
    std::vector<Rect> rects;
    EnumDisplayMonitors(nullptr, nullptr, onMonitor, reinterpret_cast<LPARAM>(&rects));
    if (rects.empty()) {
        rects.push_back({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    }
    return rects;
}

std::optional<Rect> Win32Application::activeWindowFrame() const {
    if (FormWindow* form = formOf(GetActiveWindow())) {
        return form->frame();
    }
    return std::nullopt;
}

std::unique_ptr<FormPeer> Win32Application::createForm(Form& form, const WindowDecl& declaration,
                                                       FormPeer* owner) {
    // The main window is owned by the application window, which gives the program its one
    // task-bar entry; a later window by the main window, so that it stays above it. Owned
    // windows have no task-bar entry of their own.
    traceStep("form: layout read", declaration.name);
    HWND ownerWindow = owner ? static_cast<FormWindow*>(owner)->handle() : window_;
    return std::make_unique<FormWindow>(form, declaration, ownerWindow);
}

std::string Win32Application::executablePath() const {
    // The wide path as it is, so that a name outside ASCII comes through unchanged.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

std::optional<WindowDecl> Win32Application::layout(std::string_view name) const {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, widen(name).c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return std::nullopt;
    }
    return readLayout(
        std::string_view(static_cast<const char*>(data), SizeofResource(module, found)));
}

bool Win32Application::setIcon(std::string_view name) {
    traceStep("icon: begin");
    HMODULE module = GetModuleHandleW(nullptr);
    const std::wstring resource = widen(name);
    if (!FindResourceW(module, resource.c_str(), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */)) {
        return false;
    }
    bigIcon_ = LoadIconW(module, resource.c_str());
    if (smallIcon_) {
        DestroyIcon(smallIcon_);
    }
    smallIcon_ = static_cast<HICON>(LoadImageW(module, resource.c_str(), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    traceStep("icon: images loaded");
    // The application window shows nothing but its task-bar entry: it is given the icons when
    // that shows.
    applicationIconsGiven_ = false;
    if (IsWindowVisible(window_)) {
        giveApplicationIcons();
    }
    for (FormWindow* form : forms_) {
        form->setIcons(bigIcon_, smallIcon_);
    }
    traceStep("icon: loaded");
    return bigIcon_ != nullptr;
}

void Win32Application::substituteFont(std::string_view face,
                                      const std::vector<std::string>& faces) {
    fonts_->substitute(face, faces);
}

// -- the message loop -------------------------------------------------------------------------

bool Win32Application::routeKey(const MSG& message) {
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) {
        return false;
    }
    const std::optional<Key> key = keyOf(message.wParam);
    if (!key) {
        return false;
    }
    FormWindow* form = formOf(GetAncestor(message.hwnd, GA_ROOT));
    if (!form || form->dying()) {
        return false;
    }
    Control* focused = nullptr;
    if (message.hwnd != form->handle()) {
        ControlWindow* control = form->controlOf(message.hwnd);
        if (!control) {
            return false; // a window of its own inside a control: leave it alone
        }
        focused = &control->control();
    }
    KeyStroke stroke;
    stroke.key = *key;
    stroke.shift = GetKeyState(VK_SHIFT) < 0;
    stroke.ctrl = GetKeyState(VK_CONTROL) < 0;
    stroke.alt = message.message == WM_SYSKEYDOWN || GetKeyState(VK_MENU) < 0;
    KeyRoute route = KeyRoute::ToControl;
    guarded([&] { route = keyPressed(form->form(), focused, stroke); });
    // A consumed key is neither translated nor dispatched: no character follows it (no tab
    // character in the field, no beep for Enter or Escape).
    return route == KeyRoute::Consumed;
}

bool Win32Application::pumpOne() {
    MSG message{};
    if (realizePending_ && !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        // Nothing is waiting, not even a window to paint: the main window has been drawn, and
        // the windows that waited for it are made now.
        realizePending_ = false;
        traceStep("later windows: begin");
        for (FormWindow* form : std::vector<FormWindow*>(forms_)) {
            guarded([form] { form->realize(); });
        }
        traceStep("later windows: made");
    }
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        return false;
    }
    if (routeKey(message)) {
        return true;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
}

void Win32Application::runLoop() {
    while (pumpOne()) {
    }
    quitTaken();
}

void Win32Application::runNestedLoop(const std::function<bool()>& done) {
    while (!done()) {
        if (!pumpOne()) {
            quitTaken();
            // The loops around this one end too.
            PostQuitMessage(0);
            return;
        }
    }
}

void Win32Application::wakeNestedLoop() {
    PostMessageW(window_, wakeMessage, 0, 0);
}

void Win32Application::postQuit() {
    PostQuitMessage(0);
}

// -- modal show and message box -----------------------------------------------------------------

void Win32Application::beginModal(FormPeer& modal) {
    modal_ = static_cast<FormWindow*>(&modal);
    ReleaseCapture();
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    disabledByModal_.clear();
    for (FormWindow* form : forms_) {
        if (form != modal_ && IsWindowEnabled(form->handle())) {
            EnableWindow(form->handle(), FALSE);
            disabledByModal_.push_back(form->handle());
        }
    }
}

void Win32Application::enableOthers() {
    for (HWND window : disabledByModal_) {
        if (IsWindow(window)) {
            EnableWindow(window, TRUE);
        }
    }
    disabledByModal_.clear();
}

void Win32Application::endModal(FormPeer&) {
    enableOthers();
    modal_ = nullptr;
}

void Win32Application::showErrorBox(std::string_view caption, std::string_view text) {
    // The box is owned by the application window; every window of the program is disabled
    // while it is up, and the activation and the focus go back where they were afterwards.
    HWND previousActive = GetActiveWindow();
    HWND previousFocus = GetFocus();
    std::vector<HWND> disabled;
    for (FormWindow* form : forms_) {
        if (IsWindowEnabled(form->handle())) {
            EnableWindow(form->handle(), FALSE);
            disabled.push_back(form->handle());
        }
    }
    SetWindowTextW(window_, widen(app().title).c_str());
    // The text is shown as it is: it is never a format.
    MessageBoxW(window_, widen(text).c_str(), widen(caption).c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    for (HWND window : disabled) {
        if (IsWindow(window)) {
            EnableWindow(window, TRUE);
        }
    }
    if (previousActive && IsWindow(previousActive) && IsWindowVisible(previousActive)) {
        if (FormWindow* form = formOf(previousActive)) {
            form->activate();
        }
        if (previousFocus && IsWindow(previousFocus) && GetFocus() != previousFocus &&
            IsWindowEnabled(previousFocus) &&
            GetAncestor(previousFocus, GA_ROOT) == previousActive) {
            SetFocus(previousFocus);
        }
    }
}

// -- the application window -----------------------------------------------------------------

void Win32Application::formGone(FormWindow* form) {
    std::erase(forms_, form);
    if (lastActive_ == form) {
        lastActive_ = nullptr;
    }
    if (modal_ == form) {
        modal_ = nullptr;
    }
}

FormWindow* Win32Application::formOf(HWND window) const {
    if (!window) {
        return nullptr;
    }
    for (FormWindow* form : forms_) {
        if (form->existingHandle() == window) {
            return form;
        }
    }
    return nullptr;
}

void Win32Application::realizeLater() {
    realizePending_ = true;
}

void Win32Application::giveApplicationIcons() {
    if (applicationIconsGiven_) {
        return;
    }
    applicationIconsGiven_ = true;
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void Win32Application::showApplicationWindow(int command) {
    giveApplicationIcons();
    SetWindowTextW(window_, widen(app().title).c_str());
    if (!IsWindowVisible(window_)) {
        ShowWindow(window_, command);
    }
}

void Win32Application::minimize() {
    if (minimized_) {
        return;
    }
    minimized_ = true;
    // The program's windows go with the application window and come back with it, the result
    // window (owned by the main window) as well as the main window.
    hiddenByMinimize_.clear();
    for (FormWindow* form : forms_) {
        if (IsWindowVisible(form->handle())) {
            hiddenByMinimize_.push_back(form->handle());
            SetWindowPos(form->handle(), nullptr, 0, 0, 0, 0,
                         SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    ShowWindow(window_, SW_SHOWMINNOACTIVE);
}

void Win32Application::restore() {
    if (!minimized_) {
        return;
    }
    minimized_ = false;
    ShowWindow(window_, SW_RESTORE);
    for (HWND window : hiddenByMinimize_) {
        if (IsWindow(window)) {
            SetWindowPos(window, nullptr, 0, 0, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    hiddenByMinimize_.clear();
    reactivate();
}

void Win32Application::reactivate() {
    FormWindow* target = nullptr;
    if (modal_ && IsWindowVisible(modal_->handle())) {
        target = modal_;
    } else if (lastActive_ && IsWindowVisible(lastActive_->handle()) &&
               IsWindowEnabled(lastActive_->handle())) {
        target = lastActive_;
    } else if (Form* main = app().mainForm) {
        auto* form = static_cast<FormWindow*>(&main->peer());
        if (IsWindowVisible(form->handle()) && IsWindowEnabled(form->handle())) {
            target = form;
        }
    }
    if (target) {
        target->activate();
    }
}

LRESULT CALLBACK Win32Application::windowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Application*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return guardedResult([&] { return self->handle(message, wParam, lParam); });
}

LRESULT Win32Application::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case wakeMessage:
        return 0; // the nested loop only has to look at its condition again
    case reactivateMessage:
        if (!minimized_ && GetActiveWindow() == window_) {
            reactivate();
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            // The application window never keeps the activation: it goes on to the program's
            // window (after the message box, or back from the task bar).
            if (!HIWORD(wParam) && !minimized_) {
                PostMessageW(window_, reactivateMessage, 0, 0);
            }
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
            minimize();
            return 0;
        case SC_RESTORE:
            restore();
            return 0;
        default:
            break;
        }
        break;
    case WM_CLOSE:
        // The task bar's close command closes the main window, which ends the program.
        if (Form* main = app().mainForm) {
            SendMessageW(static_cast<FormWindow*>(&main->peer())->handle(), WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE; // the program may end without a question
    case WM_ENDSESSION:
        if (wParam) {
            app().owner.terminate();
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace win32

std::unique_ptr<ApplicationPeer> createApplicationPeer(int&, char**) {
    return std::make_unique<win32::Win32Application>();
}

} // namespace toolkit::detail
