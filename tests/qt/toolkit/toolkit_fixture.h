#pragma once

// Shared pieces of the toolkit tests: small window declarations built in code, a record of which
// handlers ran, keys sent through the window system to whatever has the focus, and a watcher
// that closes message boxes and modal windows from a timer so that no test ever blocks.

#include "toolkit/qt/backend_qt.h"
#include "toolkit/toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace toolkit {
// How QCOMPARE shows a rectangle that differs.
inline char* toString(const Rect& r) {
    return QTest::toString(QRect(r.left, r.top, r.width, r.height));
}
} // namespace toolkit

Q_DECLARE_METATYPE(toolkit::Rect)

namespace toolkit_test {

using toolkit::ControlDecl;
using toolkit::ControlKind;
using toolkit::FontSpec;
using toolkit::Rect;
using toolkit::WindowDecl;

// The face every test window uses; installed with the program's runtime fonts.
inline const char* const testFace = "DejaVu Sans";

inline QFont qtFont(const FontSpec& declared) {
    QFont font(QString::fromStdString(declared.face));
    font.setPixelSize(declared.height);
    return font;
}

// The height of "0" in a font, as the toolkit measures it for layout scaling.
inline int textHeight(const FontSpec& declared) {
    return QFontMetrics(qtFont(declared)).height();
}

inline FontSpec font(int height, std::string face = testFace) {
    FontSpec declared;
    declared.face = std::move(face);
    declared.height = height;
    return declared;
}

inline ControlDecl label(std::string name, Rect bounds, std::string text) {
    ControlDecl c;
    c.kind = ControlKind::Label;
    c.name = std::move(name);
    c.bounds = bounds;
    c.text = std::move(text);
    return c;
}

inline ControlDecl focusable(ControlKind kind, std::string name, Rect bounds, std::string text,
                             int tabOrder, std::string clickHandler = {}) {
    ControlDecl c;
    c.kind = kind;
    c.name = std::move(name);
    c.bounds = bounds;
    c.text = std::move(text);
    c.tabOrder = tabOrder;
    c.tabStop = kind == ControlKind::Panel ? toolkit::TabStop::No : toolkit::TabStop::Yes;
    if (!clickHandler.empty()) {
        c.events.emplace("click", std::move(clickHandler));
    }
    return c;
}

// A window whose design text height equals the measured one, so that nothing is scaled.
inline WindowDecl window(std::string name, std::vector<ControlDecl> controls,
                         toolkit::EventBindings events = {}) {
    WindowDecl w;
    w.name = name;
    w.className = "T" + name;
    w.caption = name;
    w.outerWidth = 420;
    w.outerHeight = 260;
    w.placement = toolkit::Placement::DesktopCentred;
    w.font = font(16);
    w.designTextHeight = textHeight(w.font);
    w.events = std::move(events);
    w.controls = std::move(controls);
    return w;
}

// The toolkit application of one test binary; QTEST_MAIN has made the QApplication already.
inline std::unique_ptr<toolkit::Application> makeApplication() {
    static int argc = 1;
    static char name[] = "toolkit-test";
    static char* argv[] = {name, nullptr};
    return std::make_unique<toolkit::Application>(argc, argv);
}

// Which handlers ran, in order.
struct Calls {
    QStringList log;

    std::function<void()> record(const QString& name) {
        return [this, name] { log << name; };
    }
    int count(const QString& name) const { return int(log.count(name)); }
};

inline QWidget* widgetOf(toolkit::Control& control) {
    return toolkit::detail::widgetOf(control);
}
inline QWidget* windowOf(toolkit::Form& form) {
    return toolkit::detail::windowOf(form);
}

// The control that has the keyboard focus in the application, by name; "" for none, or the
// window's name when the window itself has it.
inline QString focusName() {
    const QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

// A key pressed and released through the window system, delivered like a real one to whatever
// has the focus in the form's window.
inline void press(toolkit::Form& form, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(windowOf(form)->windowHandle(), key, modifiers);
}

// Waits until the window is the application's active window. (Qt's own wait also accepts an
// owned window whose owner is active, before the owned one has been activated itself.)
[[nodiscard]] inline bool waitActive(QWidget* window) {
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; });
}

// Shows a form and waits until it is the active window.
[[nodiscard]] inline bool showActive(toolkit::Form& form) {
    form.show();
    return waitActive(windowOf(form));
}

[[nodiscard]] inline bool activate(QWidget* window) {
    window->activateWindow();
    return waitActive(window);
}

// What a closed message box showed.
struct BoxSeen {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*>::size_type buttonCount = 0;
    bool okButton = false;
    Qt::TextFormat textFormat = Qt::AutoText;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* owner = nullptr; // the window the box belongs to
    Qt::WindowFlags flags;
};

// While it lives, closes every message box that comes up by pressing its OK button, and records
// what each showed. Polls from a timer, so it also works inside nested event loops.
class BoxCloser : public QObject {
public:
    BoxCloser() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

    std::vector<BoxSeen> seen;

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        BoxSeen s;
        s.caption = box->windowTitle();
        s.text = box->text();
        s.icon = box->icon();
        s.buttonCount = box->buttons().size();
        s.okButton = box->button(QMessageBox::Ok) != nullptr;
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            s.textFormat = label->textFormat();
        }
        s.modality = box->windowModality();
        s.owner = box->parentWidget();
        s.flags = box->windowFlags();
        seen.push_back(s);
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
    }

    QTimer timer_;
};

// Runs an action as soon as the form's window is visible and active, from a timer; gives up
// after a few seconds so that a fault cannot hang the test.
inline void whenActive(toolkit::Form& form, std::function<void()> action) {
    auto* timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QPointer<QWidget> target = windowOf(form);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        const bool ready = target && target->isVisible() && QApplication::activeWindow() == target;
        if (ready || ++*tries > 300) {
            timer->stop();
            timer->deleteLater();
            if (ready) {
                action();
            } else if (target) {
                target->close(); // gives the waiting modal loop its way out
            }
        }
    });
    timer->start(10);
}

} // namespace toolkit_test
