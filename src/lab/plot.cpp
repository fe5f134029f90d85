#include "plot.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brownian::lab {

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

} // namespace brownian::lab
