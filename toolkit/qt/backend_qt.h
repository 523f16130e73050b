#pragma once

// The Qt side of the toolkit. Qt's defaults differ from the toolkit's rules in several places
// (Enter and the default button outside dialogs, which window activation runs a handler, focus
// after disabling, modal loops, exceptions in handlers); they are mended here, once, so that the
// windows themselves never see Qt. Tests reach the widgets through these classes.

#include "toolkit/toolkit.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class QApplication;
class QEventLoop;
class QScrollArea;

namespace toolkit::detail {

class ControlBackend {
public:
    ControlBackend(const ControlDecl& declaration, QWidget* widget, FormBackend& form)
        : declaration(declaration), widget(widget), form(form) {}

    ControlDecl declaration; // as scaled for the window
    QWidget* widget;         // owned by the window
    FormBackend& form;
};

// The top-level widget of a window.
class FormWindow : public QWidget {
public:
    FormWindow(FormBackend& form, QWidget* owner);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    FormBackend& form_;
};

class FormBackend : public QObject {
public:
    FormBackend(Form& owner, WindowDecl declaration, Handlers handlers);
    ~FormBackend() override;

    Form& owner;
    WindowDecl declaration; // as scaled for the screen
    Handlers handlers;
    QPointer<FormWindow> window;
    QWidget* canvas = nullptr; // the client area holding the controls
    QScrollArea* scroller = nullptr;
    std::vector<std::unique_ptr<Control>> controls;
    Control* active = nullptr; // the window's active control
    Control* defaultButton = nullptr;
    bool modal = false;
    ModalResult modalResult = ModalResult::None;
    QEventLoop* modalLoop = nullptr;
    bool placed = false;
    bool outerSizeFitted = false;

    Control* controlOf(const QWidget* widget) const;
    // Controls with a tab order, sorted by it.
    std::vector<Control*> tabOrdered(TabStop only) const;
    bool focusFirstTabStop();
    void runHandler(std::string_view event);
    void place();
    void fitOuterSize();
    void fitClientArea();
    bool routeKey(QWidget* target, QKeyEvent* event);
    void onFocusEntered(QWidget* widget);
    void onActivated();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void moveFocus(int step, TabStop only, Qt::FocusReason reason);
};

class ApplicationBackend : public QObject {
public:
    ApplicationBackend(Application& owner, int& argc, char** argv);
    ~ApplicationBackend() override;

    Application& owner;
    std::unique_ptr<QApplication> ownedApp; // none when a test made the QApplication
    std::string title;
    Form* mainForm = nullptr;
    FormBackend* focusedForm = nullptr; // the application's focused window
    std::vector<FormBackend*> forms;
    bool terminated = false;

    FormBackend* formOf(const QWidget* widget) const;
    // Runs a handler; a failure it raises is reported and goes no further.
    void invoke(const std::function<void()>& handler);
};

ApplicationBackend& app();

} // namespace toolkit::detail
