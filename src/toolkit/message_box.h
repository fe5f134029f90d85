#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace brownian::toolkit {

/// A modal message box. Style 0: an O.K. button only and no icon.
void messageBox(const QString &prompt, int style, const QString &title, QWidget *parent = nullptr);

/// Replaces the message box by `hook` (tests use it to see the boxes without a person to
/// close them); an empty function restores the real box.
void setMessageBoxHook(std::function<void(const QString &prompt, const QString &title)> hook);

} // namespace brownian::toolkit
