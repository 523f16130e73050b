// A top-level window: a sizeable frame on the button face, owned by the application window so
// that the program keeps one task-bar entry. Its controls keep their place when it is resized; a
// window smaller than its controls scrolls.

#include "toolkit/win32/backend_win32.h"

#include <algorithm>

namespace toolkit::detail::win32 {

namespace {

constexpr const wchar_t* formClass = L"DrillForm";

// The icons the window class was registered with: a window made with them has them from the
// start, and the window system need not convert them once more for a later WM_SETICON.
struct ClassIcons {
    bool registered = false;
    HICON big = nullptr;
    HICON small = nullptr;
};

ClassIcons& formClassIcons() {
    static ClassIcons icons;
    return icons;
}

void registerFormClass(WNDPROC procedure, HICON big, HICON small) {
    ClassIcons& icons = formClassIcons();
    if (icons.registered) {
        return;
    }
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.style = CS_DBLCLKS;
    cls.lpfnWndProc = procedure;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hIcon = big;
    cls.hIconSm = small;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = formClass;
    icons.registered = RegisterClassExW(&cls) != 0;
    icons.big = big;
    icons.small = small;
}

} // namespace

FormWindow::FormWindow(Form& form, const WindowDecl& declaration, HWND owner)
    : form_(form), caption_(widen(declaration.caption)), name_(declaration.name), owner_(owner) {
    Win32Application& application = backend();
    fontSpec_ = declaration.font;
    colour_ =
        declaration.font.colour == Colour::Maroon ? RGB(128, 0, 0) : GetSysColor(COLOR_WINDOWTEXT);

    // The outer size as scaled: on a finer screen it has grown with the controls.
    outer_ = {declaration.outerWidth, declaration.outerHeight};
    application.formCreated(this);
    // The main window's native windows are made at once (its controls' once they are all
    // declared). Another window's (the result window's) are made once the main window has been
    // drawn and the program waits for input, or earlier where they are needed first: the program
    // starts as quickly as a window of its own, and nothing the pupil can do comes before them.
    if (owner == application.applicationWindow()) {
        realize();
    }
}

void FormWindow::realize() {
    if (hwnd_ || dying_) {
        return;
    }
    Win32Application& application = backend();
    // The fonts are looked up when the windows are made.
    font_ = application.fonts().font(fontSpec_);
    traceStep("form: font", name_);
    registerFormClass(windowProc, application.bigIcon(), application.smallIcon());
    // A window owned by another window of the program (the result window, owned by the main
    // window) is a pop-up with the same frame: it looks the same, and window managers on X11,
    // as Wine presents it to them, give it the focus when it opens over its owner.
    DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    if (owner_ != application.applicationWindow()) {
        style |= WS_POPUP;
    }
    traceStep("window: begin", name_);
    CreateWindowExW(0, formClass, caption_.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, outer_.cx,
                    outer_.cy, owner_, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) {
        throw std::runtime_error("cannot create window \"" + name_ + "\"");
    }
    traceStep("window: made", name_);
    const ClassIcons& icons = formClassIcons();
    if (icons.big != application.bigIcon() || icons.small != application.smallIcon()) {
        setIcons(application.bigIcon(), application.smallIcon());
        traceStep("window: icons given", name_);
    }
    if (controlsDeclared_) {
        realizeControls();
    }
}

void FormWindow::realizeControls() {
    // Made in their stacking order, each below the one made before it, so that they need no
    // restacking.
    for (ControlWindow* control : stackingOrder()) {
        control->realize();
    }
    controlsRealized_ = true;
    traceStep("window: controls made", name_);
    arrangeControls();
    traceStep("window: controls arranged", name_);
}

HWND FormWindow::handle() const {
    const_cast<FormWindow*>(this)->realize();
    return hwnd_;
}

FormWindow::~FormWindow() {
    dying_ = true;
    backend().formGone(this);
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

std::unique_ptr<ControlPeer> FormWindow::createControl(Control& control,
                                                       const ControlDecl& declaration) {
    auto created = std::make_unique<ControlWindow>(*this, control, declaration, nextId_++);
    controls_.push_back(created.get());
    return created;
}

void FormWindow::controlsCreated() {
    controlsDeclared_ = true;
    if (hwnd_) {
        realizeControls();
    }
    traceStep("form: controls declared", name_);
}

std::vector<ControlWindow*> FormWindow::stackingOrder() const {
    // The focusable controls in tab order on top (the order in which a screen reader walks
    // them), then the rest, the labels last, so that whatever overlaps a label covers it.
    std::vector<ControlWindow*> stacked = controls_;
    std::stable_sort(stacked.begin(), stacked.end(), [](ControlWindow* a, ControlWindow* b) {
        const auto rank = [](ControlWindow* c) {
            const ControlDecl& d = c->control().declaration();
            if (d.kind == ControlKind::Label) {
                return 2;
            }
            return d.tabOrder ? 0 : 1;
        };
        const auto order = [](ControlWindow* c) {
            return c->control().declaration().tabOrder.value_or(0);
        };
        return std::make_pair(rank(a), order(a)) < std::make_pair(rank(b), order(b));
    });
    return stacked;
}

void FormWindow::arrangeControls() {
    // The controls are restacked only where the window system has not stacked them so already.
    const std::vector<ControlWindow*> stacked = stackingOrder();
    bool inOrder = true;
    HWND child = GetWindow(hwnd_, GW_CHILD);
    for (ControlWindow* control : stacked) {
        if (child != control->handle()) {
            inOrder = false;
            break;
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    traceStep(inOrder ? "window: stacked as made" : "window: restacked", name_);
    if (!inOrder) {
        HWND after = HWND_TOP;
        for (ControlWindow* control : stacked) {
            SetWindowPos(control->handle(), after, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = control->handle();
        }
    }
    // The focus is shown from the start: the pupil works with the keyboard.
    SendMessageW(hwnd_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
    updateScrollBars();
}

std::string FormWindow::caption() const {
    return narrow(windowText(handle()));
}

void FormWindow::moveTo(Point outerTopLeft) {
    SetWindowPos(handle(), nullptr, outerTopLeft.x, outerTopLeft.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::show() {
    traceStep("show: begin", name_);
    realize();
    Win32Application& application = backend();
    int command = SW_SHOWNORMAL;
    if (!shownBefore_ && app().mainForm == &form_) {
        // The main window's first show follows the request the program was started with.
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        GetStartupInfoW(&startup);
        if (startup.dwFlags & STARTF_USESHOWWINDOW) {
            if (startup.wShowWindow == SW_SHOWMAXIMIZED) {
                command = SW_SHOWMAXIMIZED;
            } else if (startup.wShowWindow == SW_SHOWMINNOACTIVE) {
                command = SW_SHOWMINNOACTIVE;
            }
        }
    }
    shownBefore_ = true;
    if (command == SW_SHOWMINNOACTIVE) {
        // The application starts minimized: the window comes back with it.
        ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
        application.showApplicationWindow(SW_SHOWNOACTIVATE);
        application.minimize();
        return;
    }
    ShowWindow(hwnd_, command);
    traceStep("show: shown", name_);
    // The task-bar entry comes with the window, made just after it, so that the window is on the
    // screen first.
    application.showApplicationWindow(SW_SHOWNOACTIVATE);
    traceStep("show: application window shown");
    SetForegroundWindow(hwnd_);
    if (GetActiveWindow() != hwnd_) {
        SetActiveWindow(hwnd_);
    }
    traceStep("show: activated", name_);
    application.realizeLater();
}

void FormWindow::hide() {
    realize();
    Win32Application& application = backend();
    if (application.isModal(this)) {
        // The other windows take input again before this one goes, so that the window system
        // gives the activation back to one of them and not to another program.
        application.enableOthers();
    }
    ShowWindow(hwnd_, SW_HIDE);
}

bool FormWindow::isVisible() const {
    return hwnd_ && IsWindowVisible(hwnd_) != FALSE;
}

bool FormWindow::isEnabled() const {
    return IsWindowEnabled(handle()) != FALSE;
}

void FormWindow::focusWindowItself() {
    SetFocus(handle());
}

void FormWindow::activate() {
    realize();
    if (GetActiveWindow() == hwnd_) {
        return;
    }
    SetForegroundWindow(hwnd_);
    if (GetActiveWindow() != hwnd_) {
        SetActiveWindow(hwnd_);
    }
}

bool FormWindow::isActiveWindow() const {
    return hwnd_ && GetActiveWindow() == hwnd_;
}

Rect FormWindow::frame() const {
    RECT r{};
    GetWindowRect(handle(), &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::vector<std::vector<ControlWindow*>> FormWindow::lines() const {
    std::vector<Rect> places;
    for (ControlWindow* control : controls_) {
        places.push_back(control->bounds());
    }
    std::vector<std::vector<ControlWindow*>> result;
    for (const std::vector<std::size_t>& line : readingLines(places)) {
        std::vector<ControlWindow*>& row = result.emplace_back();
        for (std::size_t index : line) {
            row.push_back(controls_[index]);
        }
    }
    return result;
}

std::vector<ControlWindow*> FormWindow::readingOrder() const {
    std::vector<ControlWindow*> order;
    for (const std::vector<ControlWindow*>& line : lines()) {
        order.insert(order.end(), line.begin(), line.end());
    }
    return order;
}

bool FormWindow::isDialog() const {
    return app().mainForm != &form_;
}

std::wstring FormWindow::labelLines() const {
    // The labels of a line make one phrase («Ответили правильно на » and «18»), the lines are
    // sentences; blanks are run together as a reader would speak them.
    std::wstring text;
    for (const std::vector<ControlWindow*>& line : lines()) {
        std::wstring phrase;
        for (ControlWindow* control : line) {
            if (control->kind() != ControlKind::Label || !control->isVisible()) {
                continue;
            }
            for (wchar_t c : windowText(control->handle())) {
                const bool blank = c == L' ' || c == L'\t';
                if (blank && (phrase.empty() || phrase.back() == L' ')) {
                    continue;
                }
                phrase += blank ? L' ' : c;
            }
            if (!phrase.empty() && phrase.back() != L' ') {
                phrase += L' ';
            }
        }
        while (!phrase.empty() && phrase.back() == L' ') {
            phrase.pop_back();
        }
        if (!phrase.empty()) {
            text += (text.empty() ? L"" : L". ") + phrase;
        }
    }
    return text;
}

void FormWindow::labelsChanged() {
    if (!renamePosted_ && hwnd_ && !dying_) {
        renamePosted_ = PostMessageW(hwnd_, renameMessage, 0, 0) != FALSE;
    }
}

ControlWindow* FormWindow::controlOf(HWND window) const {
    for (ControlWindow* control : controls_) {
        if (control->handle() == window) {
            return control;
        }
    }
    return nullptr;
}

void FormWindow::forget(ControlWindow* control) {
    std::erase(controls_, control);
}

void FormWindow::setIcons(HICON big, HICON small) {
    if (!hwnd_) {
        return; // given when the window is made
    }
    if (big) {
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    }
    if (small) {
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
}

void FormWindow::updateScrollBars() {
    // Not before the controls are there (the window is sized while it is made).
    if (updatingScroll_ || !hwnd_ || !controlsRealized_) {
        return;
    }
    updatingScroll_ = true;
    // The controls' extent, in the client area as if it were not scrolled.
    SIZE extent{0, 0};
    for (ControlWindow* control : controls_) {
        const Rect r = control->bounds();
        extent.cx = std::max<LONG>(extent.cx, r.right());
        extent.cy = std::max<LONG>(extent.cy, r.bottom());
    }
    extent_ = extent;
    // Showing one bar narrows the client area and may call for the other: settle in two rounds.
    for (int round = 0; round < 2; ++round) {
        RECT client{};
        GetClientRect(hwnd_, &client);
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE;
        info.nMin = 0;
        info.nMax = std::max<LONG>(0, extent.cx - 1);
        info.nPage = static_cast<UINT>(std::max<LONG>(0, client.right));
        SetScrollInfo(hwnd_, SB_HORZ, &info, TRUE);
        info.nMax = std::max<LONG>(0, extent.cy - 1);
        info.nPage = static_cast<UINT>(std::max<LONG>(0, client.bottom));
        SetScrollInfo(hwnd_, SB_VERT, &info, TRUE);
    }
    updatingScroll_ = false;
    // A bar that went away, or a client area that grew, may leave the controls scrolled too far.
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int x = std::clamp<int>(scroll_.x, 0, std::max<int>(0, extent.cx - client.right));
    const int y = std::clamp<int>(scroll_.y, 0, std::max<int>(0, extent.cy - client.bottom));
    scrollTo(x, y);
}

void FormWindow::scrollTo(int x, int y) {
    if (x == scroll_.x && y == scroll_.y) {
        return;
    }
    const int dx = scroll_.x - x;
    const int dy = scroll_.y - y;
    scroll_ = {x, y};
    ScrollWindowEx(hwnd_, dx, dy, nullptr, nullptr, nullptr, nullptr,
                   SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    SetScrollPos(hwnd_, SB_HORZ, x, TRUE);
    SetScrollPos(hwnd_, SB_VERT, y, TRUE);
}

void FormWindow::scrollBy(int bar, WPARAM request) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(hwnd_, bar, &info);
    const int line = 16;
    const int page = std::max<int>(1, static_cast<int>(info.nPage));
    const int last = std::max<int>(0, info.nMax - page + 1);
    int position = info.nPos;
    switch (LOWORD(request)) {
    case SB_LINEUP:
        position -= line;
        break;
    case SB_LINEDOWN:
        position += line;
        break;
    case SB_PAGEUP:
        position -= page;
        break;
    case SB_PAGEDOWN:
        position += page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    case SB_TOP:
        position = 0;
        break;
    case SB_BOTTOM:
        position = last;
        break;
    default:
        return;
    }
    position = std::clamp(position, 0, last);
    if (bar == SB_HORZ) {
        scrollTo(position, scroll_.y);
    } else {
        scrollTo(scroll_.x, position);
    }
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<FormWindow*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->dying_) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return guardedResult([&] { return self->handle(message, wParam, lParam); });
}

LRESULT FormWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            traceStep("activate", name_);
            if (!HIWORD(wParam)) {
                // The window system would give the focus to the window itself; the window's
                // active control gets it back instead (or its first tab stop).
                backend().formActivated(this);
                windowActivated(form_);
            }
            traceStep("activate: handled", name_);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        focusEntered(form_, nullptr);
        return 0;
    case WM_GETOBJECT:
        if (const LRESULT object = answerGetObject(hwnd_, wParam, lParam)) {
            return object;
        }
        break;
    case renameMessage:
        renamePosted_ = false;
        for (ControlWindow* control : controls_) {
            control->renameField();
        }
        if (isDialog()) {
            NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam) {
            ControlWindow* control = controlOf(reinterpret_cast<HWND>(lParam));
            // A click that reaches a disabled button, or a window under a message box or a modal
            // window (a BM_CLICK sent by another program), is not one the pupil could make.
            if (control && IsWindowEnabled(hwnd_) && IsWindowEnabled(control->handle())) {
                if (control->control().isButton()) {
                    clicked(control->control());
                }
            }
            return 0;
        }
        break;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (ControlWindow* control = controlOf(item->hwndItem)) {
            control->draw(*item);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC: {
        ControlWindow* control = controlOf(reinterpret_cast<HWND>(lParam));
        if (control && control->kind() != ControlKind::Edit) {
            // Labels are drawn in their font's colour on the window's background.
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, control->textColour());
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_CTLCOLOREDIT: {
        ControlWindow* control = controlOf(reinterpret_cast<HWND>(lParam));
        if (control) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, control->textColour());
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    case WM_CLOSE:
        // The frame's close button and the system menu: the neutral rules decide.
        if (closeRequested(form_) == CloseOutcome::Hide) {
            hide();
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            // Minimizing a window minimizes the application, with all its windows.
            backend().minimize();
            return 0;
        }
        break;
    case WM_SIZE:
        updateScrollBars();
        break;
#ifdef DRILL_WIN32_STARTUP_TRACE
    case WM_PAINT:
        traceStep("paint", name_);
        break;
#endif
    case WM_HSCROLL:
        scrollBy(SB_HORZ, wParam);
        return 0;
    case WM_VSCROLL:
        scrollBy(SB_VERT, wParam);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE; // the program may end without a question
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

} // namespace toolkit::detail::win32
