#pragma once

#include "animation/animation.h"
#include "model/modpar.h"

#include <QWidget>

#include <array>
#include <functional>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace brownian {

namespace toolkit {
class PictureBox;
}

/// The particle settings dialog: count per side, size and speed level, and a preview of the
/// start grid on which the tracked particle is picked. Shown modeless without an owner, it
/// disables the main window and the menu while open. A field is checked when the focus leaves
/// it: a text that is no number brings up a message and the focus back, a number out of range
/// is clamped. O.K. writes the settings; every close re-places the particles and restarts the
/// current mode.
class FrmParSet : public QWidget
{
public:
    /// `main` and `menu` are the windows the dialog disables while it is open.
    FrmParSet(Animation &animation, QWidget &main, QWidget &menu);
    ~FrmParSet() override;

    // Event handlers, under the program's own names.
    void Form_Load();
    void TxtNum_Change();
    void TxtNum_LostFocus();
    void TxtSize_LostFocus();
    void ComOK_Click();
    void ComCancel_Click();
    void Form_Unload(int &cancel);
    /// Redraws the preview from the field texts, the mode and the pick, and shows it.
    void PicLocus_Paint();
    void PicLocus_MouseUp(int button, int shift, float X, float Y);

    /// The particle picked so far; it reaches LocusNo only through O.K.
    Integer NewLocusNo() const { return m_newLocusNo; }

    QLineEdit *TxtNum() const { return m_txtNum; }
    QLineEdit *TxtSize() const { return m_txtSize; }
    QLabel *LblNum3() const { return m_lblNum3; }
    /// OptV(1)..OptV(5); nullptr for any other index.
    QRadioButton *OptV(int index) const;
    toolkit::PictureBox *PicLocus() const { return m_picLocus; }
    QPushButton *ComOK() const { return m_comOK; }
    QPushButton *ComCancel() const { return m_comCancel; }

    /// True from a field's failed check until its message has been shown and the focus is back.
    bool messagePending() const { return m_pendingField != nullptr; }

    /// Called once the dialog has closed and may be destroyed (not from within it).
    std::function<void()> onClosed;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void drawPreview();
    /// Shows the field's message from the event loop, then gives the focus back to it.
    void reportNotNumeric(QLineEdit *field);
    void showPendingMessage();
    /// Whether the field's text is a number; reports it when it is not.
    bool checkNumeric(QLineEdit *field);

    Animation &m_animation;
    ModPar &m_state;
    QWidget &m_main;
    QWidget &m_menu;
    Integer m_newLocusNo = 0;
    /// The count text as last checked, for which the pick is valid.
    QString m_checkedCount;
    QLineEdit *m_pendingField = nullptr;
    bool m_messageUp = false; // the field's message box is waiting for its answer
    bool m_closed = false;

    QLineEdit *m_txtNum = nullptr;
    QLineEdit *m_txtSize = nullptr;
    QLabel *m_lblNum3 = nullptr;
    std::array<QRadioButton *, 6> m_optV {};
    QButtonGroup *m_speedGroup = nullptr;
    toolkit::PictureBox *m_picLocus = nullptr;
    QPushButton *m_comOK = nullptr;
    QPushButton *m_comCancel = nullptr;
};

} // namespace brownian
