#include "toolkit/qt/accessibility_qt.h"

#include "toolkit/qt/backend_qt.h"
#include "toolkit/qt/widgets_qt.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>
#include <vector>

namespace toolkit::detail {

namespace {

// The bevelled panel is drawn by a QLabel, which Qt would offer as static text; to a screen reader
// it is a panel, named by its caption.
class PanelAccessible : public QAccessibleWidget {
public:
    explicit PanelAccessible(BevelPanel* panel) : QAccessibleWidget(panel, QAccessible::Pane) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            const QString given = widget()->accessibleName();
            return given.isEmpty() ? static_cast<const QLabel*>(widget())->text() : given;
        }
        return QAccessibleWidget::text(kind);
    }
};

// The client area of a window offers its controls in reading order: line by line from the top,
// left to right within a line. Qt would offer them in stacking order, in which the labels come
// last-first (they are put below the other controls), so a screen reader would read the mark
// before its caption and a number before the sentence it ends.
class ClientAreaAccessible : public QAccessibleWidget {
public:
    explicit ClientAreaAccessible(QWidget* area) : QAccessibleWidget(area, QAccessible::Client) {}

    int childCount() const override { return static_cast<int>(readingOrder().size()); }

    QAccessibleInterface* child(int index) const override {
        const std::vector<QWidget*> order = readingOrder();
        if (index < 0 || index >= static_cast<int>(order.size())) {
            return nullptr;
        }
        return QAccessible::queryAccessibleInterface(order[static_cast<std::size_t>(index)]);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) {
            return -1;
        }
        const std::vector<QWidget*> order = readingOrder();
        const auto at = std::find(order.begin(), order.end(), child->object());
        return at == order.end() ? -1 : static_cast<int>(at - order.begin());
    }

private:
    std::vector<QWidget*> readingOrder() const {
        std::vector<QWidget*> controls;
        for (QObject* child : widget()->children()) {
            auto* control = qobject_cast<QWidget*>(child);
            if (control && !control->isWindow()) {
                controls.push_back(control);
            }
        }
        std::stable_sort(controls.begin(), controls.end(),
                         [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        // A control whose middle lies within the height of a line's first control belongs to
        // that line.
        std::vector<QWidget*> order;
        for (std::size_t first = 0; first < controls.size();) {
            const QRect line = controls[first]->geometry();
            std::size_t end = first + 1;
            while (end < controls.size() &&
                   controls[end]->geometry().center().y() <= line.bottom()) {
                ++end;
            }
            std::vector<QWidget*> row(controls.begin() + static_cast<std::ptrdiff_t>(first),
                                      controls.begin() + static_cast<std::ptrdiff_t>(end));
            std::stable_sort(row.begin(), row.end(),
                             [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
            order.insert(order.end(), row.begin(), row.end());
            first = end;
        }
        return order;
    }
};

QAccessibleInterface* controlInterface(const QString&, QObject* object) {
    // A window of the toolkit is a plain QWidget to Qt, which would offer it as a filler; it is a
    // frame, named by its caption (the accessible name of a window is its title).
    if (auto* window = dynamic_cast<FormWindow*>(object)) {
        return new QAccessibleWidget(window, QAccessible::Window);
    }
    if (auto* panel = dynamic_cast<BevelPanel*>(object)) {
        return new PanelAccessible(panel);
    }
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->objectName() == QLatin1String("clientArea") &&
        dynamic_cast<FormWindow*>(widget->window())) {
        return new ClientAreaAccessible(widget);
    }
    // Labels, the answer field and both kinds of button are Qt's own widgets underneath, with
    // their texts as names; the OK button's caption is its accessible name, the check mark being
    // decoration.
    return nullptr;
}

} // namespace

void installAccessibility() {
    // Once per process: a test may set up the application more than once.
    static const bool installed = [] {
        QAccessible::installFactory(&controlInterface);
        return true;
    }();
    (void)installed;
}

} // namespace toolkit::detail
