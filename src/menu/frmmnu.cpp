#include "frmmnu.h"

#include "mainwindow/frmpar.h"
#include "settings/frmparset.h"
#include "sim/restart.h"
#include "toolkit/units.h"

#include <QCloseEvent>
#include <QPushButton>

namespace brownian {

namespace {

const QString kPause = QStringLiteral("一時停止");
const QString kPlay = QStringLiteral("再生");

struct ButtonRow
{
    int index;
    const char16_t *caption;
    int topTwips;
};

// In tab order: 0, 1, 6, 5, 4.
constexpr ButtonRow kRows[] = {
    { 0, u"ヴァリム（境界あり）", 0 },
    { 1, u"ヴァリム（境界なし）", 300 },
    { 6, u"粒子の設定", 900 },
    { 5, u"終了", 1200 },
    { 4, u"一時停止", 600 },
};

} // namespace

FrmMnu::FrmMnu(ModPar &state, FrmPar &main)
    : QWidget(nullptr, Qt::Window)
    , m_state(state)
    , m_main(main)
{
    setWindowTitle(QStringLiteral("メニュー"));
    toolkit::setClientSizeTwips(this, 2490, 1500);
    QWidget *previous = nullptr;
    for (const ButtonRow &row : kRows) {
        auto *button = new QPushButton(QString::fromUtf16(row.caption), this);
        button->setAutoDefault(false);
        toolkit::placeTwips(button, 0, row.topTwips, 2500, 300);
        const int index = row.index;
        connect(button, &QPushButton::clicked, this, [this, index] { ComMnu_Click(index); });
        m_buttons[index] = button;
        if (previous)
            setTabOrder(previous, button);
        previous = button;
    }
}

FrmMnu::~FrmMnu() = default;

QPushButton *FrmMnu::ComMnu(int index) const
{
    return (index >= 0 && index < static_cast<int>(m_buttons.size())) ? m_buttons[index] : nullptr;
}

void FrmMnu::ComMnu_Click(int Index)
{
    m_main.TimPar().setInterval(0);
    m_main.Timpar2().setInterval(0);
    switch (Index) {
    case 0:
    case 1:
        m_state.BoundMode = Index;
        m_main.setWindowTitle(m_buttons[Index]->text());
        restart(m_state);
        (Index == 0 ? m_main.TimPar() : m_main.Timpar2()).setInterval(1);
        break;
    case 4:
        if (m_buttons[4]->text() == kPause) {
            m_buttons[4]->setText(kPlay);
        } else {
            m_buttons[4]->setText(kPause);
            (m_state.BoundMode == 0 ? m_main.TimPar() : m_main.Timpar2()).setInterval(1);
        }
        break;
    case 5:
        m_main.unload();
        return;
    case 6:
        openSettings();
        break;
    default:
        break;
    }
    if (Index != 4 && m_buttons[4]->text() == kPlay)
        m_buttons[4]->setText(kPause);
    hide();
}

void FrmMnu::openSettings()
{
    if (m_settings)
        return; // one dialog at a time; the menu is disabled while it is open
    m_settings = std::make_unique<FrmParSet>(m_state, m_main, *this);
    // The dialog is destroyed once its close has run to its end, never from within it.
    m_settings->onClosed = [this] { m_settings.release()->deleteLater(); };
    m_settings->Form_Load();
    m_settings->show();
}

void FrmMnu::Form_Unload(int &cancel)
{
    hide();
    cancel = 1;
}

void FrmMnu::closeEvent(QCloseEvent *event)
{
    int cancel = 0;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

} // namespace brownian
