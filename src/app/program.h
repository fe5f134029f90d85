#pragma once

#include "animation/animation.h"
#include "model/modpar.h"
#include "sim/simulation.h"

#include <memory>

namespace brownian {

class FrmMnu;
class FrmObs;
class FrmPar;
class FrmParSet;

/// The program's windows composed around one simulation state and its animation: the main
/// window, the command menu and the observation window (both loaded hidden) and, while it is
/// open, the settings dialog. Each
/// window is handed only what it needs of the others.
class Program
{
public:
    Program();
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    /// Loads the main window and shows it: from here the bounded animation runs.
    void start();

    ModPar &state() { return m_simulation.state(); }
    Animation &animation() { return m_animation; }
    FrmPar &main() { return *m_main; }
    FrmMnu &menu() { return *m_menu; }
    /// The observation window, hidden until G opens it.
    FrmObs &observation() { return *m_observation; }
    /// The settings dialog while it is open, else nullptr.
    FrmParSet *settings() const { return m_settings.get(); }

private:
    void openSettings();

    Simulation m_simulation;
    Animation m_animation;
    std::unique_ptr<FrmPar> m_main;
    std::unique_ptr<FrmMnu> m_menu;
    std::unique_ptr<FrmObs> m_observation;
    std::unique_ptr<FrmParSet> m_settings;
};

} // namespace brownian
