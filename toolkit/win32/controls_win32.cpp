// The controls, each a native child window: labels are STATIC windows sized to their text, the
// edit field an EDIT window with a sunken border, push buttons BUTTON windows. The OK image button
// and the panel are drawn by the program (owner-drawn BUTTON and STATIC windows), so they too keep
// their text and state where the window system and a screen reader find them.

#include "toolkit/win32/backend_win32.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vsstyle.h>

namespace toolkit::detail::win32 {

namespace {

// The system's visual styles, looked up when the program runs, so that the program imports
// nothing but user32, gdi32 and comctl32 (and the C runtime's kernel32 and msvcrt). Where
// uxtheme.dll is missing or styles are off, the classic look is drawn instead.
class VisualStyles {
public:
    static const VisualStyles& get() {
        static const VisualStyles styles;
        return styles;
    }

    bool active() const { return isAppThemed_ && openThemeData && isAppThemed_(); }

    decltype(&::OpenThemeData) openThemeData = nullptr;
    decltype(&::CloseThemeData) closeThemeData = nullptr;
    decltype(&::IsThemeBackgroundPartiallyTransparent) isPartiallyTransparent = nullptr;
    decltype(&::DrawThemeParentBackground) drawParentBackground = nullptr;
    decltype(&::DrawThemeBackground) drawBackground = nullptr;
    decltype(&::GetThemeBackgroundContentRect) contentRect = nullptr;

private:
    VisualStyles() {
        HMODULE module = LoadLibraryW(L"uxtheme.dll");
        if (!module) {
            return;
        }
        load(module, "OpenThemeData", openThemeData);
        load(module, "CloseThemeData", closeThemeData);
        load(module, "IsThemeBackgroundPartiallyTransparent", isPartiallyTransparent);
        load(module, "DrawThemeParentBackground", drawParentBackground);
        load(module, "DrawThemeBackground", drawBackground);
        load(module, "GetThemeBackgroundContentRect", contentRect);
        load(module, "IsAppThemed", isAppThemed_);
        const bool complete = openThemeData && closeThemeData && isPartiallyTransparent &&
                              drawParentBackground && drawBackground && contentRect;
        if (!complete) {
            isAppThemed_ = nullptr; // all or nothing
        }
    }

    template <typename Function>
    static void load(HMODULE module, const char* name, Function& function) {
        // Through void*: a FARPROC is cast to the function's own type.
        function =
            reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    decltype(&::IsAppThemed) isAppThemed_ = nullptr;
};

} // namespace

namespace {

constexpr UINT_PTR subclassId = 1;

// The check mark on an 18 × 18 grid: a short stroke down to the right, a long stroke up.
constexpr int markCells = 18;
constexpr const char* markRows[markCells] = {
    "..................", "..................", "...............#..", "..............##..",
    ".............###..", "............###...", "...........###....", "..#.......###.....",
    "..##.....###......", "..###...###.......", "...###.###........", "....#####.........",
    ".....###..........", "......#...........", "..................", "..................",
    "..................", "..................",
};
constexpr COLORREF markGreen = RGB(0, 128, 0);
constexpr int markGap = 4; // pixels between the image and the caption

// Pixels designed at 96 dots per inch, on this screen.
int screenPixels(int designed) {
    return MulDiv(designed, backend().resolution(), 96);
}

// The mark's cells filled in one colour, at `size` pixels square; the rest stays as it was.
void drawMark(HDC dc, int left, int top, int size, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    for (int row = 0; row < markCells; ++row) {
        for (int column = 0; column < markCells; ++column) {
            if (markRows[row][column] != '#') {
                continue;
            }
            const RECT cell{
                left + MulDiv(column, size, markCells), top + MulDiv(row, size, markCells),
                left + MulDiv(column + 1, size, markCells), top + MulDiv(row + 1, size, markCells)};
            FillRect(dc, &cell, brush);
        }
    }
    DeleteObject(brush);
}

COLORREF colourOf(Colour colour) {
    switch (colour) {
    case Colour::Maroon:
        return RGB(128, 0, 0);
    case Colour::WindowText:
        break;
    }
    return GetSysColor(COLOR_WINDOWTEXT);
}

} // namespace

ControlWindow::ControlWindow(FormWindow& form, Control& control, const ControlDecl& declaration,
                             int id)
    : form_(form), control_(control), kind_(declaration.kind), declaration_(declaration), id_(id) {
    const FontSpec& requested =
        declaration.font ? *declaration.font : form.form().declaration().font;
    colour_ = colourOf(requested.colour);
    if (form.existingHandle() && form.controlsDeclared()) {
        realize();
    }
}

void ControlWindow::realize() {
    if (hwnd_) {
        return;
    }
    const ControlDecl& declaration = declaration_;
    FormWindow& form = form_;
    font_ = declaration.font ? backend().fonts().font(*declaration.font) : form.windowFont();
    traceStep("control: font", declaration.name);

    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (kind_) {
    case ControlKind::Label:
        // One line, left-justified; "&" is a character like any other.
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        break;
    case ControlKind::Edit:
        className = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
    case ControlKind::Button:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case ControlKind::OkButton:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_OWNERDRAW;
        break;
    case ControlKind::Panel:
        // Drawn by the program; without SS_NOTIFY a click goes through to the window, so the
        // mouse never focuses it.
        style |= SS_OWNERDRAW | SS_NOPREFIX;
        break;
    }
    const Rect& r = declaration.bounds;
    const std::wstring text = widen(declaration.text);
    const FontBook& fonts = backend().fonts();
    int width = r.width;
    int height = r.height;
    if (kind_ == ControlKind::Edit) {
        // An edit field's height follows its font: one line and 8 pixels of border.
        height = fonts.lineHeight(font_) + 8;
    } else if (kind_ == ControlKind::Label) {
        // Made as large as its text, as it is after every change of its text.
        width = fonts.textExtent(font_, text).cx;
        height = fonts.lineHeight(font_);
    }
    const POINT offset = form.scrollOffset();
    traceStep("control: measured", declaration.name);
    hwnd_ = CreateWindowExW(exStyle, className, text.c_str(), style, r.left - offset.x,
                            r.top - offset.y, width, height, form.existingHandle(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        throw std::runtime_error("cannot create control \"" + declaration.name + "\"");
    }
    traceStep("control: made", declaration.name);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SetWindowSubclass(hwnd_, subclassProc, subclassId, reinterpret_cast<DWORD_PTR>(this));
    traceStep("control: ready", declaration.name);
}

ControlWindow::~ControlWindow() {
    form_.beginTeardown();
    form_.forget(this);
    if (hwnd_) {
        RemoveWindowSubclass(hwnd_, subclassProc, subclassId);
        DestroyWindow(hwnd_);
    }
}

LRESULT CALLBACK ControlWindow::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<ControlWindow*>(data);
    switch (message) {
    case WM_SETFOCUS: {
        traceStep("focus: message", self->declaration_.name);
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        traceStep("focus: default handled", self->declaration_.name);
        if (self->kind_ == ControlKind::Panel) {
            InvalidateRect(hwnd, nullptr, FALSE); // the focus rectangle
        }
        if (!self->form_.dying()) {
            guarded([&] { focusEntered(self->form_.form(), &self->control_); });
        }
        return result;
    }
    case WM_KILLFOCUS:
        if (self->kind_ == ControlKind::Panel) {
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        break;
    case WM_GETOBJECT:
        if (!self->form_.dying()) {
            if (const LRESULT object = answerGetObject(hwnd, wParam, lParam)) {
                return object;
            }
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, subclassProc, subclassId);
        self->hwnd_ = nullptr;
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

HWND ControlWindow::handle() const {
    form_.realize();
    if (!hwnd_ && form_.existingHandle()) {
        const_cast<ControlWindow*>(this)->realize(); // asked for before the others were made
    }
    return hwnd_;
}

bool ControlWindow::isDefaultButton() const {
    return control_.form().state().defaultButton == &control_;
}

ControlWindow* ControlWindow::caption() const {
    // Of the labels on this control's line (the middle of the one within the height of the
    // other) that begin left of it, the nearest. Such a label may reach under the control, as a
    // long exercise in large type reaches under the answer field.
    const Rect own = bounds();
    ControlWindow* nearest = nullptr;
    int nearestLeft = 0;
    for (ControlWindow* label : form_.readingOrder()) {
        if (label == this || label->kind() != ControlKind::Label || !label->isVisible()) {
            continue;
        }
        const Rect other = label->bounds();
        const int ownMiddle = own.top + own.height / 2;
        const int otherMiddle = other.top + other.height / 2;
        const bool sameLine = (own.top <= otherMiddle && otherMiddle <= own.bottom()) ||
                              (other.top <= ownMiddle && ownMiddle <= other.bottom());
        if (sameLine && other.left < own.left && (!nearest || other.left > nearestLeft)) {
            nearest = label;
            nearestLeft = other.left;
        }
    }
    return nearest;
}

std::wstring ControlWindow::accessibleName() {
    if (kind_ != ControlKind::Edit) {
        return windowText(handle());
    }
    // A disabled field keeps its name: nothing can be typed into it, and after the last answer
    // its caption shows one more exercise that no longer asks for anything.
    if (IsWindowEnabled(hwnd_)) {
        const ControlWindow* label = caption();
        name_ = label ? windowText(label->handle()) : std::wstring();
    }
    return name_;
}

void ControlWindow::renameField() {
    if (kind_ != ControlKind::Edit || !IsWindowEnabled(hwnd_)) {
        return;
    }
    accessibleName();
    // Told also when the new exercise reads as the last one did: a reader on the field speaks
    // the name again, so the pupil hears that the answer was taken.
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
}

void ControlWindow::fitToText() {
    // A label is as wide and as high as its text; its left and top stay.
    const std::wstring caption = windowText(hwnd_);
    const FontBook& fonts = backend().fonts();
    const SIZE size = fonts.textExtent(font_, caption);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, fonts.lineHeight(font_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string ControlWindow::text() const {
    return narrow(windowText(handle()));
}

void ControlWindow::setText(std::string_view text) {
    traceStep("text: begin", declaration_.name);
    SetWindowTextW(handle(), widen(text).c_str());
    traceStep("text: set", declaration_.name);
    if (kind_ == ControlKind::Label) {
        fitToText();
        traceStep("text: fitted", declaration_.name);
        form_.updateScrollBars(); // the label may now reach further
        traceStep("text: scroll bars", declaration_.name);
        form_.labelsChanged();
    }
    traceStep("text: done", declaration_.name);
}

bool ControlWindow::isEnabled() const {
    return IsWindowEnabled(handle()) != FALSE;
}

void ControlWindow::setEnabled(bool enabled) {
    EnableWindow(handle(), enabled ? TRUE : FALSE);
}

bool ControlWindow::isVisible() const {
    // Visible within its window, whether or not the window itself is shown.
    return (GetWindowLongW(handle(), GWL_STYLE) & WS_VISIBLE) != 0;
}

void ControlWindow::setFocus(FocusCause cause) {
    traceStep("focus: begin", declaration_.name);
    SetFocus(handle());
    traceStep("focus: set", declaration_.name);
    if (kind_ == ControlKind::Edit && cause != FocusCause::Activation) {
        // Brought by the keyboard or by the program: the whole text is selected, so that typing
        // replaces it. A click places the caret itself.
        SendMessageW(hwnd_, EM_SETSEL, 0, -1);
    }
}

bool ControlWindow::hasFocus() const {
    return hwnd_ && GetFocus() == hwnd_;
}

Rect ControlWindow::bounds() const {
    RECT r{};
    GetWindowRect(handle(), &r);
    MapWindowPoints(HWND_DESKTOP, form_.handle(), reinterpret_cast<POINT*>(&r), 2);
    const POINT offset = form_.scrollOffset();
    return {r.left + offset.x, r.top + offset.y, r.right - r.left, r.bottom - r.top};
}

void ControlWindow::press() {
    // As a click reports it, but without the click's moving the focus to the button: Enter in
    // the edit field leaves the focus in the field.
    clicked(control_);
}

void ControlWindow::draw(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const std::wstring caption = windowText(hwnd_);
    HGDIOBJ previousFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);

    if (kind_ == ControlKind::Panel) {
        // Button face, a raised bevel one pixel wide, the caption centred both ways.
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        SetTextColor(dc, colour_);
        RECT text = r;
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (GetFocus() == hwnd_) {
            RECT focus = r;
            InflateRect(&focus, -3, -3);
            DrawFocusRect(dc, &focus);
        }
        SelectObject(dc, previousFont);
        return;
    }

    // The OK image button: the push button's frame, then the mark and the caption centred
    // together with a small gap between them.
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    RECT face = r;
    const VisualStyles& styles = VisualStyles::get();
    if (HTHEME theme = styles.active() ? styles.openThemeData(hwnd_, L"BUTTON") : nullptr) {
        // With visual styles, the same face as the other push buttons, as the default button.
        const int state = disabled ? PBS_DISABLED : pressed ? PBS_PRESSED : PBS_DEFAULTED;
        if (styles.isPartiallyTransparent(theme, BP_PUSHBUTTON, state)) {
            styles.drawParentBackground(hwnd_, dc, &r);
        }
        styles.drawBackground(theme, dc, BP_PUSHBUTTON, state, &r, nullptr);
        styles.contentRect(theme, dc, BP_PUSHBUTTON, state, &r, &face);
        styles.closeThemeData(theme);
        InflateRect(&face, 1, 1);
    } else {
        if (focused) {
            // The focused button shows the dark outer frame of the button that Enter presses.
            FrameRect(dc, &face, GetSysColorBrush(COLOR_WINDOWFRAME));
            InflateRect(&face, -1, -1);
        }
        DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    }

    const int markSize = screenPixels(markCells);
    const int gap = screenPixels(markGap);
    SIZE text{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const int shift = pressed ? 1 : 0;
    const int left = r.left + (width - (markSize + gap + text.cx)) / 2 + shift;
    const int markTop = r.top + (height - markSize) / 2 + shift;
    const int textLeft = left + markSize + gap;
    const int textTop = r.top + (height - text.cy) / 2 + shift;
    if (!disabled) {
        drawMark(dc, left, markTop, markSize, markGreen);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        TextOutW(dc, textLeft, textTop, caption.c_str(), static_cast<int>(caption.size()));
    } else {
        // Embossed: once one pixel right and down in the highlight colour, then in place in the
        // shadow colour.
        const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
        const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
        drawMark(dc, left + 1, markTop + 1, markSize, light);
        drawMark(dc, left, markTop, markSize, shadow);
        SetTextColor(dc, light);
        TextOutW(dc, textLeft + 1, textTop + 1, caption.c_str(), static_cast<int>(caption.size()));
        SetTextColor(dc, shadow);
        TextOutW(dc, textLeft, textTop, caption.c_str(), static_cast<int>(caption.size()));
    }
    if (focused) {
        RECT focus = face;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
    SelectObject(dc, previousFont);
}

} // namespace toolkit::detail::win32
