#pragma once

#include "model/modpar.h"
#include "toolkit/image_surface.h"
#include "toolkit/picture_box.h"
#include "toolkit/timer.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <memory>

namespace brownian {

class FrmMnu;

/// The main window: shows the particles on its own surface, holds the path picture PicPar(1)
/// and the frame buffer PicPar(2), runs the two animation timers and takes the four keys and
/// the right click that opens the command menu. Unloading it ends the program.
class FrmPar : public QWidget
{
public:
    explicit FrmPar(ModPar &state);
    ~FrmPar() override;

    ModPar &state() { return m_state; }

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

    toolkit::Timer &TimPar() { return *m_timPar; }
    toolkit::Timer &Timpar2() { return *m_timpar2; }
    /// PicPar(1), the path picture.
    toolkit::PictureBox &pathPicture() { return *m_path; }
    /// PicPar(2), the frame buffer: never shown.
    ImageSurface &frameBuffer() { return *m_frameBuffer; }
    /// The particle view: the newest complete frame, in device pixels.
    const QImage &particleView() const { return m_view->image(); }
    FrmMnu &menu() { return *m_menu; }
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
    void tick(bool unbounded);
    void presentFrame();
    /// With BROWNIAN_TICK_REPORT set, prints the ticks achieved per second to standard error
    /// once a second, for measuring how smoothly the animation runs.
    void reportTickRate();
    void placeAtStart();
    /// Re-creates the pictures at the window's device-pixel ratio when it has changed (the
    /// window shown on a scaled screen, or moved to another one), keeping what they hold.
    void refreshScale();

    ModPar &m_state;
    bool m_doubleView = false;
    bool m_unloaded = false;
    bool m_inResize = false;
    std::unique_ptr<FrmMnu> m_menu;
    toolkit::PictureBox *m_path = nullptr;
    std::unique_ptr<ImageSurface> m_frameBuffer;
    std::unique_ptr<ImageSurface> m_view;
    std::unique_ptr<toolkit::Timer> m_timPar, m_timpar2;
    QElapsedTimer m_presentClock;
    const bool m_reportTicks = qEnvironmentVariableIsSet("BROWNIAN_TICK_REPORT");
    QElapsedTimer m_tickClock;
    long m_ticksCounted = 0;
    bool m_presentPending = false;
    QElapsedTimer m_menuShownClock;
};

} // namespace brownian
