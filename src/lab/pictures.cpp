#include "pictures.h"

#include "model/geometry.h"

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

} // namespace brownian::lab
