#pragma once

#include "disc_sprites.h"
#include "sim/canvas.h"

#include <QImage>

#include <memory>
#include <string>

namespace brownian {

/// A retained picture: a QImage in device pixels that keeps everything drawn on it, also while
/// nothing shows it. Coordinates are twips; `twipsPerPixel` converts them to logical pixels and
/// `devicePixelRatio` to device pixels, so the picture stays crisp on scaled screens.
///
/// The drawing the animation repeats on every tick is done without QPainter: filled circles
/// are copied from disc sprites (disc_sprites.h), lines are rasterised directly with a pen of
/// round(devicePixelRatio) device pixels (line_raster.h). The image lies inside a hidden
/// margin, so that discs reaching a little over its edges need no clipping, and clear() clears
/// only the rows drawn on since the last one. Circles in another style and rectangles go
/// through QPainter.
///
/// A copy of image() keeps what the picture showed when it was taken (copy on write), as for
/// any QImage.
class ImageSurface final : public Canvas
{
public:
    ImageSurface(double widthTwips, double heightTwips, double twipsPerPixel,
        double devicePixelRatio = 1.0, Rgb background = kWhite);
    ~ImageSurface() override;
    ImageSurface(const ImageSurface &) = delete;
    ImageSurface &operator=(const ImageSurface &) = delete;

    void clear() override;
    void setFillColor(Rgb color) override { m_fill = color; }
    void setFillStyle(FillStyle style) override { m_style = style; }
    void circle(float x, float y, float r, Rgb outline) override;
    void line(float x1, float y1, float x2, float y2, Rgb color) override;
    void rectangle(float x1, float y1, float x2, float y2, Rgb outline) override;

    Rgb fillColor() const { return m_fill; }
    FillStyle fillStyle() const { return m_style; }
    Rgb background() const { return m_background; }

    /// The retained image in device pixels (ARGB32 premultiplied), with everything drawn so far.
    const QImage &image() const { return m_image; }
    /// Exchanges the two surfaces' images (they must be alike in size and format): the frame
    /// copy of the main window, without copying pixels. What the image handed in holds counts
    /// as drawn, so the next clear() clears all of it.
    void swapImage(QImage &other);
    /// Exchanges the images of two surfaces alike in size, together with what each knows of
    /// the rows drawn on since its last clear().
    void swapImage(ImageSurface &other);

    /// Re-creates the image for another device-pixel ratio, keeping what was drawn (scaled).
    void setDevicePixelRatio(double devicePixelRatio);

    double widthTwips() const { return m_widthTwips; }
    double heightTwips() const { return m_heightTwips; }
    double twipsPerPixel() const { return m_twipsPerPixel; }
    double devicePixelRatio() const { return m_dpr; }
    /// Device pixels per twip.
    double scale() const { return m_scale; }
    /// Width of the pen for lines and outlines, device pixels.
    int penWidth() const;

    /// Keeps the pixel loops to the baseline instruction set (SSE2 on x86-64) also where wider
    /// vectors are available, so that both variants can be checked and timed.
    static void setBaselineVectorsOnly(bool on) { setDiscBaselineVectorsOnly(on); }

private:
    void blitDisc(DiscSprite &sprite, int left, int top);
    void drawDiscGeneric(double cx, double cy, double r, Rgb outline);
    void allocate(double devicePixelRatio);
    /// Makes the picture a view of width × height pixels into `padded`, inside its margin.
    void attach(QImage padded, int width, int height);
    /// The picture's first pixel for writing, laid out inside the margin again if need be.
    uchar *writableBits();
    /// The picture's pixels for writing, as writableBits().
    pixels::Target target();
    void markDirty(int top, int bottom);
    void markAllDirty();

    QImage m_image; // a view into an image larger by the margin on every side
    uchar *m_origin = nullptr; // the first pixel of the picture in that larger image
    double m_widthTwips, m_heightTwips, m_twipsPerPixel, m_dpr = 1, m_scale = 1;
    Rgb m_background;
    Rgb m_fill = kBlack;
    FillStyle m_style = FillStyle::Solid;
    // Rows [m_dirtyTop, m_dirtyBottom) may differ from the background.
    int m_dirtyTop = 0, m_dirtyBottom = 0;

    DiscSprites m_sprites;
};

/// The main window's path picture (field::kPathPictureSide square) and its frame buffer (the view
/// square) at `dpi` dots per inch, as the lab and the Python module draw them headless.
std::unique_ptr<ImageSurface> pathPicture(int dpi);
std::unique_ptr<ImageSurface> frameBuffer(int dpi);

/// PNG bytes of a picture, opaque (a quarter smaller than with the alpha channel), recording
/// 96 dpi as a 96 dpi screen does, with or without a screen.
std::string pngBytes(const QImage &image);

} // namespace brownian
