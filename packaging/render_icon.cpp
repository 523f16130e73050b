// Renders the program's pixel-art icon at the sizes a desktop's icon theme wants.
//
// Usage: drill_render_icon SOURCE.xpm OUTPUT.png SIZE
//
// The picture is scaled by whole pixels (nearest neighbour), so every size shows the same
// picture with sharp edges; SIZE must be a whole multiple of the source's width and height.

#include <QImage>
#include <QString>

#include <cstdio>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "drill_render_icon: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return fail(QStringLiteral("usage: drill_render_icon SOURCE.xpm OUTPUT.png SIZE"));
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    bool isNumber = false;
    const int size = QString::fromLocal8Bit(argv[3]).toInt(&isNumber);
    if (!isNumber || size <= 0 || size > 4096) {
        return fail(QStringLiteral("size \"%1\" is not a number from 1 to 4096")
                        .arg(QString::fromLocal8Bit(argv[3])));
    }

    QImage picture;
    if (!picture.load(source, "XPM")) {
        return fail(QStringLiteral("cannot read the picture %1").arg(source));
    }
    if (size % picture.width() != 0 || size % picture.height() != 0) {
        return fail(QStringLiteral("%1 is not a whole multiple of the %2x%3 picture")
                        .arg(size)
                        .arg(picture.width())
                        .arg(picture.height()));
    }
    const QImage scaled = picture.convertToFormat(QImage::Format_ARGB32)
                              .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(output, "PNG")) {
        return fail(QStringLiteral("cannot write %1").arg(output));
    }
    return 0;
}
