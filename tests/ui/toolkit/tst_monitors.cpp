// Placement on two monitors side by side, the desktop not starting at 0,0, at 120 dots per inch
// with Qt's own scaling off: the desktop-centred window is centred by the size of the bounding
// rectangle of both, a
// window with a designed place follows the active window to its monitor, and the window font
// follows the resolution. Run with the screens of two_monitors.json.

#include "toolkit_fixture.h"

#include <QScreen>

#include <cmath>

using namespace toolkit_test;

namespace {

WindowDecl placed(std::string name, Rect frame) {
    WindowDecl w =
        window(name, {focusable(ControlKind::Button, "bk", {10, 10, 80, 30}, "Button", 0)});
    w.placement = toolkit::Placement::Designed;
    w.left = frame.left;
    w.top = frame.top;
    w.outerWidth = frame.width;
    w.outerHeight = frame.height;
    return w;
}

} // namespace

class MonitorsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { app.reset(); }

    void centredOnTheWholeDesktop();
    void designedPlaceFollowsTheActiveWindow_data();
    void designedPlaceFollowsTheActiveWindow();
    void windowFontFollowsTheResolution();

private:
    std::unique_ptr<toolkit::Application> app;
};

void MonitorsTest::initTestCase() {
    QCOMPARE(QGuiApplication::screens().size(), 2);
    QCOMPARE(QGuiApplication::primaryScreen()->virtualGeometry(), QRect(100, 50, 2304, 1024));
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchY(), 120.0);
    app = makeApplication();
}

// Centred by the desktop's width and height; its left and top (100, 50) are not added.
void MonitorsTest::centredOnTheWholeDesktop() {
    WindowDecl decl = window("Main", {});
    decl.outerWidth = 472;
    decl.outerHeight = 275;
    toolkit::Form form(decl, {});

    QVERIFY(showActive(form));

    QTRY_COMPARE(form.frame(), (Rect{916, 374, 472, 275}));
}

void MonitorsTest::designedPlaceFollowsTheActiveWindow_data() {
    QTest::addColumn<Rect>("active");
    QTest::addColumn<Rect>("designed");
    QTest::addColumn<QPoint>("expected");

    const Rect onLeft{300, 100, 472, 275};
    const Rect onRight{1500, 100, 472, 275};
    QTest::newRow("active on the same monitor")
        << onLeft << Rect{286, 276, 426, 209} << QPoint(286, 276);
    QTest::newRow("active on the other monitor")
        << onRight << Rect{286, 276, 426, 209} << QPoint(1566, 276);
    QTest::newRow("pulled left and up inside the other")
        << onRight << Rect{1000, 900, 426, 209} << QPoint(1978, 609);
}

void MonitorsTest::designedPlaceFollowsTheActiveWindow() {
    QFETCH(Rect, active);
    QFETCH(Rect, designed);
    QFETCH(QPoint, expected);

    toolkit::Form first(placed("First", active), {});
    toolkit::Form second(placed("Second", designed), {});
    QVERIFY(showActive(first));
    QTRY_COMPARE(first.frame(), active);

    second.show();

    QTRY_COMPARE(QPoint(second.frame().left, second.frame().top), expected);
}

// 16 pixels at 96 dots per inch are 20 at 120; the controls follow the measured height of "0".
void MonitorsTest::windowFontFollowsTheResolution() {
    WindowDecl decl =
        window("Main", {focusable(ControlKind::Button, "bk", {13, 41, 75, 25}, "B", 0)});
    const int design = textHeight(decl.font); // as measured at 96 dots per inch
    const int measured = textHeight(font(20));
    toolkit::Form form(decl, {});

    QCOMPARE(form.declaration().font.height, 20);
    QCOMPARE(windowOf(form)->font().pixelSize(), 20);
    auto scaled = [&](int value) {
        return int(std::floor(double(value) * measured / design + 0.5));
    };
    QCOMPARE(form.control("bk").bounds(),
             (Rect{scaled(13), scaled(41), scaled(88) - scaled(13), scaled(66) - scaled(41)}));
}

QTEST_MAIN(MonitorsTest)
#include "tst_monitors.moc"
