#include "program.h"

#include "mainwindow/frmpar.h"
#include "menu/frmmnu.h"
#include "observation/frmobs.h"
#include "settings/frmparset.h"
#include "toolkit/application.h"

#include <thread>

namespace brownian {

namespace {

/// The window's simulation shares its grid passes between two threads where the machine has
/// two processors or more.
int windowThreads()
{
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

} // namespace

Program::Program()
    : m_simulation(ModPar {}, windowThreads())
    , m_animation(m_simulation)
    , m_main(std::make_unique<FrmPar>(m_animation))
    , m_menu(std::make_unique<FrmMnu>(m_animation))
    , m_observation(std::make_unique<FrmObs>(m_animation))
{
    FrmMnu &menu = *m_menu;
    FrmPar &main = *m_main;
    main.onMenuRequested = [&menu](float left, float top, bool onInactiveWindow) {
        menu.popUpAt(left, top, onInactiveWindow);
    };
    main.onActivated = [&menu] { menu.mainActivated(); };
    menu.setMainCaption = [&main](const QString &caption) { main.setWindowTitle(caption); };
    menu.exitProgram = [&main] { main.unload(); };
    menu.openSettings = [this] { openSettings(); };
    FrmObs &observation = *m_observation;
    main.onObservationKey = [&main, &observation] {
        observation.toggleBeside(main.frameGeometry());
    };
    QObject::connect(&m_animation, &Animation::faulted, &m_animation,
        [](const QString &message) { toolkit::Application::reportFault(message); });
}

Program::~Program()
{
    // The dialog first: it lets go of the windows it watches.
    m_settings.reset();
    m_observation.reset();
    m_main.reset();
    m_menu.reset();
}

void Program::start()
{
    m_main->Form_Load();
    m_main->show();
}

void Program::openSettings()
{
    if (m_settings)
        return; // one dialog at a time; the menu is disabled while it is open
    m_settings = std::make_unique<FrmParSet>(m_animation, *m_main, *m_menu);
    // The dialog is destroyed once its close has run to its end, never from within it.
    m_settings->onClosed = [this] { m_settings.release()->deleteLater(); };
    m_settings->Form_Load();
    m_settings->show();
}

} // namespace brownian
