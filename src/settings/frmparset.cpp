#include "frmparset.h"

#include "model/numeric_text.h"
#include "settings/locus_preview.h"
#include "sim/restart.h"
#include "sim/settings.h"
#include "toolkit/message_box.h"
#include "toolkit/picture_box.h"
#include "toolkit/units.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace brownian {

namespace {

const QString kCountMessage = QStringLiteral("粒子数は数字でなければなりません。");
const QString kSizeMessage = QStringLiteral("粒子の大きさは数字でなければなりません。");
const QString kErrorTitle = QStringLiteral("エラー");

constexpr double kPreviewSide = 3060;

struct Speed
{
    int index;
    const char16_t *caption;
    double leftTwips;
};

// In tab order: 1, 5, 2, 3, 4.
constexpr Speed kSpeeds[] = {
    { 1, u"遅い", 300 },
    { 5, u"速い", 4700 },
    { 2, u"やや遅い", 1400 },
    { 3, u"普通", 2520 },
    { 4, u"やや速い", 3600 },
};

std::string utf8(const QString &text)
{
    return text.toStdString();
}

/// Shrinks a label's font until its caption fits the label's fixed width.
void fitCaption(QLabel *label, const QString &caption)
{
    QFont f = label->font();
    while (QFontMetricsF(f).horizontalAdvance(caption) > label->contentsRect().width()
        && f.pointSizeF() > 6.0)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    label->setFont(f);
}

} // namespace

FrmParSet::FrmParSet(Animation &animation, QWidget &main, QWidget &menu)
    : QWidget(nullptr,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_animation(animation)
    , m_state(animation.state())
    , m_main(main)
    , m_menu(menu)
{
    setWindowTitle(QStringLiteral("粒子の設定"));
    // Captions are laid out for a 9-point font (12 px at 96 dpi) in the fixed control sizes.
    QFont small = font();
    small.setPointSize(9);
    setFont(small);
    toolkit::setClientSizeTwips(this, 6105, 5700);

    const auto label = [this](const char *name, const QString &caption, double left, double top,
                           double width, double height) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        toolkit::placeTwips(l, left, top, width, height);
        fitCaption(l, caption);
        return l;
    };
    const auto textBox = [this](const char *name, double left, double top) {
        auto *t = new QLineEdit(this);
        t->setObjectName(QString::fromLatin1(name));
        toolkit::placeTwips(t, left, top, 800, 270);
        t->installEventFilter(this);
        return t;
    };

    label("LblNum", QStringLiteral("粒子数："), 105, 120, 855, 180);
    m_txtNum = textBox("TxtNum", 1300, 100);
    label("LblNum2", QStringLiteral("X"), 2100, 150, 200, 180)->setAlignment(Qt::AlignCenter);
    // A read-only copy of the count beside it, so that the first row reads "n X n".
    m_lblNum3 = label("LblNum3", QString(), 2300, 100, 800, 270);
    m_lblNum3->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_lblNum3->setIndent(2);
    label("LblSIze", QStringLiteral("粒子の大きさ："), 120, 520, 1200, 180);
    m_txtSize = textBox("TxtSize", 1300, 470);
    label("LblSize2", QStringLiteral("twip"), 2300, 520, 400, 180);
    label("LblV", QStringLiteral("粒子の速さ："), 100, 890, 1200, 180);

    m_speedGroup = new QButtonGroup(this);
    m_speedGroup->setExclusive(true);
    for (const Speed &speed : kSpeeds) {
        auto *option = new QRadioButton(QString::fromUtf16(speed.caption), this);
        option->setObjectName(QStringLiteral("OptV%1").arg(speed.index));
        toolkit::placeTwips(option, speed.leftTwips, 1200, 1095, 255);
        m_speedGroup->addButton(option, speed.index);
        m_optV[speed.index] = option;
    }

    label("LblLocus", QStringLiteral("軌跡を描く粒子："), 105, 1560, 1335, 180);
    m_picLocus = new toolkit::PictureBox(this, kPreviewSide, kPreviewSide, kWhite);
    m_picLocus->setObjectName(QStringLiteral("PicLocus"));
    toolkit::placeTwips(m_picLocus, 1470, 1800, kPreviewSide, kPreviewSide);
    // Pressing the preview takes the focus, so a field being edited is checked before the
    // release picks a particle.
    m_picLocus->setFocusPolicy(Qt::ClickFocus);
    m_picLocus->surface().setFillStyle(FillStyle::Solid);
    m_picLocus->onPaint = [this] { drawPreview(); };
    m_picLocus->onMouseUp = [this](int button, int shift, float x, float y) {
        PicLocus_MouseUp(button, shift, x, y);
    };

    const auto button = [this](const char *name, const QString &caption, double left) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setDefault(false);
        toolkit::placeTwips(b, left, 5060, 1200, 400);
        return b;
    };
    m_comOK = button("ComOK", QStringLiteral("O.K."), 3200);
    m_comCancel = button("ComCancel", QStringLiteral("キャンセル"), 4600);

    QWidget *chain[] = { m_txtNum, m_txtSize, m_optV[1], m_optV[5], m_optV[2], m_optV[3], m_optV[4],
        m_picLocus, m_comOK, m_comCancel };
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);

    connect(m_txtNum, &QLineEdit::textChanged, this, [this] { TxtNum_Change(); });
    connect(m_comOK, &QPushButton::clicked, this, [this] { ComOK_Click(); });
    connect(m_comCancel, &QPushButton::clicked, this, [this] { ComCancel_Click(); });
}

FrmParSet::~FrmParSet()
{
    // A closed dialog has let go of the other windows already; it may outlive them briefly.
    if (!m_closed) {
        m_main.removeEventFilter(this);
        m_menu.removeEventFilter(this);
    }
}

QRadioButton *FrmParSet::OptV(int index) const
{
    return (index >= 1 && index <= 5) ? m_optV[index] : nullptr;
}

void FrmParSet::Form_Load()
{
    toolkit::moveOuterTwips(this, toolkit::leftTwips(&m_main), toolkit::topTwips(&m_main));
    m_main.setEnabled(false);
    m_menu.setEnabled(false);
    m_txtNum->setText(QString::fromStdString(plainDecimal(m_state.NumSide.toDouble())));
    m_txtSize->setText(QString::fromStdString(plainDecimal(m_state.ParSize.toDouble())));
    if (QRadioButton *option = OptV(m_state.ParSpeed.value()))
        option->setChecked(true);
    m_newLocusNo = m_state.LocusNo;
    m_checkedCount = m_txtNum->text();
    m_txtNum->setFocus(Qt::OtherFocusReason);
    // A click on a disabled window may still bring it to the front: the dialog comes back.
    m_main.installEventFilter(this);
    m_menu.installEventFilter(this);
}

void FrmParSet::TxtNum_Change()
{
    m_lblNum3->setText(m_txtNum->text());
}

void FrmParSet::TxtNum_LostFocus()
{
    if (!checkNumeric(m_txtNum))
        return;
    const QString count = QString::fromStdString(normaliseCount(utf8(m_txtNum->text())));
    if (m_txtNum->text() != count)
        m_txtNum->setText(count);
    m_checkedCount = count;
    m_newLocusNo = centreParticle(valueOf(utf8(count)));
    PicLocus_Paint();
}

void FrmParSet::TxtSize_LostFocus()
{
    if (!checkNumeric(m_txtSize))
        return;
    const QString size = QString::fromStdString(normaliseSize(utf8(m_txtSize->text())));
    if (m_txtSize->text() != size)
        m_txtSize->setText(size);
    PicLocus_Paint();
}

bool FrmParSet::checkNumeric(QLineEdit *field)
{
    if (isNumeric(utf8(field->text())))
        return true;
    reportNotNumeric(field);
    return false;
}

void FrmParSet::reportNotNumeric(QLineEdit *field)
{
    if (m_pendingField)
        return;
    // Shown from the event loop, not inside the focus change: a modal box there would swallow
    // the release of the click that moved the focus.
    m_pendingField = field;
    QTimer::singleShot(0, this, [this] { showPendingMessage(); });
}

void FrmParSet::showPendingMessage()
{
    QLineEdit *field = m_pendingField;
    if (!field)
        return;
    if (m_closed) {
        m_pendingField = nullptr;
        return;
    }
    m_messageUp = true;
    toolkit::messageBox(field == m_txtNum ? kCountMessage : kSizeMessage, 0, kErrorTitle, this);
    m_messageUp = false;
    if (!m_closed) {
        activateWindow();
        field->setFocus(Qt::OtherFocusReason);
    }
    // Cleared only now, so that the focus moving back is not taken for a user leaving a field.
    m_pendingField = nullptr;
}

void FrmParSet::ComOK_Click()
{
    if (m_closed || m_pendingField)
        return; // a field's message is on its way: the click only brought it
    // The focus change checks the fields before the click arrives; a click that slipped past
    // it is checked here.
    if (!checkNumeric(m_txtNum) || !checkNumeric(m_txtSize))
        return;
    if (m_txtNum->text() != m_checkedCount)
        TxtNum_LostFocus();
    if (QString::fromStdString(normaliseSize(utf8(m_txtSize->text()))) != m_txtSize->text())
        TxtSize_LostFocus();

    ParticleSettings chosen;
    chosen.numSide = Integer::fromDouble(valueOf(utf8(m_txtNum->text())));
    chosen.size = Integer::fromDouble(valueOf(utf8(m_txtSize->text())));
    chosen.speed = m_state.ParSpeed;
    for (int i = 1; i <= 5; ++i) {
        if (m_optV[i]->isChecked()) {
            chosen.speed = i;
            break;
        }
    }
    chosen.locus = m_newLocusNo;
    applySettings(m_state, chosen);
    close();
}

void FrmParSet::ComCancel_Click()
{
    if (m_closed || m_pendingField)
        return; // the field's message comes first, as for O.K.
    close();
}

void FrmParSet::Form_Unload(int &)
{
    m_main.setEnabled(true);
    m_menu.setEnabled(true);
    m_animation.placeAfresh();
    m_animation.startCurrent();
    m_main.activateWindow();
    m_main.setFocus(Qt::OtherFocusReason);
}

void FrmParSet::closeEvent(QCloseEvent *event)
{
    if (m_messageUp) {
        // A close request that reaches this window while its field's message box is up: the
        // box comes first, as for O.K. and Cancel. Closing now would hide the box with this
        // window, and leave it waiting unseen for an answer that nobody can give.
        event->ignore();
        return;
    }
    event->accept();
    if (m_closed)
        return;
    m_closed = true;
    m_main.removeEventFilter(this);
    m_menu.removeEventFilter(this);
    int cancel = 0;
    Form_Unload(cancel);
    // Once this window is gone, make sure the main window is the active one.
    QTimer::singleShot(0, &m_main, [main = &m_main] {
        main->activateWindow();
        main->setFocus(Qt::OtherFocusReason);
    });
    if (onClosed)
        onClosed();
}

void FrmParSet::drawPreview()
{
    const ImageSurface &surface = m_picLocus->surface();
    LocusPreview preview;
    preview.widthTwips = static_cast<float>(surface.widthTwips());
    preview.heightTwips = static_cast<float>(surface.heightTwips());
    preview.count = valueOf(utf8(m_txtNum->text()));
    preview.size = valueOf(utf8(m_txtSize->text()));
    preview.boundMode = m_state.BoundMode;
    preview.pick = m_newLocusNo;
    drawLocusPreview(m_picLocus->surface(), preview);
}

void FrmParSet::PicLocus_Paint()
{
    drawPreview();
    m_picLocus->update();
}

void FrmParSet::PicLocus_MouseUp(int, int, float X, float Y)
{
    if (m_closed || m_pendingField || !isNumeric(utf8(m_txtNum->text())))
        return; // the count's message is on its way; a pick would go to no grid
    if (m_txtNum->text() != m_checkedCount)
        TxtNum_LostFocus();
    const ImageSurface &surface = m_picLocus->surface();
    const auto pick = pickParticle(static_cast<float>(surface.widthTwips()),
        static_cast<float>(surface.heightTwips()), valueOf(utf8(m_txtNum->text())), X, Y);
    if (!pick)
        return;
    m_newLocusNo = *pick;
    PicLocus_Paint();
}

bool FrmParSet::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && (watched == m_txtNum || watched == m_txtSize)) {
        // Only a real move of the focus checks the field: not the activation of another window
        // (the message box itself among them), not a pop-up, not a second time while the
        // message of the first is on its way.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !m_closed
            && !m_pendingField) {
            if (watched == m_txtNum)
                TxtNum_LostFocus();
            else
                TxtSize_LostFocus();
        }
    } else if (event->type() == QEvent::WindowActivate
        && (watched == &m_main || watched == &m_menu)) {
        QTimer::singleShot(0, this, [this] {
            if (!m_closed && !m_pendingField && !isActiveWindow()) {
                raise();
                activateWindow();
            }
        });
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace brownian
