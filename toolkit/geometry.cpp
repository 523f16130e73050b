#include "toolkit/geometry.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace toolkit {

Point centredOrigin(int desktopWidth, int desktopHeight, int outerWidth, int outerHeight) {
    return {std::max(0, (desktopWidth - outerWidth) / 2),
            std::max(0, (desktopHeight - outerHeight) / 2)};
}

namespace {

long long overlapArea(const Rect& a, const Rect& b) {
    const long long w = std::min(a.right(), b.right()) - std::max(a.left, b.left);
    const long long h = std::min(a.bottom(), b.bottom()) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

long long distanceSquared(const Rect& a, const Rect& b) {
    const long long dx = std::max({0, b.left - a.right(), a.left - b.right()});
    const long long dy = std::max({0, b.top - a.bottom(), a.top - b.bottom()});
    return dx * dx + dy * dy;
}

} // namespace

std::optional<std::size_t> nearestMonitor(const Rect& window, std::span<const Rect> monitors) {
    std::optional<std::size_t> best;
    long long bestOverlap = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const long long area = overlapArea(window, monitors[i]);
        if (area > bestOverlap) {
            bestOverlap = area;
            best = i;
        }
    }
    if (best) {
        return best;
    }
    long long bestDistance = std::numeric_limits<long long>::max();
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const long long d = distanceSquared(window, monitors[i]);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

std::optional<Point> followActiveMonitor(const Rect& window, const Rect& activeWindow,
                                         std::span<const Rect> monitors) {
    const auto own = nearestMonitor(window, monitors);
    const auto active = nearestMonitor(activeWindow, monitors);
    if (!own || !active || *own == *active) {
        return std::nullopt;
    }
    const Rect& from = monitors[*own];
    const Rect& to = monitors[*active];
    Point p{to.left + (window.left - from.left), to.top + (window.top - from.top)};
    p.x = std::min(p.x, to.right() - window.width);
    p.y = std::min(p.y, to.bottom() - window.height);
    return p;
}

int scaleRounded(int value, int numerator, int denominator) {
    if (denominator == 0) {
        throw std::invalid_argument("scaleRounded: the denominator is 0");
    }
    const std::int64_t product = std::int64_t{value} * numerator;
    const std::int64_t half = std::abs(std::int64_t{denominator}) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t magnitude = (std::abs(product) + half) / std::abs(std::int64_t{denominator});
    return static_cast<int>(negative ? -magnitude : magnitude);
}

std::vector<std::vector<std::size_t>> readingLines(std::span<const Rect> controls) {
    std::vector<std::size_t> order(controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return controls[a].top < controls[b].top;
    });
    std::vector<std::vector<std::size_t>> lines;
    for (std::size_t first = 0; first < order.size();) {
        const Rect& line = controls[order[first]];
        std::size_t end = first + 1;
        while (end < order.size() &&
               controls[order[end]].top + controls[order[end]].height / 2 < line.bottom()) {
            ++end;
        }
        std::vector<std::size_t> row(order.begin() + static_cast<std::ptrdiff_t>(first),
                                     order.begin() + static_cast<std::ptrdiff_t>(end));
        std::stable_sort(row.begin(), row.end(), [&](std::size_t a, std::size_t b) {
            return controls[a].left < controls[b].left;
        });
        lines.push_back(std::move(row));
        first = end;
    }
    return lines;
}

} // namespace toolkit
