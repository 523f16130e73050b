// Window declarations at window creation: a declaration made in code that does not describe a
// valid window, or names a handler the window lacks, fails loudly, naming what is wrong, and
// leaves no half-made window; the program's own two layouts instantiate cleanly. (Reading and
// checking declarations without a window is tested in tests/toolkit.)

#include "toolkit_fixture.h"

#include <QFile>

using namespace toolkit_test;
using toolkit::LayoutError;

namespace {

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const LayoutError& error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("<no LayoutError>");
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app = makeApplication(); }
    void cleanupTestCase() { app.reset(); }

    void creationChecksTheDeclaration_data();
    void creationChecksTheDeclaration();
    void unknownControlNames();
    void programLayoutsReadAndInstantiate_data();
    void programLayoutsReadAndInstantiate();

private:
    std::unique_ptr<toolkit::Application> app;
};

void LayoutTest::creationChecksTheDeclaration_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("window handler missing") << 0 << QStringList{"\"FormShow\"", "TW"};
    QTest::newRow("click handler missing") << 1 << QStringList{"\"BClick\"", "\"B\""};
    QTest::newRow("design text height zero") << 2 << QStringList{"design text height"};
    QTest::newRow("two controls of one name") << 3 << QStringList{"two controls are named \"B\""};
    QTest::newRow("click on a label") << 4 << QStringList{"\"L\"", "only buttons have events"};
    QTest::newRow("unknown event") << 5 << QStringList{"\"B\"", "unknown event \"press\""};
    QTest::newRow("empty font face") << 6 << QStringList{"font"};
}

// Declarations built in code never pass through the reader, so the window checks them itself:
// a wrong one must not give a half-made window, a division by zero or a silently dead handler.
void LayoutTest::creationChecksTheDeclaration() {
    QFETCH(int, fault);
    QFETCH(QStringList, mentions);

    Calls calls;
    toolkit::Handlers handlers{{"BClick", calls.record("BClick")},
                               {"FormShow", calls.record("FormShow")}};
    WindowDecl decl =
        window("W",
               {focusable(ControlKind::Button, "B", {1, 2, 60, 30}, "Go", 0, "BClick"),
                label("L", {1, 40, 60, 20}, "x")},
               {{"show", "FormShow"}});
    switch (fault) {
    case 0:
        handlers.erase("FormShow");
        break;
    case 1:
        handlers.erase("BClick");
        break;
    case 2:
        decl.designTextHeight = 0;
        break;
    case 3:
        decl.controls[1] = decl.controls[0];
        decl.controls[1].tabOrder = 1;
        break;
    case 4:
        decl.controls[1].events.emplace("click", "BClick");
        break;
    case 5:
        decl.controls[0].events = {{"press", "BClick"}};
        break;
    case 6:
        decl.font.face.clear();
        break;
    }
    const std::size_t windowsBefore = toolkit::detail::app().forms.size();

    const QString message = messageOf([&] { toolkit::Form form(decl, handlers); });

    for (const QString& mention : mentions) {
        QVERIFY2(message.contains(mention), qPrintable(message));
    }
    QCOMPARE(toolkit::detail::app().forms.size(), windowsBefore);
    QCOMPARE(app->mainForm(), nullptr);
}

void LayoutTest::unknownControlNames() {
    toolkit::Form form(window("W", {label("Lb1", {1, 2, 30, 20}, "x"),
                                    focusable(ControlKind::Edit, "Numb", {1, 30, 60, 20}, "", 0)}),
                       {});

    QCOMPARE(&form.control("Numb"), &form.control("Numb", ControlKind::Edit));
    QVERIFY(messageOf([&] { form.control("Numb2"); }).contains("\"Numb2\""));
    const QString wrongKind = messageOf([&] { form.control("Lb1", ControlKind::Edit); });
    QVERIFY2(wrongKind.contains("\"Lb1\"") && wrongKind.contains("label"), qPrintable(wrongKind));
}

void LayoutTest::programLayoutsReadAndInstantiate_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("controls");

    QTest::newRow("main window") << QStringLiteral("Form1.json") << 9;
    QTest::newRow("result window") << QStringLiteral("Form2.json") << 5;
}

void LayoutTest::programLayoutsReadAndInstantiate() {
    QFETCH(QString, file);
    QFETCH(int, controls);

    QFile source(QStringLiteral(DRILL_SOURCE_DIR "/resources/") + file);
    QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(source.fileName()));
    const QByteArray json = source.readAll();

    WindowDecl decl;
    try {
        decl = toolkit::readLayout(view(json));
    } catch (const LayoutError& error) {
        QFAIL(error.what());
    }
    QCOMPARE(int(decl.controls.size()), controls);

    // Whatever handlers it names, the window can be made from it.
    toolkit::Handlers stubs;
    auto collect = [&](const toolkit::EventBindings& events) {
        for (const auto& [event, handler] : events) {
            stubs.emplace(handler, [] {});
        }
    };
    collect(decl.events);
    for (const ControlDecl& control : decl.controls) {
        collect(control.events);
    }
    toolkit::Form form(decl, stubs);
    for (const ControlDecl& control : decl.controls) {
        QCOMPARE(form.control(control.name, control.kind).text(), control.text);
    }
}

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
