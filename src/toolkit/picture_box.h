#pragma once

#include "image_surface.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace brownian::toolkit {

/// Mouse buttons as the program numbers them: 1 left, 2 right, 4 middle.
int buttonCode(Qt::MouseButton button);
/// Shift state as the program numbers it: 1 Shift, 2 Ctrl, 4 Alt, added.
int shiftState(Qt::KeyboardModifiers modifiers);

/// A picture box: a child window that shows a retained ImageSurface. Its position and size are
/// set in twips; mouse coordinates are reported in the box's own twips.
class PictureBox : public QWidget
{
public:
    PictureBox(QWidget *parent, double widthTwips, double heightTwips, Rgb background = kWhite);

    ImageSurface &surface() { return *m_surface; }
    /// Moves the box within its parent, in twips.
    void setLeftTwips(double left);
    double leftTwips() const { return m_leftTwips; }

    /// Called on a button press: button code, shift state, X and Y in the box's twips.
    std::function<void(int, int, float, float)> onMouseDown;
    /// Called on a button release, with the same arguments.
    std::function<void(int, int, float, float)> onMouseUp;
    /// Called when the box needs repainting, before the image is shown; a box without a
    /// retained picture redraws itself here.
    std::function<void()> onPaint;

    /// Re-creates the surface at the current device-pixel ratio (after a screen change),
    /// keeping what it holds. Also done when the box is shown or moves to another screen.
    void refreshScale();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::unique_ptr<ImageSurface> m_surface;
    double m_widthTwips, m_heightTwips, m_leftTwips = 0, m_topTwips = 0;
    Rgb m_background;
};

} // namespace brownian::toolkit
