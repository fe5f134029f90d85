#pragma once

#include "model/modpar.h"

#include <QWidget>

#include <array>
#include <memory>

class QPushButton;

namespace brownian {

class FrmPar;
class FrmParSet;

/// The command menu: five buttons that restart either mode, pause and play, open the settings
/// dialog and exit. Shown next to the pointer on a right click on the main window; closing it
/// only hides it.
class FrmMnu : public QWidget
{
public:
    FrmMnu(ModPar &state, FrmPar &main);
    ~FrmMnu() override;

    /// The one command handler, with the index of the clicked button (0, 1, 4, 5 or 6).
    void ComMnu_Click(int Index);
    void Form_Unload(int &cancel);

    /// ComMnu(index) for the indexes 0, 1, 4, 5, 6; nullptr for any other index.
    QPushButton *ComMnu(int index) const;
    /// The settings dialog while it is open, else nullptr.
    FrmParSet *settings() const { return m_settings.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void openSettings();

    ModPar &m_state;
    FrmPar &m_main;
    std::array<QPushButton *, 7> m_buttons {};
    std::unique_ptr<FrmParSet> m_settings;
};

} // namespace brownian
