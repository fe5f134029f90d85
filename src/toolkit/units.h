#pragma once

class QWidget;

namespace brownian::toolkit {

/// Twips per logical pixel of the primary screen: 1440 / logical dpi (15 at 96 dpi).
double twipsPerPixel();
/// Twips to logical pixels, rounded to the nearest pixel.
int toPixels(double twips);
double toTwips(double pixels);

/// The screen's size in twips.
double screenWidthTwips();
double screenHeightTwips();

/// Outer position (frame included) of a top-level window, in twips.
double leftTwips(const QWidget *window);
double topTwips(const QWidget *window);
void moveOuterTwips(QWidget *window, double left, double top);
/// Outer size of a top-level window, in twips.
double outerWidthTwips(const QWidget *window);
double outerHeightTwips(const QWidget *window);
/// Makes the window's outer size the given twips: the client area is that size less the frame
/// the platform reports (the whole size where there is none), and the user cannot change it.
/// While the window manager's frame is still coming, the size is fitted again once it is known.
void setOuterSizeTwips(QWidget *window, double width, double height);
/// Fixes the client area of a top-level window, in twips.
void setClientSizeTwips(QWidget *window, double width, double height);
/// Places a child control in its parent's client area, in twips.
void placeTwips(QWidget *child, double left, double top, double width, double height);

} // namespace brownian::toolkit
