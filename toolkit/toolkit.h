#pragma once

// The small window toolkit that the shell and the windows are written against: top-level windows
// created from layout declarations, five kinds of control, keyboard focus with a default button,
// a modal show and a message box. Handlers are bound by name when a window is created; a failure
// raised by a handler is caught where the event reached its window and reported by the
// application. The toolkit knows nothing of the drill; no window-system type appears here.

#include "toolkit/layout.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

namespace detail {
class ControlPeer;
class FormPeer;
class ApplicationPeer;
struct FormState;
struct ApplicationState;
} // namespace detail

class Form;

enum class Enabled { No, Yes };
enum class ModalResult { None, Cancel };

// One control of a window, reached by its declared name. Valid for the window's lifetime.
class Control {
public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    ~Control();

    const std::string& name() const;
    ControlKind kind() const;

    // The text shown: a label's, a button's or panel's caption, an edit field's content.
    std::string text() const;
    void setText(std::string_view text);

    bool isEnabled() const;
    void setEnabled(Enabled enabled);
    bool isVisible() const;

    // Gives the control the keyboard focus (the window's active control).
    void setFocus();
    bool hasFocus() const;

    // Position and size in the window's client area, in the window system's pixels.
    Rect bounds() const;

    Form& form() const { return form_; }
    // The declaration as scaled for the screen.
    const ControlDecl& declaration() const { return declaration_; }
    bool isTabStop() const { return declaration_.tabStop == TabStop::Yes; }
    bool isButton() const;

    // The window system's side of the control; backends and their tests reach it.
    detail::ControlPeer& peer() const { return *peer_; }

private:
    friend class Form;
    Control(Form& form, const ControlDecl& declaration);
    Form& form_;
    ControlDecl declaration_;
    std::unique_ptr<detail::ControlPeer> peer_;
};

// Handler name → the window's method that runs for it.
using Handlers = std::map<std::string, std::function<void()>, std::less<>>;

// A top-level window created from a layout declaration. Created hidden; the first window created
// in an application becomes its main window, whose closing ends the application.
class Form {
public:
    // Creates the window and its controls from a declaration, binding every handler that the
    // declaration names. An unknown handler name fails loudly with LayoutError.
    Form(const WindowDecl& declaration, Handlers handlers);
    // The same from a declaration compiled into the program, by its name, e.g. "Form1".
    Form(std::string_view layoutName, Handlers handlers);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    const WindowDecl& declaration() const;
    std::string caption() const;

    // A control by name; an unknown name fails with LayoutError naming it.
    Control& control(std::string_view name);
    Control& control(std::string_view name, ControlKind expected);

    void show();
    void hide();
    // Closes the window: a modal window's result becomes Cancel; the main window ends the
    // application; any other window is hidden.
    void close();
    // Shows the window modally and returns when it is closed. A window already visible, disabled
    // or shown modally is refused with a failure.
    ModalResult showModal();

    bool isVisible() const;
    bool isEnabled() const;
    // Whether the window is the application's focused window.
    bool isFocusedWindow() const;
    // The control that has the focus within this window, if any.
    Control* activeControl();
    // Outer frame (title bar and border included), in screen coordinates.
    Rect frame() const;
    // Every control, in declaration order.
    const std::vector<std::unique_ptr<Control>>& controls() const;

    // The window system's side of the window; backends and their tests reach it.
    detail::FormPeer& peer() const;
    detail::FormState& state() const { return *state_; }

private:
    std::unique_ptr<detail::FormState> state_;
};

// The application: one per process. Its title comes from the executable's file name and captions
// every message box.
class Application {
public:
    Application(int& argc, char** argv);
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    ~Application();

    static Application& instance();

    const std::string& title() const;
    void setTitle(std::string title);
    // The window whose closing ends the application: the first window created.
    Form* mainForm() const;

    // Runs the event loop until the application is terminated; returns the exit status, 0.
    int run();
    // Posts a quit request; the event loop ends when it takes it from the queue, and so does
    // any modal loop running inside it.
    void terminate();
    bool isTerminated() const;

    // The icon of the application and its windows, from an image compiled into the program.
    void setIcon(std::string_view resource);

    // Faces to use, in order of preference, where a window names a face that is not installed.
    void substituteFont(std::string_view face, std::initializer_list<std::string_view> substitutes);

    // Shows a failure's message in a message box under the application title.
    void reportFailure(std::string_view message);

    // Runs a handler; a failure it raises is reported and goes no further.
    void invoke(const std::function<void()>& handler);

    detail::ApplicationState& state() const { return *state_; }

private:
    std::unique_ptr<detail::ApplicationState> state_;
};

// A message box owned by the application: caption, text, the error icon and one OK button.
// Every window is disabled while it is shown; the focus goes back to where it was afterwards.
void showErrorBox(std::string_view caption, std::string_view text);

// The application title derived from an executable's path (UTF-8; either kind of slash):
// directory dropped, cut at the first full stop, first character kept, the rest in lower case by
// the window system's rules, at most 255 characters. "DRILL.EXE" → "Drill", "my.drill.exe" → "my".
std::string titleFromExecutable(std::string_view path);

} // namespace toolkit
