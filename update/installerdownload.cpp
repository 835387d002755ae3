#include "update/installerdownload.h"

#include "translation/translation.h"
#include "update/updatehost.h"

#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString NoDownloadedFileText = u"Cannot find downloaded file."_s;

} // namespace

InstallerDownload::InstallerDownload(QObject *parent)
    : QObject(parent)
{}

InstallerDownload::~InstallerDownload()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void InstallerDownload::start(const QUrl &host, const QString &path)
{
    if (m_state == State::Running)
        return;
    m_state = State::Running;
    m_cancelled = false;
    m_failure.clear();
    m_received = 0;

    m_file.setFileName(path);
    // A fresh file, never one reached through a link that someone else placed under
    // this name in a shared temporary folder.
    QFile::remove(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        end(m_file.errorString());
        return;
    }
    if (!isAllowedUpdateAddress(host)) {
        end(u"The update host address is not allowed: %1"_s.arg(
            qEnvironmentVariable(UpdateHostVariable)));
        return;
    }

    QNetworkRequest request(updateDocumentAddress(host, InstallerPath));
    request.setHeader(QNetworkRequest::UserAgentHeader, UpdateUserAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    m_network = std::make_unique<QNetworkAccessManager>();
    m_reply = m_network->get(request);
    // Progress follows every arrival of data: Qt's own progress signal holds back data
    // that arrives within 150 ms of the last report, so a transfer that stalls would
    // never show what it has.
    connect(m_reply, &QIODevice::readyRead, this, &InstallerDownload::writeReceived);
    connect(m_reply, &QNetworkReply::finished, this, &InstallerDownload::transferFinished);
}

void InstallerDownload::cancel(const QString &reason)
{
    if (m_state != State::Running)
        return;
    m_cancelled = true;
    // At once: a transfer that has stalled has no time-out and would never reach the
    // next arrival of data.
    fail(reason);
}

void InstallerDownload::writeReceived()
{
    if (!m_reply || !m_file.isOpen())
        return;
    const QByteArray data = m_reply->readAll();
    if (m_file.write(data) != data.size()) {
        fail(m_file.errorString());
        return;
    }
    m_received += data.size();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 total = length.isValid() ? length.toLongLong() : 0;
    const QByteArray encoding = m_reply->rawHeader("Transfer-Encoding").toLower();
    if (encoding.contains("chunked") || total <= 0)
        return;
    emit progress(m_received >= total ? 100 : int(m_received * 100 / total));
}

void InstallerDownload::fail(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
    if (m_reply)
        m_reply->abort();
}

void InstallerDownload::transferFinished()
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
    if (failure.isEmpty() && !m_file.flush())
        failure = m_file.errorString();
    end(failure);
}

void InstallerDownload::end(const QString &failure)
{
    m_file.close();
    QString reason = failure;
    if (reason.isEmpty() && !QFileInfo::exists(m_file.fileName()))
        reason = translateText(NoDownloadedFileText);
    m_state = State::Ended;
    emit ended(reason);
}

QStringList installerDownloadSourceTexts()
{
    return {NoDownloadedFileText};
}
