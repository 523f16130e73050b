#include "toolkit/qt/backend_qt.h"

#include "toolkit/qt/accessibility_qt.h"
#include "toolkit/geometry.h"
#include "toolkit/qt/widgets_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace toolkit {

namespace detail {

namespace {

ApplicationBackend* theApplication = nullptr;

QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor colourOf(Colour colour) {
    switch (colour) {
    case Colour::Maroon:
        return {128, 0, 0};
    case Colour::WindowText:
        break;
    }
    return QApplication::palette().color(QPalette::WindowText);
}

QFont fontOf(const FontSpec& declared) {
    QFont font(toQt(declared.face));
    font.setPixelSize(declared.height);
    font.setItalic(declared.style == FontStyle::Italic);
    font.setWeight(QFont::Normal);
    return font;
}

void applyFont(QWidget* widget, const FontSpec& declared) {
    widget->setFont(fontOf(declared));
    QPalette palette = widget->palette();
    const QColor colour = colourOf(declared.colour);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

// Frame and title bar assumed until the window manager tells the real ones.
constexpr QMargins assumedFrame(4, 23, 4, 4);

std::vector<Rect> monitorRects() {
    std::vector<Rect> rects;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        rects.push_back({g.x(), g.y(), g.width(), g.height()});
    }
    return rects;
}

Rect rectOf(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

// The resolution to scale fonts by, in dots per inch of device-independent pixels: Qt's own
// high-DPI scaling already turns those into device pixels, so this is 96 unless the platform
// reports a logical resolution that Qt did not fold into its scale factor.
int resolution() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return 96;
    }
    return qRound(screen->logicalDotsPerInchY());
}

} // namespace

ApplicationBackend& app() {
    if (!theApplication) {
        throw std::logic_error("no toolkit::Application exists");
    }
    return *theApplication;
}

// ---------------------------------------------------------------------------------------------
// Window

FormWindow::FormWindow(FormBackend& form, QWidget* owner)
    : QWidget(owner, Qt::Window), form_(form) {
}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (form_.modal) {
        // A modal window is not hidden by closing: its loop ends with Cancel and hides it.
        event->ignore();
        form_.modalResult = ModalResult::Cancel;
        if (form_.modalLoop) {
            form_.modalLoop->exit();
        }
        return;
    }
    event->accept();
    if (app().mainForm == &form_.owner) {
        app().owner.terminate();
    }
}

bool FormWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate: {
        const bool handled = QWidget::event(event);
        form_.onActivated();
        return handled;
    }
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        // The window manager reports the frame once it has framed the window.
        if (!form_.outerSizeFitted && isVisible()) {
            QTimer::singleShot(0, this, [this] { form_.fitOuterSize(); });
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

FormBackend::FormBackend(Form& owner, WindowDecl decl, Handlers handlerTable)
    : owner(owner), declaration(std::move(decl)), handlers(std::move(handlerTable)) {
    ApplicationBackend& application = app();

    // A declaration made in code has not been through the reader's checks; a wrong one must
    // fail here, before anything is created (a zero design text height would divide by zero).
    checkWindow(declaration);
    // Every handler that the declaration names must exist before anything is created.
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

    // Layout scaling, once: the window font follows the resolution, then every control follows
    // the measured height of "0" against the design's.
    const int dpi = resolution();
    if (dpi != 96) {
        declaration.font.height = scaleRounded(declaration.font.height, dpi, 96);
    }
    const int measured = QFontMetrics(fontOf(declaration.font)).height();
    if (measured != declaration.designTextHeight) {
        const int design = declaration.designTextHeight;
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
    }

    QWidget* ownerWidget = nullptr;
    if (application.mainForm) {
        // Owned by the main window: one task-bar entry for the program, kept above its owner.
        ownerWidget = application.mainForm->backend().window;
    }
    window = new FormWindow(*this, ownerWidget);
    window->setObjectName(toQt(declaration.name));
    window->setWindowTitle(toQt(declaration.caption));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setFocusPolicy(Qt::NoFocus);
    applyFont(window, declaration.font);

    auto* frameLayout = new QVBoxLayout(window);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    scroller = new QScrollArea(window);
    frameLayout->addWidget(scroller);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus);
    // The client area fills the window and is never smaller than its controls need: scroll
    // bars appear only when the window is smaller than that, whatever the frame's size or the
    // rounding of a fractional scale factor leave of the designed outer size.
    scroller->setWidgetResizable(true);
    scroller->setBackgroundRole(QPalette::Window);
    scroller->viewport()->setBackgroundRole(QPalette::Window);
    canvas = new QWidget;
    canvas->setObjectName(QStringLiteral("clientArea"));
    canvas->setFocusPolicy(Qt::NoFocus);
    scroller->setWidget(canvas);

    const QSize client(declaration.outerWidth - assumedFrame.left() - assumedFrame.right(),
                       declaration.outerHeight - assumedFrame.top() - assumedFrame.bottom());
    window->resize(client);
    scroller->resize(client);

    createControls();
    fitClientArea();
    window->installEventFilter(this);
    canvas->installEventFilter(this);

    application.forms.push_back(this);
}

FormBackend::~FormBackend() {
    ApplicationBackend& application = app();
    std::erase(application.forms, this);
    if (application.focusedForm == this) {
        application.focusedForm = nullptr;
    }
    controls.clear();
    delete window.data();
}

void FormBackend::createControls() {
    QWidget* lastTabStop = nullptr;
    for (const ControlDecl& decl : declaration.controls) {
        QWidget* widget = nullptr;
        switch (decl.kind) {
        case ControlKind::Label:
            widget = new AutoSizeLabel(canvas);
            break;
        case ControlKind::Edit:
            widget = new AnswerEdit(canvas);
            break;
        case ControlKind::Button:
            widget = new PushButton(canvas);
            break;
        case ControlKind::OkButton:
            widget = new OkImageButton(canvas);
            break;
        case ControlKind::Panel:
            widget = new BevelPanel(canvas);
            break;
        }
        widget->setObjectName(toQt(decl.name));
        if (decl.font) {
            applyFont(widget, *decl.font);
        }
        const Rect& r = decl.bounds;
        widget->setGeometry(r.left, r.top, r.width, r.height);
        if (decl.kind == ControlKind::Edit) {
            // An edit field's height follows its font: one line and 8 pixels of border.
            widget->resize(r.width, QFontMetrics(widget->font()).height() + 8);
        }
        auto backend = std::make_unique<ControlBackend>(decl, widget, *this);
        controls.push_back(std::unique_ptr<Control>(new Control(std::move(backend))));
        Control& control = *controls.back();
        control.setText(decl.text);
        widget->installEventFilter(this);

        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (auto found = decl.events.find("click"); found != decl.events.end()) {
                std::function<void()>& handler = handlers.find(found->second)->second;
                QObject::connect(button, &QAbstractButton::clicked, this,
                                 [&handler] { app().invoke(handler); });
            }
        }
        if (decl.kind == ControlKind::OkButton) {
            defaultButton = &control;
        }
    }
    for (Control* control : tabOrdered(TabStop::Yes)) {
        QWidget* widget = control->backend().widget;
        if (lastTabStop) {
            QWidget::setTabOrder(lastTabStop, widget);
        }
        lastTabStop = widget;
    }
    // Edit fields, buttons and panels cover the labels they overlap.
    for (auto& control : controls) {
        if (control->kind() == ControlKind::Label) {
            control->backend().widget->lower();
        }
    }
}

Control* FormBackend::controlOf(const QWidget* widget) const {
    for (const auto& control : controls) {
        if (control->backend_->widget == widget) {
            return control.get();
        }
    }
    return nullptr;
}

std::vector<Control*> FormBackend::tabOrdered(TabStop only) const {
    std::vector<Control*> ordered;
    for (const auto& control : controls) {
        const ControlDecl& decl = control->backend_->declaration;
        if (decl.tabOrder && (only == TabStop::No || decl.tabStop == TabStop::Yes)) {
            ordered.push_back(control.get());
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](Control* a, Control* b) {
        return *a->backend_->declaration.tabOrder < *b->backend_->declaration.tabOrder;
    });
    return ordered;
}

bool FormBackend::focusFirstTabStop() {
    for (Control* control : tabOrdered(TabStop::Yes)) {
        if (control->isEnabled() && control->isVisible()) {
            control->backend_->widget->setFocus(Qt::ActiveWindowFocusReason);
            return true;
        }
    }
    return false;
}

void FormBackend::moveFocus(int step, TabStop only, Qt::FocusReason reason) {
    // Counted from the active control's own place in tab order, whether or not it is a tab stop
    // itself: Tab from the panel goes on to the tab stop after the panel.
    const std::vector<Control*> order = tabOrdered(TabStop::No);
    if (order.empty()) {
        return;
    }
    const int count = static_cast<int>(order.size());
    auto at = std::find(order.begin(), order.end(), active);
    int index = at == order.end() ? (step > 0 ? -1 : count) : int(at - order.begin());
    for (int tried = 0; tried < count; ++tried) {
        index = ((index + step) % count + count) % count;
        Control* candidate = order[static_cast<std::size_t>(index)];
        const bool eligible =
            only == TabStop::No || candidate->backend_->declaration.tabStop == TabStop::Yes;
        if (eligible && candidate->isEnabled() && candidate->isVisible()) {
            candidate->backend_->widget->setFocus(reason);
            return;
        }
    }
}

void FormBackend::runHandler(std::string_view event) {
    if (auto found = declaration.events.find(event); found != declaration.events.end()) {
        app().invoke(handlers.find(found->second)->second);
    }
}

bool FormBackend::routeKey(QWidget* target, QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool withAlt = modifiers & Qt::AltModifier;
    const bool withCtrl = modifiers & Qt::ControlModifier;
    Control* focused = controlOf(target);
    const bool onButton = focused && (focused->kind() == ControlKind::Button ||
                                      focused->kind() == ControlKind::OkButton);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (modifiers != Qt::NoModifier) {
            return true;
        }
        // Enter presses the focused push button, or else the window's default button.
        Control* pressed = onButton ? focused : defaultButton;
        if (pressed && pressed->isEnabled() && pressed->isVisible()) {
            static_cast<QAbstractButton*>(pressed->backend_->widget)->click();
        }
        return true;
    }
    case Qt::Key_Escape:
        // No window here has a cancel button, so Escape does nothing.
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!withAlt && !withCtrl) {
            const bool back = event->key() == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier);
            moveFocus(back ? -1 : 1, TabStop::Yes,
                      back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        }
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (focused && focused->kind() == ControlKind::Edit) {
            // The caret moves. A single-line field has no line above or below: Up and Down move
            // it back and forward like Left and Right (Qt's line edit would ignore them, and the
            // scroll area around the controls would scroll instead).
            if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
                auto* edit = static_cast<QLineEdit*>(target);
                const bool mark = modifiers & Qt::ShiftModifier;
                if (event->key() == Qt::Key_Up) {
                    edit->cursorBackward(mark);
                } else {
                    edit->cursorForward(mark);
                }
                return true;
            }
            return false;
        }
        if (withAlt || !active ||
            !(onButton || (focused && focused->kind() == ControlKind::Panel))) {
            return true;
        }
        const bool forward = event->key() == Qt::Key_Right || event->key() == Qt::Key_Down;
        moveFocus(forward ? 1 : -1, TabStop::No, Qt::OtherFocusReason);
        return true;
    }
    default:
        return false;
    }
}

bool FormBackend::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A key travels up to the window when the control ignores it; route it once, where it
        // was first delivered: at the focused widget.
        if (widget && widget == QApplication::focusWidget()) {
            return routeKey(widget, static_cast<QKeyEvent*>(event));
        }
        // A key that a control left alone ends at the client area: the scroll area around it
        // would otherwise scroll the window with arrow and page keys.
        if (widget == canvas) {
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void FormBackend::onFocusEntered(QWidget* widget) {
    active = controlOf(widget);
    ApplicationBackend& application = app();
    if (application.focusedForm != this) {
        application.focusedForm = this;
        runHandler("activate");
    }
}

void FormBackend::onActivated() {
    // A window without an active control gives the focus to its first enabled, visible tab stop.
    if (!active || !active->isEnabled() || !active->isVisible()) {
        active = nullptr;
        // With nothing to focus the window takes the focus itself, which is its activation too
        // (Qt would leave a window without focusable controls with no focus at all).
        if (!focusFirstTabStop()) {
            window->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
}

void FormBackend::place() {
    const QSize outer(declaration.outerWidth, declaration.outerHeight);
    if (declaration.placement == Placement::DesktopCentred) {
        if (placed) {
            return;
        }
        QRect desktop;
        for (const QScreen* screen : QGuiApplication::screens()) {
            desktop = desktop.united(screen->geometry());
        }
        const Point origin =
            centredOrigin(desktop.width(), desktop.height(), outer.width(), outer.height());
        window->move(origin.x, origin.y);
        placed = true;
        return;
    }
    Rect frame{declaration.left, declaration.top, outer.width(), outer.height()};
    const QWidget* activeWindow = QApplication::activeWindow();
    const std::vector<Rect> monitors = monitorRects();
    if (activeWindow && activeWindow != window) {
        if (auto moved =
                followActiveMonitor(frame, rectOf(activeWindow->frameGeometry()), monitors)) {
            frame.left = moved->x;
            frame.top = moved->y;
        }
    }
    window->move(frame.left, frame.top);
    placed = true;
}

void FormBackend::fitOuterSize() {
    // The designed size is the outer size; once the window manager has framed the window, the
    // client area takes what the real frame leaves of it.
    if (outerSizeFitted || !window || !window->windowHandle()) {
        return;
    }
    const QMargins frame = window->windowHandle()->frameMargins();
    if (frame.isNull()) {
        return;
    }
    outerSizeFitted = true;
    const QSize client(declaration.outerWidth - frame.left() - frame.right(),
                       declaration.outerHeight - frame.top() - frame.bottom());
    if (client != window->size()) {
        window->resize(client);
    }
}

void FormBackend::fitClientArea() {
    // The client area holds every control where it was placed: where controls reach beyond the
    // window, the window scrolls to them.
    QRect extent;
    for (const auto& control : controls) {
        extent = extent.united(control->backend_->widget->geometry());
    }
    canvas->setMinimumSize(std::max(0, extent.right() + 1), std::max(0, extent.bottom() + 1));
}

// ---------------------------------------------------------------------------------------------
// Application

ApplicationBackend::ApplicationBackend(Application& owner, int& argc, char** argv) : owner(owner) {
    if (!QApplication::instance()) {
        ownedApp = std::make_unique<QApplication>(argc, argv);
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);
    installAccessibility();
    title = titleFromExecutable(QCoreApplication::applicationFilePath().toStdString());
    QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now) {
            return; // another program has the focus: the focused window stays as it is
        }
        if (FormBackend* form = formOf(now)) {
            form->onFocusEntered(now);
        }
    });
    // Asked by the session manager whether the program may end, it agrees without a question.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, this, [](QSessionManager&) {});
}

ApplicationBackend::~ApplicationBackend() = default;

FormBackend* ApplicationBackend::formOf(const QWidget* widget) const {
    const QWidget* top = widget ? widget->window() : nullptr;
    for (FormBackend* form : forms) {
        if (form->window == top) {
            return form;
        }
    }
    return nullptr;
}

void ApplicationBackend::invoke(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& failure) {
        owner.reportFailure(failure.what());
    } catch (...) {
        owner.reportFailure("Unknown failure");
    }
}

} // namespace detail

using detail::app;
using detail::toQt;

// ---------------------------------------------------------------------------------------------
// Control

Control::Control(std::unique_ptr<detail::ControlBackend> backend) : backend_(std::move(backend)) {
}
Control::~Control() = default;

const std::string& Control::name() const {
    return backend_->declaration.name;
}
ControlKind Control::kind() const {
    return backend_->declaration.kind;
}

std::string Control::text() const {
    QWidget* w = backend_->widget;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    return static_cast<QLabel*>(w)->text().toStdString();
}

void Control::setText(std::string_view text) {
    QWidget* w = backend_->widget;
    const QString value = toQt(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(value);
        button->setAccessibleName(value);
    } else if (auto* label = dynamic_cast<detail::AutoSizeLabel*>(w)) {
        label->setCaption(value);
        backend_->form.fitClientArea(); // the label may now reach further
    } else {
        static_cast<QLabel*>(w)->setText(value);
    }
}

bool Control::isEnabled() const {
    return backend_->widget->isEnabled();
}

void Control::setEnabled(Enabled enabled) {
    QWidget* w = backend_->widget;
    if (enabled == Enabled::No && (w->hasFocus() || backend_->form.active == this)) {
        // Disabling the focused control leaves the window itself with the focus and no active
        // control (Qt would move the focus on to the next control instead).
        backend_->form.active = nullptr;
        backend_->form.window->setFocus(Qt::OtherFocusReason);
    }
    w->setEnabled(enabled == Enabled::Yes);
}

bool Control::isVisible() const {
    return backend_->widget->isVisibleTo(backend_->form.window);
}

void Control::setFocus() {
    backend_->widget->setFocus(Qt::OtherFocusReason);
}

bool Control::hasFocus() const {
    return backend_->widget->hasFocus();
}

Rect Control::bounds() const {
    return detail::rectOf(backend_->widget->geometry());
}

// ---------------------------------------------------------------------------------------------
// Form

namespace {

WindowDecl loadLayout(std::string_view resource) {
    QFile file(toQt(resource));
    if (!file.open(QIODevice::ReadOnly)) {
        throw LayoutError("no layout \"" + std::string(resource) + "\" in the program");
    }
    const QByteArray json = file.readAll();
    return readLayout(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
}

} // namespace

Form::Form(const WindowDecl& declaration, Handlers handlers)
    : backend_(std::make_unique<detail::FormBackend>(*this, declaration, std::move(handlers))) {
    if (!app().mainForm) {
        app().mainForm = this;
    }
}

Form::Form(std::string_view layoutResource, Handlers handlers)
    : Form(loadLayout(layoutResource), std::move(handlers)) {
}

Form::~Form() {
    if (app().mainForm == this) {
        app().mainForm = nullptr;
    }
}

const WindowDecl& Form::declaration() const {
    return backend_->declaration;
}

std::string Form::caption() const {
    return backend_->window->windowTitle().toStdString();
}

Control& Form::control(std::string_view name) {
    for (auto& control : backend_->controls) {
        if (control->name() == name) {
            return *control;
        }
    }
    throw LayoutError(backend_->declaration.name + " has no control \"" + std::string(name) + "\"");
}

Control& Form::control(std::string_view name, ControlKind expected) {
    Control& found = control(name);
    if (found.kind() != expected) {
        throw LayoutError(backend_->declaration.name + ": control \"" + std::string(name) +
                          "\" is a " + std::string(kindName(found.kind())) + ", not a " +
                          std::string(kindName(expected)));
    }
    return found;
}

void Form::show() {
    detail::FormBackend& b = *backend_;
    if (b.window->isVisible()) {
        return;
    }
    // The show handler runs before the window is placed and drawn.
    b.runHandler("show");
    b.place();
    b.window->show();
    // The focus is shown from the start: the pupil works with the keyboard. (Set after showing:
    // Qt clears it when a window is shown, and would mark the focus only after a Tab.)
    b.window->setAttribute(Qt::WA_KeyboardFocusChange);
    b.window->raise();
    b.window->activateWindow();
}

void Form::hide() {
    backend_->window->hide();
}

void Form::close() {
    backend_->window->close();
}

ModalResult Form::showModal() {
    detail::FormBackend& b = *backend_;
    detail::ApplicationBackend& application = app();
    if (b.window->isVisible() || !b.window->isEnabled() || b.modal) {
        throw std::runtime_error("Cannot make a visible window modal");
    }
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    QPointer<QWidget> previousActive = QApplication::activeWindow();
    detail::FormBackend* previousFocused = application.focusedForm;
    application.focusedForm = &b;
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    b.window->setWindowModality(Qt::ApplicationModal);
    b.modal = true;
    b.modalResult = ModalResult::None;

    show();
    b.runHandler("activate");

    QEventLoop loop;
    b.modalLoop = &loop;
    while (b.modalResult == ModalResult::None && !application.terminated) {
        loop.exec();
        if (application.terminated || QCoreApplication::closingDown()) {
            break;
        }
    }
    b.modalLoop = nullptr;
    if (b.modalResult == ModalResult::None) {
        b.modalResult = ModalResult::Cancel; // the application is ending
    }

    if (QApplication::activeWindow() != b.window) {
        previousActive = nullptr;
    }
    b.modal = false;
    // The remembered focused window is focused again before the modal one goes, so that a
    // window system that activates the owner at once does not run its activation handler.
    application.focusedForm = previousFocused;
    b.window->hide();
    b.window->setWindowModality(Qt::NonModal);
    QGuiApplication::restoreOverrideCursor();
    if (previousActive) {
        previousActive->activateWindow();
    }
    return b.modalResult;
}

bool Form::isVisible() const {
    return backend_->window->isVisible();
}
bool Form::isEnabled() const {
    return backend_->window->isEnabled();
}
bool Form::isFocusedWindow() const {
    return app().focusedForm == backend_.get();
}
Control* Form::activeControl() {
    return backend_->active;
}
Rect Form::frame() const {
    return detail::rectOf(backend_->window->frameGeometry());
}

// ---------------------------------------------------------------------------------------------
// Application

Application::Application(int& argc, char** argv)
    : backend_(std::make_unique<detail::ApplicationBackend>(*this, argc, argv)) {
    if (detail::theApplication) {
        throw std::logic_error("only one toolkit::Application may exist");
    }
    detail::theApplication = backend_.get();
}

Application::~Application() {
    detail::theApplication = nullptr;
}

Application& Application::instance() {
    return app().owner;
}

const std::string& Application::title() const {
    return backend_->title;
}
void Application::setTitle(std::string title) {
    backend_->title = std::move(title);
}
Form* Application::mainForm() const {
    return backend_->mainForm;
}

int Application::run() {
    // A quit request may already have been taken from the queue by a nested loop (a message box
    // or a modal window shown before the loop runs); the application has ended then.
    if (!backend_->terminated) {
        QApplication::exec();
    }
    backend_->terminated = true;
    return 0;
}

void Application::terminate() {
    QMetaObject::invokeMethod(
        qApp,
        [this] {
            backend_->terminated = true;
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
}

bool Application::isTerminated() const {
    return backend_->terminated;
}

void Application::setIcon(std::string_view resource) {
    const QIcon icon(toQt(resource));
    if (icon.isNull()) {
        throw std::logic_error("no icon \"" + std::string(resource) + "\" in the program");
    }
    QApplication::setWindowIcon(icon);
}

void Application::substituteFont(std::string_view face,
                                 std::initializer_list<std::string_view> substitutes) {
    QStringList faces;
    for (std::string_view substitute : substitutes) {
        faces << toQt(substitute);
    }
    QFont::insertSubstitutions(toQt(face), faces);
}

void Application::reportFailure(std::string_view message) {
    showErrorBox(backend_->title, failureText(message));
}

void showErrorBox(std::string_view caption, std::string_view text) {
    QPointer<QWidget> previousWindow = QApplication::activeWindow();
    QPointer<QWidget> previousFocus = QApplication::focusWidget();
    QMessageBox box(QMessageBox::Critical, toQt(caption), toQt(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // the pupil's text is shown as typed, never as markup
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (previousWindow) {
        previousWindow->activateWindow();
    }
    if (previousFocus) {
        previousFocus->setFocus(Qt::ActiveWindowFocusReason);
    }
}

std::string titleFromExecutable(std::string_view path) {
    QString name = QFileInfo(toQt(path)).fileName();
    if (const qsizetype dot = name.indexOf(QLatin1Char('.')); dot >= 0) {
        name.truncate(dot);
    }
    if (name.size() > 1) {
        // Leave a leading surrogate pair whole.
        const qsizetype first = name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1;
        name = name.left(first) + name.mid(first).toLower();
    }
    // At most 255 characters, never cutting a surrogate pair.
    qsizetype length = 0;
    qsizetype characters = 0;
    while (length < name.size() && characters < 255) {
        length += name.at(length).isHighSurrogate() && length + 1 < name.size() ? 2 : 1;
        ++characters;
    }
    name.truncate(length);
    return name.toStdString();
}

} // namespace toolkit
