#pragma once

#include "engine/usermessages.h"

#include <QMessageBox>

#include <memory>

// The program's messages as modal message boxes over the active window.
class MessageBoxes : public UserMessages
{
public:
    void information(const QString &text) override;
    void warning(const QString &text) override;
    bool confirm(const QString &text) override;
    void error(const QString &text) override;
    bool warningWithAction(const QString &text, const QString &action) override;
};

// A message box with the program's title that never grows past the screen: a text too
// long for it (the pattern help on a small or scaled screen) scrolls, and the buttons
// stay in sight.
std::unique_ptr<QMessageBox> makeMessageBox(QMessageBox::Icon icon, const QString &text,
                                            QMessageBox::StandardButtons buttons,
                                            QWidget *parent = nullptr);
