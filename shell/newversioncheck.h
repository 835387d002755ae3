#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class ShellServices;
class UserMessages;

namespace Ui {
class TfrmNewVersion;
}

// State of the update check, kept for the whole run.
// The program must end once the new-version dialog closes.
extern bool ForceUpdate;
// The user asked to abort the running download.
extern bool DownloadCancelled;
// The text the new-version dialog shows; it comes from the network, so it is only ever
// shown as plain text.
extern QString NewVersionMessage;

inline const QString UpdateUserAgent = QStringLiteral("Mozilla/4.0 (compatible; MyApp)");
// The update host the program was built with (the TESSALY_UPDATE_HOST build setting);
// empty when none was given, which turns the check off.
extern const QString DefaultUpdateHost;
// Replaces the update host's base address, for a mirror or a local test server.
inline constexpr char UpdateHostVariable[] = "TESSALY_UPDATE_URL";
inline const QString VersionPagePath = QStringLiteral("/download/version/vexa-version.html");
inline const QString ChangesPagePath = QStringLiteral("/download/version/vexa-changes.html");
inline const QString InstallerPath = QStringLiteral("/download/vexa.exe");
inline const QString InstallerFileName = QStringLiteral("zelv_update.exe");
// The homepage's page with the packages of the latest version.
inline const QString DownloadPagePath = QStringLiteral("/download.html");
inline constexpr std::chrono::milliseconds UpdateCheckTimeout{10000};

// Whether the update documents may be fetched from url: HTTPS anywhere, plain HTTP only
// on this machine's loopback, since whatever comes from there decides what program
// the user is offered to run.
bool IsAllowedUpdateAddress(const QUrl &url);
// The update host's base address: TESSALY_UPDATE_URL when set, else the built-in
// one. An empty URL (the check is off) when there is neither, or when the variable
// names an address that is not allowed.
QUrl UpdateHostAddress();
// path (beginning with "/") below base, whose own path it keeps.
QUrl UpdateDocumentAddress(const QUrl &base, const QString &path);

// The first line of the version page: latest and minimum version code, "24/23".
struct VersionLine
{
    int latest = 0;
    int minimum = 0;
    QString latestText;
};
// Nothing when the line has no "/" or either side is not a whole number (leading
// blanks and a sign allowed, nothing after the digits).
std::optional<VersionLine> ParseVersionLine(const QString &line);
// A version code's display form: a point before its last character ("24" gives "2.4").
QString DisplayVersion(const QString &versionCodeText);
// The lines of a page's UTF-8 text, split at CR LF, LF or CR; a final line break does
// not start another line.
QStringList PageLines(const QByteArray &body);

// Asks the update host whether a newer version exists. True when the new-version dialog
// is to be shown; then NewVersionMessage is set, and ForceUpdate too when the running
// version is below the allowed minimum. Never raises and never shows anything: any
// failure (host unreachable, time-out, error status, a malformed page) gives false and
// leaves the state as it was.
bool CheckForNewVersion();
bool CheckForNewVersion(const QUrl &host, std::chrono::milliseconds transferTimeout);

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
class TfrmNewVersion : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmNewVersion(UserMessages &messages, ShellServices &shell, QWidget *parent = nullptr,
                            UpdateAction updateAction = PlatformUpdateAction);
    ~TfrmNewVersion() override;

    // The continue flag: 1 lets start-up go on, 0 ends the program.
    int Tag() const { return m_tag; }
    bool IsDownloading() const { return m_reply != nullptr; }

    // Starts the download of the installer into the temporary folder; when it ends the
    // installer is started (or the failure told), and the dialog closes. With
    // OpenDownloadPage, opens the download page instead and closes the dialog; the
    // program then goes on unless the update is forced.
    void btUpdateNowClick();
    // "Abort" while downloading, otherwise closes the dialog.
    void btCancelClick();
    // Progress of the download: moves the bar when the size is known in advance.
    void DownloadWork(QNetworkReply *reply, qint64 bytesReceived);

signals:
    // The download attempt has ended, successfully or not, and the dialog is closing.
    void downloadEnded();

protected:
    void showEvent(QShowEvent *event) override;
    // Every way of closing the dialog (buttons, close box, Escape) passes here.
    void done(int result) override;

private:
    void FormShow();
    void FormClose();
    // Makes the dialog high enough for the whole message at its width.
    void fitMessage();
    void writeReceived();
    void finishDownload();
    // Starts the downloaded installer, or tells why not; then closes the dialog.
    void endDownload(const QString &failure);
    void abortDownload(const QString &reason);

    std::unique_ptr<Ui::TfrmNewVersion> ui;
    UserMessages &m_messages;
    ShellServices &m_shell;
    UpdateAction m_updateAction;
    int m_tag = 1;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<QFile> m_file;
    QNetworkReply *m_reply = nullptr;
    qint64 m_received = 0;
    QString m_failure;
};

// The English texts of the update check and its dialog that pass through TranslateText.
QStringList NewVersionSourceTexts();

// Start-up's update step: checks for a newer version and, when there is one, shows the
// new-version dialog modally. False when the program is to end now.
bool RunNewVersionCheck(UserMessages &messages, ShellServices &shell);
