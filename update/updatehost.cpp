#include "update/updatehost.h"

#include <QHostAddress>
#include <QNetworkReply>

using namespace Qt::StringLiterals;

const QString UpdateUserAgent = QStringLiteral("Tessaly/" TESSALY_VERSION);
const QString DefaultUpdateHost = QStringLiteral(TESSALY_UPDATE_HOST);

namespace {

bool isLoopback(const QString &host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

bool isAllowedUpdateAddress(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https"_s)
        return true;
    return scheme == u"http"_s && isLoopback(url.host());
}

QUrl updateHostAddress()
{
    const QString configured = qEnvironmentVariable(UpdateHostVariable);
    if (configured.isEmpty())
        return DefaultUpdateHost.isEmpty() ? QUrl() : QUrl(DefaultUpdateHost, QUrl::StrictMode);
    const QUrl url(configured, QUrl::StrictMode);
    return isAllowedUpdateAddress(url) ? url : QUrl();
}

QUrl updateDocumentAddress(const QUrl &base, const QString &path)
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

bool isSuccessStatus(const QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}
