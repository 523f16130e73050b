// Window declarations: the program's own two layouts read back exactly as the windows are
// designed, and a declaration that does not describe a valid window fails with a LayoutError
// naming what is wrong, whether it was read from JSON or made in code.

#include "toolkit/layout.h"

#include "case_table.h"

#include <doctest/doctest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using test_support::forEachRow;
using toolkit::Charset;
using toolkit::Colour;
using toolkit::ControlDecl;
using toolkit::ControlKind;
using toolkit::EventBindings;
using toolkit::FontSpec;
using toolkit::FontStyle;
using toolkit::LayoutError;
using toolkit::Placement;
using toolkit::Rect;
using toolkit::TabStop;
using toolkit::WindowDecl;

namespace {

std::string readResource(const std::string& file) {
    const std::string path = std::string(DRILL_RESOURCES_DIR) + "/" + file;
    std::ifstream in(path, std::ios::binary);
    REQUIRE_MESSAGE(in, "cannot open ", path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The message of the LayoutError that the action raises, or a text saying that it raised none.
std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const LayoutError& error) {
        return error.what();
    }
    return "<no LayoutError>";
}

void checkMentions(const std::string& message, const std::vector<std::string>& mentions) {
    for (const std::string& mention : mentions) {
        CHECK_MESSAGE(message.find(mention) != std::string::npos, "\"", mention,
                      "\" not in: ", message);
    }
}

std::string text(const Rect& r) {
    return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.width) + ", " + std::to_string(r.height) + "]";
}

std::string text(const std::optional<FontSpec>& font) {
    if (!font) {
        return "window font";
    }
    return "\"" + font->face + "\" " + std::to_string(font->height) +
           (font->style == FontStyle::Italic ? " italic" : " plain") +
           (font->colour == Colour::Maroon ? " maroon" : " window-text") +
           (font->charset == Charset::Cyrillic ? " cyrillic" : " default");
}

std::string text(const EventBindings& events) {
    std::string result;
    for (const auto& [event, handler] : events) {
        result += event + "=" + handler + ";";
    }
    return result;
}

std::string text(const std::optional<int>& tabOrder) {
    return tabOrder ? std::to_string(*tabOrder) : "none";
}

FontSpec font(std::string face, int height, FontStyle style = FontStyle::Plain,
              Colour colour = Colour::WindowText, Charset charset = Charset::Default) {
    return {std::move(face), height, style, colour, charset};
}

ControlDecl label(std::string name, Rect bounds, std::string caption,
                  std::optional<FontSpec> ownFont = std::nullopt) {
    ControlDecl c;
    c.kind = ControlKind::Label;
    c.name = std::move(name);
    c.bounds = bounds;
    c.text = std::move(caption);
    c.font = std::move(ownFont);
    return c;
}

ControlDecl focusable(ControlKind kind, std::string name, Rect bounds, std::string caption,
                      std::optional<FontSpec> ownFont, int tabOrder,
                      std::string clickHandler = {}) {
    ControlDecl c;
    c.kind = kind;
    c.name = std::move(name);
    c.bounds = bounds;
    c.text = std::move(caption);
    c.font = std::move(ownFont);
    c.tabOrder = tabOrder;
    c.tabStop = kind == ControlKind::Panel ? TabStop::No : TabStop::Yes;
    if (!clickHandler.empty()) {
        c.events.emplace("click", std::move(clickHandler));
    }
    return c;
}

// The main window as designed.
WindowDecl designedMainWindow() {
    const FontSpec reference = font("MS Reference Sans Serif", 27);
    WindowDecl w;
    w.name = "Form1";
    w.className = "TForm1";
    w.caption = "Сложение чисел (2 класс)";
    w.outerWidth = 472;
    w.outerHeight = 275;
    w.placement = Placement::DesktopCentred;
    w.font = font("MS Sans Serif", 27);
    w.designTextHeight = 32;
    w.events = {{"activate", "FormActivate"}};
    w.controls = {
        label("Lb1", {8, 16, 85, 54}, "Lb1", font("Modern No. 20", 53)),
        label("Label1", {8, 96, 245, 34}, "Всего примеров -", reference),
        // Eleven blanks between the word and the hyphen.
        label("Label2", {8, 136, 248, 34}, "Осталось" + std::string(11, ' ') + "-", reference),
        label("Lb2", {264, 96, 34, 34}, "20", reference),
        label("Lb3", {256, 136, 34, 34}, "20", reference),
        focusable(ControlKind::Button, "bkClose", {336, 192, 121, 41}, "Выход", reference, 0,
                  "bkCloseClick"),
        focusable(ControlKind::OkButton, "bbRes", {368, 24, 83, 49}, "OK", reference, 1,
                  "bbResClick"),
        focusable(ControlKind::Edit, "Numb", {216, 32, 121, 40}, "", std::nullopt, 2),
        focusable(
            ControlKind::Panel, "Panel1", {16, 192, 185, 41}, "Кленова Д.М.",
            font("Monotype Corsiva", 24, FontStyle::Italic, Colour::WindowText, Charset::Cyrillic),
            3),
    };
    return w;
}

// The result window as designed.
WindowDecl designedResultWindow() {
    WindowDecl w;
    w.name = "Form2";
    w.className = "TForm2";
    w.caption = "Оценка";
    w.outerWidth = 426;
    w.outerHeight = 209;
    w.placement = Placement::Designed;
    w.left = 286;
    w.top = 276;
    w.font = font("Tahoma", 27);
    w.designTextHeight = 33;
    w.events = {{"show", "FormShow"}};
    w.controls = {
        label("Label1", {8, 16, 303, 33}, "Ответили правильно на ", font("Tahoma", 27)),
        label("Label2", {16, 72, 90, 33}, "Оценка"),
        label("Lb6", {320, 16, 43, 33}, "Lb6"),
        label("Lb7", {136, 64, 77, 58}, "Lb7",
              font("Tahoma", 48, FontStyle::Plain, Colour::Maroon)),
        focusable(ControlKind::Button, "Button1", {280, 112, 113, 41}, "Выход", std::nullopt, 0,
                  "Button1Click"),
    };
    return w;
}

void checkSameWindow(const WindowDecl& actual, const WindowDecl& expected) {
    CHECK(actual.name == expected.name);
    CHECK(actual.className == expected.className);
    CHECK(actual.caption == expected.caption);
    CHECK(actual.outerWidth == expected.outerWidth);
    CHECK(actual.outerHeight == expected.outerHeight);
    CHECK(actual.placement == expected.placement);
    if (expected.placement == Placement::Designed) {
        CHECK(actual.left == expected.left);
        CHECK(actual.top == expected.top);
    }
    CHECK(text(actual.font) == text(expected.font));
    CHECK(actual.designTextHeight == expected.designTextHeight);
    CHECK(text(actual.events) == text(expected.events));

    REQUIRE(actual.controls.size() == expected.controls.size());
    for (std::size_t i = 0; i < expected.controls.size(); ++i) {
        const ControlDecl& a = actual.controls[i];
        const ControlDecl& e = expected.controls[i];
        INFO("control ", i, " \"", e.name, "\"");
        CHECK(a.name == e.name);
        CHECK(toolkit::kindName(a.kind) == toolkit::kindName(e.kind));
        CHECK(text(a.bounds) == text(e.bounds));
        CHECK(a.text == e.text);
        CHECK(text(a.font) == text(e.font));
        CHECK(text(a.tabOrder) == text(e.tabOrder));
        CHECK((a.tabStop == TabStop::Yes) == (e.tabStop == TabStop::Yes));
        CHECK(text(a.events) == text(e.events));
    }
}

// A valid window around the given controls, as JSON; `extra` adds keys to the window object.
std::string windowJson(const std::string& controls, const std::string& extra = {},
                       const std::string& font = R"({"face": "DejaVu Sans", "height": 16})",
                       const std::string& placement = R"("desktopCentred")") {
    return R"({"name": "W", "class": "TW", "caption": "W", "outerSize": [200, 100],)"
           R"( "placement": )" +
           placement + R"(, "font": )" + font + R"(, "designTextHeight": 19)" + extra +
           R"(, "controls": [)" + controls + "]}";
}

const std::string buttonJson = R"({"kind": "button", "name": "B", "bounds": [1, 2, 30, 20],)"
                               R"( "text": "Go", "tabOrder": 0, "events": {"click": "BClick"}})";
const std::string labelJson =
    R"({"kind": "label", "name": "L", "bounds": [1, 2, 30, 20], "text": "x")";

} // namespace

TEST_CASE("the program's layouts read as the windows are designed") {
    struct Row {
        const char* name;
        const char* file;
        WindowDecl (*designed)();
    };
    static const Row rows[] = {
        {"main window", "Form1.json", designedMainWindow},
        {"result window", "Form2.json", designedResultWindow},
    };

    forEachRow(rows, [](const Row& row) {
        const std::string json = readResource(row.file);
        WindowDecl read;
        try {
            read = toolkit::readLayout(json);
        } catch (const LayoutError& error) {
            FAIL(row.file, ": ", error.what());
        }
        const WindowDecl designed = row.designed();
        checkSameWindow(read, designed);
        CHECK_NOTHROW(toolkit::checkWindow(designed));
    });
}

TEST_CASE("the same layout reads the same, whatever the JSON's spacing and key order") {
    const std::string compact =
        R"({"controls":[{"text":"Go","tabOrder":0,"name":"B","kind":"button",)"
        R"("events":{"click":"BClick"},"bounds":[1,2,30,20]}],"designTextHeight":19,)"
        R"("font":{"height":16,"face":"DejaVu Sans"},"placement":"desktopCentred",)"
        R"("outerSize":[200,100],"caption":"W","class":"TW","name":"W"})";
    checkSameWindow(toolkit::readLayout(compact), toolkit::readLayout(windowJson(buttonJson)));
}

TEST_CASE("reading a faulty layout fails naming the fault") {
    struct Row {
        const char* name;
        std::string json;
        std::vector<std::string> mentions;
    };
    const Row rows[] = {
        {"not JSON", "{\"name\": ", {"not valid JSON"}},
        {"empty text", "", {"not valid JSON"}},
        {"trailing garbage", windowJson(buttonJson) + " x", {"not valid JSON"}},
        {"invalid UTF-8 in a text",
         R"({"name": "W", "class": "TW", "caption": ")"
         "\xC3\x28"
         R"("})",
         {"not valid JSON"}},
        {"not an object", "[]", {"JSON object"}},
        {"unknown kind",
         windowJson(R"({"kind": "combo", "name": "C", "bounds": [0, 0, 1, 1], "text": ""})"),
         {"\"C\"", "unknown kind \"combo\""}},
        {"unknown window key",
         windowJson(buttonJson, R"(, "colour": "red")"),
         {"unknown key \"colour\""}},
        {"window key given twice",
         windowJson(buttonJson, R"(, "caption": "Other")"),
         {"\"caption\" twice"}},
        {"control key given twice",
         windowJson(labelJson + R"(, "text": "again"})"),
         {"\"text\" twice"}},
        {"unknown control key",
         windowJson(labelJson + R"(, "hint": "x"})"),
         {"\"L\"", "unknown key \"hint\""}},
        {"unknown font key",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16, "bold": true})"),
         {"font", "unknown key \"bold\""}},
        {"unknown window event",
         windowJson(buttonJson, R"(, "events": {"resize": "FormResize"})"),
         {"unknown event \"resize\""}},
        {"click on the window",
         windowJson(buttonJson, R"(, "events": {"click": "FormClick"})"),
         {"unknown event \"click\""}},
        {"unknown control event",
         windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 30, 20], "text": "",)"
                    R"( "tabOrder": 0, "events": {"dblclick": "BDbl"}})"),
         {"\"B\"", "unknown event \"dblclick\""}},
        {"event on a label",
         windowJson(labelJson + R"(, "events": {"click": "LClick"}})"),
         {"\"L\"", "only buttons have events"}},
        {"handler not a text",
         windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 30, 20], "text": "",)"
                    R"( "tabOrder": 0, "events": {"click": 7}})"),
         {"\"B\"", "event \"click\""}},
        {"empty handler name",
         windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 30, 20], "text": "",)"
                    R"( "tabOrder": 0, "events": {"click": ""}})"),
         {"\"B\"", "event \"click\" must name a handler"}},
        {"unknown colour",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16, "colour": "blue"})"),
         {"unknown colour \"blue\""}},
        {"unknown character set",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16, "charset": "greek"})"),
         {"\"greek\""}},
        {"missing key", R"({"name": "W", "class": "TW"})", {"missing \"caption\""}},
        {"button without tab order",
         windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 3, 4], "text": ""})"),
         {"\"B\"", "missing \"tabOrder\""}},
        {"label with tab order",
         windowJson(labelJson + R"(, "tabOrder": 1})"),
         {"\"L\"", "tab order"}},
        {"panel made a tab stop",
         windowJson(R"({"kind": "panel", "name": "P", "bounds": [1, 2, 3, 4], "text": "",)"
                    R"( "tabOrder": 1, "tabStop": true})"),
         {"\"P\"", "tab stop"}},
        {"button made no tab stop",
         windowJson(R"({"kind": "button", "name": "B", "bounds": [1, 2, 3, 4], "text": "",)"
                    R"( "tabOrder": 1, "tabStop": false})"),
         {"\"B\"", "tab stop"}},
        {"two controls of one name",
         windowJson(buttonJson + ", " + buttonJson),
         {"two controls are named \"B\""}},
        {"one tab order twice",
         windowJson(R"({"kind": "edit", "name": "E", "bounds": [1, 2, 3, 4], "text": "",)"
                    R"( "tabOrder": 0}, )" +
                    buttonJson),
         {"tab order 0 is used twice"}},
        {"caption not a text",
         R"({"name": "W", "class": "TW", "caption": 5, "outerSize": [200, 100]})",
         {"\"caption\" must be a text"}},
        {"control text not a text",
         windowJson(R"({"kind": "label", "name": "L", "bounds": [1, 2, 3, 4], "text": null})"),
         {"\"L\"", "\"text\" must be a text"}},
        {"italic not a flag",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16, "italic": 1})"),
         {"\"italic\" must be true or false"}},
        {"tab order as a text",
         windowJson(R"({"kind": "edit", "name": "E", "bounds": [1, 2, 3, 4], "text": "",)"
                    R"( "tabOrder": "0"})"),
         {"\"E\"", "\"tabOrder\" must be a whole number"}},
        {"controls not a list",
         R"({"name": "W", "class": "TW", "caption": "W",)"
         R"( "outerSize": [200, 100], "placement": "desktopCentred",)"
         R"( "font": {"face": "F", "height": 16},)"
         R"( "designTextHeight": 19, "controls": {}})",
         {"\"controls\" must be a list"}},
        {"control not an object", windowJson("5"), {"control 0 must be an object"}},
        {"control without a name",
         windowJson(R"({"kind": "label", "bounds": [1, 2, 3, 4], "text": ""})"),
         {"control 0", "missing \"name\""}},
        {"fractional height",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16.5})"),
         {"\"height\" must be a whole number"}},
        {"height beyond any integer",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 1e20})"),
         {"\"height\" must be a whole number"}},
        {"height just beyond int",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 2147483648})"),
         {"\"height\" must be a whole number"}},
        {"zero height",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 0})"),
         {"font", "positive height"}},
        {"empty face",
         windowJson(buttonJson, {}, R"({"face": "", "height": 16})"),
         {"font", "face"}},
        {"zero design text height",
         R"({"name": "W", "class": "TW", "caption": "W", "outerSize": [200, 100],)"
         R"( "placement": "desktopCentred", "font": {"face": "F", "height": 16},)"
         R"( "designTextHeight": 0, "controls": []})",
         {"design text height"}},
        {"zero outer width",
         R"({"name": "W", "class": "TW", "caption": "W", "outerSize": [0, 100],)"
         R"( "placement": "desktopCentred", "font": {"face": "F", "height": 16},)"
         R"( "designTextHeight": 19, "controls": []})",
         {"outer size"}},
        {"outer size of three numbers",
         R"({"name": "W", "class": "TW", "caption": "W", "outerSize": [200, 100, 1]})",
         {"\"outerSize\""}},
        {"bounds of three numbers",
         windowJson(R"({"kind": "label", "name": "L", "bounds": [1, 2, 3], "text": ""})"),
         {"\"L\"", "bounds"}},
        {"fractional bounds",
         windowJson(R"({"kind": "label", "name": "L", "bounds": [1, 2.5, 3, 4], "text": ""})"),
         {"\"L\"", "bounds"}},
        {"negative width",
         windowJson(R"({"kind": "label", "name": "L", "bounds": [1, 2, -3, 4], "text": ""})"),
         {"\"L\"", "negative size"}},
        {"placement of texts",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16})", R"(["a", 5])"),
         {"\"placement\""}},
        {"fractional placement",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16})", R"([1.5, 5])"),
         {"\"placement\""}},
        {"unknown placement word",
         windowJson(buttonJson, {}, R"({"face": "DejaVu Sans", "height": 16})", R"("centred")"),
         {"\"placement\""}},
    };

    forEachRow(rows, [](const Row& row) {
        CAPTURE(row.json);
        checkMentions(messageOf([&] { toolkit::readLayout(row.json); }), row.mentions);
    });
}

// Declarations made in code never pass through the reader; checkWindow holds them to the same
// rules, so that a wrong one cannot give a half-made window or a division by zero.
TEST_CASE("checkWindow refuses a faulty declaration made in code, naming the fault") {
    struct Row {
        const char* name;
        std::function<void(WindowDecl&)> spoil;
        std::vector<std::string> mentions;
    };
    const Row rows[] = {
        {"zero outer height", [](WindowDecl& w) { w.outerHeight = 0; }, {"\"W\"", "outer size"}},
        {"negative outer width",
         [](WindowDecl& w) { w.outerWidth = -472; },
         {"\"W\"", "outer size"}},
        {"design text height zero",
         [](WindowDecl& w) { w.designTextHeight = 0; },
         {"\"W\"", "design text height"}},
        {"empty window font face", [](WindowDecl& w) { w.font.face.clear(); }, {"font"}},
        {"window font height zero", [](WindowDecl& w) { w.font.height = 0; }, {"font"}},
        {"control font height negative",
         [](WindowDecl& w) { w.controls[0].font->height = -5; },
         {"\"B\"", "font"}},
        {"unknown window event",
         [](WindowDecl& w) { w.events.emplace("resize", "FormResize"); },
         {"\"W\"", "unknown event \"resize\""}},
        {"window event without a handler",
         [](WindowDecl& w) { w.events["show"].clear(); },
         {"event \"show\" must name a handler"}},
        {"two controls of one name",
         [](WindowDecl& w) {
             w.controls[1] = w.controls[0];
             w.controls[1].tabOrder = 1;
         },
         {"two controls are named \"B\""}},
        {"empty control name", [](WindowDecl& w) { w.controls[1].name.clear(); }, {"empty name"}},
        {"negative control height",
         [](WindowDecl& w) { w.controls[1].bounds.height = -1; },
         {"\"L\"", "negative size"}},
        {"click on a label",
         [](WindowDecl& w) { w.controls[1].events.emplace("click", "BClick"); },
         {"\"L\"", "only buttons have events"}},
        {"click on the edit field",
         [](WindowDecl& w) { w.controls[2].events.emplace("click", "EClick"); },
         {"\"E\"", "only buttons have events"}},
        {"unknown control event",
         [](WindowDecl& w) {
             w.controls[0].events = {{"press", "BClick"}};
         },
         {"\"B\"", "unknown event \"press\""}},
        {"label with a tab order",
         [](WindowDecl& w) { w.controls[1].tabOrder = 5; },
         {"\"L\"", "tab order"}},
        {"edit field without a tab order",
         [](WindowDecl& w) { w.controls[2].tabOrder.reset(); },
         {"\"E\"", "missing \"tabOrder\""}},
        {"one tab order twice",
         [](WindowDecl& w) { w.controls[2].tabOrder = 0; },
         {"tab order 0 is used twice"}},
        {"panel made a tab stop",
         [](WindowDecl& w) { w.controls[3].tabStop = TabStop::Yes; },
         {"\"P\"", "tab stop"}},
        {"edit field made no tab stop",
         [](WindowDecl& w) { w.controls[2].tabStop = TabStop::No; },
         {"\"E\"", "tab stop"}},
    };

    forEachRow(rows, [](const Row& row) {
        WindowDecl w;
        w.name = "W";
        w.className = "TW";
        w.caption = "W";
        w.outerWidth = 420;
        w.outerHeight = 260;
        w.font = font("DejaVu Sans", 16);
        w.designTextHeight = 19;
        w.events = {{"show", "FormShow"}};
        w.controls = {
            focusable(ControlKind::Button, "B", {1, 2, 60, 30}, "Go", font("DejaVu Sans", 12), 0,
                      "BClick"),
            label("L", {1, 40, 60, 20}, "x"),
            focusable(ControlKind::Edit, "E", {70, 2, 60, 30}, "", std::nullopt, 1),
            focusable(ControlKind::Panel, "P", {1, 70, 60, 30}, "", std::nullopt, 2),
        };
        REQUIRE_NOTHROW(toolkit::checkWindow(w));

        row.spoil(w);
        checkMentions(messageOf([&] { toolkit::checkWindow(w); }), row.mentions);
    });
}

TEST_CASE("WindowDecl::control finds a control by its exact name") {
    const WindowDecl main = designedMainWindow();
    REQUIRE(main.control("Numb") != nullptr);
    CHECK(main.control("Numb")->kind == ControlKind::Edit);
    CHECK(main.control("numb") == nullptr);
    CHECK(main.control("Numb2") == nullptr);
    CHECK(main.control("") == nullptr);
}
