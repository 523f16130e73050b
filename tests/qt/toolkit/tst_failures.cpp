// Failures raised by handlers: caught where the event reached the window, shown in the
// application's error box under its title, the rest of the handler skipped, the loop going on.

#include "toolkit_fixture.h"

#include <QFileInfo>
#include <QLineEdit>

#include <stdexcept>

using namespace toolkit_test;

namespace {

WindowDecl failingWindow() {
    return window(
        "Failing",
        {focusable(ControlKind::Edit, "Numb", {10, 10, 120, 30}, "", 0),
         focusable(ControlKind::OkButton, "bbRes", {140, 10, 80, 34}, "OK", 1, "bbResClick")},
        {{"activate", "FormActivate"}});
}

struct FailingForm {
    Calls calls;
    std::string message = "failure";
    toolkit::Form form{
        failingWindow(),
        {{"FormActivate", calls.record("FormActivate")}, {"bbResClick", [this] {
                                                              calls.log << "before";
                                                              throw std::runtime_error(message);
                                                              calls.log << "after";
                                                          }}}};
};

} // namespace

class FailuresTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app = makeApplication(); }
    void cleanupTestCase() { app.reset(); }

    void messageTextEndsWithFullStop_data();
    void messageTextEndsWithFullStop();
    void boxIsAnApplicationErrorBox();
    void emptyTitleCaptionsTheBoxWithTheFileName();
    void failureStopsTheHandlerAndTheLoopGoesOn();
    void failureInsideAModalWindowKeepsItOpen();

private:
    std::unique_ptr<toolkit::Application> app;
};

void FailuresTest::messageTextEndsWithFullStop_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");

    QTest::newRow("letter") << "abc"
                            << "abc.";
    QTest::newRow("full stop") << "abc."
                               << "abc.";
    QTest::newRow("closing parenthesis") << "x)"
                                         << "x)";
    QTest::newRow("exclamation mark") << "!"
                                      << "!";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("digit") << "42"
                           << "42.";
    QTest::newRow("quote sorts before the full stop") << "'12a'"
                                                      << "'12a'";
    QTest::newRow("slash sorts after it") << "a/"
                                          << "a/.";
    QTest::newRow("Cyrillic letter") << QString::fromUtf8("Ошибка") << QString::fromUtf8("Ошибка.");
    QTest::newRow("rejected answer") << "'12a' is not a valid integer value"
                                     << "'12a' is not a valid integer value.";
}

void FailuresTest::messageTextEndsWithFullStop() {
    QFETCH(QString, message);
    QFETCH(QString, shown);

    FailingForm failing;
    failing.message = message.toStdString();
    QVERIFY(showActive(failing.form));
    failing.form.control("Numb").setFocus();
    BoxCloser closer;

    press(failing.form, Qt::Key_Return);

    QCOMPARE(closer.seen.size(), std::size_t(1));
    QCOMPARE(closer.seen[0].text, shown);
    QCOMPARE(closer.seen[0].caption, QString::fromStdString(app->title()));
}

void FailuresTest::boxIsAnApplicationErrorBox() {
    QCOMPARE(QString::fromStdString(app->title()),
             QString::fromStdString(toolkit::titleFromExecutable(
                 QCoreApplication::applicationFilePath().toStdString())));
    FailingForm failing;
    failing.message = "<b>x</b>";
    QVERIFY(showActive(failing.form));
    BoxCloser closer;

    press(failing.form, Qt::Key_Return);

    QCOMPARE(closer.seen.size(), std::size_t(1));
    const BoxSeen& box = closer.seen[0];
    QCOMPARE(box.text, QStringLiteral("<b>x</b>."));
    QCOMPARE(box.textFormat, Qt::PlainText);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttonCount, 1);
    QVERIFY(box.okButton);
    QCOMPARE(box.modality, Qt::ApplicationModal);
    // It belongs to the window that was active, which the window manager minimizes and restores
    // together with it; it cannot be minimized or maximized on its own.
    QCOMPARE(box.owner, windowOf(failing.form));
    QVERIFY(box.flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!box.flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!box.flags.testFlag(Qt::WindowMaximizeButtonHint));
}

void FailuresTest::emptyTitleCaptionsTheBoxWithTheFileName() {
    // A title cut at the first full stop of «.hidden» is empty; the box is never captionless.
    const std::string title = app->title();
    app->setTitle("");
    FailingForm failing;
    QVERIFY(showActive(failing.form));
    failing.form.control("Numb").setFocus();
    BoxCloser closer;

    press(failing.form, Qt::Key_Return);
    app->setTitle(title);

    QCOMPARE(closer.seen.size(), std::size_t(1));
    QCOMPARE(closer.seen[0].caption, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

void FailuresTest::failureStopsTheHandlerAndTheLoopGoesOn() {
    FailingForm failing;
    QVERIFY(showActive(failing.form));
    toolkit::Control& numb = failing.form.control("Numb");
    numb.setFocus();
    QTest::keyClicks(widgetOf(numb), "12a");
    BoxCloser closer;

    press(failing.form, Qt::Key_Return);
    QCOMPARE(failing.calls.log, (QStringList{"FormActivate", "before"}));

    // Back where it was: the same window active, the focus in the field with its text.
    QVERIFY(waitActive(windowOf(failing.form)));
    QTRY_COMPARE(focusName(), "Numb");
    QCOMPARE(numb.text(), "12a");

    press(failing.form, Qt::Key_Return);
    QCOMPARE(failing.calls.log, (QStringList{"FormActivate", "before", "before"}));
    QCOMPARE(closer.seen.size(), std::size_t(2));
}

void FailuresTest::failureInsideAModalWindowKeepsItOpen() {
    FailingForm failing;
    BoxCloser closer;
    bool openAfterFailure = false;
    whenActive(failing.form, [&] {
        failing.form.control("Numb").setFocus();
        press(failing.form, Qt::Key_Return);
        openAfterFailure = failing.form.isVisible();
        failing.form.close();
    });

    QCOMPARE(failing.form.showModal(), toolkit::ModalResult::Cancel);

    QCOMPARE(closer.seen.size(), std::size_t(1));
    QVERIFY(openAfterFailure);
    QCOMPARE(failing.calls.log, (QStringList{"FormActivate", "before"}));
}

QTEST_MAIN(FailuresTest)
#include "tst_failures.moc"
