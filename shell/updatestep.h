#pragma once

#include "update/updatecheck.h"

#include <QObject>

#include <memory>

class NewVersionDialog;
class ShellServices;
class UserMessages;

// Start-up's update step: checks for a newer version and, when there is one, shows the
// new-version dialog, modal, until it closes. finished() follows once, goesOn false when
// the program is to end before any window is made.
class UpdateStep : public QObject
{
    Q_OBJECT

public:
    UpdateStep(UserMessages &messages, ShellServices &shell, QObject *parent = nullptr);
    ~UpdateStep() override;

    // Checks the update host the program is set up with (updateHostAddress).
    void start();

signals:
    void finished(bool goesOn);

private:
    void checked();
    void dialogClosed();

    UserMessages &m_messages;
    ShellServices &m_shell;
    UpdateCheck m_check;
    std::unique_ptr<NewVersionDialog> m_dialog;
};
