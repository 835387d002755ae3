#include "update/updatecheck.h"
#include "update/updatehost.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

constexpr int MaximumRedirects = 10;

} // namespace

UpdateCheck::UpdateCheck(QObject *parent)
    : QObject(parent)
{}

UpdateCheck::~UpdateCheck()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void UpdateCheck::start(const QUrl &host, int runningVersion,
                        std::chrono::milliseconds transferTimeout)
{
    m_host = host;
    m_runningVersion = runningVersion;
    m_transferTimeout = transferTimeout;
    m_versionPage.reset();
    m_offer.reset();
    if (!isAllowedUpdateAddress(host)) {
        QMetaObject::invokeMethod(this, &UpdateCheck::finish, Qt::QueuedConnection);
        return;
    }
    fetch(VersionPagePath);
}

void UpdateCheck::fetch(const QString &path)
{
    QNetworkRequest request(updateDocumentAddress(m_host, path));
    request.setHeader(QNetworkRequest::UserAgentHeader, UpdateUserAgent);
    // Never from HTTPS down to plain HTTP.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::pageArrived);
}

void UpdateCheck::pageArrived()
{
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError || !isSuccessStatus(reply)) {
        finish();
        return;
    }
    if (!m_versionPage) {
        m_versionPage = reply->readAll();
        fetch(ChangesPagePath);
        return;
    }
    m_offer = decideUpdate(*m_versionPage, reply->readAll(), m_runningVersion);
    finish();
}

void UpdateCheck::finish()
{
    emit finished();
}
