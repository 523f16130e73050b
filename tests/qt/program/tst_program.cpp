// The main window and the result window driven as a pupil drives them: keys sent to whatever has
// the focus, message boxes and the result window answered as they appear. Seeds are scripted so
// every exercise is known in advance.

#include "program/Unit1.h"
#include "program/Unit2.h"
#include "program/application.h"
#include "scripted_seeds.h"
#include "toolkit/qt/backend_qt.h"
#include "toolkit_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontInfo>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using toolkit::ControlKind;

namespace {

// Seed 106 draws «32 + 10 = »; seed 1 draws «3 + 9 = ».
constexpr std::uint32_t seedThirtyTwoPlusTen = 106;
constexpr std::uint32_t seedThreePlusNine = 1;
const char* const exerciseThirtyTwoPlusTen = "32 + 10 = ";
const char* const exerciseThreePlusNine = "3 + 9 = ";

// Both windows of one run, created in the program's order and set as Form1 and Form2.
struct Program {
    TForm1 main;
    TForm2 result;
    Program() {
        Form1 = &main;
        Form2 = &result;
    }
    ~Program() {
        Form2 = nullptr;
        Form1 = nullptr;
    }
};

using toolkit_test::BoxCloser;
using toolkit_test::widgetOf;
using toolkit_test::windowOf;

QWidget* focused() {
    QWidget* widget = QApplication::focusWidget();
    return widget ? widget : QApplication::activeWindow();
}

// Keys go through the window system to whatever has the focus, as a pupil's keys do.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(QGuiApplication::focusWindow(), key, modifiers);
}
void type(const QString& text) {
    for (const QChar c : text) {
        QTest::keyClick(QGuiApplication::focusWindow(), c.toLatin1());
    }
}

struct SeenResult {
    bool shown = false;
    QString correct;
    QString mark;
    QString focusedButton;
    toolkit::Rect frame;
    bool modal = false;
};

// Closes the result window with Enter once it is up and active, noting what it showed.
void answerResultWindow(Program& program, SeenResult& seen) {
    toolkit_test::whenActive(program.result, [&program, &seen] {
        seen.shown = true;
        seen.correct = QString::fromStdString(program.result.Lb6.text());
        seen.mark = QString::fromStdString(program.result.Lb7.text());
        seen.frame = program.result.frame();
        seen.focusedButton = toolkit_test::focusName();
        // The main window takes no input while the result window is up.
        seen.modal = QApplication::activeModalWidget() == windowOf(program.result);
        press(Qt::Key_Return);
    });
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void layoutsAreAsDesigned_data();
    void layoutsAreAsDesigned();
    void controlsAreDrawnInTheFacesQtWouldPick();
    void startShowsTheFirstExerciseWithFocusOnExit();
    void wholeSeriesByKeyboard_data();
    void wholeSeriesByKeyboard();
    void rejectedAnswerChangesNothing_data();
    void rejectedAnswerChangesNothing();
    void pastedNulIsShownInTheBox();
    void acceptedAnswerIsJudgedByItsValue_data();
    void acceptedAnswerIsJudgedByItsValue();
    void seriesBeginsOnlyOnce();
    void disabledOkAfterTheSeriesDoesNothing();
    void escapeDoesNothing();
    // Ends the application, so it runs last.
    void enterAtStartEndsTheProgram();

private:
    void show(Program& program);
    void answerAll(Program& program, int correct, SeenResult& seen);

    int argc_ = 1;
    char name_[8] = "drill";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<toolkit::Application> application_;
};

void WindowsTest::initTestCase() {
    application_ = std::make_unique<toolkit::Application>(argc_, argv_);
    shell::substituteFonts();
}

void WindowsTest::cleanupTestCase() {
    application_.reset();
}

void WindowsTest::show(Program& program) {
    program.main.show();
    QVERIFY(QTest::qWaitForWindowActive(windowOf(program.main)));
    QTRY_VERIFY(program.main.isFocusedWindow());
}

// Tab, Tab to the answer field, then twenty answers with Enter; the first `correct` of them
// right. Every exercise is «32 + 10 = » with the seeds used here. The result window that the
// twentieth answer opens is closed with Enter, and what it showed goes to `seen`.
void WindowsTest::answerAll(Program& program, int correct, SeenResult& seen) {
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    QCOMPARE(focused(), widgetOf(program.main.Numb));
    for (int answer = 0; answer < 20; ++answer) {
        type(answer < correct ? "42" : "7");
        if (answer == 19) {
            answerResultWindow(program, seen);
        }
        press(Qt::Key_Return);
        if (answer < 19) {
            QCOMPARE(program.main.Lb3.text(), std::to_string(19 - answer));
            QCOMPARE(program.main.Numb.text(), "");
            QCOMPARE(focused(), widgetOf(program.main.Numb));
        }
    }
}

void WindowsTest::layoutsAreAsDesigned_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<int>>("bounds");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("maroon");
    QTest::addColumn<int>("tabOrder"); // -1: none
    QTest::addColumn<QString>("onClick");

    const auto label = int(ControlKind::Label);
    const auto button = int(ControlKind::Button);
    const QString reference = "MS Reference Sans Serif";
    const QString f1 = ":/layouts/Form1.json";
    const QString f2 = ":/layouts/Form2.json";
    // clang-format off
    QTest::newRow("Form1 Lb1") << f1 << "Lb1" << label << QList<int>{8, 16, 85, 54} << "Lb1" << "Modern No. 20" << 53 << false << false << -1 << "";
    QTest::newRow("Form1 Label1") << f1 << "Label1" << label << QList<int>{8, 96, 245, 34} << "Всего примеров -" << reference << 27 << false << false << -1 << "";
    QTest::newRow("Form1 Label2") << f1 << "Label2" << label << QList<int>{8, 136, 248, 34} << "Осталось           -" << reference << 27 << false << false << -1 << "";
    QTest::newRow("Form1 Lb2") << f1 << "Lb2" << label << QList<int>{264, 96, 34, 34} << "20" << reference << 27 << false << false << -1 << "";
    QTest::newRow("Form1 Lb3") << f1 << "Lb3" << label << QList<int>{256, 136, 34, 34} << "20" << reference << 27 << false << false << -1 << "";
    QTest::newRow("Form1 bkClose") << f1 << "bkClose" << button << QList<int>{336, 192, 121, 41} << "Выход" << reference << 27 << false << false << 0 << "bkCloseClick";
    QTest::newRow("Form1 bbRes") << f1 << "bbRes" << int(ControlKind::OkButton) << QList<int>{368, 24, 83, 49} << "OK" << reference << 27 << false << false << 1 << "bbResClick";
    QTest::newRow("Form1 Numb") << f1 << "Numb" << int(ControlKind::Edit) << QList<int>{216, 32, 121, 40} << "" << "" << 0 << false << false << 2 << "";
    QTest::newRow("Form1 Panel1") << f1 << "Panel1" << int(ControlKind::Panel) << QList<int>{16, 192, 185, 41} << "Кленова Д.М." << "Monotype Corsiva" << 24 << true << false << 3 << "";
    QTest::newRow("Form2 Label1") << f2 << "Label1" << label << QList<int>{8, 16, 303, 33} << "Ответили правильно на " << "Tahoma" << 27 << false << false << -1 << "";
    QTest::newRow("Form2 Label2") << f2 << "Label2" << label << QList<int>{16, 72, 90, 33} << "Оценка" << "" << 0 << false << false << -1 << "";
    QTest::newRow("Form2 Lb6") << f2 << "Lb6" << label << QList<int>{320, 16, 43, 33} << "Lb6" << "" << 0 << false << false << -1 << "";
    QTest::newRow("Form2 Lb7") << f2 << "Lb7" << label << QList<int>{136, 64, 77, 58} << "Lb7" << "Tahoma" << 48 << false << true << -1 << "";
    QTest::newRow("Form2 Button1") << f2 << "Button1" << button << QList<int>{280, 112, 113, 41} << "Выход" << "" << 0 << false << false << 0 << "Button1Click";
    // clang-format on
}

void WindowsTest::layoutsAreAsDesigned() {
    QFETCH(QString, layout);
    QFETCH(QString, control);
    QFETCH(int, kind);
    QFETCH(QList<int>, bounds);
    QFETCH(QString, text);
    QFETCH(QString, face);
    QFETCH(int, height);
    QFETCH(bool, italic);
    QFETCH(bool, maroon);
    QFETCH(int, tabOrder);
    QFETCH(QString, onClick);

    QFile file(layout);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const toolkit::WindowDecl window = toolkit::readLayout(file.readAll().toStdString());
    const toolkit::ControlDecl* decl = window.control(control.toStdString());
    QVERIFY(decl);
    QCOMPARE(int(decl->kind), kind);
    QCOMPARE(
        (QList<int>{decl->bounds.left, decl->bounds.top, decl->bounds.width, decl->bounds.height}),
        bounds);
    QCOMPARE(QString::fromStdString(decl->text), text);
    if (face.isEmpty()) {
        QVERIFY2(!decl->font, "uses the window font");
    } else {
        QVERIFY(decl->font);
        QCOMPARE(QString::fromStdString(decl->font->face), face);
        QCOMPARE(decl->font->height, height);
        QCOMPARE(decl->font->style == toolkit::FontStyle::Italic, italic);
        QCOMPARE(decl->font->colour == toolkit::Colour::Maroon, maroon);
    }
    QCOMPARE(decl->tabOrder.value_or(-1), tabOrder);
    QCOMPARE(QString::fromStdString(decl->events.contains("click") ? decl->events.at("click") : ""),
             onClick);
    if (control == "Panel1") {
        QCOMPARE(decl->tabStop, toolkit::TabStop::No);
        QCOMPARE(decl->font->charset, toolkit::Charset::Cyrillic);
    }
}

void WindowsTest::controlsAreDrawnInTheFacesQtWouldPick() {
    // Each declared face is resolved to an installed family once; the family must be the one
    // that Qt itself picks for the declared face and its stand-ins, so that the screens stay the
    // same. (A face that several foundries make, such as Z003, is listed under each of them.)
    Program program;
    const std::pair<toolkit::Form*, QString> windows[] = {
        {&program.main, ":/layouts/Form1.json"}, {&program.result, ":/layouts/Form2.json"}};
    for (const auto& [form, layout] : windows) {
        QFile file(layout);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const toolkit::WindowDecl window = toolkit::readLayout(file.readAll().toStdString());
        for (const toolkit::ControlDecl& decl : window.controls) {
            const toolkit::FontSpec& declared = decl.font ? *decl.font : window.font;
            QFont qtsOwn(QString::fromStdString(declared.face));
            qtsOwn.setPixelSize(declared.height);
            qtsOwn.setItalic(declared.style == toolkit::FontStyle::Italic);
            const QWidget* widget =
                windowOf(*form)->findChild<QWidget*>(QString::fromStdString(decl.name));
            QVERIFY(widget);
            QCOMPARE(QFontInfo(widget->font()).family(), QFontInfo(qtsOwn).family());
            QCOMPARE(QFontInfo(widget->font()).italic(), QFontInfo(qtsOwn).italic());
        }
    }
}

void WindowsTest::startShowsTheFirstExerciseWithFocusOnExit() {
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    Program program;
    QVERIFY(!program.main.isVisible());
    QVERIFY(!program.result.isVisible());
    QCOMPARE(program.main.caption(), "Сложение чисел (2 класс)");
    QCOMPARE(program.result.caption(), "Оценка");
    show(program);
    QCOMPARE(program.main.Lb1.text(), exerciseThirtyTwoPlusTen);
    QCOMPARE(program.main.Lb3.text(), "20");
    QCOMPARE(program.main.Lb2.text(), "20");
    QCOMPARE(program.main.Numb.text(), "");
    QCOMPARE(focused(), widgetOf(program.main.bkClose));
    QCOMPARE(program.main.state.remaining, 20);
}

void WindowsTest::wholeSeriesByKeyboard_data() {
    QTest::addColumn<int>("correct");
    QTest::addColumn<QString>("mark");
    QTest::newRow("all right") << 20 << "5";
    QTest::newRow("18 right") << 18 << "5";
    QTest::newRow("17 right") << 17 << "4";
    QTest::newRow("14 right") << 14 << "3";
    QTest::newRow("13 right") << 13 << "2";
    QTest::newRow("none right") << 0 << "2";
}

void WindowsTest::wholeSeriesByKeyboard() {
    QFETCH(int, correct);
    QFETCH(QString, mark);
    // Every answer meets «32 + 10 = »; the exercise drawn after the twentieth is «3 + 9 = ».
    std::vector<std::uint32_t> seeds(20, seedThirtyTwoPlusTen);
    seeds.push_back(seedThreePlusNine);
    const ScriptedSeeds scripted(seeds);
    Program program;
    show(program);

    SeenResult seen;
    answerAll(program, correct, seen);

    QVERIFY2(seen.shown, "the result window was shown");
    QCOMPARE(seen.correct, QString::number(correct));
    QCOMPARE(seen.mark, mark);
    QCOMPARE(seen.focusedButton, "Button1");
    QCOMPARE(seen.frame.left, 286);
    QCOMPARE(seen.frame.top, 276);
    QVERIFY2(seen.modal, "the result window is modal");

    // The finished main window: inputs locked, one more exercise shown, focus on Exit.
    QVERIFY(!program.result.isVisible());
    QCOMPARE(program.main.Lb3.text(), "0");
    QCOMPARE(program.main.Lb1.text(), exerciseThreePlusNine);
    QVERIFY(!program.main.Numb.isEnabled());
    QVERIFY(!program.main.bbRes.isEnabled());
    QCOMPARE(program.main.state.mark, mark.toInt());
    QCOMPARE(program.main.state.remaining, 0); // the series did not begin again
    QTRY_COMPARE(focused(), widgetOf(program.main.bkClose));
}

void WindowsTest::rejectedAnswerChangesNothing_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::newRow("letter") << "12a"
                            << "'12a' is not a valid integer value.";
    QTest::newRow("empty") << ""
                           << "'' is not a valid integer value.";
    QTest::newRow("trailing blank") << "42 "
                                    << "'42 ' is not a valid integer value.";
    QTest::newRow("decimal point") << "4.0"
                                   << "'4.0' is not a valid integer value.";
    QTest::newRow("markup") << "<b>1</b>"
                            << "'<b>1</b>' is not a valid integer value.";
    QTest::newRow("format") << "%s%n"
                            << "'%s%n' is not a valid integer value.";
}

void WindowsTest::rejectedAnswerChangesNothing() {
    QFETCH(QString, answer);
    QFETCH(QString, message);
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    Program program;
    show(program);
    program.main.Numb.setFocus();
    type(answer);

    BoxCloser boxes;
    press(Qt::Key_Return);

    QCOMPARE(boxes.seen.size(), 1u);
    QCOMPARE(boxes.seen[0].caption, QString::fromStdString(application_->title()));
    QCOMPARE(boxes.seen[0].text, message);
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
    QCOMPARE(QString::fromStdString(program.main.Numb.text()), answer);
    QCOMPARE(program.main.Lb3.text(), "20");
    QCOMPARE(program.main.Lb1.text(), exerciseThirtyTwoPlusTen);
    QCOMPARE(program.main.state.remaining, 20);
    QTRY_COMPARE(focused(), widgetOf(program.main.Numb));

    // The pupil corrects the answer; it is judged against the same exercise.
    press(Qt::Key_A, Qt::ControlModifier);
    type("42");
    press(Qt::Key_Return);
    QCOMPARE(program.main.state.correctCount, 1);
    QCOMPARE(program.main.Lb3.text(), "19");
}

void WindowsTest::pastedNulIsShownInTheBox() {
    // The box shows the whole rejected text, with the NUL as the replacement character, and
    // the field keeps every character of it.
    const QString pasted = QStringLiteral("4") + QChar(0) + QStringLiteral("2");
    Program program;
    show(program);
    program.main.Numb.setFocus();
    QGuiApplication::clipboard()->setText(pasted);
    press(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(QString::fromStdString(program.main.Numb.text()), pasted);

    BoxCloser boxes;
    press(Qt::Key_Return);

    QCOMPARE(boxes.seen.size(), 1u);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("'4\uFFFD2' is not a valid integer value."));
    QCOMPARE(QString::fromStdString(program.main.Numb.text()), pasted);
    QCOMPARE(program.main.state.remaining, 20);
}

void WindowsTest::acceptedAnswerIsJudgedByItsValue_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("correct");
    QTest::newRow("right") << "42" << 1;
    QTest::newRow("hexadecimal") << "$2A" << 1;
    QTest::newRow("leading blanks") << "  42" << 1;
    QTest::newRow("plus sign") << "+42" << 1;
    QTest::newRow("wrong") << "41" << 0;
}

void WindowsTest::acceptedAnswerIsJudgedByItsValue() {
    QFETCH(QString, answer);
    QFETCH(int, correct);
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    Program program;
    show(program);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    type(answer);
    press(Qt::Key_Return);
    QCOMPARE(program.main.state.correctCount, correct);
    QCOMPARE(program.main.Lb3.text(), "19");
    QCOMPARE(program.main.Numb.text(), "");
}

void WindowsTest::seriesBeginsOnlyOnce() {
    // Were the series to begin again, the remaining count would go back to 20 and the next
    // exercise would be «3 + 9 = ».
    std::vector<std::uint32_t> seeds{seedThirtyTwoPlusTen, seedThirtyTwoPlusTen};
    seeds.resize(40, seedThreePlusNine);
    const ScriptedSeeds scripted(seeds);
    Program program;
    show(program);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    type("42");
    press(Qt::Key_Return);
    QCOMPARE(program.main.state.remaining, 19);
    const std::string exercise = program.main.Lb1.text();

    // A message box comes and goes.
    {
        BoxCloser boxes;
        type("x");
        press(Qt::Key_Return);
        QCOMPARE(boxes.seen.size(), 1u);
    }

    // The window is minimized and restored.
    QWidget* window = windowOf(program.main);
    window->showMinimized();
    QCoreApplication::processEvents();
    window->showNormal();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));

    // Another program's window takes the focus and gives it back.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));

    QCOMPARE(program.main.state.remaining, 19);
    QCOMPARE(program.main.Lb3.text(), "19");
    QCOMPARE(program.main.Lb1.text(), exercise);
}

void WindowsTest::disabledOkAfterTheSeriesDoesNothing() {
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    Program program;
    show(program);
    SeenResult seen;
    answerAll(program, 20, seen);
    QVERIFY(seen.shown);

    const std::string exercise = program.main.Lb1.text();
    BoxCloser boxes;
    QTest::mouseClick(widgetOf(program.main.bbRes), Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(boxes.seen.empty());
    QCOMPARE(program.main.state.remaining, 0);
    QCOMPARE(program.main.state.correctCount, 20);
    QCOMPARE(program.main.Lb1.text(), exercise);
    QVERIFY(!program.result.isVisible());
}

void WindowsTest::escapeDoesNothing() {
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    Program program;
    show(program);
    press(Qt::Key_Escape);
    QVERIFY(program.main.isVisible());
    QVERIFY(!application_->isTerminated());
    program.main.Numb.setFocus();
    type("4");
    press(Qt::Key_Escape);
    QCOMPARE(program.main.Numb.text(), "4");
    QCOMPARE(program.main.state.remaining, 20);
}

void WindowsTest::enterAtStartEndsTheProgram() {
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    Program program;
    show(program);
    QCOMPARE(focused(), widgetOf(program.main.bkClose));
    press(Qt::Key_Return);
    QTRY_VERIFY(application_->isTerminated());
    QVERIFY(!program.main.isVisible());
}

QTEST_MAIN(WindowsTest)
#include "tst_program.moc"
