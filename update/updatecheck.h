#pragma once

#include "update/updatehost.h"
#include "update/updateoffer.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkReply;

// Asks the update host whether a newer version exists, without blocking: the version
// page, then the changes page, then finished(). Never shows anything: any failure (host
// refused or unreachable, time-out, error status, a malformed page) ends with no offer.
class UpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit UpdateCheck(QObject *parent = nullptr);
    ~UpdateCheck() override;

    // Starts the check of a program whose version code is runningVersion against host;
    // each page may take transferTimeout without data arriving. finished() follows once,
    // from the event loop, also when the host is not allowed.
    void start(const QUrl &host, int runningVersion,
               std::chrono::milliseconds transferTimeout = UpdateCheckTimeout);

    // After finished(): what the new-version dialog is to offer; nothing when no dialog
    // is to be shown.
    const std::optional<UpdateOffer> &offer() const { return m_offer; }

signals:
    void finished();

private:
    void fetch(const QString &path);
    void pageArrived();
    void finish();

    QNetworkAccessManager m_network;
    QNetworkReply *m_reply = nullptr;
    QUrl m_host;
    int m_runningVersion = 0;
    std::chrono::milliseconds m_transferTimeout{};
    std::optional<QByteArray> m_versionPage;
    std::optional<UpdateOffer> m_offer;
};
