// Top-level windows: when the activation handler runs (and when it must not), the show handler
// before placing and showing, the modal show with its refusals and its ends, and closing, which
// hides a window, ends a modal loop or, for the main window, ends the application.

#include "toolkit_fixture.h"

#include <QLineEdit>
#include <QVBoxLayout>

using namespace toolkit_test;

namespace {

WindowDecl mainWindow() {
    return window("Main",
                  {focusable(ControlKind::Button, "bkGo", {10, 10, 80, 30}, "Go", 0, "goClick"),
                   focusable(ControlKind::Edit, "Numb", {10, 50, 120, 30}, "", 1)},
                  {{"activate", "MainActivate"}, {"show", "MainShow"}});
}

// The result window's size and designed place.
WindowDecl secondWindow() {
    WindowDecl w = window(
        "Second",
        {label("Lb", {8, 16, 80, 20}, "Lb"),
         focusable(ControlKind::Button, "bkClose", {280, 112, 113, 41}, "Close", 0, "closeClick")},
        {{"activate", "SecondActivate"}, {"show", "SecondShow"}});
    w.outerWidth = 426;
    w.outerHeight = 209;
    w.placement = toolkit::Placement::Designed;
    w.left = 286;
    w.top = 276;
    return w;
}

// A plain window of this process that the toolkit does not manage.
struct ForeignWindow {
    QWidget widget;
    QLineEdit* edit = new QLineEdit(&widget);
    ForeignWindow() {
        widget.setWindowTitle(QStringLiteral("foreign"));
        (new QVBoxLayout(&widget))->addWidget(edit);
        widget.resize(200, 60);
    }
};

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app = makeApplication(); }
    void cleanupTestCase() { app.reset(); }
    void init();
    void cleanup();

    void activationRunsAtFirstActivation();
    void activationRunsWhenAnotherWindowGivesBackTheFocus();
    void activationDoesNotRunAgain_data();
    void activationDoesNotRunAgain();
    void showHandlerRunsBeforePlacingAndShowing();
    void modalShowEndsWithCancelWhenClosed_data();
    void modalShowEndsWithCancelWhenClosed();
    void modalShowIsRefused_data();
    void modalShowIsRefused();
    void closingAnotherWindowHidesIt();
    // These end the application; each starts it again afterwards.
    void modalLoopEndsWhenTheApplicationTerminates();
    void closingTheMainWindowEndsTheApplication_data();
    void closingTheMainWindowEndsTheApplication();

private:
    std::unique_ptr<toolkit::Application> app;
    Calls calls;
    std::unique_ptr<toolkit::Form> main;
    std::unique_ptr<toolkit::Form> second;
};

void WindowsTest::init() {
    calls.log.clear();
    main = std::make_unique<toolkit::Form>(mainWindow(),
                                           toolkit::Handlers{
                                               {"goClick", calls.record("goClick")},
                                               {"MainActivate", calls.record("MainActivate")},
                                               {"MainShow", calls.record("MainShow")},
                                           });
    second = std::make_unique<toolkit::Form>(secondWindow(),
                                             toolkit::Handlers{
                                                 {"closeClick", [this] { second->close(); }},
                                                 {"SecondActivate", calls.record("SecondActivate")},
                                                 {"SecondShow", calls.record("SecondShow")},
                                             });
    QCOMPARE(app->mainForm(), main.get());
}

void WindowsTest::cleanup() {
    second.reset();
    main.reset();
    if (app->isTerminated()) {
        // Start the application again for the next case: a run of the event loop clears what
        // the quit request left behind.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        toolkit::detail::app().terminated = false;
    }
}

void WindowsTest::activationRunsAtFirstActivation() {
    QVERIFY(showActive(*main));

    QTRY_COMPARE(calls.log, (QStringList{"MainShow", "MainActivate"}));
    QVERIFY(main->isFocusedWindow());
}

void WindowsTest::activationRunsWhenAnotherWindowGivesBackTheFocus() {
    QVERIFY(showActive(*main));
    QVERIFY(showActive(*second));
    QTRY_COMPARE(calls.count("SecondActivate"), 1);
    QVERIFY(second->isFocusedWindow());

    QVERIFY(activate(windowOf(*main)));

    QTRY_COMPARE(calls.count("MainActivate"), 2);
    QVERIFY(main->isFocusedWindow());
    QCOMPARE(calls.count("SecondActivate"), 1);
}

void WindowsTest::activationDoesNotRunAgain_data() {
    QTest::addColumn<QString>("meanwhile");

    QTest::newRow("a message box") << "box";
    QTest::newRow("a modal window") << "modal";
    QTest::newRow("minimized and restored") << "minimize";
    QTest::newRow("a window this toolkit does not manage") << "foreign";
    QTest::newRow("another program active") << "none";
}

// Where a window of this toolkit gets the focus back from something that is not another window
// of the application, the focus returns to where it was and the handler does not run again.
void WindowsTest::activationDoesNotRunAgain() {
    QFETCH(QString, meanwhile);

    QVERIFY(showActive(*main));
    QTRY_COMPARE(calls.count("MainActivate"), 1);
    main->control("Numb").setFocus();
    QWidget* mainWindow = windowOf(*main);

    if (meanwhile == "box") {
        BoxCloser closer;
        app->reportFailure("meanwhile");
        QCOMPARE(closer.seen.size(), std::size_t(1));
    } else if (meanwhile == "modal") {
        whenActive(*second, [&] { second->close(); });
        QCOMPARE(second->showModal(), toolkit::ModalResult::Cancel);
        QCOMPARE(calls.count("SecondActivate"), 1);
    } else if (meanwhile == "minimize") {
        mainWindow->showMinimized();
        QTRY_VERIFY(mainWindow->isMinimized());
        mainWindow->showNormal();
        QVERIFY(activate(mainWindow));
    } else if (meanwhile == "foreign") {
        ForeignWindow foreign;
        foreign.widget.show();
        QVERIFY(activate(&foreign.widget));
        QTRY_COMPARE(QApplication::focusWidget(), foreign.edit);
        QVERIFY(activate(mainWindow));
    } else if (meanwhile == "none") {
        QApplication::setActiveWindow(nullptr);
        QTRY_COMPARE(QApplication::focusWidget(), nullptr);
        QApplication::setActiveWindow(mainWindow);
    }

    QVERIFY(waitActive(mainWindow));
    QTRY_COMPARE(focusName(), "Numb");
    QVERIFY(main->isFocusedWindow());
    QCOMPARE(calls.count("MainActivate"), 1);
}

// Each time: the handler sees the window hidden and not yet at its place.
void WindowsTest::showHandlerRunsBeforePlacingAndShowing() {
    struct Seen {
        bool visible;
        QPoint place;
    };
    QList<Seen> seen;
    QWidget* widget = nullptr;
    toolkit::Form probe(secondWindow(),
                        {{"closeClick", [] {}},
                         {"SecondActivate", [] {}},
                         {"SecondShow", [&] {
                              seen.append({widget->isVisible(), widget->frameGeometry().topLeft()});
                          }}});
    widget = windowOf(probe);
    QVERIFY(showActive(*main));

    QVERIFY(showActive(probe));
    QCOMPARE(seen.size(), 1);
    QVERIFY(!seen[0].visible);
    QVERIFY(seen[0].place != QPoint(286, 276));
    QTRY_COMPARE(probe.frame().left, 286);
    QTRY_COMPARE(probe.frame().top, 276);

    probe.hide();
    probe.show();
    QVERIFY(probe.isVisible());
    QCOMPARE(seen.size(), 2);
    QVERIFY(!seen[1].visible);

    // The main window, desktop-centred, by its outer size.
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    QTRY_COMPARE(main->frame().left, (desktop.width() - 420) / 2);
    QTRY_COMPARE(main->frame().top, (desktop.height() - 260) / 2);
}

void WindowsTest::modalShowEndsWithCancelWhenClosed_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("its button") << "button";
    QTest::newRow("close()") << "close";
    QTest::newRow("the frame's close") << "frame";
}

// The window is hidden, not destroyed: it can be shown modally again.
void WindowsTest::modalShowEndsWithCancelWhenClosed() {
    QFETCH(QString, how);

    QVERIFY(showActive(*main));
    QPointer<QWidget> modalWindow = windowOf(*second);
    bool blockedWhileShown = false;
    bool arrowWhileShown = false;
    auto closeIt = [&] {
        blockedWhileShown = QApplication::activeModalWidget() == modalWindow;
        const QCursor* cursor = QGuiApplication::overrideCursor();
        arrowWhileShown = cursor && cursor->shape() == Qt::ArrowCursor;
        if (how == "button") {
            press(*second, Qt::Key_Return);
        } else if (how == "close") {
            second->close();
        } else {
            modalWindow->windowHandle()->close();
        }
    };

    for (int round = 1; round <= 2; ++round) {
        whenActive(*second, closeIt);
        QCOMPARE(second->showModal(), toolkit::ModalResult::Cancel);
        QVERIFY(blockedWhileShown);
        QVERIFY(arrowWhileShown);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QVERIFY(modalWindow);
        QVERIFY(!second->isVisible());
        QCOMPARE(calls.count("SecondShow"), round);
        QCOMPARE(calls.count("SecondActivate"), round);
        QVERIFY(waitActive(windowOf(*main)));
    }
    QVERIFY(!app->isTerminated());
}

void WindowsTest::modalShowIsRefused_data() {
    QTest::addColumn<bool>("alreadyModal");

    QTest::newRow("visible window") << false;
    QTest::newRow("window already shown modally") << true;
}

void WindowsTest::modalShowIsRefused() {
    QFETCH(bool, alreadyModal);

    QString failure;
    auto tryAgain = [&] {
        try {
            second->showModal();
            failure = QStringLiteral("<accepted>");
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        }
    };
    if (alreadyModal) {
        whenActive(*second, [&] {
            tryAgain();
            second->close();
        });
        QCOMPARE(second->showModal(), toolkit::ModalResult::Cancel);
    } else {
        QVERIFY(showActive(*second));
        tryAgain();
        QVERIFY(second->isVisible());
    }

    QCOMPARE(failure, QStringLiteral("Cannot make a visible window modal"));
    QCOMPARE(calls.count("SecondShow"), 1);
}

void WindowsTest::closingAnotherWindowHidesIt() {
    QVERIFY(showActive(*main));
    QVERIFY(showActive(*second));
    QPointer<QWidget> secondWindow = windowOf(*second);

    press(*second, Qt::Key_Return); // its button closes it

    QVERIFY(!second->isVisible());
    QVERIFY(secondWindow);
    QVERIFY(main->isVisible());
    QCoreApplication::processEvents();
    QVERIFY(!app->isTerminated());
}

void WindowsTest::modalLoopEndsWhenTheApplicationTerminates() {
    QVERIFY(showActive(*main));
    whenActive(*second, [&] { app->terminate(); });

    QCOMPARE(second->showModal(), toolkit::ModalResult::Cancel);

    QVERIFY(app->isTerminated());
    QVERIFY(!second->isVisible());
}

void WindowsTest::closingTheMainWindowEndsTheApplication_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("close()") << "close";
    QTest::newRow("the frame's close") << "frame";
    QTest::newRow("its button's handler") << "button";
    QTest::newRow("quit request taken before the loop runs") << "early";
}

void WindowsTest::closingTheMainWindowEndsTheApplication() {
    QFETCH(QString, how);

    second.reset();
    main.reset();
    main = std::make_unique<toolkit::Form>(mainWindow(),
                                           toolkit::Handlers{{"goClick", [this] { main->close(); }},
                                                             {"MainActivate", [] {}},
                                                             {"MainShow", [] {}}});
    QCOMPARE(app->mainForm(), main.get());
    QVERIFY(showActive(*main));
    QVERIFY(!app->isTerminated());
    if (how == "close") {
        main->close();
    } else if (how == "frame") {
        windowOf(*main)->windowHandle()->close();
    } else if (how == "button") {
        press(*main, Qt::Key_Return);
    } else {
        main->close();
        QCoreApplication::processEvents(); // as a message box's loop would
    }

    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    QCOMPARE(app->run(), 0);

    QVERIFY(!timedOut);
    QVERIFY(app->isTerminated());
    QVERIFY(!main->isVisible());
}

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
