#include "shell/updatestep.h"

#include "shell/newversiondialog.h"
#include "shell/startup.h"

UpdateStep::UpdateStep(UserMessages &messages, ShellServices &shell, QObject *parent)
    : QObject(parent)
    , m_messages(messages)
    , m_shell(shell)
{
    connect(&m_check, &UpdateCheck::finished, this, &UpdateStep::checked);
}

UpdateStep::~UpdateStep() = default;

void UpdateStep::start()
{
    m_check.start(updateHostAddress(), VersionCode);
}

void UpdateStep::checked()
{
    if (!m_check.offer()) {
        emit finished(true);
        return;
    }
    m_dialog = std::make_unique<NewVersionDialog>(*m_check.offer(), m_messages, m_shell);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    connect(m_dialog.get(), &QDialog::finished, this, &UpdateStep::dialogClosed);
    m_dialog->show();
}

void UpdateStep::dialogClosed()
{
    // The dialog is still closing: it stays until the step goes.
    emit finished(m_dialog->startUpGoesOn());
}
