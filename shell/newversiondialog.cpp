#include "shell/newversiondialog.h"
#include "ui_newversiondialog.h"

#include "engine/usermessages.h"
#include "shell/shellservices.h"
#include "shell/startup.h"
#include "translation/translation.h"
#include "update/updatehost.h"

#include <QDir>
#include <QIcon>
#include <QScreen>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString DownloadFailedText =
    u"Failed to download update. Please download manually on website."_s;
const QString DownloadCancelledText = u"Download is cancelled. Please download manually."_s;
const QString UpdateNowText = u"Update Now"_s;
const QString SkipText = u"Skip"_s;
const QString ExitText = u"Exit"_s;
const QString AbortText = u"Abort"_s;
const QString OpensDownloadPageText = u"Opens the download page in your web browser."_s;

} // namespace

NewVersionDialog::NewVersionDialog(const UpdateOffer &offer, UserMessages &messages,
                                   ShellServices &shell, QWidget *parent, UpdateAction updateAction)
    : QDialog(parent)
    , ui(std::make_unique<Ui::NewVersionDialog>())
    , m_messages(messages)
    , m_shell(shell)
    , m_updateAction(updateAction)
    , m_message(offer.message)
    , m_endsProgram(offer.forced)
{
    initShellResources();
    ui->setupUi(this);
    ui->updateIcon->setPixmap(
        QIcon(u":/icons/update-icon.svg"_s).pixmap(QSize(64, 64), devicePixelRatio()));
    ui->downloadProgress->hide();
    connect(ui->updateNowButton, &QPushButton::clicked, this, &NewVersionDialog::updateNow);
    connect(ui->skipButton, &QPushButton::clicked, this, &NewVersionDialog::skipOrAbort);
    connect(&m_download, &InstallerDownload::progress, ui->downloadProgress,
            &QProgressBar::setValue);
    connect(&m_download, &InstallerDownload::ended, this, &NewVersionDialog::downloadFinished);
}

NewVersionDialog::~NewVersionDialog()
{
    m_download.disconnect(this);
}

void NewVersionDialog::showEvent(QShowEvent *event)
{
    m_startUpGoesOn = true;
    setWindowTitle(u" "_s + ApplicationTitle);
    ui->updateNowButton->setText(translateText(UpdateNowText));
    ui->updateNowButton->setToolTip(m_updateAction == UpdateAction::OpenDownloadPage
                                        ? translateText(OpensDownloadPageText)
                                        : QString());
    ui->skipButton->setText(translateText(m_endsProgram ? ExitText : SkipText));
    ui->messageLabel->setText(m_message);
    ui->downloadProgress->setAccessibleName(translateText(u"Progress"_s));
    fitMessage();
    QDialog::showEvent(event);
}

void NewVersionDialog::fitMessage()
{
    // As high as the message needs at the dialog's width, but never off the screen.
    layout()->activate();
    int height = std::max(this->height(), heightForWidth(width()));
    if (const QScreen *shown = screen())
        height = std::min(height, shown->availableGeometry().height() - 40);
    resize(width(), std::max(height, minimumHeight()));
}

void NewVersionDialog::done(int result)
{
    if (m_download.state() == InstallerDownload::State::Running) {
        // Closing while the installer downloads aborts it; the dialog closes once the
        // download has wound up.
        m_download.cancel(translateText(DownloadCancelledText));
        return;
    }
    if (m_endsProgram)
        m_startUpGoesOn = false;
    QDialog::done(result);
}

void NewVersionDialog::skipOrAbort()
{
    if (m_download.state() == InstallerDownload::State::Running) {
        m_download.cancel(translateText(DownloadCancelledText));
        return;
    }
    reject();
}

void NewVersionDialog::updateNow()
{
    if (m_download.state() == InstallerDownload::State::Running)
        return;
    if (m_updateAction == UpdateAction::OpenDownloadPage) {
        openAddressOrShowIt(m_shell, m_messages, HomepageAddress + DownloadPagePath);
        done(QDialog::Accepted);
        return;
    }
    // Whatever the download's outcome, the program ends when the dialog closes.
    m_endsProgram = true;
    ui->skipButton->setText(translateText(AbortText));
    ui->updateNowButton->setEnabled(false);
    ui->downloadProgress->setValue(0);
    ui->downloadProgress->show();
    m_download.start(updateHostAddress(), QDir(QDir::tempPath()).filePath(InstallerFileName));
}

void NewVersionDialog::downloadFinished(const QString &failure)
{
    if (failure.isEmpty()) {
        m_shell.startFile(m_download.filePath());
    } else {
        m_messages.error(translateText(DownloadFailedText) + u"\r\n\r\n"_s + failure);
        openAddressOrShowIt(m_shell, m_messages, HomepageAddress);
    }
    emit downloadEnded();
    done(QDialog::Rejected);
}

QStringList newVersionSourceTexts()
{
    return updateOfferSourceTexts() + installerDownloadSourceTexts() +
           QStringList{UpdateNowText,
                       SkipText,
                       ExitText,
                       AbortText,
                       DownloadFailedText,
                       DownloadCancelledText,
                       OpensDownloadPageText};
}
