#pragma once

// The seam between the neutral toolkit and a window system. The neutral side (toolkit.cpp) owns
// every rule that both builds follow: handler binding, layout scaling, tab order, what Enter,
// Escape, Tab and the arrow keys do, which window's activation runs its handler, what closing
// does, the modal show and failure reporting. A backend only adapts one window system: it
// creates native windows and controls, tells the neutral side what happened (a key, the focus
// entering a control, a window's activation, a close request, a click) and carries out what it is
// told. Exactly one backend is linked into a program; it defines createApplicationPeer().

#include "toolkit/geometry.h"
#include "toolkit/layout.h"
#include "toolkit/toolkit.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit::detail {

// How the focus came to a control. An edit field selects its whole text when the focus comes by
// the keyboard or by the program, not when a click or the window's reactivation brings it.
enum class FocusCause { Keyboard, Program, Activation };

enum class Key { Enter, Escape, Tab, Left, Right, Up, Down };

struct KeyStroke {
    Key key = Key::Enter;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// What becomes of a key after the toolkit has seen it.
enum class KeyRoute {
    Consumed,  // the toolkit acted on it, or deliberately did nothing: the control never sees it
    ToControl, // the control's own handling applies (the caret keys in the edit field)
};

// What a close request (the frame's close button, the system menu, Form::close) leads to.
enum class CloseOutcome { Hide, Keep };

class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual std::string text() const = 0;
    // A label resizes itself to its new text, its left and top unchanged.
    virtual void setText(std::string_view text) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isVisible() const = 0;
    virtual void setFocus(FocusCause cause) = 0;
    virtual bool hasFocus() const = 0;
    // In the window's client area, in the window system's pixels.
    virtual Rect bounds() const = 0;
    // Presses a push button as a click would; the backend then reports the click.
    virtual void press() = 0;
};

class FormPeer {
public:
    virtual ~FormPeer() = default;
    // Called once per control, in declaration order, with the declaration as scaled.
    virtual std::unique_ptr<ControlPeer> createControl(Control& control,
                                                       const ControlDecl& declaration) = 0;
    // Called once after the last control: stacking, native tab chain, scrollable extent.
    virtual void controlsCreated() = 0;
    virtual std::string caption() const = 0;
    // Moves the outer frame's top-left corner to a point on the screen.
    virtual void moveTo(Point outerTopLeft) = 0;
    // Makes the window visible and active.
    virtual void show() = 0;
    // Hides the window without activating another one.
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    virtual bool isEnabled() const = 0;
    // The window keeps the focus itself, with no control focused.
    virtual void focusWindowItself() = 0;
    // Makes the window the active window again.
    virtual void activate() = 0;
    virtual bool isActiveWindow() const = 0;
    // Outer frame, title bar and border included, in screen coordinates.
    virtual Rect frame() const = 0;
};

class ApplicationPeer {
public:
    virtual ~ApplicationPeer() = default;

    // The window font's resolution, in dots per inch; 96 where the window system scales itself.
    virtual int resolution() const = 0;
    // The height of the text "0" in a font, as laid out on this window system.
    virtual int zeroHeight(const FontSpec& font) const = 0;
    // The monitors' rectangles, in screen coordinates.
    virtual std::vector<Rect> monitors() const = 0;
    // The outer frame of the application's active window, if one of its windows is active.
    virtual std::optional<Rect> activeWindowFrame() const = 0;

    // A window for the given (scaled) declaration, with no controls yet, hidden. The owner is the
    // main window's peer for every window after the first.
    virtual std::unique_ptr<FormPeer> createForm(Form& form, const WindowDecl& declaration,
                                                 FormPeer* owner) = 0;

    // The program's own executable file, as a UTF-8 path.
    virtual std::string executablePath() const = 0;
    // A layout declaration compiled into the program, by name ("Form1"); empty if none. One
    // that does not describe a valid window raises LayoutError.
    virtual std::optional<WindowDecl> layout(std::string_view name) const = 0;
    // Sets the icon of the application and its windows; false if the program has no such icon.
    virtual bool setIcon(std::string_view name) = 0;
    virtual void substituteFont(std::string_view face, const std::vector<std::string>& faces) = 0;

    // Runs the event loop until quit() is taken from the queue.
    virtual void runLoop() = 0;
    // Runs a nested loop, one event at a time, until done() holds or the application ends.
    virtual void runNestedLoop(const std::function<bool()>& done) = 0;
    // Wakes a nested loop so that it checks its condition again.
    virtual void wakeNestedLoop() = 0;
    // Posts the quit request; the backend calls Application's quitTaken() when it takes it.
    virtual void postQuit() = 0;

    // Around a modal show: cancel mouse capture, set the default cursor, keep every other window
    // of the application from taking input; and undo that afterwards.
    virtual void beginModal(FormPeer& modal) = 0;
    virtual void endModal(FormPeer& modal) = 0;

    // A box owned by the application with a caption, a text, the error icon and one OK button;
    // returns when it is closed, with the previously active window active again and the focus
    // back where it was.
    virtual void showErrorBox(std::string_view caption, std::string_view text) = 0;
};

// Defined by the one backend linked into the program.
std::unique_ptr<ApplicationPeer> createApplicationPeer(int& argc, char** argv);
// Lower-cases a UTF-8 text by the window system's rules; needs no application.
std::string lowerCase(std::string_view text);

// -- the neutral state, which the backends read -----------------------------------------------

struct FormState {
    explicit FormState(Form& form) : form(form) {}
    Form& form;
    WindowDecl declaration; // as scaled for the screen
    Handlers handlers;
    std::unique_ptr<FormPeer> peer;
    std::vector<std::unique_ptr<Control>> controls;
    Control* active = nullptr; // the window's active control
    Control* defaultButton = nullptr;
    bool modal = false;
    ModalResult modalResult = ModalResult::None;
    bool placed = false;
};

struct ApplicationState {
    explicit ApplicationState(Application& owner) : owner(owner) {}
    Application& owner;
    std::unique_ptr<ApplicationPeer> peer;
    std::string title;
    Form* mainForm = nullptr;
    Form* focusedForm = nullptr; // the application's focused window
    std::vector<Form*> forms;
    bool terminated = false;
};

// The one application; fails if there is none.
ApplicationState& app();

// -- what the backend reports to the neutral side ---------------------------------------------

// A key pressed while a control of the form (or the form itself: nullptr) has the focus.
KeyRoute keyPressed(Form& form, Control* focused, const KeyStroke& key);
// The keyboard focus entered a control of the form, or the form itself (nullptr).
void focusEntered(Form& form, Control* control);
// The window system made the form the active window.
void windowActivated(Form& form);
// The frame's close button, the system menu or the task bar asked the form to close.
CloseOutcome closeRequested(Form& form);
// A push button was clicked (by the mouse, Space, or press()).
void clicked(Control& control);
// The event loop took the quit request from the queue.
void quitTaken();

ApplicationPeer& peer();

} // namespace toolkit::detail
