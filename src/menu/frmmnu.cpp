#include "frmmnu.h"

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

FrmMnu::FrmMnu(Animation &animation)
    : QWidget(nullptr, Qt::Window)
    , m_animation(animation)
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
    // The pause button's caption follows the pause.
    connect(&m_animation, &Animation::pausedChanged, this,
        [this](bool paused) { m_buttons[4]->setText(paused ? kPlay : kPause); });
}

FrmMnu::~FrmMnu() = default;

QPushButton *FrmMnu::ComMnu(int index) const
{
    return (index >= 0 && index < static_cast<int>(m_buttons.size())) ? m_buttons[index] : nullptr;
}

void FrmMnu::ComMnu_Click(int Index)
{
    m_reshowClock.invalidate();
    m_animation.stop();
    switch (Index) {
    case 0:
    case 1:
        m_animation.setMode(Index);
        if (setMainCaption)
            setMainCaption(m_buttons[Index]->text());
        m_animation.placeAfresh();
        m_animation.startCurrent();
        break;
    case 4:
        if (!m_animation.isPaused())
            m_animation.pause();
        else
            m_animation.play();
        break;
    case 5:
        if (exitProgram)
            exitProgram();
        return;
    case 6:
        if (openSettings)
            openSettings();
        break;
    default:
        break;
    }
    if (Index != 4)
        m_animation.cancelPause();
    hide();
}

void FrmMnu::popUpAt(float left, float top, bool reshowOnActivation)
{
    toolkit::moveOuterTwips(this, left, top);
    show();
    raise();
    if (reshowOnActivation)
        m_reshowClock.start();
    else
        m_reshowClock.invalidate();
}

void FrmMnu::mainActivated()
{
    hide();
    if (m_reshowClock.isValid() && m_reshowClock.elapsed() < 400) {
        m_reshowClock.invalidate();
        show();
    }
}

void FrmMnu::Form_Unload(int &cancel)
{
    m_reshowClock.invalidate();
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
