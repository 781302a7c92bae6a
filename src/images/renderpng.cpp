// Build tool: renders an SVG icon to a PNG of the size its own header gives, or of a square
// size given after the file names.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: renderpng input.svg output.png [size]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "renderpng: cannot read %s\n", argv[1]);
        return 1;
    }
    const int side = argc == 4 ? std::atoi(argv[3]) : 0;
    QImage image(side > 0 ? QSize(side, side) : renderer.defaultSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "renderpng: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
