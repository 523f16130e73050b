// Placement on two monitors side by side, the desktop not starting at 0,0, at 120 dots per inch
// with Qt's own scaling off: the window font follows the resolution, the controls follow the font
// and the window's outer size grows with them; the desktop-centred window is centred by the size
// of the bounding rectangle of both, and a window with a designed place follows the active window
// to its monitor. Run with the screens of two_monitors.json.

#include "toolkit_fixture.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

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

// A designed outer size as the window has it at 120 dots per inch: grown by the measured height
// of "0" against the design's, as the controls are.
Rect grown(Rect frame) {
    const int design = textHeight(font(16));
    const int measured = textHeight(font(20));
    frame.width = toolkit::scaleRounded(frame.width, measured, design);
    frame.height = toolkit::scaleRounded(frame.height, measured, design);
    return frame;
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
    void outerSizeGrowsWithTheControls();

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
    const Rect outer = grown({0, 0, 472, 275});

    QVERIFY(showActive(form));

    QTRY_COMPARE(form.frame(), (Rect{(2304 - outer.width) / 2, (1024 - outer.height) / 2,
                                     outer.width, outer.height}));
}

void MonitorsTest::designedPlaceFollowsTheActiveWindow_data() {
    QTest::addColumn<Rect>("active");
    QTest::addColumn<Rect>("designed");
    QTest::addColumn<QPoint>("expected");

    const Rect onLeft{300, 100, 472, 275};
    const Rect onRight{1500, 100, 472, 275};
    const Rect result = grown({0, 0, 426, 209});
    QTest::newRow("active on the same monitor")
        << onLeft << Rect{286, 276, 426, 209} << QPoint(286, 276);
    QTest::newRow("active on the other monitor")
        << onRight << Rect{286, 276, 426, 209} << QPoint(1566, 276);
    // The right monitor ends at 2404, 818.
    QTest::newRow("pulled left and up inside the other")
        << onRight << Rect{1000, 900, 426, 209} << QPoint(2404 - result.width, 818 - result.height);
}

void MonitorsTest::designedPlaceFollowsTheActiveWindow() {
    QFETCH(Rect, active);
    QFETCH(Rect, designed);
    QFETCH(QPoint, expected);

    toolkit::Form first(placed("First", active), {});
    toolkit::Form second(placed("Second", designed), {});
    QVERIFY(showActive(first));
    QTRY_COMPARE(first.frame(), grown(active));

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

// On a finer screen the window grows with its controls, so that it shows no scroll bars only
// because the screen is finer.
void MonitorsTest::outerSizeGrowsWithTheControls() {
    WindowDecl decl =
        window("Main", {focusable(ControlKind::Button, "bk", {300, 180, 100, 40}, "Button", 0)});
    decl.outerWidth = 420;
    decl.outerHeight = 260;
    toolkit::Form form(decl, {});

    QCOMPARE(form.declaration().outerWidth, grown({0, 0, 420, 260}).width);
    QCOMPARE(form.declaration().outerHeight, grown({0, 0, 420, 260}).height);
    QVERIFY(showActive(form));
    QTRY_COMPARE(QSize(form.frame().width, form.frame().height),
                 QSize(grown({0, 0, 420, 260}).width, grown({0, 0, 420, 260}).height));
    QVERIFY(!toolkit::detail::qtPeerOf(form).scroller->horizontalScrollBar()->isVisible());
    QVERIFY(!toolkit::detail::qtPeerOf(form).scroller->verticalScrollBar()->isVisible());
}

QTEST_MAIN(MonitorsTest)
#include "tst_monitors.moc"
