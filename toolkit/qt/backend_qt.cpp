#include "toolkit/qt/backend_qt.h"

#include "toolkit/qt/accessibility_qt.h"
#include "toolkit/qt/widgets_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QSet>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

namespace toolkit::detail {

namespace {

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

} // namespace

// The declared faces as this window system draws them. Asking the font system for a face it lacks
// costs a fallback search for every control and every script, so each declared face is resolved
// to an installed family once, and each declared font is made once and shared by every control
// that declares it.
struct QtFontTable {
    std::map<QString, QStringList> substitutes;
    std::map<QString, QString> families;
    std::map<std::tuple<std::string, int, bool>, QFont> fonts;
    std::optional<QSet<QString>> installed; // the installed families, in lower case

    // The face itself where installed, else its first installed stand-in (the order in which Qt
    // itself would try them), else the face's name as it is (the font system then picks a face
    // of its own). Looked up in the list of installed families: asking the font database about
    // a face it lacks has it ask the font system for aliases.
    QString family(const QString& face) {
        if (const auto found = families.find(face); found != families.end()) {
            return found->second;
        }
        if (!installed) {
            installed.emplace();
            for (const QString& name : QFontDatabase::families()) {
                // A family that several foundries make is listed once for each, as "Z003 [urw]".
                const qsizetype foundry =
                    name.endsWith(QLatin1Char(']')) ? name.lastIndexOf(QLatin1String(" [")) : -1;
                installed->insert((foundry > 0 ? name.left(foundry) : name).toLower());
            }
        }
        QString family = face;
        if (!installed->contains(face.toLower())) {
            if (const auto stand = substitutes.find(face); stand != substitutes.end()) {
                for (const QString& substitute : stand->second) {
                    if (installed->contains(substitute.toLower())) {
                        family = substitute;
                        break;
                    }
                }
            }
        }
        families.emplace(face, family);
        return family;
    }
};

namespace {

QtFontTable* fontTable = nullptr; // the application peer's, while it lives

QFont makeFont(const QString& family, const FontSpec& declared) {
    QFont font(family);
    font.setPixelSize(declared.height);
    font.setItalic(declared.style == FontStyle::Italic);
    font.setWeight(QFont::Normal);
    return font;
}

QFont fontOf(const FontSpec& declared) {
    if (!fontTable) {
        return makeFont(toQt(declared.face), declared);
    }
    const std::tuple<std::string, int, bool> key{declared.face, declared.height,
                                                 declared.style == FontStyle::Italic};
    if (const auto found = fontTable->fonts.find(key); found != fontTable->fonts.end()) {
        return found->second;
    }
    QFont font = makeFont(fontTable->family(toQt(declared.face)), declared);
    fontTable->fonts.emplace(key, font);
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

namespace {

Qt::FocusReason reasonOf(FocusCause cause) {
    switch (cause) {
    case FocusCause::Keyboard:
        return Qt::TabFocusReason;
    case FocusCause::Program:
        return Qt::OtherFocusReason;
    case FocusCause::Activation:
        break;
    }
    return Qt::ActiveWindowFocusReason;
}

std::optional<KeyStroke> strokeOf(const QKeyEvent& event) {
    KeyStroke stroke;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    stroke.shift = modifiers & Qt::ShiftModifier;
    stroke.ctrl = modifiers & Qt::ControlModifier;
    stroke.alt = modifiers & Qt::AltModifier;
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        stroke.key = Key::Enter;
        break;
    case Qt::Key_Escape:
        stroke.key = Key::Escape;
        break;
    case Qt::Key_Tab:
        stroke.key = Key::Tab;
        break;
    case Qt::Key_Backtab:
        stroke.key = Key::Tab;
        stroke.shift = true;
        break;
    case Qt::Key_Left:
        stroke.key = Key::Left;
        break;
    case Qt::Key_Right:
        stroke.key = Key::Right;
        break;
    case Qt::Key_Up:
        stroke.key = Key::Up;
        break;
    case Qt::Key_Down:
        stroke.key = Key::Down;
        break;
    default:
        return std::nullopt;
    }
    return stroke;
}

} // namespace

Form* formOf(const QWidget* widget) {
    const QWidget* top = widget ? widget->window() : nullptr;
    for (Form* form : app().forms) {
        if (windowOf(*form) == top) {
            return form;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Control

std::string QtControlPeer::text() const {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text().toStdString();
    }
    return static_cast<QLabel*>(widget)->text().toStdString();
}

void QtControlPeer::setText(std::string_view text) {
    const QString value = toQt(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
        button->setAccessibleName(value);
    } else if (auto* label = dynamic_cast<AutoSizeLabel*>(widget)) {
        label->setCaption(value);
        form.fitClientArea(); // the label may now reach further
    } else {
        static_cast<QLabel*>(widget)->setText(value);
    }
}

bool QtControlPeer::isEnabled() const {
    return widget->isEnabled();
}

void QtControlPeer::setEnabled(bool enabled) {
    widget->setEnabled(enabled);
}

bool QtControlPeer::isVisible() const {
    return widget->isVisibleTo(form.window);
}

void QtControlPeer::setFocus(FocusCause cause) {
    widget->setFocus(reasonOf(cause));
}

bool QtControlPeer::hasFocus() const {
    return widget->hasFocus();
}

Rect QtControlPeer::bounds() const {
    return rectOf(widget->geometry());
}

void QtControlPeer::press() {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->click();
    }
}

// ---------------------------------------------------------------------------------------------
// Window

namespace {

// Every window after the main one belongs to it: a dialog transient for the main window, so that
// the task bar lists the program once and the window manager minimizes and restores it with the
// main window and keeps it above. It keeps the frame of a top-level window: title bar, system
// menu, minimize, maximize and close buttons.
Qt::WindowFlags windowFlagsFor(const QWidget* owner) {
    if (!owner) {
        return Qt::Window;
    }
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
}

} // namespace

FormWindow::FormWindow(QtFormPeer& form, QWidget* owner)
    : QWidget(owner, windowFlagsFor(owner)), form_(form) {
}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (closeRequested(form_.form) == CloseOutcome::Hide) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool FormWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate: {
        const bool handled = QWidget::event(event);
        windowActivated(form_.form);
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

QtFormPeer::QtFormPeer(Form& form, const WindowDecl& decl, QWidget* owner)
    : form(form), declaration(decl) {
    // Owned by the main window: one task-bar entry for the program, kept above its owner.
    window = new FormWindow(*this, owner);
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

    assumedClient = QSize(declaration.outerWidth - assumedFrame.left() - assumedFrame.right(),
                          declaration.outerHeight - assumedFrame.top() - assumedFrame.bottom());
    window->resize(assumedClient);
    scroller->resize(assumedClient);
    window->installEventFilter(this);
    canvas->installEventFilter(this);
}

QtFormPeer::~QtFormPeer() {
    delete window.data();
}

std::unique_ptr<ControlPeer> QtFormPeer::createControl(Control& control, const ControlDecl& decl) {
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
    auto peer = std::make_unique<QtControlPeer>(control, widget, *this);
    peer->setText(decl.text);
    widget->installEventFilter(this);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QObject::connect(button, &QAbstractButton::clicked, this, [&control] { clicked(control); });
    }
    peers.push_back(peer.get());
    return peer;
}

void QtFormPeer::controlsCreated() {
    // Qt's own tab chain follows the tab order, so that Qt's focus helpers agree with ours.
    QWidget* lastTabStop = nullptr;
    std::vector<QtControlPeer*> ordered;
    for (QtControlPeer* p : peers) {
        if (p->control.declaration().tabOrder && p->control.isTabStop()) {
            ordered.push_back(p);
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](QtControlPeer* a, QtControlPeer* b) {
        return *a->control.declaration().tabOrder < *b->control.declaration().tabOrder;
    });
    for (QtControlPeer* p : ordered) {
        if (lastTabStop) {
            QWidget::setTabOrder(lastTabStop, p->widget);
        }
        lastTabStop = p->widget;
    }
    // Edit fields, buttons and panels cover the labels they overlap.
    for (QtControlPeer* p : peers) {
        if (p->control.kind() == ControlKind::Label) {
            p->widget->lower();
        }
    }
    fitClientArea();
}

std::string QtFormPeer::caption() const {
    return window->windowTitle().toStdString();
}

void QtFormPeer::moveTo(Point outerTopLeft) {
    window->move(outerTopLeft.x, outerTopLeft.y);
}

void QtFormPeer::show() {
    window->show();
    // The focus is shown from the start: the pupil works with the keyboard. (Set after showing:
    // Qt clears it when a window is shown, and would mark the focus only after a Tab.)
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    window->raise();
    window->activateWindow();
}

void QtFormPeer::hide() {
    window->hide();
}

bool QtFormPeer::isVisible() const {
    return window->isVisible();
}

bool QtFormPeer::isEnabled() const {
    return window->isEnabled();
}

void QtFormPeer::focusWindowItself() {
    window->setFocus(Qt::OtherFocusReason);
}

void QtFormPeer::activate() {
    window->activateWindow();
}

bool QtFormPeer::isActiveWindow() const {
    return QApplication::activeWindow() == window;
}

Rect QtFormPeer::frame() const {
    return rectOf(window->frameGeometry());
}

Control* QtFormPeer::controlOf(const QWidget* widget) const {
    for (QtControlPeer* p : peers) {
        if (p->widget == widget) {
            return &p->control;
        }
    }
    return nullptr;
}

void QtFormPeer::fitOuterSize() {
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
    // A size the pupil or the window manager chose before the frame came is theirs to keep; a
    // pixel or two is only the rounding of a fractional scale factor.
    const QSize chosen = window->size() - assumedClient;
    if (std::abs(chosen.width()) > 2 || std::abs(chosen.height()) > 2) {
        return;
    }
    const QSize client(declaration.outerWidth - frame.left() - frame.right(),
                       declaration.outerHeight - frame.top() - frame.bottom());
    if (client != window->size()) {
        window->resize(client);
    }
}

void QtFormPeer::fitClientArea() {
    // The client area holds every control where it was placed: where controls reach beyond the
    // window, the window scrolls to them.
    QRect extent;
    for (QtControlPeer* p : peers) {
        extent = extent.united(p->widget->geometry());
    }
    canvas->setMinimumSize(std::max(0, extent.right() + 1), std::max(0, extent.bottom() + 1));
}

bool QtFormPeer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        // A window made smaller than its controls scrolls to the control that gets the focus, so
        // that the pupil always sees what Enter or Space would press.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && controlOf(widget)) {
            scroller->ensureWidgetVisible(widget, 0, 0);
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A key travels up to the window when the control ignores it; route it once, where it
        // was first delivered: at the focused widget.
        if (widget && widget == QApplication::focusWidget()) {
            const std::optional<KeyStroke> stroke = strokeOf(*static_cast<QKeyEvent*>(event));
            if (!stroke) {
                return false;
            }
            return keyPressed(form, controlOf(widget), *stroke) == KeyRoute::Consumed;
        }
        // A key that a control left alone ends at the client area: the scroll area around it
        // would otherwise scroll the window with arrow and page keys.
        if (widget == canvas) {
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Application

std::unique_ptr<ApplicationPeer> createApplicationPeer(int& argc, char** argv) {
    return std::make_unique<QtApplicationPeer>(argc, argv);
}

std::string lowerCase(std::string_view text) {
    return toQt(text).toLower().toStdString();
}

namespace {

// While the application connects to the window system: Qt's messages are held back, and a fatal
// one (no display to connect to) ends the program with one plain line and a failure status
// instead of an abort and a core dump. Once connected, the held messages go on as usual.
class StartupMessages {
public:
    explicit StartupMessages(const char* program) {
        program_ = program && *program ? program : "drill";
        if (const char* slash = std::strrchr(program_, '/')) {
            program_ = slash + 1;
        }
        previous_ = qInstallMessageHandler(&StartupMessages::handle);
    }

    ~StartupMessages() {
        qInstallMessageHandler(previous_);
        for (const Held& held : held_) {
            const QMessageLogContext context(nullptr, 0, nullptr, held.category.constData());
            if (previous_) {
                previous_(held.type, context, held.text);
            } else {
                qt_message_output(held.type, context, held.text);
            }
        }
        held_.clear();
    }

    StartupMessages(const StartupMessages&) = delete;
    StartupMessages& operator=(const StartupMessages&) = delete;

private:
    struct Held {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtFatalMsg) {
            held_.push_back(
                {type, QByteArray(context.category ? context.category : "default"), text});
            return;
        }
        bool noDisplay = false;
        for (const Held& held : held_) {
            noDisplay = noDisplay || held.text.contains(QLatin1String("connect to display"));
        }
        const char* display = std::getenv("DISPLAY");
        std::string line = program_;
        if (noDisplay && (!display || !*display)) {
            line += ": no X display to show the window on (DISPLAY is not set)";
        } else if (noDisplay) {
            line += ": cannot connect to the X display \"";
            line += display;
            line += "\" to show the window on";
        } else {
            line += ": the window system could not be started: ";
            line += text.section(QLatin1Char('\n'), 0, 0).toStdString();
        }
        line += '\n';
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }

    static inline const char* program_ = "drill";
    static inline QtMessageHandler previous_ = nullptr;
    static inline std::vector<Held> held_;
};

} // namespace

QtApplicationPeer::QtApplicationPeer(int& argc, char** argv) {
    if (!QApplication::instance()) {
        const StartupMessages startup(argc > 0 ? argv[0] : nullptr);
        ownedApp = std::make_unique<QApplication>(argc, argv);
    }
    fonts = std::make_unique<QtFontTable>();
    fontTable = fonts.get();
    // Every text that Qt draws itself (the edit field's context menu, the buttons of its boxes)
    // is in the program's language, Russian, whatever the desktop's language. Without Qt's
    // translations installed they stay in English.
    translator = std::make_unique<QTranslator>();
    if (translator->load(QStringLiteral("qtbase_ru"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);
    installAccessibility();
    QObject::connect(qApp, &QApplication::focusChanged, this, [](QWidget*, QWidget* now) {
        if (!now) {
            return; // another program has the focus: the focused window stays as it is
        }
        if (Form* form = formOf(now)) {
            focusEntered(*form, qtPeerOf(*form).controlOf(now));
        }
    });
    // Asked by the session manager whether the program may end, it agrees without a question.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, this, [](QSessionManager&) {});
}

QtApplicationPeer::~QtApplicationPeer() {
    fontTable = nullptr;
}

int QtApplicationPeer::resolution() const {
    return detail::resolution();
}

int QtApplicationPeer::zeroHeight(const FontSpec& font) const {
    return QFontMetrics(fontOf(font)).height();
}

std::vector<Rect> QtApplicationPeer::monitors() const {
    return monitorRects();
}

std::optional<Rect> QtApplicationPeer::activeWindowFrame() const {
    if (const QWidget* active = QApplication::activeWindow()) {
        return rectOf(active->frameGeometry());
    }
    return std::nullopt;
}

std::unique_ptr<FormPeer> QtApplicationPeer::createForm(Form& form, const WindowDecl& declaration,
                                                        FormPeer* owner) {
    QWidget* ownerWidget = owner ? static_cast<QtFormPeer*>(owner)->window.data() : nullptr;
    return std::make_unique<QtFormPeer>(form, declaration, ownerWidget);
}

std::string QtApplicationPeer::executablePath() const {
    return QCoreApplication::applicationFilePath().toStdString();
}

std::optional<WindowDecl> QtApplicationPeer::layout(std::string_view name) const {
    QFile file(QStringLiteral(":/layouts/") + toQt(name) + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return readLayout(file.readAll().toStdString());
}

bool QtApplicationPeer::setIcon(std::string_view name) {
    // The icons compiled into the program are XPM images; naming the format spares probing every
    // image format Qt knows.
    QPixmap pixmap;
    if (!pixmap.load(QStringLiteral(":/") + toQt(name), "XPM")) {
        return false;
    }
    QApplication::setWindowIcon(QIcon(pixmap));
    return true;
}

void QtApplicationPeer::substituteFont(std::string_view face,
                                       const std::vector<std::string>& substitutes) {
    QStringList faces;
    for (const std::string& substitute : substitutes) {
        faces << toQt(substitute);
    }
    QFont::insertSubstitutions(toQt(face), faces);
    fonts->substitutes[toQt(face)] = faces;
    fonts->families.erase(toQt(face));
    fonts->fonts.clear();
}

void QtApplicationPeer::runLoop() {
    QApplication::exec();
}

void QtApplicationPeer::runNestedLoop(const std::function<bool()>& done) {
    QEventLoop loop;
    nestedLoops.push_back(&loop);
    while (!done() && !app().terminated) {
        loop.exec();
        if (QCoreApplication::closingDown()) {
            break;
        }
    }
    nestedLoops.pop_back();
}

void QtApplicationPeer::wakeNestedLoop() {
    // Each loop looks at its own condition again, and goes on if it still holds.
    for (QEventLoop* loop : nestedLoops) {
        loop->exit();
    }
}

void QtApplicationPeer::postQuit() {
    QMetaObject::invokeMethod(
        qApp,
        [] {
            quitTaken();
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
}

void QtApplicationPeer::beginModal(FormPeer& modal) {
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    // Qt keeps the other windows from taking input through the modality, without greying out
    // their controls or losing their focus position.
    static_cast<QtFormPeer&>(modal).window->setWindowModality(Qt::ApplicationModal);
}

void QtApplicationPeer::endModal(FormPeer& modal) {
    static_cast<QtFormPeer&>(modal).window->setWindowModality(Qt::NonModal);
    QGuiApplication::restoreOverrideCursor();
}

void QtApplicationPeer::showErrorBox(std::string_view caption, std::string_view text) {
    QPointer<QWidget> previousWindow = QApplication::activeWindow();
    QPointer<QWidget> previousFocus = QApplication::focusWidget();
    // The box belongs to the window that was active (else to the main window, if shown): it is
    // transient for it, so the task bar lists the program once, and minimizing the main window
    // takes the box along. It has a close button but no minimize or maximize button: minimized
    // alone it would leave a window that takes no input and does not say why.
    QWidget* owner = previousWindow;
    if (!owner && app().mainForm && windowOf(*app().mainForm)->isVisible()) {
        owner = windowOf(*app().mainForm);
    }
    QMessageBox box(QMessageBox::Critical, toQt(caption), toQt(text), QMessageBox::Ok, owner);
    box.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                       Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
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

} // namespace toolkit::detail
