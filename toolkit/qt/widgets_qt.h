#pragma once

// The Qt widgets behind the toolkit's control kinds, each made to look and act as its kind must
// where Qt's own widget differs: labels that size themselves to their text, an edit field that
// selects its text when the keyboard brings the focus, the OK button with its drawn check mark,
// and a bevelled panel that the mouse cannot focus.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace toolkit::detail {

// Static text whose size follows its text, with its left and top fixed.
class AutoSizeLabel : public QLabel {
public:
    explicit AutoSizeLabel(QWidget* parent);
    void setCaption(const QString& text);
    void fitToText();

protected:
    void changeEvent(QEvent* event) override;
};

class AnswerEdit : public QLineEdit {
public:
    explicit AnswerEdit(QWidget* parent);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class PushButton : public QPushButton {
public:
    explicit PushButton(QWidget* parent);
};

// A push button that shows a green check mark left of its caption, both centred with 4 pixels
// between them; while disabled the mark and the caption are drawn embossed in grey.
class OkImageButton : public QPushButton {
public:
    explicit OkImageButton(QWidget* parent);
    QSize sizeHint() const override;

    // The 18 × 18 check-mark image, transparent where the mark is not.
    static const QImage& checkMark();

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A raised rectangle with a centred caption. Not a tab stop; the mouse does not focus it.
class BevelPanel : public QLabel {
public:
    explicit BevelPanel(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace toolkit::detail
