#pragma once

#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QNetworkReply;

// Downloads the installer from the update host into a file of its own, telling its
// progress; whoever shows it can cancel it at any time.
class InstallerDownload : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Idle,
        Running,
        // The download has ended, the file is closed; ended() has been emitted.
        Ended,
    };

    explicit InstallerDownload(QObject *parent = nullptr);
    ~InstallerDownload() override;

    // Writes the host's installer into a freshly made file at path: one already there
    // is removed first, never written through. Redirects are not followed and there is
    // no time-out. ended() follows once the attempt is over; when the file cannot be
    // made or the host is not allowed, before start returns.
    void start(const QUrl &host, const QString &path);
    // Ends a running download at once, with reason as its failure (unless it has
    // already failed); ended() follows as the transfer winds up. A transfer that has
    // stalled is ended too.
    void cancel(const QString &reason);

    State state() const { return m_state; }
    // Whether cancel() ended the last download.
    bool wasCancelled() const { return m_cancelled; }
    QString filePath() const { return m_file.fileName(); }

signals:
    // Percent of the installer written so far; only when the host announced its size
    // and does not send it in chunks.
    void progress(int percent);
    // The attempt is over and the file closed: failure is empty when the whole
    // installer is in the file, else says why not.
    void ended(const QString &failure);

private:
    void writeReceived();
    void fail(const QString &reason);
    void transferFinished();
    void end(const QString &failure);

    State m_state = State::Idle;
    QFile m_file;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QNetworkReply *m_reply = nullptr;
    qint64 m_received = 0;
    QString m_failure;
    bool m_cancelled = false;
};

// The English texts of the download that pass through translateText.
QStringList installerDownloadSourceTexts();
