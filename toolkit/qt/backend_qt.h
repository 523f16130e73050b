#pragma once

// The Qt side of the toolkit: Qt widgets for the windows and controls, and the translation of
// Qt's events into what the neutral toolkit decides on (keys, focus, activation, closing,
// clicks). Qt's defaults differ from the toolkit's rules in several places (Enter and the
// default button outside dialogs, which activation counts, focus after disabling, modal loops);
// the neutral side decides, this side only carries out. Tests reach the widgets through these
// classes.

#include "toolkit/backend.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class QApplication;
class QEventLoop;
class QScrollArea;
class QTranslator;

namespace toolkit::detail {

class QtFormPeer;
struct QtFontTable;

class QtControlPeer : public ControlPeer {
public:
    QtControlPeer(Control& control, QWidget* widget, QtFormPeer& form)
        : control(control), widget(widget), form(form) {}

    std::string text() const override;
    void setText(std::string_view text) override;
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;
    bool isVisible() const override;
    void setFocus(FocusCause cause) override;
    bool hasFocus() const override;
    Rect bounds() const override;
    void press() override;

    Control& control;
    QWidget* widget; // owned by the window
    QtFormPeer& form;
};

// The top-level widget of a window.
class FormWindow : public QWidget {
public:
    FormWindow(QtFormPeer& form, QWidget* owner);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QtFormPeer& form_;
};

class QtFormPeer : public QObject, public FormPeer {
public:
    QtFormPeer(Form& form, const WindowDecl& declaration, QWidget* owner);
    ~QtFormPeer() override;

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

    Form& form;
    const WindowDecl& declaration; // as scaled for the screen
    QPointer<FormWindow> window;
    QWidget* canvas = nullptr; // the client area holding the controls
    QScrollArea* scroller = nullptr;
    std::vector<QtControlPeer*> peers;
    bool outerSizeFitted = false;
    QSize assumedClient; // the client size given before the real frame was known

    Control* controlOf(const QWidget* widget) const;
    void fitOuterSize();
    void fitClientArea();
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class QtApplicationPeer : public QObject, public ApplicationPeer {
public:
    QtApplicationPeer(int& argc, char** argv);
    ~QtApplicationPeer() override;

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

    std::unique_ptr<QApplication> ownedApp;  // none when a test made the QApplication
    std::unique_ptr<QTranslator> translator; // Qt's own texts in Russian
    std::unique_ptr<QtFontTable> fonts;      // gone before the application
    std::vector<QEventLoop*> nestedLoops;
};

// The form whose top-level widget holds this widget, if any.
Form* formOf(const QWidget* widget);

inline QWidget* widgetOf(const Control& control) {
    return static_cast<QtControlPeer&>(control.peer()).widget;
}
inline QtFormPeer& qtPeerOf(const Form& form) {
    return static_cast<QtFormPeer&>(form.peer());
}
inline QWidget* windowOf(const Form& form) {
    return qtPeerOf(form).window;
}

} // namespace toolkit::detail
