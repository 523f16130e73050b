// The rules every window follows, whatever the window system: handler binding, layout scaling,
// tab order, the keys, which activation runs a window's handler, closing, the modal show and
// failure reporting. The backend reports what happened and carries out what it is told.

#include "toolkit/backend.h"
#include "toolkit/texts.h"

#include <algorithm>
#include <stdexcept>

namespace toolkit {

namespace detail {

namespace {

ApplicationState* theApplication = nullptr;

std::vector<Control*> tabOrdered(const FormState& form, TabStop only) {
    std::vector<Control*> ordered;
    for (const auto& control : form.controls) {
        const ControlDecl& decl = control->declaration();
        if (decl.tabOrder && (only == TabStop::No || decl.tabStop == TabStop::Yes)) {
            ordered.push_back(control.get());
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](Control* a, Control* b) {
        return *a->declaration().tabOrder < *b->declaration().tabOrder;
    });
    return ordered;
}

bool focusFirstTabStop(FormState& form) {
    for (Control* control : tabOrdered(form, TabStop::Yes)) {
        if (control->isEnabled() && control->isVisible()) {
            control->peer().setFocus(FocusCause::Activation);
            return true;
        }
    }
    return false;
}

void moveFocus(FormState& form, int step, TabStop only) {
    // Counted from the active control's own place in tab order, whether or not it is a tab stop
    // itself: Tab from the panel goes on to the tab stop after the panel.
    const std::vector<Control*> order = tabOrdered(form, TabStop::No);
    if (order.empty()) {
        return;
    }
    const int count = static_cast<int>(order.size());
    auto at = std::find(order.begin(), order.end(), form.active);
    int index = at == order.end() ? (step > 0 ? -1 : count) : int(at - order.begin());
    for (int tried = 0; tried < count; ++tried) {
        index = ((index + step) % count + count) % count;
        Control* candidate = order[static_cast<std::size_t>(index)];
        const bool eligible = only == TabStop::No || candidate->isTabStop();
        if (eligible && candidate->isEnabled() && candidate->isVisible()) {
            candidate->peer().setFocus(FocusCause::Keyboard);
            return;
        }
    }
}

void runHandler(FormState& form, std::string_view event) {
    if (auto found = form.declaration.events.find(event); found != form.declaration.events.end()) {
        app().owner.invoke(form.handlers.find(found->second)->second);
    }
}

// Layout scaling, once: the window font follows the resolution, then every control follows the
// measured height of "0" against the design's. On a screen finer than 96 dots per inch the
// window's outer size grows by the same factor, so that a window does not show scroll bars only
// because the screen is finer (at 96 it stays as declared, whatever face stands in).
void scaleLayout(WindowDecl& declaration) {
    const int dpi = peer().resolution();
    if (dpi != 96) {
        declaration.font.height = scaleRounded(declaration.font.height, dpi, 96);
    }
    const int measured = peer().zeroHeight(declaration.font);
    const int design = declaration.designTextHeight;
    if (measured == design) {
        return;
    }
    for (ControlDecl& control : declaration.controls) {
        Rect& r = control.bounds;
        const int right = scaleRounded(r.right(), measured, design);
        const int bottom = scaleRounded(r.bottom(), measured, design);
        r.left = scaleRounded(r.left, measured, design);
        r.top = scaleRounded(r.top, measured, design);
        r.width = right - r.left;
        r.height = bottom - r.top;
        if (control.font) {
            control.font->height = scaleRounded(control.font->height, measured, design);
        }
    }
    if (dpi != 96) {
        declaration.outerWidth = scaleRounded(declaration.outerWidth, measured, design);
        declaration.outerHeight = scaleRounded(declaration.outerHeight, measured, design);
    }
}

void checkHandlers(const WindowDecl& declaration, const Handlers& handlers) {
    auto check = [&](const EventBindings& events, const std::string& where) {
        for (const auto& [event, handler] : events) {
            if (!handlers.contains(handler)) {
                throw LayoutError(declaration.name + ": " + where + " names handler \"" + handler +
                                  "\" for \"" + event + "\", which " + declaration.className +
                                  " does not have");
            }
        }
    };
    check(declaration.events, "the window");
    for (const ControlDecl& control : declaration.controls) {
        check(control.events, "control \"" + control.name + "\"");
    }
}

void place(FormState& form) {
    const WindowDecl& d = form.declaration;
    const std::vector<Rect> monitors = peer().monitors();
    if (d.placement == Placement::DesktopCentred) {
        // Computed once, when the window is first shown.
        if (form.placed) {
            return;
        }
        Rect desktop = monitors.empty() ? Rect{} : monitors.front();
        for (const Rect& m : monitors) {
            const int left = std::min(desktop.left, m.left);
            const int top = std::min(desktop.top, m.top);
            desktop = {left, top, std::max(desktop.right(), m.right()) - left,
                       std::max(desktop.bottom(), m.bottom()) - top};
        }
        form.peer->moveTo(
            centredOrigin(desktop.width, desktop.height, d.outerWidth, d.outerHeight));
        form.placed = true;
        return;
    }
    Rect frame{d.left, d.top, d.outerWidth, d.outerHeight};
    if (const std::optional<Rect> active = peer().activeWindowFrame()) {
        if (auto moved = followActiveMonitor(frame, *active, monitors)) {
            frame.left = moved->x;
            frame.top = moved->y;
        }
    }
    form.peer->moveTo({frame.left, frame.top});
    form.placed = true;
}

Form* activeForm() {
    for (Form* form : app().forms) {
        if (form->peer().isActiveWindow()) {
            return form;
        }
    }
    return nullptr;
}

} // namespace

ApplicationState& app() {
    if (!theApplication) {
        throw std::logic_error("no toolkit::Application exists");
    }
    return *theApplication;
}

ApplicationPeer& peer() {
    return *app().peer;
}

KeyRoute keyPressed(Form& form, Control* focused, const KeyStroke& key) {
    FormState& state = form.state();
    const bool onButton = focused && focused->isButton();
    switch (key.key) {
    case Key::Enter: {
        if (key.shift || key.ctrl || key.alt) {
            return KeyRoute::Consumed;
        }
        // Enter presses the focused push button, or else the window's default button.
        Control* pressed = onButton ? focused : state.defaultButton;
        if (pressed && pressed->isEnabled() && pressed->isVisible()) {
            pressed->peer().press();
        }
        return KeyRoute::Consumed;
    }
    case Key::Escape:
        // Escape presses a window's cancel button; no window here has one.
        return KeyRoute::Consumed;
    case Key::Tab:
        if (!key.alt && !key.ctrl) {
            moveFocus(state, key.shift ? -1 : 1, TabStop::Yes);
        }
        return KeyRoute::Consumed;
    case Key::Left:
    case Key::Right:
    case Key::Up:
    case Key::Down: {
        if (focused && focused->kind() == ControlKind::Edit) {
            return KeyRoute::ToControl; // the caret moves
        }
        const bool onPanel = focused && focused->kind() == ControlKind::Panel;
        if (key.alt || !state.active || !(onButton || onPanel)) {
            return KeyRoute::Consumed;
        }
        const bool forward = key.key == Key::Right || key.key == Key::Down;
        moveFocus(state, forward ? 1 : -1, TabStop::No);
        return KeyRoute::Consumed;
    }
    }
    return KeyRoute::ToControl;
}

void focusEntered(Form& form, Control* control) {
    form.state().active = control;
    ApplicationState& application = app();
    if (application.focusedForm != &form) {
        application.focusedForm = &form;
        runHandler(form.state(), "activate");
    }
}

void windowActivated(Form& form) {
    FormState& state = form.state();
    Control* active = state.active;
    if (active && active->isEnabled() && active->isVisible()) {
        active->peer().setFocus(FocusCause::Activation);
        return;
    }
    // A window without an active control gives the focus to its first enabled, visible tab
    // stop; with none, the window keeps the focus itself, which is its activation too.
    state.active = nullptr;
    if (!focusFirstTabStop(state)) {
        state.peer->focusWindowItself();
    }
}

CloseOutcome closeRequested(Form& form) {
    FormState& state = form.state();
    if (state.modal) {
        // A modal window is not hidden by closing: its loop ends with Cancel and hides it.
        state.modalResult = ModalResult::Cancel;
        peer().wakeNestedLoop();
        return CloseOutcome::Keep;
    }
    if (app().mainForm == &form) {
        app().owner.terminate();
    }
    return CloseOutcome::Hide;
}

void clicked(Control& control) {
    const EventBindings& events = control.declaration().events;
    if (auto found = events.find("click"); found != events.end()) {
        const Handlers& handlers = control.form().state().handlers;
        app().owner.invoke(handlers.find(found->second)->second);
    }
}

void quitTaken() {
    app().terminated = true;
}

} // namespace detail

using detail::app;
using detail::peer;

// ---------------------------------------------------------------------------------------------
// Control

Control::Control(Form& form, const ControlDecl& declaration)
    : form_(form), declaration_(declaration) {
}
Control::~Control() = default;

const std::string& Control::name() const {
    return declaration_.name;
}
ControlKind Control::kind() const {
    return declaration_.kind;
}
bool Control::isButton() const {
    return declaration_.kind == ControlKind::Button || declaration_.kind == ControlKind::OkButton;
}

std::string Control::text() const {
    return peer_->text();
}
void Control::setText(std::string_view text) {
    peer_->setText(text);
}
bool Control::isEnabled() const {
    return peer_->isEnabled();
}

void Control::setEnabled(Enabled enabled) {
    detail::FormState& form = form_.state();
    if (enabled == Enabled::No && (peer_->hasFocus() || form.active == this)) {
        // Disabling the focused control leaves the window itself with the focus and no active
        // control, so its next activation focuses the first enabled tab stop.
        form.active = nullptr;
        form.peer->focusWindowItself();
    }
    peer_->setEnabled(enabled == Enabled::Yes);
}

bool Control::isVisible() const {
    return peer_->isVisible();
}
void Control::setFocus() {
    peer_->setFocus(detail::FocusCause::Program);
}
bool Control::hasFocus() const {
    return peer_->hasFocus();
}
Rect Control::bounds() const {
    return peer_->bounds();
}

// ---------------------------------------------------------------------------------------------
// Form

namespace {

WindowDecl loadLayout(std::string_view name) {
    std::optional<WindowDecl> declaration = peer().layout(name);
    if (!declaration) {
        throw LayoutError("no layout \"" + std::string(name) + "\" in the program");
    }
    return std::move(*declaration);
}

} // namespace

Form::Form(const WindowDecl& declaration, Handlers handlers)
    : state_(std::make_unique<detail::FormState>(*this)) {
    detail::ApplicationState& application = app();
    detail::FormState& s = *state_;
    // A declaration made in code has not been through the reader's checks; a wrong one must
    // fail here, before anything is created (a zero design text height would divide by zero).
    checkWindow(declaration);
    // Every handler that the declaration names must exist before anything is created.
    detail::checkHandlers(declaration, handlers);
    s.declaration = declaration;
    s.handlers = std::move(handlers);
    detail::scaleLayout(s.declaration);

    // Every window after the first is owned by the main window.
    detail::FormPeer* owner = application.mainForm ? &application.mainForm->peer() : nullptr;
    s.peer = detail::peer().createForm(*this, s.declaration, owner);
    for (const ControlDecl& decl : s.declaration.controls) {
        auto control = std::unique_ptr<Control>(new Control(*this, decl));
        control->peer_ = s.peer->createControl(*control, control->declaration_);
        if (decl.kind == ControlKind::OkButton) {
            s.defaultButton = control.get();
        }
        s.controls.push_back(std::move(control));
    }
    s.peer->controlsCreated();

    if (!application.mainForm) {
        application.mainForm = this;
    }
    application.forms.push_back(this);
}

Form::Form(std::string_view layoutName, Handlers handlers)
    : Form(loadLayout(layoutName), std::move(handlers)) {
}

Form::~Form() {
    if (detail::theApplication) {
        detail::ApplicationState& application = app();
        std::erase(application.forms, this);
        if (application.focusedForm == this) {
            application.focusedForm = nullptr;
        }
        if (application.mainForm == this) {
            application.mainForm = nullptr;
        }
    }
    state_->controls.clear();
    state_->peer.reset();
}

const WindowDecl& Form::declaration() const {
    return state_->declaration;
}
std::string Form::caption() const {
    return state_->peer->caption();
}
detail::FormPeer& Form::peer() const {
    return *state_->peer;
}
const std::vector<std::unique_ptr<Control>>& Form::controls() const {
    return state_->controls;
}

Control& Form::control(std::string_view name) {
    for (auto& control : state_->controls) {
        if (control->name() == name) {
            return *control;
        }
    }
    throw LayoutError(state_->declaration.name + " has no control \"" + std::string(name) + "\"");
}

Control& Form::control(std::string_view name, ControlKind expected) {
    Control& found = control(name);
    if (found.kind() != expected) {
        throw LayoutError(state_->declaration.name + ": control \"" + std::string(name) +
                          "\" is a " + std::string(kindName(found.kind())) + ", not a " +
                          std::string(kindName(expected)));
    }
    return found;
}

void Form::show() {
    detail::FormState& s = *state_;
    if (s.peer->isVisible()) {
        return;
    }
    // The show handler runs before the window is placed and drawn.
    detail::runHandler(s, "show");
    detail::place(s);
    s.peer->show();
}

void Form::hide() {
    state_->peer->hide();
}

void Form::close() {
    if (detail::closeRequested(*this) == detail::CloseOutcome::Hide) {
        state_->peer->hide();
    }
}

ModalResult Form::showModal() {
    detail::FormState& s = *state_;
    detail::ApplicationState& application = app();
    if (s.peer->isVisible() || !s.peer->isEnabled() || s.modal) {
        throw std::runtime_error("Cannot make a visible window modal");
    }
    Form* previousActive = detail::activeForm();
    Form* previousFocused = application.focusedForm;
    application.focusedForm = this;
    detail::peer().beginModal(*s.peer);
    s.modal = true;
    s.modalResult = ModalResult::None;

    show();
    detail::runHandler(s, "activate");

    detail::peer().runNestedLoop(
        [&] { return s.modalResult != ModalResult::None || application.terminated; });
    if (s.modalResult == ModalResult::None) {
        s.modalResult = ModalResult::Cancel; // the application is ending
    }

    if (!s.peer->isActiveWindow()) {
        previousActive = nullptr;
    }
    s.modal = false;
    // The remembered focused window is focused again before the modal one goes, so that a
    // window system that activates the owner at once does not run its activation handler.
    application.focusedForm = previousFocused;
    s.peer->hide();
    detail::peer().endModal(*s.peer);
    if (previousActive) {
        previousActive->peer().activate();
    }
    return s.modalResult;
}

bool Form::isVisible() const {
    return state_->peer->isVisible();
}
bool Form::isEnabled() const {
    return state_->peer->isEnabled();
}
bool Form::isFocusedWindow() const {
    return app().focusedForm == this;
}
Control* Form::activeControl() {
    return state_->active;
}
Rect Form::frame() const {
    return state_->peer->frame();
}

// ---------------------------------------------------------------------------------------------
// Application

Application::Application(int& argc, char** argv)
    : state_(std::make_unique<detail::ApplicationState>(*this)) {
    if (detail::theApplication) {
        throw std::logic_error("only one toolkit::Application may exist");
    }
    detail::theApplication = state_.get();
    try {
        state_->peer = detail::createApplicationPeer(argc, argv);
    } catch (...) {
        detail::theApplication = nullptr;
        throw;
    }
    state_->title = titleFromExecutable(state_->peer->executablePath());
}

Application::~Application() {
    state_->peer.reset();
    detail::theApplication = nullptr;
}

Application& Application::instance() {
    return app().owner;
}

const std::string& Application::title() const {
    return state_->title;
}
void Application::setTitle(std::string title) {
    state_->title = std::move(title);
}
Form* Application::mainForm() const {
    return state_->mainForm;
}

int Application::run() {
    // A quit request may already have been taken from the queue by a nested loop (a message box
    // or a modal window shown before the loop runs); the application has ended then.
    if (!state_->terminated) {
        state_->peer->runLoop();
    }
    state_->terminated = true;
    return 0;
}

void Application::terminate() {
    state_->peer->postQuit();
}

bool Application::isTerminated() const {
    return state_->terminated;
}

void Application::setIcon(std::string_view resource) {
    if (!state_->peer->setIcon(resource)) {
        throw std::logic_error("no icon \"" + std::string(resource) + "\" in the program");
    }
}

void Application::substituteFont(std::string_view face,
                                 std::initializer_list<std::string_view> substitutes) {
    std::vector<std::string> faces(substitutes.begin(), substitutes.end());
    state_->peer->substituteFont(face, faces);
}

void Application::reportFailure(std::string_view message) {
    // An executable whose name starts with a full stop («.hidden») has an empty title; its boxes
    // are captioned with the file name as it stands rather than with nothing.
    std::string caption = state_->title;
    if (caption.empty()) {
        const std::string path = state_->peer->executablePath();
        const std::size_t slash = path.find_last_of("/\\");
        caption = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    showErrorBox(caption, failureText(message));
}

void Application::invoke(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& failure) {
        reportFailure(failure.what());
    } catch (...) {
        reportFailure("Unknown failure");
    }
}

void showErrorBox(std::string_view caption, std::string_view text) {
    peer().showErrorBox(caption, text);
}

// ---------------------------------------------------------------------------------------------
// The title

namespace {

// The length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead < 0xF0 ? 3 : 1;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// The end of the first `count` characters of a UTF-8 text.
std::size_t characterPrefix(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t n = 0; n < count && at < text.size(); ++n) {
        at = std::min(text.size(), at + sequenceLength(static_cast<unsigned char>(text[at])));
    }
    return at;
}

} // namespace

std::string titleFromExecutable(std::string_view path) {
    std::string_view name = path;
    if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    const std::size_t first = characterPrefix(name, 1);
    std::string title(name.substr(0, first));
    title += detail::lowerCase(name.substr(first));
    title.resize(characterPrefix(title, 255));
    return title;
}

} // namespace toolkit
