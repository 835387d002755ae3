#pragma once

#include "update/installerdownload.h"
#include "update/updateoffer.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class ShellServices;
class UserMessages;

namespace Ui {
class NewVersionDialog;
}

// What "Update Now" does.
enum class UpdateAction {
    // Downloads the installer and starts it (Windows).
    DownloadInstaller,
    // Opens the homepage's download page in the browser: an installer for Windows
    // cannot run here, and packages are installed by the system's own tools.
    OpenDownloadPage,
};
#ifdef Q_OS_WIN
inline constexpr UpdateAction PlatformUpdateAction = UpdateAction::DownloadInstaller;
#else
inline constexpr UpdateAction PlatformUpdateAction = UpdateAction::OpenDownloadPage;
#endif

// The new-version dialog: what is new, and a button that gets the latest version.
// "Update Now" downloads the installer into the temporary folder and starts it (or tells
// the failure), then closes the dialog; with OpenDownloadPage it opens the download page
// and closes the dialog. The cancel button skips or exits, and aborts a running download.
class NewVersionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit NewVersionDialog(const UpdateOffer &offer, UserMessages &messages,
                              ShellServices &shell, QWidget *parent = nullptr,
                              UpdateAction updateAction = PlatformUpdateAction);
    ~NewVersionDialog() override;

    // Whether start-up goes on once the dialog has closed: not after a forced update,
    // and not after a download, whatever its outcome.
    bool startUpGoesOn() const { return m_startUpGoesOn; }
    const InstallerDownload &download() const { return m_download; }

signals:
    // The download attempt has ended, successfully or not, and the dialog is closing.
    void downloadEnded();

protected:
    void showEvent(QShowEvent *event) override;
    // Every way of closing the dialog (buttons, close box, Escape) passes here.
    void done(int result) override;

private:
    void updateNow();
    void skipOrAbort();
    // Makes the dialog high enough for the whole message at its width.
    void fitMessage();
    // Starts the downloaded installer, or tells why not; then closes the dialog.
    void downloadFinished(const QString &failure);

    std::unique_ptr<Ui::NewVersionDialog> ui;
    UserMessages &m_messages;
    ShellServices &m_shell;
    UpdateAction m_updateAction;
    QString m_message;
    // The program ends once the dialog closes: a forced update, or a download started.
    bool m_endsProgram;
    bool m_startUpGoesOn = true;
    InstallerDownload m_download;
};

// The English texts of the update check and its dialog that pass through translateText.
QStringList newVersionSourceTexts();
