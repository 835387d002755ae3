#include "newversioncheck.h"
#include "ui_frmnewversion.h"

#include "shellservices.h"
#include "startup.h"
#include "translation.h"
#include "usermessages.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScreen>
#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <utility>

using namespace Qt::StringLiterals;

const QString DefaultUpdateHost = QStringLiteral(TESSALY_UPDATE_HOST);

bool ForceUpdate = false;
bool DownloadCancelled = false;
QString NewVersionMessage;

namespace {

constexpr int MaximumRedirects = 10;

const QString NewVersionText = u"The new version %s is available"_s;
const QString OutOfDateText = u"This version of the software is out of date. You must download "
                              u"the current version %s to continue using the software."_s;
const QString WhatsNewText = u"What's new:"_s;
const QString DownloadFailedText =
    u"Failed to download update. Please download manually on website."_s;
const QString DownloadCancelledText = u"Download is cancelled. Please download manually."_s;
const QString NoDownloadedFileText = u"Cannot find downloaded file."_s;
const QString UpdateNowText = u"Update Now"_s;
const QString SkipText = u"Skip"_s;
const QString ExitText = u"Exit"_s;
const QString AbortText = u"Abort"_s;
const QString OpensDownloadPageText = u"Opens the download page in your web browser."_s;

std::optional<int> parseInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > qint64(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return int(value);
}

bool isLoopback(const QString &host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isSuccessStatus(const QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

// A GET of one update document, waiting for it in a local event loop; nothing when it
// fails in any way.
std::optional<QByteArray> fetchPage(QNetworkAccessManager &network, const QUrl &url,
                                    std::chrono::milliseconds transferTimeout)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, UpdateUserAgent);
    // Never from HTTPS down to plain HTTP.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);
    request.setTransferTimeout(int(transferTimeout.count()));
    QNetworkReply *reply = network.get(request);
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError || !isSuccessStatus(reply))
        return std::nullopt;
    return reply->readAll();
}

QString fillVersion(const QString &sourceText, const QString &shown)
{
    QString text = TranslateText(sourceText);
    text.replace(u"%s"_s, shown);
    return text;
}

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

bool IsAllowedUpdateAddress(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https"_s)
        return true;
    return scheme == u"http"_s && isLoopback(url.host());
}

QUrl UpdateHostAddress()
{
    const QString configured = qEnvironmentVariable(UpdateHostVariable);
    if (configured.isEmpty())
        return DefaultUpdateHost.isEmpty() ? QUrl() : QUrl(DefaultUpdateHost, QUrl::StrictMode);
    const QUrl url(configured, QUrl::StrictMode);
    return IsAllowedUpdateAddress(url) ? url : QUrl();
}

QUrl UpdateDocumentAddress(const QUrl &base, const QString &path)
{
    QUrl url = base;
    QString basePath = base.path();
    while (basePath.endsWith(u'/'))
        basePath.chop(1);
    url.setPath(basePath + path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

std::optional<VersionLine> ParseVersionLine(const QString &line)
{
    const qsizetype slash = line.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    const QString latestText = line.left(slash);
    const std::optional<int> latest = parseInteger(latestText);
    const std::optional<int> minimum = parseInteger(QStringView(line).mid(slash + 1));
    if (!latest || !minimum)
        return std::nullopt;
    return VersionLine{*latest, *minimum, latestText};
}

QString DisplayVersion(const QString &versionCodeText)
{
    if (versionCodeText.isEmpty())
        return QString();
    return versionCodeText.left(versionCodeText.size() - 1) + u'.' + versionCodeText.back();
}

QStringList PageLines(const QByteArray &body)
{
    QStringDecoder decoder(QStringDecoder::Utf8); // drops a leading byte-order mark
    const QString text = decoder.decode(body);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

bool CheckForNewVersion()
{
    return CheckForNewVersion(UpdateHostAddress(), UpdateCheckTimeout);
}

bool CheckForNewVersion(const QUrl &host, std::chrono::milliseconds transferTimeout)
{
    if (!IsAllowedUpdateAddress(host))
        return false;

    std::optional<QByteArray> versionPage;
    std::optional<QByteArray> changesPage;
    {
        QNetworkAccessManager network;
        versionPage =
            fetchPage(network, UpdateDocumentAddress(host, VersionPagePath), transferTimeout);
        if (!versionPage)
            return false;
        changesPage =
            fetchPage(network, UpdateDocumentAddress(host, ChangesPagePath), transferTimeout);
        if (!changesPage)
            return false;
    }

    const QStringList versionLines = PageLines(*versionPage);
    if (versionLines.isEmpty())
        return false;
    const std::optional<VersionLine> version = ParseVersionLine(versionLines.front());
    if (!version)
        return false;

    const QString shown = DisplayVersion(version->latestText);
    QString changes;
    for (const QString &line : PageLines(*changesPage)) {
        // Only empty lines go; a line of blanks is kept as the host wrote it.
        if (!line.isEmpty())
            changes += line + u"\r\n"_s;
    }
    const QString whatsNew = u"\r\n\r\n"_s + TranslateText(WhatsNewText) + u"\r\n"_s + changes;

    // Compared with the running version, not with each other: a minimum above it forces
    // the update even when the latest is not newer.
    if (version->minimum > VersionCode) {
        ForceUpdate = true;
        NewVersionMessage = fillVersion(OutOfDateText, shown) + whatsNew;
        return true;
    }
    if (version->latest > VersionCode) {
        NewVersionMessage = fillVersion(NewVersionText, shown) + whatsNew;
        return true;
    }
    return false;
}

TfrmNewVersion::TfrmNewVersion(UserMessages &messages, ShellServices &shell, QWidget *parent,
                               UpdateAction updateAction)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmNewVersion>())
    , m_messages(messages)
    , m_shell(shell)
    , m_updateAction(updateAction)
{
    initNewVersionResources();
    ui->setupUi(this);
    ui->VirtualImage1->setPixmap(
        QIcon(u":/icons/update-icon.svg"_s).pixmap(QSize(64, 64), devicePixelRatio()));
    ui->ProgressBar1->hide();
    connect(ui->btUpdateNow, &QPushButton::clicked, this, &TfrmNewVersion::btUpdateNowClick);
    connect(ui->btCancel, &QPushButton::clicked, this, &TfrmNewVersion::btCancelClick);
}

TfrmNewVersion::~TfrmNewVersion()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void TfrmNewVersion::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfrmNewVersion::FormShow()
{
    m_tag = 1;
    setWindowTitle(u" "_s + ApplicationTitle);
    ui->btUpdateNow->setText(TranslateText(UpdateNowText));
    ui->btUpdateNow->setToolTip(m_updateAction == UpdateAction::OpenDownloadPage
                                    ? TranslateText(OpensDownloadPageText)
                                    : QString());
    ui->btCancel->setText(TranslateText(ForceUpdate ? ExitText : SkipText));
    ui->Label1->setText(NewVersionMessage);
    fitMessage();
}

void TfrmNewVersion::fitMessage()
{
    // As high as the message needs at the dialog's width, but never off the screen.
    layout()->activate();
    int height = std::max(this->height(), heightForWidth(width()));
    if (const QScreen *shown = screen())
        height = std::min(height, shown->availableGeometry().height() - 40);
    resize(width(), std::max(height, minimumHeight()));
}

void TfrmNewVersion::done(int result)
{
    if (m_reply) {
        // Closing while the installer downloads aborts it; the dialog closes once the
        // download has wound up.
        DownloadCancelled = true;
        abortDownload(TranslateText(DownloadCancelledText));
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TfrmNewVersion::FormClose()
{
    if (ForceUpdate)
        m_tag = 0;
}

void TfrmNewVersion::btCancelClick()
{
    if (ui->btCancel->text() == TranslateText(AbortText)) {
        DownloadCancelled = true;
        // At once: a transfer that has stalled has no time-out and would never reach
        // the next progress call.
        if (m_reply)
            abortDownload(TranslateText(DownloadCancelledText));
        return;
    }
    reject();
}

void TfrmNewVersion::btUpdateNowClick()
{
    if (m_reply)
        return;
    if (m_updateAction == UpdateAction::OpenDownloadPage) {
        m_shell.openAddress(HomepageAddress + DownloadPagePath);
        done(QDialog::Accepted);
        return;
    }
    // Whatever the download's outcome, the program ends when the dialog closes.
    ForceUpdate = true;
    DownloadCancelled = false;
    m_failure.clear();
    m_received = 0;
    ui->btCancel->setText(TranslateText(AbortText));
    ui->btUpdateNow->setEnabled(false);
    ui->ProgressBar1->setValue(0);
    ui->ProgressBar1->show();

    const QString path = QDir(QDir::tempPath()).filePath(InstallerFileName);
    m_file = std::make_unique<QFile>(path);
    // A fresh file, never one reached through a link that someone else placed under
    // this name in a shared temporary folder.
    QFile::remove(path);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        endDownload(m_file->errorString());
        return;
    }
    const QUrl host = UpdateHostAddress();
    if (!IsAllowedUpdateAddress(host)) {
        endDownload(u"The update host address is not allowed: %1"_s.arg(
            qEnvironmentVariable(UpdateHostVariable)));
        return;
    }

    QNetworkRequest request(UpdateDocumentAddress(host, InstallerPath));
    request.setHeader(QNetworkRequest::UserAgentHeader, UpdateUserAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    m_network = std::make_unique<QNetworkAccessManager>();
    m_reply = m_network->get(request);
    // Progress follows every arrival of data: Qt's own progress signal holds back data
    // that arrives within 150 ms of the last report, so a transfer that stalls would
    // never show what it has.
    connect(m_reply, &QIODevice::readyRead, this, &TfrmNewVersion::writeReceived);
    connect(m_reply, &QNetworkReply::finished, this, &TfrmNewVersion::finishDownload);
}

void TfrmNewVersion::DownloadWork(QNetworkReply *reply, qint64 bytesReceived)
{
    if (!reply)
        return;
    if (DownloadCancelled) {
        abortDownload(TranslateText(DownloadCancelledText));
        return;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 total = length.isValid() ? length.toLongLong() : 0;
    const QByteArray encoding = reply->rawHeader("Transfer-Encoding").toLower();
    if (encoding.contains("chunked") || total <= 0 || bytesReceived < 0)
        return;
    const qint64 percent = bytesReceived >= total ? 100 : bytesReceived * 100 / total;
    ui->ProgressBar1->setValue(int(percent));
}

void TfrmNewVersion::writeReceived()
{
    if (!m_reply || !m_file || !m_file->isOpen())
        return;
    const QByteArray data = m_reply->readAll();
    if (m_file->write(data) != data.size()) {
        abortDownload(m_file->errorString());
        return;
    }
    m_received += data.size();
    DownloadWork(m_reply, m_received);
}

void TfrmNewVersion::abortDownload(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
    if (m_reply)
        m_reply->abort();
}

void TfrmNewVersion::finishDownload()
{
    if (!m_reply)
        return;
    if (m_failure.isEmpty())
        writeReceived();
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->deleteLater();
    // The manager goes once control has left the reply that is finishing.
    if (m_network)
        m_network.release()->deleteLater();

    QString failure = m_failure;
    if (failure.isEmpty() && reply->error() != QNetworkReply::NoError)
        failure = reply->errorString();
    if (failure.isEmpty() && !isSuccessStatus(reply)) {
        // Redirects are not followed here, so an answer of that kind ends the download too.
        failure = u"Error transferring %1 - server replied: %2 %3"_s.arg(
            reply->url().toString(),
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString(),
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    }
    if (failure.isEmpty() && !m_file->flush())
        failure = m_file->errorString();
    endDownload(failure);
}

void TfrmNewVersion::endDownload(const QString &failure)
{
    const QString path = m_file ? m_file->fileName() : QString();
    if (m_file)
        m_file->close();
    QString reason = failure;
    if (reason.isEmpty()) {
        if (!QFileInfo::exists(path))
            reason = TranslateText(NoDownloadedFileText);
        else
            m_shell.startFile(path);
    }
    if (!reason.isEmpty()) {
        m_messages.error(TranslateText(DownloadFailedText) + u"\r\n\r\n"_s + reason);
        m_shell.openAddress(HomepageAddress);
    }
    emit downloadEnded();
    done(QDialog::Rejected);
}

QStringList NewVersionSourceTexts()
{
    return {NewVersionText,
            OutOfDateText,
            WhatsNewText,
            UpdateNowText,
            SkipText,
            ExitText,
            AbortText,
            DownloadFailedText,
            DownloadCancelledText,
            NoDownloadedFileText,
            OpensDownloadPageText};
}

bool RunNewVersionCheck(UserMessages &messages, ShellServices &shell)
{
    if (!CheckForNewVersion())
        return true;
    TfrmNewVersion dialog(messages, shell);
    dialog.exec();
    return dialog.Tag() != 0;
}
