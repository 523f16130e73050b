#include "toolkit/qt/accessibility_qt.h"

#include "toolkit/qt/atspi_guard_qt.h"
#include "toolkit/qt/backend_qt.h"
#include "toolkit/qt/widgets_qt.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTextBoundaryFinder>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// An object on the accessibility bus: the bus name of its program and its object path.
struct AtspiReference {
    QString service;
    QDBusObjectPath path;
};

} // namespace

Q_DECLARE_METATYPE(AtspiReference)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const AtspiReference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, AtspiReference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

} // namespace

namespace toolkit::detail {

namespace {

// ---------------------------------------------------------------------------------------------
// Roles, names and reading order

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

// The controls of a client area in lines, in the order a reader takes them.
std::vector<std::vector<QWidget*>> linesOf(const QWidget* area) {
    std::vector<QWidget*> controls;
    std::vector<Rect> places;
    for (QObject* child : area->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control && !control->isWindow()) {
            controls.push_back(control);
            const QRect r = control->geometry();
            places.push_back({r.x(), r.y(), r.width(), r.height()});
        }
    }
    std::vector<std::vector<QWidget*>> lines;
    for (const std::vector<std::size_t>& line : readingLines(places)) {
        std::vector<QWidget*>& row = lines.emplace_back();
        for (std::size_t index : line) {
            row.push_back(controls[index]);
        }
    }
    return lines;
}

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
        std::vector<QWidget*> order;
        for (const std::vector<QWidget*>& line : linesOf(widget())) {
            order.insert(order.end(), line.begin(), line.end());
        }
        return order;
    }
};

bool isClientArea(const QWidget* widget) {
    return widget && widget->objectName() == QLatin1String("clientArea") &&
           dynamic_cast<FormWindow*>(widget->window());
}

// An edit field of a toolkit window, or null.
QLineEdit* answerField(QObject* object) {
    auto* field = dynamic_cast<AnswerEdit*>(object);
    return field && isClientArea(field->parentWidget()) ? field : nullptr;
}

// A label of a toolkit window, or null (the bevelled panel, drawn by a QLabel too, is none).
const AutoSizeLabel* windowLabel(const QObject* object) {
    const auto* label = dynamic_cast<const AutoSizeLabel*>(object);
    return label && isClientArea(label->parentWidget()) ? label : nullptr;
}

// The label that stands before a control captions it, as «Оценка» captions the mark beside it: of
// the labels on the control's line (the middle of the one lies within the height of the other)
// that begin left of the control, the one that begins nearest to it. Such a label may reach under
// the control, as a long exercise in large type reaches under the answer field. Only edit fields
// and labels are captioned so: a button carries its own caption.
const QLabel* captionOf(const QWidget* control) {
    if (!answerField(const_cast<QWidget*>(control)) && !windowLabel(control)) {
        return nullptr;
    }
    const QRect own = control->geometry();
    const AutoSizeLabel* nearest = nullptr;
    for (const QObject* child : control->parentWidget()->children()) {
        const AutoSizeLabel* label = windowLabel(child);
        if (!label || label == control || label->isHidden()) {
            continue;
        }
        const QRect other = label->geometry();
        const bool sameLine =
            (own.top() <= other.center().y() && other.center().y() <= own.bottom()) ||
            (other.top() <= own.center().y() && own.center().y() <= other.bottom());
        if (sameLine && other.left() < own.left() && (!nearest || other.left() > nearest->x())) {
            nearest = label;
        }
    }
    return nearest;
}

// The text of a dialog's labels, line by line in reading order: the labels of a line make one
// phrase («Ответили правильно на » and «18»), the lines are sentences.
QString labelLines(const QWidget* area) {
    QStringList lines;
    for (const std::vector<QWidget*>& line : linesOf(area)) {
        QStringList words;
        for (const QWidget* control : line) {
            if (const AutoSizeLabel* label = windowLabel(control); label && !label->isHidden()) {
                words << label->text();
            }
        }
        const QString phrase = words.join(QLatin1Char(' ')).simplified();
        if (!phrase.isEmpty()) {
            lines << phrase;
        }
    }
    return lines.join(QStringLiteral(". "));
}

// How many exercises are left, as the line of labels that says so reads («Осталось - 19»); empty
// in a window without that line. A listening pupil hears it as the answer field's description,
// which a screen reader reads with the field; a sighted pupil sees the labels themselves.
QString remainingCount(const QWidget* area) {
    for (const std::vector<QWidget*>& line : linesOf(area)) {
        QStringList words;
        for (const QWidget* control : line) {
            if (const AutoSizeLabel* label = windowLabel(control); label && !label->isHidden()) {
                words << label->text().simplified();
            }
        }
        if (!words.isEmpty() && words.front().startsWith(QStringLiteral("Осталось"))) {
            return words.join(QLatin1Char(' ')).simplified();
        }
    }
    return QString();
}

QWidget* clientAreaOf(const QWidget* window) {
    return window->findChild<QWidget*>(QStringLiteral("clientArea"));
}

// A window that another window owns (shown over it, as the result window is shown over the main
// window) is a dialog, described by its labels. A screen reader opening a dialog reads the labels
// in it that caption nothing and are captioned by nothing, leaving out the short ones (a number, a
// single word), or else the dialog's description: the count of right answers and the mark would
// be left out, while the description, with the labels captioning one another, reads
// «Ответили правильно на 18. Оценка 5».
class DialogAccessible : public QAccessibleWidget {
public:
    explicit DialogAccessible(FormWindow* window)
        : QAccessibleWidget(window, QAccessible::Dialog) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Description) {
            if (const QWidget* area = clientAreaOf(widget())) {
                return labelLines(area);
            }
        }
        return QAccessibleWidget::text(kind);
    }
};

bool isDialog(const QWidget* window) {
    return dynamic_cast<const FormWindow*>(window) && window->parentWidget();
}

// A label of a toolkit window: static text named by its text, with relations to the control it
// captions and to the label that captions it (see captionOf).
class LabelAccessible : public QAccessibleWidget {
public:
    explicit LabelAccessible(AutoSizeLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return static_cast<const QLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(kind);
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto result = QAccessibleWidget::relations(match);
        if (match & QAccessible::Labelled) {
            for (QObject* child : widget()->parentWidget()->children()) {
                auto* control = qobject_cast<QWidget*>(child);
                if (control && control != widget() && captionOf(control) == widget()) {
                    result.append(
                        {QAccessible::queryAccessibleInterface(control), QAccessible::Labelled});
                }
            }
        }
        if (match & QAccessible::Label) {
            if (const QLabel* caption = captionOf(widget())) {
                result.append({QAccessible::queryAccessibleInterface(const_cast<QLabel*>(caption)),
                               QAccessible::Label});
            }
        }
        return result;
    }
};

// The areas whose fields take their captions' texts once the program is back in its event loop.
std::vector<QPointer<QWidget>> areasToName;

// Gives a field the text of its caption as its accessible name.
//
// A field that has the focus, when its window's labels have changed (a new exercise, one fewer
// left), is announced: the screen reader speaks its name again, also when the new exercise reads
// as the last one did. A screen reader speaks a name change of the object it is on unless the new
// name is the one it last read of it, and it may have read the new name already, out of the
// change itself; the field's name passes through empty so that the change is always told.
//
// A disabled field keeps the name it has: nothing can be typed into it, and renaming it would
// only make a screen reader speak a text that no longer asks for anything (after the last answer
// the exercise label shows one more exercise). It takes its caption's text again when it is
// enabled or receives the focus.
void nameField(QLineEdit* field, bool announce) {
    if (!field->isEnabled()) {
        return;
    }
    const QLabel* caption = captionOf(field);
    const QString name = caption ? caption->text() : QString();
    if (announce && field->hasFocus() && !name.isEmpty()) {
        field->setAccessibleName(QString());
    }
    if (field->accessibleName() != name) {
        field->setAccessibleName(name); // sends the name change to the screen reader
    }
}

void nameFieldsLater(QWidget* area) {
    const bool queued = !areasToName.empty();
    if (std::find(areasToName.begin(), areasToName.end(), area) == areasToName.end()) {
        areasToName.emplace_back(area);
    }
    if (queued) {
        return;
    }
    // Once the handler that changed the labels has run: it may yet disable the field, or change
    // more labels.
    QTimer::singleShot(0, qApp, [] {
        std::vector<QPointer<QWidget>> areas;
        areas.swap(areasToName);
        for (const QPointer<QWidget>& area : areas) {
            if (!area) {
                continue;
            }
            for (QObject* child : area->children()) {
                if (QLineEdit* field = answerField(child)) {
                    nameField(field, true);
                    // One fewer left: told after the new exercise.
                    if (field->isEnabled() && field->hasFocus()) {
                        QAccessibleEvent described(field, QAccessible::DescriptionChanged);
                        QAccessible::updateAccessibility(&described);
                    }
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Input from assistive technology

// A window that a modal window blocks takes no input from the keyboard or the mouse; it takes none
// from assistive technology either (voice control and switch access act through the same calls as
// a screen reader).
bool isBlocked(const QWidget* widget) {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal != widget->window();
}

// The answer field, offered on the line edit's public API. Qt's own interface for a line edit
// loops forever when asked for the word or sentence at the end of the text, reports its
// attribute runs as empty ranges (a screen reader then drops the last character: «12a» is read
// «12.»), and takes edits while the field is disabled or its window blocked.
class FieldAccessible : public QAccessibleWidget,
                        public QAccessibleTextInterface,
                        public QAccessibleEditableTextInterface {
public:
    explicit FieldAccessible(QLineEdit* field)
        : QAccessibleWidget(field, QAccessible::EditableText) {
        addControllingSignal(QStringLiteral("textChanged(const QString&)"));
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        if (type == QAccessible::EditableTextInterface) {
            return static_cast<QAccessibleEditableTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State result = QAccessibleWidget::state();
        result.editable = !field()->isReadOnly();
        result.readOnly = field()->isReadOnly();
        result.selectableText = true;
        result.multiLine = false;
        return result;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return field()->text();
        }
        if (kind == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
            return remainingCount(widget()->parentWidget());
        }
        return QAccessibleWidget::text(kind);
    }

    void setText(QAccessible::Text kind, const QString& text) override {
        if (kind != QAccessible::Value) {
            QAccessibleWidget::setText(kind, text);
            return;
        }
        if (takesEdits()) {
            field()->setText(text);
        }
    }

    void doAction(const QString& action) override {
        if (!isBlocked(widget())) {
            QAccessibleWidget::doAction(action);
        }
    }

    // Text

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && field()->hasSelectedText()) {
            *start = field()->selectionStart();
            *end = *start + static_cast<int>(field()->selectedText().size());
        }
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0 && !isBlocked(widget())) {
            field()->deselect();
        }
    }
    void setSelection(int index, int start, int end) override {
        if (index != 0 || isBlocked(widget())) {
            return;
        }
        start = clamp(start);
        end = clamp(end);
        field()->setSelection(start, end - start);
    }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override {
        if (!isBlocked(widget())) {
            field()->setCursorPosition(clamp(position));
        }
    }
    QString text(int start, int end) const override {
        start = clamp(start);
        end = clamp(end);
        return end > start ? field()->text().mid(start, end - start) : QString();
    }
    int characterCount() const override { return static_cast<int>(field()->text().size()); }

    QRect characterRect(int offset) const override {
        const QString value = field()->text();
        offset = clamp(offset);
        const QFontMetrics metrics = field()->fontMetrics();
        const QRect contents = field()->contentsRect();
        const QMargins margins = field()->textMargins();
        const int left =
            contents.left() + margins.left() + 2 + metrics.horizontalAdvance(value.left(offset));
        const int width = offset < value.size() ? metrics.horizontalAdvance(value.at(offset)) : 1;
        const QRect local(left, contents.top() + (contents.height() - metrics.height()) / 2, width,
                          metrics.height());
        return QRect(field()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = field()->mapFromGlobal(point);
        return field()->rect().contains(local) ? field()->cursorPositionAt(local) : -1;
    }
    void scrollToSubstring(int, int) override {}

    // A plain field has one run of attributes: its whole text.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return QString();
    }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        return item(offset, type, -1, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        return item(offset, type, 1, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        return item(offset, type, 0, start, end);
    }

    // Editable text

    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        if (!takesEdits()) {
            return;
        }
        start = clamp(start);
        end = std::max(start, clamp(end));
        QString value = field()->text();
        value.replace(start, end - start, text);
        field()->setText(value);
        field()->setCursorPosition(clamp(start + static_cast<int>(text.size())));
    }

private:
    QLineEdit* field() const { return static_cast<QLineEdit*>(widget()); }

    bool takesEdits() const {
        return field()->isEnabled() && !field()->isReadOnly() && !isBlocked(widget());
    }

    // An offset within the text; −1 stands for its end and −2 for the caret.
    int clamp(int offset) const {
        const int length = characterCount();
        if (offset == -1) {
            return length;
        }
        if (offset == -2) {
            return field()->cursorPosition();
        }
        return std::clamp(offset, 0, length);
    }

    // The items of the text as the positions where they begin, ending with the text's length.
    // The walk is bounded: the boundary finder answers −1 once it runs past either end.
    std::vector<int> boundaries(QAccessible::TextBoundaryType type) const {
        const QString value = field()->text();
        const int length = static_cast<int>(value.size());
        std::vector<int> result{0};
        if (type == QAccessible::CharBoundary) {
            for (int at = 1; at <= length; ++at) {
                result.push_back(at);
            }
        } else if (type == QAccessible::WordBoundary || type == QAccessible::SentenceBoundary) {
            QTextBoundaryFinder finder(type == QAccessible::WordBoundary
                                           ? QTextBoundaryFinder::Word
                                           : QTextBoundaryFinder::Sentence,
                                       value);
            finder.setPosition(0);
            for (int step = 0; step <= length; ++step) {
                const qsizetype next = finder.toNextBoundary();
                if (next <= result.back() || next > length) {
                    break;
                }
                result.push_back(static_cast<int>(next));
            }
        }
        if (result.back() != length) {
            result.push_back(length);
        }
        return result;
    }

    // The item at the offset (direction 0), the one before it (−1) or after it (1). At the end of
    // the text the item at the offset is the one that ends there.
    QString item(int offset, QAccessible::TextBoundaryType type, int direction, int* start,
                 int* end) const {
        const int length = characterCount();
        offset = clamp(offset);
        *start = *end = offset;
        if (length == 0) {
            *start = *end = 0;
            return QString();
        }
        const std::vector<int> bounds = boundaries(type);
        const int items = static_cast<int>(bounds.size()) - 1;
        int index = 0; // the item that holds the offset; `items` past the end
        while (index < items && bounds[static_cast<std::size_t>(index) + 1] <= offset) {
            ++index;
        }
        if (direction == 0) {
            index = std::min(index, items - 1);
        } else {
            index += direction;
        }
        if (index < 0 || index >= items) {
            *start = *end = direction < 0 ? 0 : length;
            return QString();
        }
        *start = bounds[static_cast<std::size_t>(index)];
        *end = bounds[static_cast<std::size_t>(index) + 1];
        return field()->text().mid(*start, *end - *start);
    }
};

// A button of a toolkit window. Qt's own interface presses a button whose window a modal window
// blocks, which neither the keyboard nor the mouse can.
class ButtonAccessible : public QAccessibleWidget {
public:
    explicit ButtonAccessible(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            QString caption = button()->text();
            return caption.remove(QLatin1Char('&'));
        }
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State result = QAccessibleWidget::state();
        result.pressed = button()->isDown();
        if (const auto* push = qobject_cast<const QPushButton*>(button())) {
            result.defaultButton = push->isDefault();
        }
        return result;
    }

    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (isBlocked(widget()) || !widget()->isEnabled()) {
            return;
        }
        if (action == pressAction()) {
            button()->animateClick(); // the handler runs once the call has been answered
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

// The scroll area of a window, as a plain container: Qt's own interface for it does not check
// the index it is asked for a child by.
class ScrollAreaAccessible : public QAccessibleWidget {
public:
    explicit ScrollAreaAccessible(QAbstractScrollArea* area)
        : QAccessibleWidget(area, QAccessible::Client) {}

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        return QAccessibleWidget::child(index);
    }
};

QAccessibleInterface* controlInterface(const QString&, QObject* object) {
    // A window of the toolkit is a plain QWidget to Qt, which would offer it as a filler. A window
    // of its own is a frame, named by its caption (the accessible name of a window is its title);
    // an owned window is a dialog (see DialogAccessible).
    if (auto* window = dynamic_cast<FormWindow*>(object)) {
        if (isDialog(window)) {
            return new DialogAccessible(window);
        }
        return new QAccessibleWidget(window, QAccessible::Window);
    }
    if (auto* panel = dynamic_cast<BevelPanel*>(object)) {
        return new PanelAccessible(panel);
    }
    if (auto* label = const_cast<AutoSizeLabel*>(windowLabel(object))) {
        return new LabelAccessible(label);
    }
    auto* widget = qobject_cast<QWidget*>(object);
    if (isClientArea(widget)) {
        return new ClientAreaAccessible(widget);
    }
    if (QLineEdit* field = answerField(object)) {
        // Named once the screen reader first asks for it: not here, as naming sends an event
        // about the object being made.
        QTimer::singleShot(0, field, [field] { nameField(field, false); });
        return new FieldAccessible(field);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object);
        button && dynamic_cast<FormWindow*>(button->window())) {
        return new ButtonAccessible(button);
    }
    if (auto* area = qobject_cast<QAbstractScrollArea*>(object);
        area && dynamic_cast<FormWindow*>(area->window())) {
        return new ScrollAreaAccessible(area);
    }
    // The answer field and both kinds of button are Qt's own widgets underneath, with their texts
    // as names; the OK button's caption is its accessible name, the check mark being decoration.
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Events to the screen reader

// Qt sends a changed name or description with the changed object where the new text belongs, so a
// screen reader cannot speak it (and keeps a wrong value for it). These changes are sent here
// instead, on Qt's own connection to the accessibility bus and from the object's own path.
QDBusConnection accessibilityBus() {
    return QDBusConnection(QStringLiteral("a11y"));
}

QString objectPath(QAccessibleInterface* iface) {
    return QStringLiteral("/org/a11y/atspi/accessible/") +
           QString::number(QAccessible::uniqueId(iface));
}

bool sendPropertyChange(QAccessibleEvent* event) {
    QAccessibleInterface* iface = event->accessibleInterface();
    QDBusConnection bus = accessibilityBus();
    if (!iface || !iface->isValid() || !bus.isConnected() ||
        iface->role() == QAccessible::Application) {
        return false;
    }
    const bool name = event->type() == QAccessible::NameChanged;
    const QString value = iface->text(name ? QAccessible::Name : QAccessible::Description);
    QDBusMessage signal =
        QDBusMessage::createSignal(objectPath(iface), QStringLiteral("org.a11y.atspi.Event.Object"),
                                   QStringLiteral("PropertyChange"));
    const AtspiReference application{
        bus.baseService(), QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
    signal << (name ? QStringLiteral("accessible-name") : QStringLiteral("accessible-description"))
           << 0 << 0 << QVariant::fromValue(QDBusVariant(value))
           << QVariant::fromValue(application);
    return bus.send(signal);
}

bool isTextEvent(QAccessible::Event type) {
    switch (type) {
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged:
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
        return true;
    default:
        return false;
    }
}

// A copy of a text event, to be sent later; null for an event of another kind (which is then
// not held).
std::unique_ptr<QAccessibleEvent> copyTextEvent(const QAccessibleEvent& event) {
    QObject* object = event.object();
    const auto* cursor = dynamic_cast<const QAccessibleTextCursorEvent*>(&event);
    if (!cursor) {
        return nullptr;
    }
    std::unique_ptr<QAccessibleTextCursorEvent> copy;
    if (const auto* selection = dynamic_cast<const QAccessibleTextSelectionEvent*>(cursor)) {
        copy = std::make_unique<QAccessibleTextSelectionEvent>(object, selection->selectionStart(),
                                                               selection->selectionEnd());
    } else if (const auto* insert = dynamic_cast<const QAccessibleTextInsertEvent*>(cursor)) {
        copy = std::make_unique<QAccessibleTextInsertEvent>(object, insert->changePosition(),
                                                            insert->textInserted());
    } else if (const auto* remove = dynamic_cast<const QAccessibleTextRemoveEvent*>(cursor)) {
        copy = std::make_unique<QAccessibleTextRemoveEvent>(object, remove->changePosition(),
                                                            remove->textRemoved());
    } else if (const auto* update = dynamic_cast<const QAccessibleTextUpdateEvent*>(cursor)) {
        copy = std::make_unique<QAccessibleTextUpdateEvent>(
            object, update->changePosition(), update->textRemoved(), update->textInserted());
    } else if (event.type() == QAccessible::TextCaretMoved) {
        copy = std::make_unique<QAccessibleTextCursorEvent>(object, cursor->cursorPosition());
    } else {
        return nullptr;
    }
    copy->setCursorPosition(cursor->cursorPosition());
    return copy;
}

// Every accessibility event of the program passes through here before it reaches the screen
// reader.
class EventGate {
public:
    static void install() {
        // Qt passes events to the accessibility bus itself unless a handler is installed.
        previous = QAccessible::installUpdateHandler(&EventGate::update);
    }

private:
    static inline QAccessible::UpdateHandler previous = nullptr;
    // The object whose focus event went out last.
    static inline QPointer<QObject> announcedFocus;
    // Held events, each with a guard on its object (the event does not guard it).
    struct Held {
        QPointer<QObject> object;
        std::unique_ptr<QAccessibleEvent> event;
    };
    static inline std::vector<Held> held;
    static inline bool releaseQueued = false;

    static void update(QAccessibleEvent* event) {
        QObject* object = event->object();
        switch (event->type()) {
        case QAccessible::Focus:
            if (QLineEdit* field = answerField(object)) {
                nameField(field, false); // before the screen reader reads it
            }
            pass(event);
            announcedFocus = object;
            release();
            return;
        case QAccessible::NameChanged:
        case QAccessible::DescriptionChanged:
            if (!sendPropertyChange(event)) {
                pass(event);
            }
            if (windowLabel(object) && event->type() == QAccessible::NameChanged) {
                labelChanged(static_cast<QWidget*>(object));
            }
            return;
        case QAccessible::StateChanged: {
            pass(event);
            const auto* change = dynamic_cast<QAccessibleStateChangeEvent*>(event);
            if (QLineEdit* field = answerField(object);
                field && change && change->changedStates().disabled) {
                nameField(field, false);
            }
            return;
        }
        default:
            break;
        }
        if (isTextEvent(event->type()) && holdsBack(object)) {
            if (auto copy = copyTextEvent(*event)) {
                held.push_back({object, std::move(copy)});
                queueRelease();
                return;
            }
        }
        pass(event);
    }

    // The fields of the label's window follow their captions; a dialog's description follows its
    // labels.
    static void labelChanged(QWidget* label) {
        nameFieldsLater(label->parentWidget());
        if (QWidget* window = label->window(); isDialog(window)) {
            QAccessibleEvent described(window, QAccessible::DescriptionChanged);
            update(&described);
        }
    }

    // Qt tells an edit field's caret and selection (set as the focus arrives) before it tells
    // that the field has the focus. A screen reader then moves to the field on the caret event
    // without a word and takes the focus event for one on the object it is already on: the field
    // and its exercise are never spoken. Such events wait until the field's focus event has gone
    // out.
    static bool holdsBack(QObject* object) {
        return answerField(object) && object == QApplication::focusWidget() &&
               object != announcedFocus;
    }

    // Should no focus event follow (the window not being active), the held events go out once the
    // program is back in its event loop.
    static void queueRelease() {
        if (!releaseQueued) {
            releaseQueued = true;
            QTimer::singleShot(0, qApp, [] { release(); });
        }
    }

    static void release() {
        releaseQueued = false;
        std::vector<Held> events;
        events.swap(held);
        for (const Held& item : events) {
            if (item.object) {
                pass(item.event.get());
            }
        }
    }

    static void pass(QAccessibleEvent* event) {
        if (previous) {
            previous(event);
            return;
        }
        QAccessible::installUpdateHandler(nullptr);
        QAccessible::updateAccessibility(event);
        QAccessible::installUpdateHandler(&EventGate::update);
    }
};

} // namespace

void installAccessibility() {
    // Once per process: a test may set up the application more than once.
    static const bool installed = [] {
        qDBusRegisterMetaType<AtspiReference>();
        QAccessible::installFactory(&controlInterface);
        EventGate::install();
        installAtspiGuard();
        return true;
    }();
    (void)installed;
}

} // namespace toolkit::detail
