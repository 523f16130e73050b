// The controls as placed and sized on their window: labels that size themselves to their text
// and lie under the controls they overlap, the edit field's height and its select-all on
// keyboard entry, and layout scaling when the window font measures differently from the design.

#include "toolkit_fixture.h"

#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

using namespace toolkit_test;

namespace {

int roundedScale(int value, int measured, int design) {
    return int(std::floor(double(value) * measured / design + 0.5));
}

QLineEdit* lineEdit(toolkit::Control& control) {
    return qobject_cast<QLineEdit*>(widgetOf(control));
}

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app = makeApplication(); }
    void cleanupTestCase() { app.reset(); }

    void labelSizesItselfToItsText_data();
    void labelSizesItselfToItsText();
    void controlsCoverOverlappedLabels_data();
    void controlsCoverOverlappedLabels();
    void editHeightFollowsItsFont_data();
    void editHeightFollowsItsFont();
    void editSelectsAllOnKeyboardEntry_data();
    void editSelectsAllOnKeyboardEntry();
    void editArrowKeysMoveTheCaret_data();
    void editArrowKeysMoveTheCaret();
    void layoutScalesWithMeasuredTextHeight_data();
    void layoutScalesWithMeasuredTextHeight();
    void windowSmallerThanItsControlsScrolls_data();
    void windowSmallerThanItsControlsScrolls();

private:
    std::unique_ptr<toolkit::Application> app;
};

void ControlsTest::labelSizesItselfToItsText_data() {
    QTest::addColumn<QString>("text");

    QTest::newRow("exercise") << QStringLiteral("100 + 10 = ");
    QTest::newRow("shorter than designed") << QStringLiteral("7");
    QTest::newRow("eleven blanks kept") << QStringLiteral("Осталось           -");
    QTest::newRow("empty") << QString();
}

void ControlsTest::labelSizesItselfToItsText() {
    QFETCH(QString, text);

    WindowDecl decl = window("W", {label("Lb1", {8, 16, 85, 54}, "Lb1")});
    decl.controls[0].font = font(53, "DejaVu Serif");
    toolkit::Form form(decl, {});
    toolkit::Control& lb1 = form.control("Lb1");
    const QFontMetrics metrics(qtFont(*decl.controls[0].font));

    lb1.setText(text.toStdString());

    QCOMPARE(lb1.bounds(), (Rect{8, 16, metrics.horizontalAdvance(text), metrics.height()}));
    QCOMPARE(QString::fromStdString(lb1.text()), text);
}

void ControlsTest::controlsCoverOverlappedLabels_data() {
    QTest::addColumn<int>("kind");

    QTest::newRow("edit field") << int(ControlKind::Edit);
    QTest::newRow("push button") << int(ControlKind::Button);
    QTest::newRow("OK button") << int(ControlKind::OkButton);
    QTest::newRow("panel") << int(ControlKind::Panel);
}

// The label is declared after the control, so creation order alone would put it on top.
void ControlsTest::controlsCoverOverlappedLabels() {
    QFETCH(int, kind);

    toolkit::Form form(window("W", {focusable(ControlKind(kind), "C", {40, 40, 120, 40}, "", 0),
                                    label("Lb", {10, 50, 80, 20}, "a long label text")}),
                       {});
    form.control("Lb").setText("an even longer label text");
    QWidget* canvas = toolkit::detail::qtPeerOf(form).canvas;

    QCOMPARE(canvas->childAt(60, 55), widgetOf(form.control("C")));
    QCOMPARE(canvas->childAt(20, 55), widgetOf(form.control("Lb")));
}

void ControlsTest::editHeightFollowsItsFont_data() {
    QTest::addColumn<int>("ownFont"); // 0: the window font
    QTest::addColumn<int>("designedHeight");

    QTest::newRow("window font") << 0 << 21;
    QTest::newRow("own large font") << 27 << 21;
    QTest::newRow("own small font") << 9 << 60;
}

void ControlsTest::editHeightFollowsItsFont() {
    QFETCH(int, ownFont);
    QFETCH(int, designedHeight);

    WindowDecl decl = window("W", {focusable(ControlKind::Edit, "Numb", {216, 32, 121, 0}, "", 0)});
    decl.controls[0].bounds.height = designedHeight;
    if (ownFont) {
        decl.controls[0].font = font(ownFont);
    }
    toolkit::Form form(decl, {});

    const int lineHeight = QFontMetrics(qtFont(ownFont ? font(ownFont) : decl.font)).height();
    QCOMPARE(form.control("Numb").bounds(), (Rect{216, 32, 121, lineHeight + 8}));
}

void ControlsTest::editSelectsAllOnKeyboardEntry_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("key"); // 0: a mouse click on the field
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("selected");

    QTest::newRow("Tab") << "bkBefore" << int(Qt::Key_Tab) << 0 << true;
    QTest::newRow("Shift+Tab") << "bkAfter" << int(Qt::Key_Tab) << int(Qt::ShiftModifier) << true;
    QTest::newRow("Right arrow") << "bkBefore" << int(Qt::Key_Right) << 0 << true;
    QTest::newRow("Up arrow") << "bkAfter" << int(Qt::Key_Up) << 0 << true;
    QTest::newRow("mouse click") << "bkBefore" << 0 << 0 << false;
}

void ControlsTest::editSelectsAllOnKeyboardEntry() {
    QFETCH(QString, from);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, selected);

    toolkit::Form form(
        window("W", {focusable(ControlKind::Button, "bkBefore", {10, 10, 80, 30}, "Before", 0),
                     focusable(ControlKind::Edit, "Numb", {10, 60, 120, 30}, "", 1),
                     focusable(ControlKind::Button, "bkAfter", {10, 110, 80, 30}, "After", 2)}),
        {});
    toolkit::Control& numb = form.control("Numb");
    numb.setText("12a");
    QVERIFY(showActive(form));
    form.control(from.toStdString()).setFocus();
    QVERIFY(!numb.hasFocus());

    if (key) {
        press(form, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    } else {
        QTest::mouseClick(widgetOf(numb), Qt::LeftButton, {}, QPoint(60, 15));
    }

    QVERIFY(numb.hasFocus());
    QCOMPARE(lineEdit(numb)->selectedText(), selected ? QStringLiteral("12a") : QString());
    QCOMPARE(numb.text(), "12a");
}

void ControlsTest::editArrowKeysMoveTheCaret_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("caret");

    QTest::newRow("Left") << int(Qt::Key_Left) << 1;
    QTest::newRow("Right") << int(Qt::Key_Right) << 3;
    QTest::newRow("Up") << int(Qt::Key_Up) << 1;
    QTest::newRow("Down") << int(Qt::Key_Down) << 3;
}

// In the edit field the arrow keys move the caret and nothing else: the focus stays, and a
// window too small for its controls does not scroll.
void ControlsTest::editArrowKeysMoveTheCaret() {
    QFETCH(int, key);
    QFETCH(int, caret);

    toolkit::Form form(
        window("W", {focusable(ControlKind::Button, "bk", {10, 10, 80, 30}, "B", 0),
                     focusable(ControlKind::Edit, "Numb", {10, 60, 120, 30}, "", 1)}),
        {});
    toolkit::Control& numb = form.control("Numb");
    numb.setText("12345");
    QVERIFY(showActive(form));
    windowOf(form)->resize(150, 60);
    numb.setFocus();
    lineEdit(numb)->setCursorPosition(2);
    QScrollBar* scroll = toolkit::detail::qtPeerOf(form).scroller->verticalScrollBar();
    QVERIFY(scroll->maximum() > 0);
    scroll->setValue(scroll->maximum() / 2);
    const int scrolled = scroll->value();

    press(form, Qt::Key(key));

    QVERIFY(numb.hasFocus());
    QCOMPARE(lineEdit(numb)->cursorPosition(), caret);
    QCOMPARE(scroll->value(), scrolled);
}

void ControlsTest::layoutScalesWithMeasuredTextHeight_data() {
    QTest::addColumn<int>("design");

    const int measured = textHeight(font(16));
    QTest::newRow("measured larger") << measured * 2 / 3;
    QTest::newRow("measured smaller") << measured * 4 / 3;
    QTest::newRow("measured equal") << measured;
}

// Every control's edges and its own font follow measured ÷ design, rounded; the edit field's
// height follows its font; labels follow their text; the window keeps its outer size.
void ControlsTest::layoutScalesWithMeasuredTextHeight() {
    QFETCH(int, design);

    WindowDecl decl =
        window("W", {label("Lb", {7, 9, 50, 20}, "Label"),
                     focusable(ControlKind::Button, "bk", {13, 41, 75, 25}, "Exit", 0),
                     focusable(ControlKind::OkButton, "bb", {101, 41, 57, 33}, "OK", 1),
                     focusable(ControlKind::Edit, "Numb", {163, 45, 81, 21}, "", 2),
                     focusable(ControlKind::Panel, "Panel1", {11, 91, 123, 27}, "Panel", 3)});
    decl.controls[0].font = font(21);
    decl.controls[1].font = font(13);
    decl.designTextHeight = design;
    const int measured = textHeight(decl.font);
    toolkit::Form form(decl, {});
    auto scaled = [&](int value) { return roundedScale(value, measured, design); };

    for (const ControlDecl& designed : decl.controls) {
        toolkit::Control& control = form.control(designed.name);
        const Rect& d = designed.bounds;
        const Rect actual = control.bounds();
        const QByteArray name = QByteArray::fromStdString(designed.name);
        QVERIFY2(actual.left == scaled(d.left) && actual.top == scaled(d.top), name);
        const int ownHeight = designed.font ? scaled(designed.font->height) : decl.font.height;
        QCOMPARE(widgetOf(control)->font().pixelSize(), ownHeight);
        if (designed.kind == ControlKind::Label) {
            const QFontMetrics metrics(qtFont(font(ownHeight)));
            QCOMPARE(actual.width,
                     metrics.horizontalAdvance(QString::fromStdString(designed.text)));
            continue;
        }
        QVERIFY2(actual.right() == scaled(d.right()), name);
        if (designed.kind == ControlKind::Edit) {
            QCOMPARE(actual.height, QFontMetrics(qtFont(decl.font)).height() + 8);
        } else {
            QVERIFY2(actual.bottom() == scaled(d.bottom()), name);
        }
    }
    QCOMPARE(form.declaration().outerWidth, decl.outerWidth);
    QCOMPARE(form.declaration().outerHeight, decl.outerHeight);
    QCOMPARE(form.declaration().font.height, decl.font.height);
    QVERIFY(showActive(form));
    QTRY_COMPARE(form.frame().width, decl.outerWidth);
    QTRY_COMPARE(form.frame().height, decl.outerHeight);
}

void ControlsTest::windowSmallerThanItsControlsScrolls_data() {
    QTest::addColumn<int>("buttonTop");
    QTest::addColumn<QSize>("resizeTo"); // empty: as designed
    QTest::addColumn<bool>("scrollBars");

    QTest::newRow("made smaller than its controls") << 150 << QSize(120, 90) << true;
    QTest::newRow("control beyond the designed client area") << 400 << QSize() << true;
    QTest::newRow("smaller than designed, controls still fit") << 150 << QSize(300, 200) << false;
    QTest::newRow("larger than designed") << 150 << QSize(600, 400) << false;
}

// Controls keep their place and size; what does not fit is reached through scroll bars, and
// while everything fits there are none.
void ControlsTest::windowSmallerThanItsControlsScrolls() {
    QFETCH(int, buttonTop);
    QFETCH(QSize, resizeTo);
    QFETCH(bool, scrollBars);

    toolkit::Form form(
        window("W", {focusable(ControlKind::Button, "bk", {10, buttonTop, 80, 30}, "B", 0)}), {});
    QVERIFY(showActive(form));
    if (!resizeTo.isEmpty()) {
        windowOf(form)->resize(resizeTo);
    }
    QScrollArea* scroller = toolkit::detail::qtPeerOf(form).scroller;

    QTRY_COMPARE(scroller->verticalScrollBar()->isVisible(), scrollBars);
    QCOMPARE(scroller->horizontalScrollBar()->isVisible(),
             scrollBars && resizeTo.isValid() && resizeTo.width() < 90);
    if (scrollBars) {
        QCOMPARE(scroller->verticalScrollBar()->maximum(),
                 buttonTop + 30 - scroller->viewport()->height());
    }
    QCOMPARE(form.control("bk").bounds(), (Rect{10, buttonTop, 80, 30}));
}

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
