// Build-time tool: renders an SVG icon into the PNG sizes of an icon theme.
//
//   brisquel_iconrender <icon.svg> <output folder> <size>...
//
// writes <output folder>/<size>x<size>/apps/<icon base name>.png for each
// size. Fails loudly on an unreadable SVG, an empty rendering or a failed
// write, so that the build never installs blank icons.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

namespace {

bool hasVisiblePixel(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

QImage render(QSvgRenderer& renderer, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image;
}

int fail(const QString& message)
{
    QTextStream(stderr) << "brisquel_iconrender: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4)
        return fail(QStringLiteral("usage: brisquel_iconrender <icon.svg> <output folder> <size>..."));

    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString outputRoot = QString::fromLocal8Bit(argv[2]);
    QSvgRenderer renderer(source);
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(source));

    const QString name = QFileInfo(source).completeBaseName();
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size <= 0 || size > 1024)
            return fail(QStringLiteral("bad size \"%1\"").arg(QString::fromLocal8Bit(argv[i])));

        const QImage image = render(renderer, size);
        if (!hasVisiblePixel(image))
            return fail(QStringLiteral("%1 renders empty at %2 px").arg(source).arg(size));

        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outputRoot).arg(size);
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("cannot create %1").arg(folder));
        const QString target = QStringLiteral("%1/%2.png").arg(folder, name);
        if (!image.save(target, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(target));
    }
    return 0;
}
