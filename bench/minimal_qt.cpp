// The floor for the start-up benchmark (bench/startup.py): the smallest Qt Widgets program with
// a window like the drill's main window: the same size and style, three controls (a label, an
// edit field, a push button) and nothing else. With --faces the controls use the faces that the
// drill's windows are drawn in, named directly; without, Qt's default font.

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QWidget>

#include <cstring>

namespace {

QFont face(const char* family, int pixels) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixels);
    return font;
}

} // namespace

int main(int argc, char** argv) {
    const bool faces = argc > 1 && std::strcmp(argv[1], "--faces") == 0;
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(464, 248);
    auto* label = new QLabel(QStringLiteral("37 + 5 = "), &window);
    label->setGeometry(8, 16, 200, 60);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(216, 32, 121, 40);
    auto* button = new QPushButton(QStringLiteral("Выход"), &window);
    button->setGeometry(336, 192, 121, 41);
    if (faces) {
        label->setFont(face("Liberation Serif", 53));
        edit->setFont(face("DejaVu Sans", 27));
        button->setFont(face("DejaVu Sans", 27));
    }
    window.show();
    return QApplication::exec();
}
