#include "shell/newversiondialog.h"
#include "shell/startup.h"
#include "shell/updatestep.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/recordingshell.h"
#include "testsupport/testdir.h"
#include "testsupport/usegerman.h"
#include "testsupport/windowtests.h"
#include "translation/translation.h"
#include "update/updatecheck.h"
#include "update/updatehost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QLabel>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// One answer of the test server.
struct Answer
{
    enum class Framing {
        Length,            // Content-Length, then the body
        NoLength,          // the body, ended by closing the connection
        Chunked,           // chunked transfer encoding
        ChunkedWithLength, // chunked, with a Content-Length header as well
        Silent,            // reads the request and never answers
        Stall,             // announces the whole body, sends 30% of it, then nothing
    };
    int status = 200;
    QByteArray body;
    Framing framing = Framing::Length;
    QByteArray location;
};

Answer page(const QByteArray &body, Answer::Framing framing = Answer::Framing::Length)
{
    return {200, body, framing, {}};
}

Answer status(int code)
{
    return {code, "<html>no</html>", Answer::Framing::Length, {}};
}

Answer redirectTo(const QByteArray &path)
{
    return {302, "moved", Answer::Framing::Length, path};
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Internal Server Error";
    }
}

// A small HTTP/1.1 server on 127.0.0.1 that answers each path as told, one request per
// connection, and records what it was asked.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    LocalHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
        if (!m_server.listen(QHostAddress::LocalHost))
            qFatal("cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }

    QUrl address() const { return QUrl(u"http://127.0.0.1:%1"_s.arg(m_server.serverPort())); }

    QHash<QByteArray, Answer> answers;
    QList<QByteArray> paths;
    QList<QByteArray> userAgents;

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        socket->setProperty("request", buffer);
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QByteArray path = lines.front().split(' ').value(1);
        paths.append(path);
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("user-agent:"))
                userAgents.append(line.mid(11).trimmed());
        }
        answer(socket, answers.value(path, status(404)));
    }

    static void answer(QTcpSocket *socket, const Answer &answer)
    {
        using Framing = Answer::Framing;
        if (answer.framing == Framing::Silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                          reasonPhrase(answer.status) + "\r\nConnection: close\r\n";
        if (!answer.location.isEmpty())
            head += "Location: " + answer.location + "\r\n";
        if (answer.framing != Framing::NoLength && answer.framing != Framing::Chunked)
            head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        if (answer.framing == Framing::Chunked || answer.framing == Framing::ChunkedWithLength)
            head += "Transfer-Encoding: chunked\r\n";
        head += "\r\n";

        QByteArray body = answer.body;
        if (answer.framing == Framing::Chunked || answer.framing == Framing::ChunkedWithLength) {
            body.clear();
            for (qsizetype at = 0; at < answer.body.size(); at += 4096) {
                const QByteArray chunk = answer.body.mid(at, 4096);
                body += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
            }
            body += "0\r\n\r\n";
        }
        if (answer.framing == Framing::Stall) {
            socket->write(head + body.left(body.size() * 3 / 10));
            return;
        }
        socket->write(head + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
};

enum class CloseBy { Button, CloseBox, Escape };

const QString DownloadFailed =
    u"Failed to download update. Please download manually on website.\r\n\r\n"_s;

// The warning the main window's Help links give as well when no browser starts.
RecordingMessages::Entry noBrowserWarning(const QString &address)
{
    return {u"warning"_s, u"No web browser could be started. The address is:\n\n"_s + address};
}

} // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(CloseBy)

class TestNewVersion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void updateHostAddress_data();
    void updateHostAddress();
    void check_data();
    void check();
    void checkGivesUpOnASilentHost();
    void dialogShowsAndCloses_data();
    void dialogShowsAndCloses();
    void download_data();
    void download();
    void abortDuringDownload_data();
    void abortDuringDownload();
    void updateNowOpensTheDownloadPage_data();
    void updateNowOpensTheDownloadPage();
    void startUp_data();
    void startUp();
    void longMessageShowsWhole();

private:
    QString installerPath() const { return QDir(QDir::tempPath()).filePath(InstallerFileName); }
    // Runs the check against host to its end; false when it never ends.
    static bool runCheck(const QUrl &host, std::optional<UpdateOffer> &offer,
                         std::chrono::milliseconds transferTimeout = UpdateCheckTimeout)
    {
        UpdateCheck check;
        QSignalSpy finished(&check, &UpdateCheck::finished);
        check.start(host, VersionCode, transferTimeout);
        if (!finished.wait(20000) || finished.size() != 1)
            return false;
        offer = check.offer();
        return true;
    }

    std::unique_ptr<TestDir> m_temp;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<RecordingMessages> m_messages;
    std::unique_ptr<RecordingShell> m_shell;
};

void TestNewVersion::initTestCase()
{
    dropSizeHintMessages();
    // Straight to the test's own server, whatever proxy the machine names.
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    // The program's own look, so that the screenshot shows what a user sees.
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    applyApplicationFont(*app);
    RecordingMessages messages;
    QVERIFY(applyVisualStyle(*app, messages));
}

void TestNewVersion::init()
{
    m_temp = std::make_unique<TestDir>();
    // The installer is written to the temporary folder; this one is the test's own.
    qputenv("TMPDIR", QFile::encodeName(m_temp->path()));
    m_server = std::make_unique<LocalHttpServer>();
    qputenv(UpdateHostVariable, m_server->address().toEncoded());
    m_messages = std::make_unique<RecordingMessages>();
    m_shell = std::make_unique<RecordingShell>();
}

void TestNewVersion::cleanup()
{
    setTranslationState({}, 0, u"en"_s);
    m_server.reset();
    m_temp.reset();
    qunsetenv(UpdateHostVariable);
    qunsetenv("TMPDIR");
}

void TestNewVersion::updateHostAddress_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("versionPage"); // empty when the address is refused

    const QString path = VersionPagePath;
    // Without a host set at build time the check is off and asks nobody.
    QTest::newRow("unset-built-in-host")
        << QByteArray() << (DefaultUpdateHost.isEmpty() ? QString() : DefaultUpdateHost + path);
    QTest::newRow("https-mirror-in-a-folder") << QByteArray("https://mirror.example.org/tessaly/")
                                              << u"https://mirror.example.org/tessaly"_s + path;
    QTest::newRow("http-loopback")
        << QByteArray("http://127.0.0.1:8080") << u"http://127.0.0.1:8080"_s + path;
    QTest::newRow("http-localhost")
        << QByteArray("http://localhost:8080") << u"http://localhost:8080"_s + path;
    QTest::newRow("http-loopback-ipv6")
        << QByteArray("http://[::1]:8080") << u"http://[::1]:8080"_s + path;
    QTest::newRow("http-elsewhere") << QByteArray("http://mirror.example.org") << QString();
    QTest::newRow("http-loopback-lookalike")
        << QByteArray("http://127.0.0.1.example.org") << QString();
    QTest::newRow("other-scheme") << QByteArray("ftp://127.0.0.1/") << QString();
    QTest::newRow("local-file") << QByteArray("file:///tmp/update") << QString();
    QTest::newRow("not-an-address") << QByteArray("update host") << QString();
}

void TestNewVersion::updateHostAddress()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, versionPage);

    if (variable.isNull())
        qunsetenv(UpdateHostVariable);
    else
        qputenv(UpdateHostVariable, variable);
    const QUrl host = ::updateHostAddress();
    if (versionPage.isEmpty()) {
        QVERIFY(host.isEmpty());
        std::optional<UpdateOffer> offer;
        QVERIFY(runCheck(host, offer));
        QVERIFY(!offer);
    } else {
        QCOMPARE(updateDocumentAddress(host, VersionPagePath).toString(), versionPage);
    }
}

void TestNewVersion::check_data()
{
    QTest::addColumn<Answer>("version");
    QTest::addColumn<Answer>("changes");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("forced");
    QTest::addColumn<QString>("message");

    const QString newer = u"The new version %1 is available\r\n\r\nWhat's new:\r\n"_s;
    const QString outOfDate =
        u"This version of the software is out of date. You must download the current "
        u"version %1 to continue using the software.\r\n\r\nWhat's new:\r\n"_s;
    const Answer changes = page("Faster preview\r\nUndo keeps folders\r\n");
    const QString changeLines = u"Faster preview\r\nUndo keeps folders\r\n"_s;

    QTest::newRow("same-version") << page("23/23") << changes << false << false << QString();
    QTest::newRow("newer") << page("24/23\r\n") << changes << true << false
                           << newer.arg(u"2.4"_s) + changeLines;
    QTest::newRow("forced") << page("30/24") << changes << true << true
                            << outOfDate.arg(u"3.0"_s) + changeLines;
    QTest::newRow("forced-latest-not-newer")
        << page("23/25") << changes << true << true << outOfDate.arg(u"2.3"_s) + changeLines;
    QTest::newRow("two-digit-minor")
        << page("105/23") << changes << true << false << newer.arg(u"10.5"_s) + changeLines;
    QTest::newRow("only-line-one-counts")
        << page("24/23\n99/99\n") << changes << true << false << newer.arg(u"2.4"_s) + changeLines;
    QTest::newRow("byte-order-mark")
        << page("\xEF\xBB\xBF"
                "24/23")
        << changes << true << false << newer.arg(u"2.4"_s) + changeLines;
    QTest::newRow("leading-blank-and-sign")
        << page(" +24/ 23") << changes << true << false << newer.arg(u" +2.4"_s) + changeLines;
    QTest::newRow("no-slash") << page("24") << changes << false << false << QString();
    QTest::newRow("minimum-not-a-number") << page("24/x") << changes << false << false << QString();
    QTest::newRow("trailing-blank") << page("24/23 ") << changes << false << false << QString();
    QTest::newRow("empty-latest") << page("/23") << changes << false << false << QString();
    QTest::newRow("out-of-range") << page("99999999999/23") << changes << false << false
                                  << QString();
    QTest::newRow("empty-version-page") << page("") << changes << false << false << QString();
    QTest::newRow("blank-lines-kept-empty-dropped")
        << page("24/23") << page("First\n   \n\n\r\nLast") << true << false
        << newer.arg(u"2.4"_s) + u"First\r\n   \r\nLast\r\n"_s;
    QTest::newRow("carriage-returns-only") << page("24/23") << page("First\rLast\r") << true
                                           << false << newer.arg(u"2.4"_s) + u"First\r\nLast\r\n"_s;
    QTest::newRow("empty-changes-page")
        << page("24/23") << page("") << true << false << newer.arg(u"2.4"_s);
    QTest::newRow("changes-as-plain-text")
        << page("24/23") << page("<b>bold</b> & <a href=\"x\">link</a>") << true << false
        << newer.arg(u"2.4"_s) + u"<b>bold</b> & <a href=\"x\">link</a>\r\n"_s;
    QTest::newRow("version-page-missing") << status(404) << changes << false << false << QString();
    QTest::newRow("changes-page-missing")
        << page("24/23") << status(404) << false << false << QString();
    QTest::newRow("server-error") << status(500) << changes << false << false << QString();
    QTest::newRow("redirect-followed") << redirectTo("/moved/vexa-version.html") << changes << true
                                       << false << newer.arg(u"2.4"_s) + changeLines;
    QTest::newRow("redirect-loop")
        << redirectTo(VersionPagePath.toUtf8()) << changes << false << false << QString();
}

void TestNewVersion::check()
{
    QFETCH(Answer, version);
    QFETCH(Answer, changes);
    QFETCH(bool, shown);
    QFETCH(bool, forced);
    QFETCH(QString, message);

    m_server->answers[VersionPagePath.toUtf8()] = version;
    m_server->answers[ChangesPagePath.toUtf8()] = changes;
    m_server->answers["/moved/vexa-version.html"] = page("24/23");

    std::optional<UpdateOffer> offer;
    QVERIFY(runCheck(::updateHostAddress(), offer));
    QCOMPARE(offer.has_value(), shown);
    if (offer)
        QCOMPARE(*offer, (UpdateOffer{message, forced}));
    QVERIFY(!m_server->paths.isEmpty());
    for (const QByteArray &agent : std::as_const(m_server->userAgents))
        QCOMPARE(agent, UpdateUserAgent.toUtf8());
    QCOMPARE(m_server->userAgents.size(), m_server->paths.size());
}

void TestNewVersion::checkGivesUpOnASilentHost()
{
    m_server->answers[VersionPagePath.toUtf8()] = {200, {}, Answer::Framing::Silent, {}};
    QElapsedTimer timer;
    timer.start();
    std::optional<UpdateOffer> offer;
    QVERIFY(runCheck(m_server->address(), offer, 300ms));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_server->paths, QList<QByteArray>{VersionPagePath.toUtf8()});
    QVERIFY(!offer);
}

void TestNewVersion::dialogShowsAndCloses_data()
{
    QTest::addColumn<bool>("forced");
    QTest::addColumn<bool>("german");
    QTest::addColumn<CloseBy>("closeBy");
    QTest::addColumn<QString>("updateCaption");
    QTest::addColumn<QString>("cancelCaption");
    QTest::addColumn<bool>("goesOn");

    QTest::newRow("newer-skip") << false << false << CloseBy::Button << u"Update Now"_s << u"Skip"_s
                                << true;
    QTest::newRow("newer-close-box")
        << false << false << CloseBy::CloseBox << u"Update Now"_s << u"Skip"_s << true;
    QTest::newRow("forced-exit") << true << false << CloseBy::Button << u"Update Now"_s << u"Exit"_s
                                 << false;
    QTest::newRow("forced-close-box")
        << true << false << CloseBy::CloseBox << u"Update Now"_s << u"Exit"_s << false;
    QTest::newRow("forced-escape")
        << true << false << CloseBy::Escape << u"Update Now"_s << u"Exit"_s << false;
    QTest::newRow("forced-german")
        << true << true << CloseBy::Button << u"Jetzt aktualisieren"_s << u"Beenden"_s << false;
}

void TestNewVersion::dialogShowsAndCloses()
{
    QFETCH(bool, forced);
    QFETCH(bool, german);
    QFETCH(CloseBy, closeBy);
    QFETCH(QString, updateCaption);
    QFETCH(QString, cancelCaption);
    QFETCH(bool, goesOn);

    if (german)
        useGerman({{u"Update Now"_s, u"Jetzt aktualisieren"_s},
                   {u"Exit"_s, u"Beenden"_s},
                   {u"Skip"_s, u"Überspringen"_s}});
    // Markup from the network is shown as it is, never interpreted.
    const UpdateOffer offer{u"The new version <b>2.4</b> is available\r\n\r\nWhat's new:\r\n"
                            u"<a href=\"file:///etc\">click</a>\r\n"_s,
                            forced};
    NewVersionDialog dialog(offer, *m_messages, *m_shell);
    QCOMPARE(dialog.objectName(), u"NewVersionDialog"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), u" Tessaly"_s);
    // It can grow, and shrink as far as its captions allow.
    QVERIFY(dialog.minimumSize().width() < dialog.width() &&
            dialog.maximumSize().width() > dialog.width());
    auto *label = findControl<QLabel>(&dialog, "messageLabel");
    QCOMPARE(label->text(), offer.message);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QVERIFY(!findControl<QProgressBar>(&dialog, "downloadProgress")->isVisible());
    QCOMPARE(findControl<QPushButton>(&dialog, "updateNowButton")->text(), updateCaption);
    auto *cancel = findControl<QPushButton>(&dialog, "skipButton");
    QCOMPARE(cancel->text(), cancelCaption);
    QVERIFY(dialog.startUpGoesOn());

    switch (closeBy) {
    case CloseBy::Button:
        cancel->click();
        break;
    case CloseBy::CloseBox:
        dialog.close();
        break;
    case CloseBy::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.startUpGoesOn(), goesOn);
    QVERIFY(m_messages->entries.isEmpty());
    QVERIFY(m_shell->started.isEmpty());
}

void TestNewVersion::download_data()
{
    QTest::addColumn<Answer>("installer");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("failure"); // the end of the error message; empty on success
    QTest::addColumn<bool>("browserFound");

    const QByteArray body = QByteArray(300000, 'i') + "end";
    QTest::newRow("with-length") << page(body) << 100 << QString() << true;
    QTest::newRow("without-length")
        << page(body, Answer::Framing::NoLength) << 0 << QString() << true;
    QTest::newRow("chunked") << page(body, Answer::Framing::Chunked) << 0 << QString() << true;
    QTest::newRow("chunked-with-length")
        << page(body, Answer::Framing::ChunkedWithLength) << 0 << QString() << true;
    QTest::newRow("empty-installer") << page("") << 0 << QString() << true;
    QTest::newRow("not-found") << status(404) << 100 << u"server replied: Not Found"_s << true;
    QTest::newRow("not-found-without-browser")
        << status(404) << 100 << u"server replied: Not Found"_s << false;
    QTest::newRow("redirect-not-followed")
        << redirectTo("/elsewhere/vexa.exe") << 100 << u"server replied: 302 Found"_s << true;
}

void TestNewVersion::download()
{
    QFETCH(Answer, installer);
    QFETCH(int, progress);
    QFETCH(QString, failure);
    QFETCH(bool, browserFound);

    m_shell->browserFound = browserFound;
    m_server->answers[InstallerPath.toUtf8()] = installer;
    m_server->answers["/elsewhere/vexa.exe"] = page("elsewhere");
    // An installer left by an earlier attempt is replaced.
    m_temp->file(InstallerFileName, "stale installer");

    NewVersionDialog dialog({u"The new version 2.4 is available"_s}, *m_messages, *m_shell, nullptr,
                            UpdateAction::DownloadInstaller);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(findControl<QPushButton>(&dialog, "updateNowButton")->toolTip().isEmpty());
    QSignalSpy ended(&dialog, &NewVersionDialog::downloadEnded);
    auto *updateNow = findControl<QPushButton>(&dialog, "updateNowButton");
    updateNow->click();
    QCOMPARE(findControl<QPushButton>(&dialog, "skipButton")->text(), u"Abort"_s);
    QVERIFY(!updateNow->isEnabled());
    QVERIFY(findControl<QProgressBar>(&dialog, "downloadProgress")->isVisible());
    QCOMPARE(dialog.download().state(), InstallerDownload::State::Running);

    QVERIFY(ended.wait(10000));
    QCOMPARE(findControl<QProgressBar>(&dialog, "downloadProgress")->value(), progress);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.startUpGoesOn());
    QCOMPARE(m_server->paths, QList<QByteArray>{InstallerPath.toUtf8()});
    QCOMPARE(m_server->userAgents, QList<QByteArray>{UpdateUserAgent.toUtf8()});
    if (failure.isEmpty()) {
        QCOMPARE(m_messages->texts(), QStringList());
        QCOMPARE(m_shell->started, QStringList{installerPath()});
        QCOMPARE(m_shell->addresses, QStringList());
        QFile file(installerPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), installer.body);
    } else {
        QCOMPARE(m_messages->entries.size(), browserFound ? 1 : 2);
        QCOMPARE(m_messages->entries.front().kind, u"error"_s);
        const QString text = m_messages->entries.front().text;
        QVERIFY2(text.startsWith(DownloadFailed) && text.endsWith(failure), qPrintable(text));
        QCOMPARE(m_shell->started, QStringList());
        QCOMPARE(m_shell->addresses, QStringList{HomepageAddress});
        // Without a browser the homepage's address is still there to copy.
        if (!browserFound)
            QCOMPARE(m_messages->entries.back(), noBrowserWarning(HomepageAddress));
    }
}

void TestNewVersion::abortDuringDownload_data()
{
    QTest::addColumn<CloseBy>("closeBy");
    QTest::newRow("abort-button") << CloseBy::Button;
    QTest::newRow("close-box") << CloseBy::CloseBox;
    QTest::newRow("escape") << CloseBy::Escape;
}

void TestNewVersion::abortDuringDownload()
{
    QFETCH(CloseBy, closeBy);

    // The server sends 30% and then waits for ever, so only the abort can end it.
    m_server->answers[InstallerPath.toUtf8()] =
        page(QByteArray(100000, 'i'), Answer::Framing::Stall);
    NewVersionDialog dialog({u"The new version 2.4 is available"_s}, *m_messages, *m_shell, nullptr,
                            UpdateAction::DownloadInstaller);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy ended(&dialog, &NewVersionDialog::downloadEnded);
    findControl<QPushButton>(&dialog, "updateNowButton")->click();
    QTRY_COMPARE(findControl<QProgressBar>(&dialog, "downloadProgress")->value(), 30);
    QVERIFY(dialog.isVisible());

    switch (closeBy) {
    case CloseBy::Button:
        findControl<QPushButton>(&dialog, "skipButton")->click();
        break;
    case CloseBy::CloseBox:
        dialog.close();
        break;
    case CloseBy::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    }
    QTRY_COMPARE(ended.size(), 1);
    QVERIFY(dialog.download().wasCancelled());
    QCOMPARE(m_messages->texts(),
             QStringList{DownloadFailed + u"Download is cancelled. Please download manually."_s});
    QCOMPARE(m_shell->addresses, QStringList{HomepageAddress});
    QCOMPARE(m_shell->started, QStringList());
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.startUpGoesOn());
}

void TestNewVersion::updateNowOpensTheDownloadPage_data()
{
    QTest::addColumn<bool>("forced");
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<bool>("browserFound");

    const QString toolTip = u"Opens the download page in your web browser."_s;
    QTest::newRow("newer-goes-on") << false << false << toolTip << true << true;
    QTest::newRow("forced-ends") << true << false << toolTip << false << true;
    QTest::newRow("german-tooltip")
        << false << true << u"Öffnet die Download-Seite im Webbrowser."_s << true << true;
    QTest::newRow("no-browser-shows-the-address") << false << false << toolTip << true << false;
}

// Where the installer for Windows cannot run, the download page opens in the browser;
// nothing is downloaded and nothing started.
void TestNewVersion::updateNowOpensTheDownloadPage()
{
    QFETCH(bool, forced);
    QFETCH(bool, german);
    QFETCH(QString, toolTip);
    QFETCH(bool, goesOn);
    QFETCH(bool, browserFound);

    m_shell->browserFound = browserFound;
    if (german)
        useGerman({{u"Opens the download page in your web browser."_s,
                    u"Öffnet die Download-Seite im Webbrowser."_s}});
    NewVersionDialog dialog({u"The new version 2.4 is available"_s, forced}, *m_messages, *m_shell,
                            nullptr, UpdateAction::OpenDownloadPage);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *updateNow = findControl<QPushButton>(&dialog, "updateNowButton");
    QCOMPARE(updateNow->toolTip(), toolTip);
    updateNow->click();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.download().state(), InstallerDownload::State::Idle);
    QCOMPARE(dialog.startUpGoesOn(), goesOn);
    QCOMPARE(m_shell->addresses, QStringList{u"https://tessaly.org/download.html"_s});
    QCOMPARE(m_shell->started, QStringList());
    QCOMPARE(m_server->paths, QList<QByteArray>());
    if (browserFound)
        QVERIFY(m_messages->entries.isEmpty());
    else
        QCOMPARE(m_messages->entries, QList{noBrowserWarning(m_shell->addresses.front())});
    QVERIFY(!QFileInfo::exists(installerPath()));
}

void TestNewVersion::startUp_data()
{
    QTest::addColumn<Answer>("version");
    QTest::addColumn<CloseBy>("closeBy");
    QTest::addColumn<bool>("dialogShown");
    QTest::addColumn<bool>("goesOn");

    QTest::newRow("same-version-no-dialog") << page("23/23") << CloseBy::Button << false << true;
    QTest::newRow("newer-skip-starts") << page("24/23") << CloseBy::Button << true << true;
    QTest::newRow("newer-close-box-starts") << page("24/23") << CloseBy::CloseBox << true << true;
    QTest::newRow("forced-exit-ends") << page("30/24") << CloseBy::Button << true << false;
    QTest::newRow("forced-close-box-ends") << page("30/24") << CloseBy::CloseBox << true << false;
    QTest::newRow("host-failing-starts") << status(500) << CloseBy::Button << false << true;
}

// The start-up step as the program runs it: the check against TESSALY_UPDATE_URL and the
// modal dialog, closed by a person (here, queued clicks once it shows).
void TestNewVersion::startUp()
{
    QFETCH(Answer, version);
    QFETCH(CloseBy, closeBy);
    QFETCH(bool, dialogShown);
    QFETCH(bool, goesOn);

    m_server->answers[VersionPagePath.toUtf8()] = version;
    m_server->answers[ChangesPagePath.toUtf8()] = page("Faster preview");

    class ClosesTheDialog : public QObject
    {
    public:
        explicit ClosesTheDialog(CloseBy how)
            : closeBy(how)
        {}
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            auto *dialog = qobject_cast<QDialog *>(watched);
            if (event->type() == QEvent::Show && dialog &&
                dialog->objectName() == u"NewVersionDialog"_s) {
                ++shown;
                QMetaObject::invokeMethod(
                    dialog,
                    [dialog, how = closeBy] {
                        if (how == CloseBy::CloseBox)
                            dialog->close();
                        else
                            dialog->findChild<QPushButton *>(u"skipButton"_s)->click();
                    },
                    Qt::QueuedConnection);
            }
            return false;
        }
        CloseBy closeBy;
        int shown = 0;
    } closer(closeBy);
    qApp->installEventFilter(&closer);
    UpdateStep step(*m_messages, *m_shell);
    QSignalSpy finished(&step, &UpdateStep::finished);
    step.start();
    QVERIFY(finished.wait(20000));
    qApp->removeEventFilter(&closer);

    QCOMPARE(closer.shown, dialogShown ? 1 : 0);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.front().front().toBool(), goesOn);
    QVERIFY(m_messages->entries.isEmpty());
}

void TestNewVersion::longMessageShowsWhole()
{
    // A long list of changes from the host: the dialog grows until all of it shows, and
    // stays on the screen.
    QStringList lines{u"The new version 2.4 is available"_s, QString(), u"What's new:"_s};
    for (int i = 1; i <= 12; ++i)
        lines.append(u"Change number %1, described in a sentence long enough to wrap."_s.arg(i));
    NewVersionDialog dialog({lines.join(u"\r\n"_s)}, *m_messages, *m_shell);
    const QSize formSize = dialog.size();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *label = findControl<QLabel>(&dialog, "messageLabel");
    QTRY_VERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(dialog.height() > formSize.height());
    QVERIFY(dialog.height() <= dialog.screen()->availableGeometry().height());
    QCOMPARE(dialog.width(), formSize.width());
}

QTEST_MAIN(TestNewVersion)
#include "tst_newversion.moc"
