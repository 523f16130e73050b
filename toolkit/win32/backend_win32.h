#pragma once

// The Win32 side of the toolkit: every control a native child window (STATIC, EDIT, BUTTON), so
// that its text and state can be read from outside the program, as screen readers and the tests
// do. The keys are routed by the program's own message loop through the neutral rules instead of
// the dialog manager; a hidden application window owns every window and gives the program its
// one task-bar entry.

#include "toolkit/backend.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace toolkit::detail::win32 {

// A trace of the start-up for finding where its time goes, built only with the macro
// DRILL_WIN32_STARTUP_TRACE (-DCMAKE_CXX_FLAGS=-DDRILL_WIN32_STARTUP_TRACE): each step's tick count
// (the clock of Wine's +timestamp log) and its milliseconds since the process was created, on the
// standard error. The shipped program has no trace.
// A detail is taken as it is, so that the program without the trace converts nothing for it.
#ifdef DRILL_WIN32_STARTUP_TRACE
void traceStep(const char* step, std::string_view detail = {});
void traceStep(const char* step, std::wstring_view detail);
#else
inline void traceStep(const char*, std::string_view = {}) {
}
inline void traceStep(const char*, std::wstring_view) {
}
#endif

// UTF-8 ↔ UTF-16.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
std::wstring windowText(HWND window);

// Fonts by face name, with stand-ins where a face is missing, created once and kept.
class FontBook {
public:
    FontBook();
    FontBook(const FontBook&) = delete;
    FontBook& operator=(const FontBook&) = delete;
    ~FontBook();

    void substitute(std::string_view face, const std::vector<std::string>& faces);
    HFONT font(const FontSpec& requested);
    // The face that a declared font is drawn with.
    std::wstring faceFor(const FontSpec& requested);
    // The line height of a font (ascent and descent, internal leading included).
    int lineHeight(HFONT font) const;
    SIZE textExtent(HFONT font, std::wstring_view text) const;

private:
    bool drawable(const std::wstring& face, const FontSpec& requested);
    HFONT create(const std::wstring& face, const FontSpec& requested) const;

    HDC measuring_;
    std::map<std::wstring, std::vector<std::wstring>> substitutes_; // by upper-cased face
    std::map<std::tuple<std::wstring, int, int, int>, bool> drawable_;
    std::map<std::tuple<std::wstring, int, int, int>, HFONT> fonts_;
};

class FormWindow;

class ControlWindow final : public ControlPeer {
public:
    ControlWindow(FormWindow& form, Control& control, const ControlDecl& declaration, int id);
    ~ControlWindow() override;

    std::string text() const override;
    void setText(std::string_view text) override;
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;
    bool isVisible() const override;
    void setFocus(FocusCause cause) override;
    bool hasFocus() const override;
    Rect bounds() const override;
    void press() override;

    // The control's window, made now (with its form's) if it has not been yet.
    HWND handle() const;
    // Makes the native window, once; its form's window must be there.
    void realize();
    Control& control() const { return control_; }
    ControlKind kind() const { return kind_; }
    COLORREF textColour() const { return colour_; }
    HFONT font() const { return font_; }
    // Paints the OK image button or the panel (both drawn by the program).
    void draw(const DRAWITEMSTRUCT& item) const;
    bool isDefaultButton() const;
    // What a screen reader calls the control: an edit field is named by the label that stands
    // before it on its line, a disabled one keeps the name it had; the others by their text.
    std::wstring accessibleName();
    // An edit field takes its caption's text as its name again and tells a screen reader so.
    void renameField();

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void fitToText();
    // The label that captions this control, or nullptr.
    ControlWindow* caption() const;

    FormWindow& form_;
    Control& control_;
    ControlKind kind_;
    ControlDecl declaration_; // as scaled, for the window made later
    int id_ = 0;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr; // looked up when the window is made
    COLORREF colour_ = 0;
    std::wstring name_; // an edit field's name, as last given
};

class FormWindow final : public FormPeer {
public:
    FormWindow(Form& form, const WindowDecl& declaration, HWND owner);
    ~FormWindow() override;

    std::unique_ptr<ControlPeer> createControl(Control& control,
                                               const ControlDecl& declaration) override;
    void controlsCreated() override;
    std::string caption() const override;
    void moveTo(Point outerTopLeft) override;
    void show() override;
    void hide() override;
    bool isVisible() const override;
    bool isEnabled() const override;
    void focusWindowItself() override;
    void activate() override;
    bool isActiveWindow() const override;
    Rect frame() const override;

    // The window, made now if it has not been yet.
    HWND handle() const;
    // The window if it has been made, else nullptr.
    HWND existingHandle() const { return hwnd_; }
    // Whether all the controls have been declared (their windows are made together).
    bool controlsDeclared() const { return controlsDeclared_; }
    // Makes the native window and its controls, once.
    void realize();
    Form& form() const { return form_; }
    HFONT windowFont() const { return font_; }
    COLORREF windowColour() const { return colour_; }
    // Where the client area has been scrolled to.
    POINT scrollOffset() const { return scroll_; }
    // The control whose window this is, or nullptr.
    ControlWindow* controlOf(HWND window) const;
    void forget(ControlWindow* control);
    // Once the controls start going, nothing is reported to the neutral side any more.
    void beginTeardown() { dying_ = true; }
    bool dying() const { return dying_; }
    void setIcons(HICON big, HICON small);
    // Shows scroll bars where the client area is smaller than the controls' extent.
    void updateScrollBars();

    // The controls in lines from the top (a control whose middle lies within the height of a
    // line's first control belongs to that line), left to right within a line.
    std::vector<std::vector<ControlWindow*>> lines() const;
    std::vector<ControlWindow*> readingOrder() const;
    // A window owned by another window of the program (the result window) is a dialog, described
    // by its labels line by line: «Ответили правильно на 18. Оценка 5».
    bool isDialog() const;
    std::wstring labelLines() const;
    // A label's text changed: the fields are renamed once the handler that changed it has run.
    void labelsChanged();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void scrollBy(int bar, WPARAM request);
    void scrollTo(int x, int y);
    // The controls' native windows, made in their stacking order, then arranged.
    void realizeControls();
    // The controls from the top of the stacking order down.
    std::vector<ControlWindow*> stackingOrder() const;
    // Stacking, the focus cues and the scroll bars, once the controls are there.
    void arrangeControls();

    Form& form_;
    std::wstring caption_;
    std::string name_;
    HWND owner_ = nullptr;
    bool controlsDeclared_ = false;
    bool controlsRealized_ = false;
    SIZE outer_{}; // the outer size this window was made with
    HWND hwnd_ = nullptr;
    FontSpec fontSpec_;
    HFONT font_ = nullptr; // looked up when the window is made
    COLORREF colour_ = 0;
    std::vector<ControlWindow*> controls_;
    POINT scroll_{0, 0};
    SIZE extent_{0, 0};
    bool updatingScroll_ = false;
    bool shownBefore_ = false;
    bool dying_ = false;
    bool renamePosted_ = false;
    int nextId_ = 100;
};

class Win32Application final : public ApplicationPeer {
public:
    Win32Application();
    ~Win32Application() override;

    int resolution() const override;
    int zeroHeight(const FontSpec& font) const override;
    std::vector<Rect> monitors() const override;
    std::optional<Rect> activeWindowFrame() const override;
    std::unique_ptr<FormPeer> createForm(Form& form, const WindowDecl& declaration,
                                         FormPeer* owner) override;
    std::string executablePath() const override;
    std::optional<WindowDecl> layout(std::string_view name) const override;
    bool setIcon(std::string_view name) override;
    void substituteFont(std::string_view face, const std::vector<std::string>& faces) override;
    void runLoop() override;
    void runNestedLoop(const std::function<bool()>& done) override;
    void wakeNestedLoop() override;
    void postQuit() override;
    void beginModal(FormPeer& modal) override;
    void endModal(FormPeer& modal) override;
    void showErrorBox(std::string_view caption, std::string_view text) override;

    HWND applicationWindow() const { return window_; }
    FontBook& fonts() const { return *fonts_; }
    HICON bigIcon() const { return bigIcon_; }
    HICON smallIcon() const { return smallIcon_; }

    void formCreated(FormWindow* form) { forms_.push_back(form); }
    void formGone(FormWindow* form);
    FormWindow* formOf(HWND window) const;
    void formActivated(FormWindow* form) { lastActive_ = form; }
    // Shows the task-bar entry, captioned with the title, whenever a window of the program shows.
    void showApplicationWindow(int command);
    void minimize();
    void restore();
    // Gives the activation to the window that should have it: the modal one, else the last active.
    void reactivate();
    // The windows that a modal show disabled take input again.
    void enableOthers();
    bool isModal(const FormWindow* form) const { return modal_ == form; }
    // Makes the windows that wait for the main window's first showing once the loop has
    // nothing else to do (the main window drawn).
    void realizeLater();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The icons of the task-bar entry, given once they are loaded and the entry shows.
    void giveApplicationIcons();
    // Takes one message; false when it was the quit request.
    bool pumpOne();
    // The keys the neutral rules decide; true when the key was consumed.
    bool routeKey(const MSG& message);

    HWND window_ = nullptr;
    std::unique_ptr<FontBook> fonts_;
    std::vector<FormWindow*> forms_;
    FormWindow* lastActive_ = nullptr;
    FormWindow* modal_ = nullptr;
    std::vector<HWND> disabledByModal_;
    std::vector<HWND> hiddenByMinimize_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    bool minimized_ = false;
    bool realizePending_ = false;
    bool applicationIconsGiven_ = false;
};

Win32Application& backend();
bool hasBackend();

// Answers WM_GETOBJECT for a window or control of the program (0: the standard object answers).
LRESULT answerGetObject(HWND window, WPARAM wParam, LPARAM lParam);

// Runs a piece of window code called from the window system; a failure is reported instead of
// crossing the system's stack frames.
template <typename F> void guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& failure) {
        try {
            app().owner.reportFailure(failure.what());
        } catch (...) {
        }
    } catch (...) {
    }
}

// The same for a window procedure's handler: what it returns, or 0 when it failed.
template <typename F> LRESULT guardedResult(F&& f) {
    LRESULT result = 0;
    guarded([&] { result = f(); });
    return result;
}

// Private messages of the application window.
inline constexpr UINT wakeMessage = WM_APP + 1;
inline constexpr UINT reactivateMessage = WM_APP + 2;
// Private message of a form: rename its fields after its labels changed.
inline constexpr UINT renameMessage = WM_APP + 3;

} // namespace toolkit::detail::win32
