#include "newversiondialog.h"
#include "ui_frmnewversion.h"

#include "shellservices.h"
#include "startup.h"
#include "translation.h"
#include "updatehost.h"
#include "usermessages.h"

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

// Outside the unnamed namespace: the resource's registration function is global.
static void initNewVersionResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(newversion);
        return true;
    }();
    Q_UNUSED(registered);
}

NewVersionDialog::NewVersionDialog(const UpdateOffer &offer, UserMessages &messages,
                                   ShellServices &shell, QWidget *parent, UpdateAction updateAction)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmNewVersion>())
    , m_messages(messages)
    , m_shell(shell)
    , m_updateAction(updateAction)
    , m_message(offer.message)
    , m_endsProgram(offer.forced)
{
    initNewVersionResources();
    ui->setupUi(this);
    ui->VirtualImage1->setPixmap(
        QIcon(u":/icons/update-icon.svg"_s).pixmap(QSize(64, 64), devicePixelRatio()));
    ui->ProgressBar1->hide();
    connect(ui->btUpdateNow, &QPushButton::clicked, this, &NewVersionDialog::updateNow);
    connect(ui->btCancel, &QPushButton::clicked, this, &NewVersionDialog::skipOrAbort);
    connect(&m_download, &InstallerDownload::progress, ui->ProgressBar1, &QProgressBar::setValue);
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
    ui->btUpdateNow->setText(translateText(UpdateNowText));
    ui->btUpdateNow->setToolTip(m_updateAction == UpdateAction::OpenDownloadPage
                                    ? translateText(OpensDownloadPageText)
                                    : QString());
    ui->btCancel->setText(translateText(m_endsProgram ? ExitText : SkipText));
    ui->Label1->setText(m_message);
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
        m_shell.openAddress(HomepageAddress + DownloadPagePath);
        done(QDialog::Accepted);
        return;
    }
    // Whatever the download's outcome, the program ends when the dialog closes.
    m_endsProgram = true;
    ui->btCancel->setText(translateText(AbortText));
    ui->btUpdateNow->setEnabled(false);
    ui->ProgressBar1->setValue(0);
    ui->ProgressBar1->show();
    m_download.start(updateHostAddress(), QDir(QDir::tempPath()).filePath(InstallerFileName));
}

void NewVersionDialog::downloadFinished(const QString &failure)
{
    if (failure.isEmpty()) {
        m_shell.startFile(m_download.filePath());
    } else {
        m_messages.error(translateText(DownloadFailedText) + u"\r\n\r\n"_s + failure);
        m_shell.openAddress(HomepageAddress);
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
