#pragma once

#include "toolkit/image_surface.h"

#include <memory>

namespace brownian::lab {

/// The main window's path picture, 5063 twips square, at `dpi` dots per inch.
std::unique_ptr<ImageSurface> makePathPicture(int dpi);

/// The main window's frame buffer, the view square, at `dpi` dots per inch.
std::unique_ptr<ImageSurface> makeFrameBuffer(int dpi);

} // namespace brownian::lab
