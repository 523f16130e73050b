// Keyboard focus and keys, with real key events delivered to whatever has the focus: tab order
// and its wrap, the first tab stop at activation, the focus after disabling the focused control,
// Enter and the default button, Escape, and the arrow keys between controls.

#include "toolkit_fixture.h"

using namespace toolkit_test;

namespace {

// Tab order: bkFirst 0, bbOk 1, Numb 2, (Panel1 3, not a tab stop), bkLast 4. The declaration
// order differs on purpose.
WindowDecl keysWindow() {
    return window(
        "Keys",
        {label("Lb", {10, 10, 100, 20}, "Label"),
         focusable(ControlKind::Edit, "Numb", {10, 40, 120, 30}, "", 2),
         focusable(ControlKind::OkButton, "bbOk", {140, 40, 80, 34}, "OK", 1, "okClick"),
         focusable(ControlKind::Panel, "Panel1", {10, 90, 150, 30}, "Panel", 3),
         focusable(ControlKind::Button, "bkLast", {180, 90, 80, 30}, "Last", 4, "lastClick"),
         focusable(ControlKind::Button, "bkFirst", {10, 140, 80, 30}, "First", 0, "firstClick")},
        {{"activate", "FormActivate"}});
}

WindowDecl otherWindow() {
    return window("Other", {focusable(ControlKind::Button, "bkClose", {10, 10, 80, 30}, "Close", 0,
                                      "closeClick")});
}

struct KeysForm {
    Calls calls;
    toolkit::Form form{keysWindow(),
                       {{"okClick", calls.record("okClick")},
                        {"lastClick", calls.record("lastClick")},
                        {"firstClick", calls.record("firstClick")},
                        {"FormActivate", calls.record("FormActivate")}}};

    void disable(const QStringList& names) {
        for (const QString& name : names) {
            form.control(name.toStdString()).setEnabled(toolkit::Enabled::No);
        }
    }
};

} // namespace

class FocusKeysTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app = makeApplication(); }
    void cleanupTestCase() { app.reset(); }

    void tabMovesBetweenTabStops_data();
    void tabMovesBetweenTabStops();
    void activationFocusesFirstEnabledTabStop_data();
    void activationFocusesFirstEnabledTabStop();
    void focusIsShownFromTheStart();
    void windowWithoutEnabledTabStopsStillActivates();
    void disablingTheFocusedControl_data();
    void disablingTheFocusedControl();
    void enterPressesAButton_data();
    void enterPressesAButton();
    void escapeDoesNothing_data();
    void escapeDoesNothing();
    void arrowKeysMoveInTabOrder_data();
    void arrowKeysMoveInTabOrder();
    void arrowKeysNeedAnActiveControl();

private:
    std::unique_ptr<toolkit::Application> app;
};

void FocusKeysTest::tabMovesBetweenTabStops_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("expected");

    const int shift = Qt::ShiftModifier;
    QTest::newRow("next by number, not declaration") << "bkFirst" << QStringList{} << 0 << "bbOk";
    QTest::newRow("edit after OK") << "bbOk" << QStringList{} << 0 << "Numb";
    QTest::newRow("panel is passed over") << "Numb" << QStringList{} << 0 << "bkLast";
    QTest::newRow("wraps after the last") << "bkLast" << QStringList{} << 0 << "bkFirst";
    QTest::newRow("disabled is passed over") << "bkFirst" << QStringList{"bbOk"} << 0 << "Numb";
    QTest::newRow("Shift+Tab goes back") << "Numb" << QStringList{} << shift << "bbOk";
    QTest::newRow("Shift+Tab passes the panel") << "bkLast" << QStringList{} << shift << "Numb";
    QTest::newRow("Shift+Tab wraps before the first")
        << "bkFirst" << QStringList{} << shift << "bkLast";
    QTest::newRow("from the panel: the next after it")
        << "Panel1" << QStringList{} << 0 << "bkLast";
    QTest::newRow("from the panel back: the one before it")
        << "Panel1" << QStringList{} << shift << "Numb";
    QTest::newRow("Ctrl+Tab stays")
        << "bbOk" << QStringList{} << int(Qt::ControlModifier) << "bbOk";
    QTest::newRow("Alt+Tab stays") << "bbOk" << QStringList{} << int(Qt::AltModifier) << "bbOk";
    QTest::newRow("Ctrl+Shift+Tab stays")
        << "bbOk" << QStringList{} << int(Qt::ControlModifier | Qt::ShiftModifier) << "bbOk";
}

void FocusKeysTest::tabMovesBetweenTabStops() {
    QFETCH(QString, start);
    QFETCH(QStringList, disabled);
    QFETCH(int, modifiers);
    QFETCH(QString, expected);

    KeysForm keys;
    keys.disable(disabled);
    QVERIFY(showActive(keys.form));
    keys.form.control(start.toStdString()).setFocus();
    QCOMPARE(focusName(), start);

    press(keys.form, Qt::Key_Tab, Qt::KeyboardModifiers(modifiers));

    QCOMPARE(focusName(), expected);
    QCOMPARE(keys.form.activeControl(), &keys.form.control(expected.toStdString()));
    QCOMPARE(keys.calls.log, QStringList{"FormActivate"});
}

void FocusKeysTest::activationFocusesFirstEnabledTabStop_data() {
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QString>("expected");

    QTest::newRow("lowest tab order") << QStringList{} << "bkFirst";
    QTest::newRow("first one disabled") << QStringList{"bkFirst"} << "bbOk";
    QTest::newRow("never the panel") << QStringList{"bkFirst", "bbOk", "Numb"} << "bkLast";
}

void FocusKeysTest::activationFocusesFirstEnabledTabStop() {
    QFETCH(QStringList, disabled);
    QFETCH(QString, expected);

    KeysForm keys;
    keys.disable(disabled);
    QVERIFY(showActive(keys.form));

    QTRY_COMPARE(focusName(), expected);
    QCOMPARE(keys.form.activeControl(), &keys.form.control(expected.toStdString()));
    QCOMPARE(keys.calls.log, QStringList{"FormActivate"});
}

// The pupil works with the keyboard: the focused button is marked before any Tab was pressed.
void FocusKeysTest::focusIsShownFromTheStart() {
    KeysForm keys;
    QVERIFY(showActive(keys.form));
    QTRY_COMPARE(focusName(), "bkFirst");
    QWidget* first = widgetOf(keys.form.control("bkFirst"));
    const QImage focused = first->grab().toImage();

    keys.form.control("bkLast").setFocus();

    QVERIFY(first->grab().toImage() != focused);
}

// With nothing to focus the window takes the focus itself, and that is its activation too.
void FocusKeysTest::windowWithoutEnabledTabStopsStillActivates() {
    KeysForm keys;
    keys.disable({"bkFirst", "bbOk", "Numb", "bkLast"});

    QVERIFY(showActive(keys.form));

    QTRY_COMPARE(keys.calls.log, QStringList{"FormActivate"});
    QCOMPARE(QApplication::focusWidget(), windowOf(keys.form));
    QCOMPARE(keys.form.activeControl(), nullptr);
    QVERIFY(keys.form.isFocusedWindow());
}

void FocusKeysTest::disablingTheFocusedControl_data() {
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<bool>("modal");
    QTest::addColumn<QString>("expected");

    QTest::newRow("edit, then a modal window") << QStringList{"Numb", "bbOk"} << true << "bkFirst";
    QTest::newRow("edit, then another window") << QStringList{"Numb"} << false << "bkFirst";
    QTest::newRow("first stop too, then a modal window")
        << QStringList{"Numb", "bkFirst"} << true << "bbOk";
}

// The window keeps the focus itself with no active control (Qt would move it on to the next
// control); its next activation gives the focus to the first enabled tab stop.
void FocusKeysTest::disablingTheFocusedControl() {
    QFETCH(QStringList, disabled);
    QFETCH(bool, modal);
    QFETCH(QString, expected);

    KeysForm keys;
    Calls otherCalls;
    toolkit::Form other(otherWindow(), {{"closeClick", otherCalls.record("closeClick")}});
    QVERIFY(showActive(keys.form));
    keys.form.control("Numb").setFocus();

    keys.disable(disabled);

    QCOMPARE(QApplication::focusWidget(), windowOf(keys.form));
    QCOMPARE(keys.form.activeControl(), nullptr);

    if (modal) {
        whenActive(other, [&] { other.close(); });
        QCOMPARE(other.showModal(), toolkit::ModalResult::Cancel);
    } else {
        QVERIFY(showActive(other));
        QVERIFY(activate(windowOf(keys.form)));
    }

    QTRY_COMPARE(focusName(), expected);
    QCOMPARE(keys.form.activeControl(), &keys.form.control(expected.toStdString()));
}

void FocusKeysTest::enterPressesAButton_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("pressed");

    const int enter = Qt::Key_Return;
    QTest::newRow("edit: the default button")
        << "Numb" << QStringList{} << enter << 0 << QStringList{"okClick"};
    QTest::newRow("edit, keypad Enter") << "Numb" << QStringList{} << int(Qt::Key_Enter)
                                        << int(Qt::KeypadModifier) << QStringList{"okClick"};
    QTest::newRow("panel: the default button")
        << "Panel1" << QStringList{} << enter << 0 << QStringList{"okClick"};
    QTest::newRow("focused push button")
        << "bkFirst" << QStringList{} << enter << 0 << QStringList{"firstClick"};
    QTest::newRow("focused default button")
        << "bbOk" << QStringList{} << enter << 0 << QStringList{"okClick"};
    QTest::newRow("default button disabled")
        << "Numb" << QStringList{"bbOk"} << enter << 0 << QStringList{};
    QTest::newRow("Shift+Enter") << "Numb" << QStringList{} << enter << int(Qt::ShiftModifier)
                                 << QStringList{};
    QTest::newRow("Ctrl+Enter on a button")
        << "bkLast" << QStringList{} << enter << int(Qt::ControlModifier) << QStringList{};
    QTest::newRow("Alt+Enter") << "Numb" << QStringList{} << enter << int(Qt::AltModifier)
                               << QStringList{};
    QTest::newRow("Space on a push button")
        << "bkLast" << QStringList{} << int(Qt::Key_Space) << 0 << QStringList{"lastClick"};
}

void FocusKeysTest::enterPressesAButton() {
    QFETCH(QString, focus);
    QFETCH(QStringList, disabled);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QStringList, pressed);

    KeysForm keys;
    keys.disable(disabled);
    QVERIFY(showActive(keys.form));
    keys.form.control(focus.toStdString()).setFocus();
    keys.calls.log.clear();

    press(keys.form, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(keys.calls.log, pressed);
    QCOMPARE(focusName(), focus);
}

void FocusKeysTest::escapeDoesNothing_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("modal");

    QTest::newRow("edit field") << "Numb" << false;
    QTest::newRow("push button") << "bkFirst" << false;
    QTest::newRow("panel") << "Panel1" << false;
    QTest::newRow("edit field of a modal window") << "Numb" << true;
}

void FocusKeysTest::escapeDoesNothing() {
    QFETCH(QString, focus);
    QFETCH(bool, modal);

    KeysForm keys;
    keys.form.control("Numb").setText("42");
    bool stillShown = false;
    auto escape = [&] {
        keys.form.control(focus.toStdString()).setFocus();
        keys.calls.log.clear();
        press(keys.form, Qt::Key_Escape);
        QCoreApplication::processEvents();
        stillShown = keys.form.isVisible();
    };
    if (modal) {
        whenActive(keys.form, [&] {
            escape();
            keys.form.close();
        });
        QCOMPARE(keys.form.showModal(), toolkit::ModalResult::Cancel);
    } else {
        QVERIFY(showActive(keys.form));
        escape();
    }

    QVERIFY(stillShown);
    QCOMPARE(keys.calls.log, QStringList{});
    QCOMPARE(keys.form.control("Numb").text(), "42");
}

void FocusKeysTest::arrowKeysMoveInTabOrder_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("expected");

    const int right = Qt::Key_Right, left = Qt::Key_Left, up = Qt::Key_Up, down = Qt::Key_Down;
    QTest::newRow("Right: next in tab order") << "bkFirst" << QStringList{} << right << 0 << "bbOk";
    QTest::newRow("Down reaches the edit field") << "bbOk" << QStringList{} << down << 0 << "Numb";
    QTest::newRow("Left reaches the panel") << "bkLast" << QStringList{} << left << 0 << "Panel1";
    QTest::newRow("from the panel onwards") << "Panel1" << QStringList{} << right << 0 << "bkLast";
    QTest::newRow("from the panel back") << "Panel1" << QStringList{} << up << 0 << "Numb";
    QTest::newRow("Right wraps") << "bkLast" << QStringList{} << right << 0 << "bkFirst";
    QTest::newRow("Left wraps") << "bkFirst" << QStringList{} << left << 0 << "bkLast";
    QTest::newRow("disabled is passed over")
        << "bkFirst" << QStringList{"bbOk"} << right << 0 << "Numb";
    QTest::newRow("Alt+Right stays")
        << "bkFirst" << QStringList{} << right << int(Qt::AltModifier) << "bkFirst";
    QTest::newRow("Alt+Up stays on the panel")
        << "Panel1" << QStringList{} << up << int(Qt::AltModifier) << "Panel1";
}

void FocusKeysTest::arrowKeysMoveInTabOrder() {
    QFETCH(QString, start);
    QFETCH(QStringList, disabled);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, expected);

    KeysForm keys;
    keys.disable(disabled);
    QVERIFY(showActive(keys.form));
    keys.form.control(start.toStdString()).setFocus();

    press(keys.form, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(focusName(), expected);
    QCOMPARE(keys.form.activeControl(), &keys.form.control(expected.toStdString()));
}

void FocusKeysTest::arrowKeysNeedAnActiveControl() {
    KeysForm keys;
    QVERIFY(showActive(keys.form));
    QTRY_COMPARE(focusName(), "bkFirst");
    keys.disable({"bkFirst"});

    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}) {
        press(keys.form, key);
        QCOMPARE(QApplication::focusWidget(), windowOf(keys.form));
        QCOMPARE(keys.form.activeControl(), nullptr);
    }
}

QTEST_MAIN(FocusKeysTest)
#include "tst_focus_keys.moc"
