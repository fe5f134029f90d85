#pragma once

#include "canvas.h"

#include <QImage>

#include <array>
#include <vector>

namespace brownian {

/// A retained picture: a QImage in device pixels that keeps everything drawn on it, also while
/// nothing shows it. Coordinates are twips; `twipsPerPixel` converts them to logical pixels and
/// `devicePixelRatio` to device pixels, so the picture stays crisp on scaled screens.
///
/// Filled circles are drawn from pre-rendered antialiased discs (one per quarter-pixel offset),
/// which is far cheaper than rasterising every disc; lines are gathered and drawn in one go
/// before anything reads the image or draws something else.
class ImageSurface final : public Canvas
{
public:
    ImageSurface(double widthTwips, double heightTwips, double twipsPerPixel,
        double devicePixelRatio = 1.0, Rgb background = kWhite);
    ~ImageSurface() override;

    void clear() override;
    void setFillColor(Rgb color) override { m_fill = color; }
    void setFillStyle(FillStyle style) override { m_style = style; }
    void circle(float x, float y, float r, Rgb outline) override;
    void line(float x1, float y1, float x2, float y2, Rgb color) override;
    void rectangle(float x1, float y1, float x2, float y2, Rgb outline) override;

    Rgb fillColor() const { return m_fill; }
    FillStyle fillStyle() const { return m_style; }
    Rgb background() const { return m_background; }

    /// The retained image in device pixels, with everything drawn so far.
    const QImage &image();
    /// Exchanges the two surfaces' images (they must be alike in size): the frame copy of the
    /// main window, without copying pixels.
    void swapImage(QImage &other);

    double widthTwips() const { return m_widthTwips; }
    double heightTwips() const { return m_heightTwips; }
    double twipsPerPixel() const { return m_twipsPerPixel; }
    double devicePixelRatio() const { return m_dpr; }
    /// Device pixels per twip.
    double scale() const { return m_scale; }

private:
    struct Sprite
    {
        double radiusPx = -1;
        Rgb color;
        std::array<QImage, 16> images; // quarter-pixel offsets in x and y
    };
    const QImage &sprite(double radiusPx, Rgb color, int offset);
    void flushLines();
    void drawDiscGeneric(double cx, double cy, double r, Rgb outline);

    QImage m_image;
    double m_widthTwips, m_heightTwips, m_twipsPerPixel, m_dpr, m_scale;
    Rgb m_background;
    Rgb m_fill = kBlack;
    FillStyle m_style = FillStyle::Solid;
    std::vector<Sprite> m_sprites;
    struct Segment
    {
        float x1, y1, x2, y2;
        Rgb color;
    };
    std::vector<Segment> m_pending;
};

} // namespace brownian
