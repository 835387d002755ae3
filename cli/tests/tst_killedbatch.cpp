// A batch killed at any moment must leave a log from which the undo restores the
// starting tree exactly. strace stops the real program at chosen system calls.

#include "testdir.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QMap<QString, QByteArray> readTree(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        tree.insert(path.mid(root.size() + 1), file.readAll());
    }
    return tree;
}

// The paths whose content differs between two trees, for a readable failure.
QString differences(const QMap<QString, QByteArray> &actual,
                    const QMap<QString, QByteArray> &expected)
{
    QStringList lines;
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (expected.value(it.key(), "<none>") != it.value())
            lines.append(u"%1 holds \"%2\""_s.arg(it.key(), QString::fromUtf8(it.value())));
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            lines.append(u"%1 is missing"_s.arg(it.key()));
    }
    return lines.join(u"; "_s);
}

} // namespace

class TestKilledBatch : public QObject
{
    Q_OBJECT

private slots:
    void undoAfterKill_data();
    void undoAfterKill();
};

void TestKilledBatch::undoAfterKill_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("injection");
    QTest::addColumn<QString>("fixture"); // numbering, chain or swap

    for (const QString &mode : {u"rename"_s, u"move"_s, u"copy"_s}) {
        for (int when : {1, 2, 97, 240}) {
            QTest::addRow("%s-rename-call-%d", qPrintable(mode), when)
                << mode << u"inject=renameat2,openat:signal=KILL:when=%1"_s.arg(when)
                << u"numbering"_s;
        }
    }
    for (int when : {1, 120})
        QTest::addRow("copy-data-call-%d", when)
            << u"copy"_s << u"inject=copy_file_range:signal=KILL:when=%1"_s.arg(when)
            << u"numbering"_s;
    // The listing on stdout, and the log growing and taking its final size.
    QTest::newRow("listing-written")
        << u"rename"_s << u"inject=write:signal=KILL:when=1"_s << u"numbering"_s;
    for (int when : {1, 2})
        QTest::addRow("log-resized-%d", when)
            << u"rename"_s << u"inject=ftruncate:signal=KILL:when=%1"_s.arg(when) << u"numbering"_s;
    // Every name held by the next file; pairs of files that swap names through a
    // stepping stone, killed on either side of it.
    for (const QString &fixture : {u"chain"_s, u"swap"_s}) {
        for (int when : {1, 2, 3, 120})
            QTest::addRow("%s-rename-call-%d", qPrintable(fixture), when)
                << u"rename"_s << u"inject=renameat2:signal=KILL:when=%1"_s.arg(when) << fixture;
    }
}

void TestKilledBatch::undoAfterKill()
{
    QFETCH(QString, mode);
    QFETCH(QString, injection);
    QFETCH(QString, fixture);

    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        QSKIP("strace is not installed");

    TestDir dir;
    TestDir appData;
    const QString files = dir.folder(u"files"_s);
    QStringList options{u"--pattern"_s, u"r{counter}"_s, files};
    QStringList names;
    QStringList listed; // in name order, so that the counter and the names follow it
    for (int i = 0; i < 250; ++i) {
        QString name;
        if (fixture == u"numbering"_s) {
            // Every tenth name collides with an existing one, so numbering is exercised.
            name = i % 10 == 0 ? u"r%1.txt"_s.arg(i + 1, 3, 10, QLatin1Char('0'))
                               : u"f%1.txt"_s.arg(i, 3, 10, QLatin1Char('0'));
        } else {
            name = u"n%1.txt"_s.arg(i, 3, 10, QLatin1Char('0'));
            names.prepend(name.chopped(4));
        }
        listed.append(dir.file(u"files/"_s + name, u"content of %1"_s.arg(name).toUtf8()));
    }
    if (fixture == u"chain"_s) {
        options =
            QStringList{u"--pattern"_s, u"n{counter}"_s, u"--counter-start"_s, u"1"_s} + listed;
    } else if (fixture == u"swap"_s) {
        dir.file(u"names.txt"_s, names.join(u'\n').toUtf8());
        options = QStringList{u"--pattern"_s, u"{list}"_s, u"--name-list"_s,
                              dir.filePath(u"names.txt"_s)} +
                  listed;
    }
    const auto start = readTree(dir.path());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"APPDATA"_s, appData.path());
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.setStandardOutputFile(QProcess::nullDevice());
    batch.start(strace, QStringList{u"-f"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, injection,
                                    QStringLiteral(TESSALY_CLI), u"--execute"_s, u"--mode"_s, mode,
                                    u"--destination"_s, dir.filePath(u"out"_s)} +
                            options);
    QVERIFY(batch.waitForFinished(60000));
    QVERIFY2(batch.exitCode() != 0, "the batch was meant to be killed");

    QProcess undo;
    undo.setProcessEnvironment(environment);
    undo.start(QStringLiteral(TESSALY_CLI), {u"--undo"_s});
    QVERIFY(undo.waitForFinished(60000));
    QCOMPARE(undo.exitCode(), 0);

    // Copies go back over their sources, which hold the same bytes, so every mode
    // ends where it started.
    const QString changed = differences(readTree(dir.path()), start);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

QTEST_GUILESS_MAIN(TestKilledBatch)
#include "tst_killedbatch.moc"
