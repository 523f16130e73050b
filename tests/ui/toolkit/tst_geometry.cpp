// Placement and scaling arithmetic and the application title: pure functions, checked against
// worked examples.

#include "toolkit/geometry.h"
#include "toolkit/toolkit.h"

#include <QTest>

#include <optional>
#include <vector>

using toolkit::Point;
using toolkit::Rect;

Q_DECLARE_METATYPE(Rect)
Q_DECLARE_METATYPE(std::vector<Rect>)
Q_DECLARE_METATYPE(std::optional<Point>)

namespace {

const Rect left{0, 0, 1280, 1024};
const Rect right{1280, 0, 1024, 768};
const std::vector<Rect> twoMonitors{left, right};

QByteArray text(const std::optional<Point>& p) {
    return p ? QByteArray::number(p->x) + "," + QByteArray::number(p->y) : QByteArray("none");
}

} // namespace

class GeometryTest : public QObject {
    Q_OBJECT

private slots:
    void centredOrigin_data();
    void centredOrigin();
    void followActiveMonitor_data();
    void followActiveMonitor();
    void scaleRounded_data();
    void scaleRounded();
    void titleFromExecutable_data();
    void titleFromExecutable();
};

void GeometryTest::centredOrigin_data() {
    QTest::addColumn<int>("desktopWidth");
    QTest::addColumn<int>("desktopHeight");
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");

    QTest::newRow("main window on 1280x1024") << 1280 << 1024 << 472 << 275 << 404 << 374;
    QTest::newRow("odd remainder rounds down") << 1025 << 769 << 472 << 276 << 276 << 246;
    QTest::newRow("two monitors side by side") << 2304 << 1024 << 472 << 275 << 916 << 374;
    QTest::newRow("exactly the desktop's size") << 472 << 275 << 472 << 275 << 0 << 0;
    QTest::newRow("wider than the desktop") << 400 << 600 << 472 << 275 << 0 << 162;
    QTest::newRow("taller than the desktop") << 800 << 200 << 472 << 275 << 164 << 0;
}

void GeometryTest::centredOrigin() {
    QFETCH(int, desktopWidth);
    QFETCH(int, desktopHeight);
    QFETCH(int, outerWidth);
    QFETCH(int, outerHeight);
    QFETCH(int, x);
    QFETCH(int, y);

    QCOMPARE(toolkit::centredOrigin(desktopWidth, desktopHeight, outerWidth, outerHeight),
             (Point{x, y}));
}

void GeometryTest::followActiveMonitor_data() {
    QTest::addColumn<Rect>("window");
    QTest::addColumn<Rect>("active");
    QTest::addColumn<std::vector<Rect>>("monitors");
    QTest::addColumn<std::optional<Point>>("expected");

    const Rect resultWindow{286, 276, 426, 209};
    const Rect onLeft{100, 100, 472, 275};
    const Rect onRight{1400, 100, 472, 275};

    QTest::newRow("same monitor: stays")
        << resultWindow << onLeft << twoMonitors << std::optional<Point>{};
    QTest::newRow("active on the other: same offset there")
        << resultWindow << onRight << twoMonitors << std::optional<Point>{{1566, 276}};
    QTest::newRow("would cross the right edge: pulled left")
        << Rect{900, 100, 426, 209} << onRight << twoMonitors << std::optional<Point>{{1878, 100}};
    QTest::newRow("would cross the bottom edge: pulled up")
        << Rect{286, 700, 426, 209} << onRight << twoMonitors << std::optional<Point>{{1566, 559}};
    QTest::newRow("back to the left monitor")
        << Rect{1300, 50, 426, 209} << onLeft << twoMonitors << std::optional<Point>{{20, 50}};
    QTest::newRow("active straddling: the monitor it overlaps most")
        << resultWindow << Rect{1200, 100, 472, 275} << twoMonitors
        << std::optional<Point>{{1566, 276}};
    QTest::newRow("window off every monitor: the nearest one")
        << Rect{2400, 100, 100, 100} << onLeft << twoMonitors
        << std::optional<Point>{{0 + 2400 - 1280, 100}};
    QTest::newRow("one monitor") << resultWindow << onRight << std::vector<Rect>{left}
                                 << std::optional<Point>{};
    QTest::newRow("no monitors") << resultWindow << onRight << std::vector<Rect>{}
                                 << std::optional<Point>{};
}

void GeometryTest::followActiveMonitor() {
    QFETCH(Rect, window);
    QFETCH(Rect, active);
    QFETCH(std::vector<Rect>, monitors);
    QFETCH(std::optional<Point>, expected);

    QCOMPARE(text(toolkit::followActiveMonitor(window, active, monitors)), text(expected));
}

void GeometryTest::scaleRounded_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<int>("expected");

    QTest::newRow("unchanged") << 216 << 32 << 32 << 216;
    QTest::newRow("half rounds up") << 7 << 3 << 2 << 11;
    QTest::newRow("below half rounds down") << 10 << 1 << 3 << 3;
    QTest::newRow("above half rounds up") << 11 << 1 << 6 << 2;
    QTest::newRow("negative half rounds away from zero") << -7 << 3 << 2 << -11;
    QTest::newRow("font by resolution") << 27 << 120 << 96 << 34;
    QTest::newRow("product beyond 32 bits") << 2000000 << 3000 << 4000 << 1500000;
}

void GeometryTest::scaleRounded() {
    QFETCH(int, value);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(int, expected);

    QCOMPARE(toolkit::scaleRounded(value, numerator, denominator), expected);
}

void GeometryTest::titleFromExecutable_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");

    // The first character is left as it is: an executable called "drill" gives "drill".
    QTest::newRow("installed program") << "/usr/bin/drill"
                                       << "drill";
    QTest::newRow("capitalised program") << "/usr/bin/Drill"
                                         << "Drill";
    QTest::newRow("upper case with extension") << "DRILL.EXE"
                                               << "Drill";
    QTest::newRow("cut at the first full stop") << "my.drill.exe"
                                                << "my";
    QTest::newRow("full stop in a directory") << "/opt/v1.2/DRILL"
                                              << "Drill";
    QTest::newRow("hidden file") << ".hidden"
                                 << "";
    QTest::newRow("Cyrillic") << QString::fromUtf8("/opt/ДРИЛЛ.bin") << QString::fromUtf8("Дрилл");
    QTest::newRow("one character") << "/bin/D"
                                   << "D";
    QTest::newRow("300 characters")
        << "/tmp/" + QString(300, QLatin1Char('A')) << "A" + QString(254, QLatin1Char('a'));
    QTest::newRow("300 characters beyond the basic plane")
        << "/tmp/" + QString::fromUtf8("\U0001D400").repeated(300)
        << QString::fromUtf8("\U0001D400").repeated(255);
}

void GeometryTest::titleFromExecutable() {
    QFETCH(QString, path);
    QFETCH(QString, title);

    QCOMPARE(QString::fromStdString(toolkit::titleFromExecutable(path.toStdString())), title);
}

QTEST_APPLESS_MAIN(GeometryTest)
#include "tst_geometry.moc"
