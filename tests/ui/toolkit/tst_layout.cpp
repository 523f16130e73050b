// Window declarations: a declaration that does not describe a valid window fails loudly, naming
// what is wrong, either when it is read or at the latest when a window is created from it; the
// program's own two layouts read and instantiate cleanly.

#include "toolkit_fixture.h"

#include <QFile>

using namespace toolkit_test;
using toolkit::LayoutError;

namespace {

// A valid window around the given controls; `extra` adds keys to the window object.
QByteArray windowJson(const QByteArray& controls, const QByteArray& extra = {},
                      const QByteArray& font = R"({"face": "DejaVu Sans", "height": 16})",
                      const QByteArray& placement = R"("desktopCentred")") {
    return R"({"name": "W", "class": "TW", "caption": "W", "outerSize": [200, 100],)"
           R"( "placement": )" +
           placement + R"(, "font": )" + font + R"(, "designTextHeight": 19)" + extra +
           R"(, "controls": [)" + controls + "]}";
}

const QByteArray button = R"({"kind": "button", "name": "B", "bounds": [1, 2, 30, 20],)"
                          R"( "text": "Go", "tabOrder": 0, "events": {"click": "BClick"}})";

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

    void readingFailsNamingTheFault_data();
    void readingFailsNamingTheFault();
    void creationChecksTheDeclaration_data();
    void creationChecksTheDeclaration();
    void unknownControlNames();
    void programLayoutsReadAndInstantiate_data();
    void programLayoutsReadAndInstantiate();

private:
    std::unique_ptr<toolkit::Application> app;
};

void LayoutTest::readingFailsNamingTheFault_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("mentions");

    const QByteArray label =
        R"({"kind": "label", "name": "L", "bounds": [1, 2, 30, 20], "text": "x")";

    QTest::newRow("not JSON") << QByteArray("{\"name\": ") << QStringList{"not valid JSON"};
    QTest::newRow("not an object") << QByteArray("[]") << QStringList{"JSON object"};
    QTest::newRow("unknown kind")
        << windowJson(R"({"kind": "combo", "name": "C", "bounds": [0, 0, 1, 1], "text": ""})")
        << QStringList{"\"C\"", "unknown kind \"combo\""};
    QTest::newRow("unknown window key")
        << windowJson(button, R"(, "colour": "red")") << QStringList{"unknown key \"colour\""};
    QTest::newRow("unknown control key")
        << windowJson(label + R"(, "hint": "x"})") << QStringList{"\"L\"", "unknown key \"hint\""};
    QTest::newRow("unknown font key")
        << windowJson(button, {}, R"({"face": "DejaVu Sans", "height": 16, "bold": true})")
        << QStringList{"font", "unknown key \"bold\""};
    QTest::newRow("unknown window event")
        << windowJson(button, R"(, "events": {"resize": "FormResize"})")
        << QStringList{"unknown event \"resize\""};
    QTest::newRow("unknown control event")
        << windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 30, 20], "text": "",)"
                      R"( "tabOrder": 0, "events": {"dblclick": "BDbl"}})")
        << QStringList{"\"B\"", "unknown event \"dblclick\""};
    QTest::newRow("event on a label") << windowJson(label + R"(, "events": {"click": "LClick"}})")
                                      << QStringList{"\"L\"", "only buttons have events"};
    QTest::newRow("unknown colour")
        << windowJson(button, {}, R"({"face": "DejaVu Sans", "height": 16, "colour": "blue"})")
        << QStringList{"unknown colour \"blue\""};
    QTest::newRow("missing key") << QByteArray(R"({"name": "W", "class": "TW"})")
                                 << QStringList{"missing \"caption\""};
    QTest::newRow("button without tab order")
        << windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 3, 4], "text": ""})")
        << QStringList{"\"B\"", "missing \"tabOrder\""};
    QTest::newRow("label with tab order")
        << windowJson(label + R"(, "tabOrder": 1})") << QStringList{"\"L\"", "tab order"};
    QTest::newRow("panel made a tab stop")
        << windowJson(R"({"kind": "panel", "name": "P", "bounds": [1, 2, 3, 4], "text": "",)"
                      R"( "tabOrder": 1, "tabStop": true})")
        << QStringList{"\"P\"", "tab stop"};
    QTest::newRow("two controls of one name")
        << windowJson(button + ", " + button) << QStringList{"two controls are named \"B\""};
    QTest::newRow("one tab order twice")
        << windowJson(R"({"kind": "edit", "name": "E", "bounds": [1, 2, 3, 4], "text": "",)"
                      R"( "tabOrder": 0}, )" +
                      button)
        << QStringList{"tab order 0 is used twice"};
    QTest::newRow("fractional height")
        << windowJson(button, {}, R"({"face": "DejaVu Sans", "height": 16.5})")
        << QStringList{"\"height\" must be a whole number"};
    QTest::newRow("height beyond any integer")
        << windowJson(button, {}, R"({"face": "DejaVu Sans", "height": 1e20})")
        << QStringList{"\"height\" must be a whole number"};
    QTest::newRow("bounds of three numbers")
        << windowJson(R"({"kind": "label", "name": "L", "bounds": [1, 2, 3], "text": ""})")
        << QStringList{"\"L\"", "bounds"};
    QTest::newRow("negative width")
        << windowJson(R"({"kind": "label", "name": "L", "bounds": [1, 2, -3, 4], "text": ""})")
        << QStringList{"\"L\"", "negative size"};
    QTest::newRow("placement of texts")
        << windowJson(button, {}, R"({"face": "DejaVu Sans", "height": 16})", R"(["a", 5])")
        << QStringList{"\"placement\""};
    QTest::newRow("fractional placement")
        << windowJson(button, {}, R"({"face": "DejaVu Sans", "height": 16})", R"([1.5, 5])")
        << QStringList{"\"placement\""};
}

void LayoutTest::readingFailsNamingTheFault() {
    QFETCH(QByteArray, json);
    QFETCH(QStringList, mentions);

    const QString message = messageOf([&] { toolkit::readLayout(view(json)); });
    for (const QString& mention : mentions) {
        QVERIFY2(message.contains(mention), qPrintable(message));
    }
}

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
