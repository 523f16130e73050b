#include "toolkit/qt/widgets_qt.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace toolkit::detail {

AutoSizeLabel::AutoSizeLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setContentsMargins(0, 0, 0, 0);
    setMargin(0);
    setIndent(0);
}

void AutoSizeLabel::setCaption(const QString& text) {
    setText(text);
    fitToText();
}

void AutoSizeLabel::fitToText() {
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(text()), metrics.height());
}

void AutoSizeLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        fitToText();
    }
}

AnswerEdit::AnswerEdit(QWidget* parent) : QLineEdit(parent) {
    setFrame(true);
    setFocusPolicy(Qt::StrongFocus);
}

void AnswerEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // The whole text is selected when the focus arrives from another control, except by a click
    // into the field (the click places the caret) or by the window becoming active again.
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        selectAll();
        break;
    default:
        break;
    }
}

void AnswerEdit::keyPressEvent(QKeyEvent* event) {
    // A single-line field has no line above or below: Up and Down move the caret back and
    // forward like Left and Right (Qt's line edit would ignore them, and the scroll area around
    // the controls would scroll instead).
    const bool mark = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        cursorBackward(mark);
        return;
    case Qt::Key_Down:
        cursorForward(mark);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

PushButton::PushButton(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
}

OkImageButton::OkImageButton(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
}

const QImage& OkImageButton::checkMark() {
    static const QImage image = [] {
        // A thick tick drawn on an 18 × 18 grid: short stroke down to the right, long stroke up.
        static const char* const rows[18] = {
            "..................", "..................", "...............#..", "..............##..",
            ".............###..", "............###...", "...........###....", "..#.......###.....",
            "..##.....###......", "..###...###.......", "...###.###........", "....#####.........",
            ".....###..........", "......#...........", "..................", "..................",
            "..................", "..................",
        };
        QImage mark(18, 18, QImage::Format_ARGB32);
        mark.fill(Qt::transparent);
        for (int y = 0; y < 18; ++y) {
            for (int x = 0; x < 18; ++x) {
                if (rows[y][x] == '#') {
                    mark.setPixelColor(x, y, QColor(0, 128, 0));
                }
            }
        }
        return mark;
    }();
    return image;
}

namespace {

// The image's shape filled with one colour.
QImage silhouette(const QImage& image, const QColor& colour) {
    QImage out = image.copy();
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(out.rect(), colour);
    return out;
}

constexpr int imageGap = 4;

} // namespace

QSize OkImageButton::sizeHint() const {
    const QFontMetrics metrics(font());
    const int width = checkMark().width() + imageGap + metrics.horizontalAdvance(text()) + 16;
    return {width, std::max(checkMark().height(), metrics.height()) + 10};
}

void OkImageButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QImage& mark = checkMark();
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text());
    const int total = mark.width() + imageGap + textWidth;
    int x = (width() - total) / 2;
    const int imageTop = (height() - mark.height()) / 2;
    const int textTop = (height() - metrics.height()) / 2;
    if (isDown()) {
        ++x;
    }
    const int pressed = isDown() ? 1 : 0;
    const QRect textRect(x + mark.width() + imageGap, textTop + pressed, textWidth + 1,
                         metrics.height());
    const QPalette& colours = palette();
    if (isEnabled()) {
        painter.drawImage(x, imageTop + pressed, mark);
        painter.setPen(colours.color(QPalette::Active, QPalette::ButtonText));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
    } else {
        // Embossed: once one pixel right and down in the highlight colour, then in place in the
        // shadow colour.
        const QColor light = colours.color(QPalette::Light);
        const QColor shadow = colours.color(QPalette::Dark);
        painter.drawImage(x + 1, imageTop + 1, silhouette(mark, light));
        painter.drawImage(x, imageTop, silhouette(mark, shadow));
        painter.setPen(light);
        painter.drawText(textRect.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, text());
        painter.setPen(shadow);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

BevelPanel::BevelPanel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void BevelPanel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        painter.end();
        QStylePainter stylePainter(this);
        stylePainter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace toolkit::detail
