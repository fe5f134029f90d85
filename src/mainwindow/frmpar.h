#pragma once

#include "animation/animation.h"
#include "model/modpar.h"
#include "toolkit/image_surface.h"
#include "toolkit/picture_box.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

namespace brownian {

/// The main window: shows the particles on its own surface, holds the path picture PicPar(1)
/// and the frame buffer PicPar(2) on which the animation's ticks draw, and takes the four keys
/// and the right click that opens the command menu. Unloading it ends the program.
class FrmPar : public QWidget
{
public:
    explicit FrmPar(Animation &animation);
    ~FrmPar() override;

    ModPar &state() { return m_state; }

    /// A right click asks for the command menu with its outer corner at (left, top) twips;
    /// `onInactiveWindow` tells whether the click came while this window was not the active one
    /// (its activation then follows the click).
    std::function<void(float left, float top, bool onInactiveWindow)> onMenuRequested;
    /// The window has become the active window.
    std::function<void()> onActivated;
    /// G was released on the window or its pictures: opens or closes the observation window.
    std::function<void()> onObservationKey;

    // Event handlers and procedures, under the program's own names.
    void Form_Load();
    void Form_Activate();
    void Form_Resize();
    void Form_KeyUp(int keyCode, int shift);
    void Form_MouseDown(int button, int shift, float X, float Y);
    void Form_Unload(int &cancel);
    void PicPar_KeyUp(int index, int keyCode, int shift);
    void PicPar_MouseDown(int index, int button, int shift, float X, float Y);
    void SetView();
    void TimPar_Timer();
    void Timpar2_Timer();

    /// PicPar(1), the path picture.
    toolkit::PictureBox &pathPicture() { return *m_path; }
    /// PicPar(2), the frame buffer: never shown.
    ImageSurface &frameBuffer() { return *m_frameBuffer; }
    /// The particle view: the newest complete frame, in device pixels.
    const QImage &particleView() const { return m_view->image(); }
    bool DoubleView() const { return m_doubleView; }

    /// Unloads the window (Esc, the close box, the menu's exit): ends the program.
    void unload();
    /// True once the window has been unloaded.
    bool unloaded() const { return m_unloaded; }

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    bool event(QEvent *event) override;

private:
    /// After a tick's sub-steps: the frame buffer becomes the view.
    void showTick();
    void presentFrame();
    /// With BROWNIAN_TICK_REPORT set, prints the ticks achieved per second to standard error
    /// once a second, for measuring how smoothly the animation runs.
    void reportTickRate();
    void placeAtStart();
    /// Re-creates the pictures at the window's device-pixel ratio when it has changed (the
    /// window shown on a scaled screen, or moved to another one), keeping what they hold.
    void refreshScale();

    Animation &m_animation;
    ModPar &m_state;
    bool m_doubleView = false;
    bool m_unloaded = false;
    bool m_inResize = false;
    toolkit::PictureBox *m_path = nullptr;
    std::unique_ptr<ImageSurface> m_frameBuffer;
    std::unique_ptr<ImageSurface> m_view;
    QElapsedTimer m_presentClock;
    const bool m_reportTicks = qEnvironmentVariableIsSet("BROWNIAN_TICK_REPORT");
    QElapsedTimer m_tickClock;
    long m_ticksCounted = 0;
    bool m_presentPending = false;
};

} // namespace brownian
