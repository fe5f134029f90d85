#pragma once

#include "animation/animation.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <functional>

class QPushButton;

namespace brownian {

/// The command menu: five buttons that restart either mode, pause and play, open the settings
/// dialog and exit. Shown next to the pointer on a right click on the main window; closing it
/// only hides it. Every command acts through the animation; what concerns the other windows
/// goes through the callbacks below.
class FrmMnu : public QWidget
{
public:
    explicit FrmMnu(Animation &animation);
    ~FrmMnu() override;

    /// Sets the main window's caption (the mode buttons).
    std::function<void(const QString &caption)> setMainCaption;
    /// Unloads the main window, which ends the program (the exit button).
    std::function<void()> exitProgram;
    /// Loads the settings dialog and shows it (the settings button).
    std::function<void()> openSettings;

    /// The one command handler, with the index of the clicked button (0, 1, 4, 5 or 6).
    void ComMnu_Click(int Index);
    void Form_Unload(int &cancel);

    /// Moves the menu's outer corner to (left, top) twips and shows it. When the right click
    /// came on the inactive main window, that window's activation may arrive after the click:
    /// `reshowOnActivation` keeps the menu for an activation within the next 400 ms.
    void popUpAt(float left, float top, bool reshowOnActivation);
    /// The main window has become active: hides the menu, unless the click that opened it is
    /// the one that activated the main window.
    void mainActivated();

    /// ComMnu(index) for the indexes 0, 1, 4, 5, 6; nullptr for any other index.
    QPushButton *ComMnu(int index) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Animation &m_animation;
    std::array<QPushButton *, 7> m_buttons {};
    /// Running from a right click on the inactive main window until its activation, a command
    /// or the menu's close.
    QElapsedTimer m_reshowClock;
};

} // namespace brownian
