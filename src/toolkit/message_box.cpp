#include "message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace brownian::toolkit {

namespace {
std::function<void(const QString &, const QString &)> &hookSlot()
{
    static std::function<void(const QString &, const QString &)> hook;
    return hook;
}
} // namespace

void messageBox(const QString &prompt, int style, const QString &title, QWidget *parent)
{
    if (hookSlot()) {
        hookSlot()(prompt, title);
        return;
    }
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(prompt);
    box.setIcon(QMessageBox::NoIcon);
    // Only style 0 is used: one O.K. button.
    (void)style;
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

void setMessageBoxHook(std::function<void(const QString &prompt, const QString &title)> hook)
{
    hookSlot() = std::move(hook);
}

} // namespace brownian::toolkit
