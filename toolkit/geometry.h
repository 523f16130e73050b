#pragma once

// Window placement and layout-scaling arithmetic, free of any window system: where a window goes
// on the desktop, which monitor it belongs to, and how designed sizes are scaled. It does not
// move or measure anything itself.

#include "toolkit/layout.h"

#include <optional>
#include <span>
#include <vector>

namespace toolkit {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Top-left corner of a window of the given outer size centred on a desktop of the given size,
// never left of or above 0. The desktop's own origin is not added.
Point centredOrigin(int desktopWidth, int desktopHeight, int outerWidth, int outerHeight);

// The monitor that a window belongs to: the one it overlaps most, or else the nearest one.
// Empty monitor list: none.
std::optional<std::size_t> nearestMonitor(const Rect& window, std::span<const Rect> monitors);

// Where a window with a designed position goes when it is shown while the application's active
// window is on another monitor: the same offset from that monitor's top-left corner, pulled left
// or up just enough not to cross its right or bottom edge. No move is needed: empty.
std::optional<Point> followActiveMonitor(const Rect& window, const Rect& activeWindow,
                                         std::span<const Rect> monitors);

// The controls of a window in the order a reader takes them: in lines from the top, a control
// whose middle lies within the height of a line's first control belonging to that line, and left
// to right within a line. So a number comes right after the caption beside it («Оценка», «4»),
// whatever order the controls were declared or stacked in. Gives the indexes into controls, line
// by line; controls at the same place keep their given order.
std::vector<std::vector<std::size_t>> readingLines(std::span<const Rect> controls);

// value × numerator ÷ denominator, rounded to the nearest integer, halves away from zero.
int scaleRounded(int value, int numerator, int denominator);

} // namespace toolkit
