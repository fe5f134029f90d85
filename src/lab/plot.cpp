#include "plot.h"

#include "model/geometry.h"

#include <QBuffer>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brownian::lab {

namespace {

/// Side of the path picture box of the main window, twips.
constexpr double kPathSide = 5063;

double twipsPerPixel(int dpi)
{
    return 1440.0 / dpi;
}

} // namespace

std::unique_ptr<ImageSurface> makePathPicture(int dpi)
{
    return std::make_unique<ImageSurface>(kPathSide, kPathSide, twipsPerPixel(dpi));
}

std::unique_ptr<ImageSurface> makeFrameBuffer(int dpi)
{
    return std::make_unique<ImageSurface>(field::kViewSide, field::kViewSide, twipsPerPixel(dpi));
}

QImage renderPlot(const PlotInput &in, int dpi)
{
    const double f = std::min(dpi, kMaxPlotDpi) / 96.0;
    QImage image(static_cast<int>(std::lround(1280 * f)), static_cast<int>(std::lround(640 * f)),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);

    const QString title = in.unbounded ? QStringLiteral("ヴァリム（境界なし）")
                                       : QStringLiteral("ヴァリム（境界あり）");
    drawPlotText(p, QRectF(24 * f, 12 * f, 1232 * f, 32 * f), Qt::AlignLeft | Qt::AlignVCenter,
        title, 22, f, true);
    const QString settings = QStringLiteral("粒子数：%1　粒子の大きさ：%2　粒子の速さ：%"
                                            "3　軌跡を描く粒子：%4　%5 ティック（%6 サブステップ）")
                                 .arg(in.numSide * in.numSide)
                                 .arg(in.size)
                                 .arg(in.speed)
                                 .arg(in.locus)
                                 .arg(in.ticks)
                                 .arg(in.subSteps);
    drawPlotText(p, QRectF(24 * f, 44 * f, 1232 * f, 24 * f), Qt::AlignLeft | Qt::AlignVCenter,
        settings, 14, f);

    // Below the two lines of text, the panels get the rest of the picture.
    drawPlotPanels(p, in, plotLayout(QRectF(0, 68, 1280, 572)), f);
    p.end();
    return image;
}

std::string encodePng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Every picture is opaque: without the alpha channel the file is a quarter smaller.
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG", 0);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace brownian::lab
