// Placement and scaling arithmetic: pure functions, checked against worked examples.

#include "toolkit/geometry.h"

#include "case_table.h"

#include <doctest/doctest.h>

#include <optional>
#include <string>
#include <vector>

using test_support::forEachRow;
using toolkit::Point;
using toolkit::Rect;

namespace {

const Rect leftMonitor{0, 0, 1280, 1024};
const Rect rightMonitor{1280, 0, 1024, 768};
const std::vector<Rect> twoMonitors{leftMonitor, rightMonitor};

std::string text(const std::optional<Point>& p) {
    return p ? std::to_string(p->x) + "," + std::to_string(p->y) : "none";
}

std::string text(const std::optional<std::size_t>& index) {
    return index ? std::to_string(*index) : "none";
}

} // namespace

TEST_CASE("centredOrigin") {
    struct Row {
        const char* name;
        int desktopWidth, desktopHeight, outerWidth, outerHeight;
        Point expected;
    };
    static const Row rows[] = {
        {"main window on 1280x1024", 1280, 1024, 472, 275, {404, 374}},
        {"odd remainder rounds down", 1025, 769, 472, 276, {276, 246}},
        {"two monitors side by side", 2304, 1024, 472, 275, {916, 374}},
        {"exactly the desktop's size", 472, 275, 472, 275, {0, 0}},
        {"wider than the desktop", 400, 600, 472, 275, {0, 162}},
        {"taller than the desktop", 800, 200, 472, 275, {164, 0}},
    };

    forEachRow(rows, [](const Row& row) {
        const Point origin = toolkit::centredOrigin(row.desktopWidth, row.desktopHeight,
                                                    row.outerWidth, row.outerHeight);
        CHECK(text(origin) == text(row.expected));
    });
}

TEST_CASE("nearestMonitor") {
    struct Row {
        const char* name;
        Rect window;
        std::vector<Rect> monitors;
        std::optional<std::size_t> expected;
    };
    static const Row rows[] = {
        {"inside the left monitor", {100, 100, 472, 275}, twoMonitors, 0},
        {"inside the right monitor", {1400, 100, 472, 275}, twoMonitors, 1},
        {"straddling, more on the right", {1200, 100, 472, 275}, twoMonitors, 1},
        {"straddling, more on the left", {1000, 100, 472, 275}, twoMonitors, 0},
        {"off every monitor: the nearest by distance", {1400, 900, 100, 100}, twoMonitors, 0},
        {"beyond the right edge", {2400, 100, 100, 100}, twoMonitors, 1},
        {"above and left of everything", {-300, -300, 100, 100}, twoMonitors, 0},
        {"zero size inside the right monitor", {1500, 100, 0, 0}, twoMonitors, 1},
        {"no monitors", {100, 100, 472, 275}, {}, std::nullopt},
    };

    forEachRow(rows, [](const Row& row) {
        CHECK(text(toolkit::nearestMonitor(row.window, row.monitors)) == text(row.expected));
    });
}

TEST_CASE("followActiveMonitor") {
    struct Row {
        const char* name;
        Rect window;
        Rect active;
        std::vector<Rect> monitors;
        std::optional<Point> expected;
    };
    const Rect resultWindow{286, 276, 426, 209};
    const Rect onLeft{100, 100, 472, 275};
    const Rect onRight{1400, 100, 472, 275};
    const Row rows[] = {
        {"same monitor: stays", resultWindow, onLeft, twoMonitors, std::nullopt},
        {"active on the other: same offset there", resultWindow, onRight, twoMonitors,
         Point{1566, 276}},
        {"would cross the right edge: pulled left",
         {900, 100, 426, 209},
         onRight,
         twoMonitors,
         Point{1878, 100}},
        {"would cross the bottom edge: pulled up",
         {286, 700, 426, 209},
         onRight,
         twoMonitors,
         Point{1566, 559}},
        {"back to the left monitor", {1300, 50, 426, 209}, onLeft, twoMonitors, Point{20, 50}},
        {"active straddling: the monitor it overlaps most",
         resultWindow,
         {1200, 100, 472, 275},
         twoMonitors,
         Point{1566, 276}},
        {"window off every monitor: the nearest one",
         {2400, 100, 100, 100},
         onLeft,
         twoMonitors,
         Point{0 + 2400 - 1280, 100}},
        {"one monitor", resultWindow, onRight, {leftMonitor}, std::nullopt},
        {"no monitors", resultWindow, onRight, {}, std::nullopt},
    };

    forEachRow(rows, [](const Row& row) {
        CHECK(text(toolkit::followActiveMonitor(row.window, row.active, row.monitors)) ==
              text(row.expected));
    });
}

TEST_CASE("scaleRounded") {
    struct Row {
        const char* name;
        int value, numerator, denominator, expected;
    };
    static const Row rows[] = {
        {"unchanged", 216, 32, 32, 216},
        {"half rounds up", 7, 3, 2, 11},
        {"below half rounds down", 10, 1, 3, 3},
        {"above half rounds up", 11, 1, 6, 2},
        {"negative half rounds away from zero", -7, 3, 2, -11},
        {"negative denominator", 7, 3, -2, -11},
        {"font by resolution", 27, 120, 96, 34},
        {"edge by measured text height", 216, 38, 32, 257},
        {"product beyond 32 bits", 2000000, 3000, 4000, 1500000},
    };

    forEachRow(rows, [](const Row& row) {
        CHECK(toolkit::scaleRounded(row.value, row.numerator, row.denominator) == row.expected);
    });
}

TEST_CASE("readingLines") {
    using Lines = std::vector<std::vector<std::size_t>>;
    struct Row {
        const char* name;
        std::vector<Rect> controls;
        Lines expected;
    };
    static const Row rows[] = {
        // «Ответили правильно на », «Оценка», the count, the mark (taller, and higher than its
        // caption), «Выход»: each number comes after what it counts.
        {"the result window",
         {{8, 16, 303, 33},
          {16, 72, 90, 33},
          {320, 16, 43, 33},
          {136, 64, 77, 58},
          {280, 112, 113, 41}},
         {{0, 2}, {1, 3}, {4}}},
        // The exercise, then the answer field and OK beside it, though declared last.
        {"the main window",
         {{8, 16, 85, 54},
          {8, 96, 245, 34},
          {8, 136, 248, 34},
          {264, 96, 34, 34},
          {256, 136, 34, 34},
          {336, 192, 121, 41},
          {368, 24, 83, 49},
          {216, 32, 121, 40},
          {16, 192, 185, 41}},
         {{0, 7, 6}, {1, 3}, {2, 4}, {8, 5}}},
        {"a middle at the line's bottom starts a line",
         {{0, 0, 10, 10}, {0, 5, 10, 10}},
         {{0}, {1}}},
        {"a middle just inside joins the line", {{20, 0, 10, 10}, {0, 4, 10, 10}}, {{1, 0}}},
        {"controls at one place keep their order", {{5, 5, 10, 10}, {5, 5, 10, 10}}, {{0, 1}}},
        {"no controls", {}, {}},
    };

    forEachRow(rows,
               [](const Row& row) { CHECK(toolkit::readingLines(row.controls) == row.expected); });
}
