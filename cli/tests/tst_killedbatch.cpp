// The real program under strace, stopped or killed at chosen system calls: a batch
// killed at any moment must leave a log from which the undo restores the starting
// tree exactly, and a second run while one is stopped must touch nothing.

#include "testsupport/filetree.h"
#include "testsupport/testdir.h"

#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The paths whose content differs between two trees, for a readable failure.
QString differences(const FileTree &actual, const FileTree &expected)
{
    QStringList lines;
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (expected.value(it.key(), u"<none>"_s) != it.value())
            lines.append(u"%1 holds \"%2\""_s.arg(it.key(), it.value()));
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            lines.append(u"%1 is missing"_s.arg(it.key()));
    }
    return lines.join(u"; "_s);
}

// The environment of a run, with its own data folder. LeakSanitizer cannot work under
// ptrace and would end a traced run of a sanitizer build: it is turned off.
QProcessEnvironment environmentWith(const TestDir &appData)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"APPDATA"_s, appData.path());
    const QString sanitizer = environment.value(u"ASAN_OPTIONS"_s);
    environment.insert(u"ASAN_OPTIONS"_s,
                       sanitizer + (sanitizer.isEmpty() ? u""_s : u":"_s) + u"detect_leaks=0"_s);
    return environment;
}

} // namespace

class TestKilledBatch : public QObject
{
    Q_OBJECT

private slots:
    void undoAfterKill_data();
    void undoAfterKill();
    void secondRunStopsAtOnce_data();
    void secondRunStopsAtOnce();
    void logOnDiskBeforeFirstOperation();
    void undoAfterKilledChainOrSwap_data();
    void undoAfterKilledChainOrSwap();
    void racesAndFaults_data();
    void racesAndFaults();
};

void TestKilledBatch::undoAfterKill_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("injection");     // the batch's
    QTest::addColumn<QString>("undoInjection"); // a first undo's, when it is killed too
    QTest::addColumn<QString>("layout");        // where the files and the destination are

    const auto kill = [](const QString &calls, int when) {
        return u"inject=%1:signal=KILL:when=%2"_s.arg(calls).arg(when);
    };
    for (const QString &mode : {u"rename"_s, u"move"_s, u"copy"_s}) {
        for (int when : {1, 2, 97, 240}) {
            QTest::addRow("%s-rename-call-%d", qPrintable(mode), when)
                << mode << kill(u"renameat2,openat"_s, when) << QString() << u"disk"_s;
        }
    }
    for (int when : {1, 120})
        QTest::addRow("copy-data-call-%d", when)
            << u"copy"_s << kill(u"copy_file_range"_s, when) << QString() << u"disk"_s;
    // The listing on stdout; the log's space reserved, synced before it takes its place
    // and again at the end, and cut to its final size.
    QTest::newRow("listing-written")
        << u"rename"_s << kill(u"write"_s, 1) << QString() << u"disk"_s;
    QTest::newRow("log-reserved") << u"rename"_s << kill(u"fallocate"_s, 1) << QString()
                                  << u"disk"_s;
    for (int when : {1, 2})
        QTest::addRow("log-synced-%d", when)
            << u"rename"_s << kill(u"fdatasync"_s, when) << QString() << u"disk"_s;
    QTest::newRow("log-finished") << u"rename"_s << kill(u"ftruncate"_s, 1) << QString()
                                  << u"disk"_s;
    for (int when : {2, 120})
        QTest::addRow("on-tmpfs-rename-call-%d", when)
            << u"rename"_s << kill(u"renameat2"_s, when) << QString() << u"tmpfs"_s;

    // A move to another file system, per file: a rename that fails, the source set
    // aside, its data copied, synced and put in place, the set-aside name removed. The
    // first rename call and the first two removals are the log's.
    const QList<std::pair<QString, QList<int>>> acrossCalls{{u"renameat2"_s, {2, 3, 4, 100}},
                                                            {u"read"_s, {2}},
                                                            {u"fsync"_s, {1}},
                                                            {u"unlink"_s, {3, 100}}};
    for (const auto &[calls, whens] : acrossCalls) {
        for (int when : whens) {
            QTest::addRow("across-%s-%d", qPrintable(calls), when)
                << u"move"_s << kill(calls, when) << QString() << u"disk-to-tmpfs"_s;
        }
    }
    // A whole batch, then an undo killed halfway, then the undo again.
    const QString never = kill(u"kill"_s, 1); // tessaly-cli sends no signals
    for (int when : {1, 60}) {
        QTest::addRow("undo-rename-call-%d", when)
            << u"rename"_s << never << kill(u"renameat2"_s, when) << u"disk"_s;
    }
    const QList<std::pair<QString, QList<int>>> undoCalls{
        {u"renameat2"_s, {1, 2, 3, 50}}, {u"fsync"_s, {1}}, {u"unlink"_s, {1, 50}}};
    for (const auto &[calls, whens] : undoCalls) {
        for (int when : whens) {
            QTest::addRow("undo-across-%s-%d", qPrintable(calls), when)
                << u"move"_s << never << kill(calls, when) << u"disk-to-tmpfs"_s;
        }
    }
}

void TestKilledBatch::undoAfterKill()
{
    QFETCH(QString, mode);
    QFETCH(QString, injection);
    QFETCH(QString, undoInjection);
    QFETCH(QString, layout);

    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    TestDir disk;
    TestDir tmpfs(u"/dev/shm/tst_killedbatch-XXXXXX"_s);
    if (layout != u"disk"_s && !tmpfs.isValid())
        QSKIP("no tmpfs at /dev/shm");
    TestDir &dir = layout == u"tmpfs"_s ? tmpfs : disk;
    const QString destination =
        layout == u"disk-to-tmpfs"_s ? tmpfs.filePath(u"out"_s) : dir.filePath(u"out"_s);

    TestDir appData;
    const QString files = dir.folder(u"files"_s);
    for (int i = 0; i < 250; ++i) {
        // Every tenth name collides with an existing one, so numbering is exercised.
        const QString name = i % 10 == 0 ? u"r%1.txt"_s.arg(i + 1, 3, 10, QLatin1Char('0'))
                                         : u"f%1.txt"_s.arg(i, 3, 10, QLatin1Char('0'));
        dir.file(u"files/"_s + name, u"content of %1"_s.arg(name).toUtf8());
    }
    // Hidden files left behind would show here too.
    const auto trees = [&] {
        auto tree = readFileTree(disk.path());
        if (tmpfs.isValid()) {
            const auto other = readFileTree(tmpfs.path());
            for (auto it = other.cbegin(); it != other.cend(); ++it)
                tree.insert(u"tmpfs/"_s + it.key(), it.value());
        }
        return tree;
    };
    const auto start = trees();

    const QProcessEnvironment environment = environmentWith(appData);
    const auto runTraced = [&](const QString &traceInjection, const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(strace, QStringList{u"-f"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, traceInjection,
                                          QStringLiteral(TESSALY_CLI)} +
                                  arguments);
        process.waitForFinished(60000);
        return process.exitCode();
    };
    const int batchStatus =
        runTraced(injection, {u"--execute"_s, u"--pattern"_s, u"r{counter}"_s, u"--mode"_s, mode,
                              u"--destination"_s, destination, files});
    if (undoInjection.isEmpty()) {
        QVERIFY2(batchStatus != 0, "the batch was meant to be killed");
    } else {
        QCOMPARE(batchStatus, 0);
        QVERIFY2(runTraced(undoInjection, {u"--undo"_s}) != 0, "the undo was meant to be killed");
    }

    QProcess undo;
    undo.setProcessEnvironment(environment);
    undo.start(QStringLiteral(TESSALY_CLI), {u"--undo"_s});
    QVERIFY(undo.waitForFinished(60000));
    QVERIFY2(undo.exitCode() == 0, undo.readAllStandardError().constData());

    // The undo of a copy removes it, so every mode ends where it started.
    const QString changed = differences(trees(), start);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

void TestKilledBatch::secondRunStopsAtOnce_data()
{
    QTest::addColumn<QStringList>("second");

    QTest::newRow("second-batch") << QStringList{u"--execute"_s, u"--pattern"_s, u"s{counter}"_s};
    QTest::newRow("undo-meanwhile") << QStringList{u"--undo"_s};
}

// One batch or undo at a time per log: while a batch is stopped halfway, a second
// run gives up with a message and changes nothing; the first then ends normally and
// its undo restores the start.
void TestKilledBatch::secondRunStopsAtOnce()
{
    QFETCH(QStringList, second);

    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        QSKIP("strace is not installed");

    TestDir dir;
    TestDir appData;
    const QString files = dir.folder(u"files"_s);
    for (int i = 0; i < 40; ++i)
        dir.file(u"files/f%1.txt"_s.arg(i), u"content %1"_s.arg(i).toUtf8());
    const auto start = readFileTree(dir.path());

    const QProcessEnvironment environment = environmentWith(appData);
    QProcess first;
    first.setProcessEnvironment(environment);
    first.setStandardOutputFile(QProcess::nullDevice());
    first.setReadChannel(QProcess::StandardError);
    first.start(strace, {u"-e"_s, u"trace=renameat2"_s, u"-e"_s,
                         u"inject=renameat2:signal=STOP:when=5"_s, QStringLiteral(TESSALY_CLI),
                         u"--execute"_s, u"--pattern"_s, u"r{counter}"_s, files});
    QByteArray trace;
    while (!trace.contains("--- stopped by SIGSTOP ---")) {
        QVERIFY2(first.waitForReadyRead(60000), trace.constData());
        trace += first.readAllStandardError();
    }
    // The stopped program is strace's child; it must not outlive a failed check.
    QFile children(u"/proc/%1/task/%1/children"_s.arg(first.processId()));
    QVERIFY(children.open(QIODevice::ReadOnly));
    const pid_t stopped = pid_t(children.readAll().trimmed().toLongLong());
    QVERIFY(stopped > 0);
    const auto cleanup = qScopeGuard([&] {
        if (first.state() != QProcess::NotRunning)
            ::kill(stopped, SIGKILL);
    });
    const auto halfway = readFileTree(dir.path());
    QVERIFY(halfway != start);

    QProcess other;
    other.setProcessEnvironment(environment);
    other.start(QStringLiteral(TESSALY_CLI),
                second.contains(u"--undo"_s) ? second : second + QStringList{files});
    QVERIFY(other.waitForFinished(60000));
    const QString message = QString::fromUtf8(other.readAllStandardError());
    QCOMPARE(other.exitCode(), 1);
    QVERIFY2(message.startsWith(u"Another rename is running"_s), qPrintable(message));
    QVERIFY2(differences(readFileTree(dir.path()), halfway).isEmpty(),
             "the second run changed files");

    QCOMPARE(::kill(stopped, SIGCONT), 0);
    QVERIFY(first.waitForFinished(60000));
    QCOMPARE(first.exitCode(), 0);

    QProcess undo;
    undo.setProcessEnvironment(environment);
    undo.start(QStringLiteral(TESSALY_CLI), {u"--undo"_s});
    QVERIFY(undo.waitForFinished(60000));
    QVERIFY2(undo.exitCode() == 0, undo.readAllStandardError().constData());
    const QString changed = differences(readFileTree(dir.path()), start);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

// After a power cut the log must be there to read: its header and reserved space
// are on disk, and its name in the folder, before the first file is renamed; its
// records are on disk when the batch ends.
void TestKilledBatch::logOnDiskBeforeFirstOperation()
{
    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        QSKIP("strace is not installed");

    TestDir dir;
    TestDir appData;
    const QString files = dir.folder(u"files"_s);
    for (int i = 0; i < 3; ++i)
        dir.file(u"files/f%1.txt"_s.arg(i));
    const QProcessEnvironment environment = environmentWith(appData);
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.start(strace, {u"-y"_s, u"-o"_s, dir.filePath(u"trace"_s), u"-e"_s,
                         u"trace=fdatasync,fsync,renameat2,rename"_s, QStringLiteral(TESSALY_CLI),
                         u"--execute"_s, u"--pattern"_s, u"r{counter}"_s, files});
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 0);

    QFile traceFile(dir.filePath(u"trace"_s));
    QVERIFY(traceFile.open(QIODevice::ReadOnly));
    const QStringList calls = QString::fromUtf8(traceFile.readAll()).split(u'\n');
    // The first or last call that begins with start, holds part and succeeded.
    const auto find = [&](bool fromEnd, const QString &start, const QString &part) {
        for (qsizetype n = 0; n < calls.size(); ++n) {
            const QString &call = calls.at(fromEnd ? calls.size() - 1 - n : n);
            if (call.startsWith(start) && call.contains(part) && call.endsWith(u"= 0"_s))
                return fromEnd ? calls.size() - 1 - n : n;
        }
        return qsizetype(-1);
    };
    const QString folder = appData.path() + u"/Quenwick/Tessaly"_s;
    const qsizetype logSynced = find(false, u"fdatasync("_s, u"/last_rename.csv"_s);
    const qsizetype logPlaced = find(false, u"rename"_s, u"/last_rename.csv\""_s);
    const qsizetype folderSynced = find(false, u"fsync("_s, u"<"_s + folder + u">"_s);
    const qsizetype newFolderSynced = find(false, u"fsync("_s, u"<"_s + appData.path() + u">"_s);
    const qsizetype firstFile = find(false, u"renameat2("_s, files);
    const qsizetype lastFile = find(true, u"renameat2("_s, files);
    const qsizetype logSyncedAtEnd = find(true, u"fdatasync("_s, u"/last_rename.csv>"_s);
    const QByteArray trace = calls.join(u'\n').toUtf8();
    QVERIFY2(logSynced >= 0 && logSynced < logPlaced, trace.constData());
    QVERIFY2(logPlaced < folderSynced && folderSynced < firstFile, trace.constData());
    QVERIFY2(newFolderSynced >= 0 && newFolderSynced < firstFile, trace.constData());
    QVERIFY2(lastFile < logSyncedAtEnd, trace.constData());
}

void TestKilledBatch::undoAfterKilledChainOrSwap_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("when");
    // Every name held by the next file; pairs of files that swap names through a
    // stepping stone, killed on either side of it.
    for (const QString &fixture : {u"chain"_s, u"swap"_s}) {
        for (int when : {1, 2, 3, 120})
            QTest::addRow("%s-rename-call-%d", qPrintable(fixture), when) << fixture << when;
    }
}

void TestKilledBatch::undoAfterKilledChainOrSwap()
{
    QFETCH(QString, fixture);
    QFETCH(int, when);

    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    TestDir dir;
    TestDir appData;
    QStringList listed; // in name order, which the counter and the names follow
    QStringList names;
    for (int i = 0; i < 250; ++i) {
        const QString name = u"n%1.txt"_s.arg(i, 3, 10, QLatin1Char('0'));
        names.prepend(name.chopped(4));
        listed.append(dir.file(u"files/"_s + name, u"content of %1"_s.arg(name).toUtf8()));
    }
    dir.file(u"names.txt"_s, names.join(u'\n').toUtf8());
    const auto start = readFileTree(dir.path());
    const QStringList options =
        fixture == u"chain"_s
            ? QStringList{u"--pattern"_s, u"n{counter}"_s, u"--counter-start"_s, u"1"_s}
            : QStringList{u"--pattern"_s, u"{list}"_s, u"--name-list"_s,
                          dir.filePath(u"names.txt"_s)};

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"APPDATA"_s, appData.path());
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.setStandardOutputFile(QProcess::nullDevice());
    batch.start(strace, QStringList{u"-f"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s,
                                    u"inject=renameat2:signal=KILL:when=%1"_s.arg(when),
                                    QStringLiteral(TESSALY_CLI), u"--execute"_s} +
                            options + listed);
    QVERIFY(batch.waitForFinished(60000));
    QVERIFY2(batch.exitCode() != 0, "the batch was meant to be killed");

    QProcess undo;
    undo.setProcessEnvironment(environment);
    undo.start(QStringLiteral(TESSALY_CLI), {u"--undo"_s});
    QVERIFY(undo.waitForFinished(60000));
    QVERIFY2(undo.exitCode() == 0, undo.readAllStandardError().constData());
    const QString changed = differences(readFileTree(dir.path()), start);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

namespace {

// One run of tessaly-cli in a race, or something another program does meanwhile.
struct Run
{
    QStringList arguments;  // a run of tessaly-cli; empty for an action
    QString injection = {}; // strace's, when the run is traced
    int startAfterMs = 0;   // after the previous run or action started
    QString makeFile = {};  // the action: a file (or, ending in "/", a folder) made
    int exitCode = 0;       // -1: not checked
    QString stderrHas = {}; // a text the run's messages hold
};

} // namespace

Q_DECLARE_METATYPE(QList<Run>)

void TestKilledBatch::racesAndFaults_data()
{
    QTest::addColumn<QList<Run>>("runs");
    QTest::addColumn<FileTree>("after"); // files made meanwhile included; undo restores the rest

    const QString delayFirstSync = u"inject=fdatasync:delay_enter=1000000:when=1"_s;
    const QStringList swap{u"-x"_s,    u"--pattern"_s,   u"{list}"_s,     u"--name-list"_s,
                           u"names"_s, u"files/a.txt"_s, u"files/b.txt"_s};
    const FileTree swapped{{u"files/a.txt"_s, u"bb"_s}, {u"files/b.txt"_s, u"a"_s}};
    const auto with = [](FileTree tree, const QString &path, const QString &content) {
        tree.insert(path, content);
        return tree;
    };

    // A file or folder that appears at a stepping stone is never ours to move: the swap
    // takes the next stone and carries it into the second step.
    QTest::newRow("stone-taken-by-a-file")
        << QList<Run>{{swap, delayFirstSync}, {{}, {}, 400, u"files/.tessaly-1"_s}}
        << with(swapped, u"files/.tessaly-1"_s, u"intruder"_s);
    QTest::newRow("stone-taken-by-a-folder")
        << QList<Run>{{swap, delayFirstSync}, {{}, {}, 400, u"files/.tessaly-1/"_s}}
        << with(swapped, u"files/.tessaly-1/inside"_s, u"intruder"_s);
    // A rename the system reports done that did not happen is found when the batch reads
    // its folder back.
    QTest::newRow("rename-reported-but-not-made")
        << QList<Run>{{{u"-x"_s, u"--pattern"_s, u"x_{name}"_s, u"files/a.txt"_s, u"files/b.txt"_s},
                       u"inject=renameat2:retval=0:when=2"_s,
                       0,
                       {},
                       1,
                       u"did not get their new names although the system reported success"_s}}
        << FileTree{{u"files/a.txt"_s, u"a"_s}, {u"files/x_b.txt"_s, u"bb"_s}};
    // The second batch waits for the first one's lock and then plans what it finds.
    QTest::newRow("second-batch-plans-after-the-wait")
        << QList<Run>{{swap, delayFirstSync},
                      {{u"-x"_s, u"--pattern"_s, u"{name}_{size}"_s, u"files"_s}, {}, 300}}
        << FileTree{{u"files/a_2.txt"_s, u"bb"_s}, {u"files/b_1.txt"_s, u"a"_s}};
    // A killed swap leaves a file on a stepping stone: a new batch would lose the way
    // back, so it refuses until the undo has run.
    QTest::newRow("new-batch-refused-after-a-killed-swap")
        << QList<Run>{{swap, u"inject=renameat2:signal=KILL:when=3"_s, 0, {}, -1},
                      {{u"-x"_s, u"--pattern"_s, u"new_{name}"_s, u"files"_s},
                       {},
                       0,
                       {},
                       1,
                       u"The last batch did not finish"_s}}
        << FileTree{{u"files/.tessaly-1"_s, u"a"_s}, {u"files/b.txt"_s, u"bb"_s}};
    // Overwrite sends the file in the way to the Trash with its record written first:
    // killed before or after that move, the undo brings it back.
    const QStringList overwrite{u"-x"_s,        u"--conflict"_s, u"overwrite"_s,
                                u"--pattern"_s, u"b"_s,          u"files/a.txt"_s};
    for (int when : {2, 3}) {
        QTest::addRow("killed-at-rename-%d-of-an-overwrite", when)
            << QList<Run>{{overwrite,
                           u"inject=renameat2:signal=KILL:when=%1"_s.arg(when),
                           0,
                           {},
                           -1}}
            << FileTree();
    }
}

void TestKilledBatch::racesAndFaults()
{
    QFETCH(QList<Run>, runs);
    QFETCH(FileTree, after);

    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    TestDir dir;
    TestDir appData;
    dir.file(u"files/a.txt"_s, "a");
    dir.file(u"files/b.txt"_s, "bb");
    dir.file(u"names"_s, "b\na\n");
    const auto tree = [&] {
        FileTree files = readFileTree(dir.path());
        files.remove(u"names"_s);
        return files;
    };
    const FileTree start = tree();
    QProcessEnvironment environment = environmentWith(appData);
    environment.insert(u"XDG_DATA_HOME"_s, appData.filePath(u"data"_s)); // a Trash of its own

    std::vector<std::unique_ptr<QProcess>> started;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const Run &run = runs.at(i);
        QThread::msleep(run.startAfterMs);
        if (run.arguments.isEmpty()) {
            if (run.makeFile.endsWith(u'/'))
                dir.file(run.makeFile + u"inside"_s, "intruder");
            else
                dir.file(run.makeFile, "intruder");
            continue;
        }
        auto &process = started.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(dir.path());
        process->setStandardOutputFile(QProcess::nullDevice());
        if (run.injection.isEmpty())
            process->start(QStringLiteral(TESSALY_CLI), run.arguments);
        else
            process->start(strace, QStringList{u"-f"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s,
                                               run.injection, QStringLiteral(TESSALY_CLI)} +
                                       run.arguments);
        QVERIFY(process->waitForStarted());
        if (i + 1 < runs.size() && runs.at(i + 1).startAfterMs > 0)
            continue; // the next one races this one
        QVERIFY(process->waitForFinished(60000));
    }
    for (qsizetype i = 0, r = 0; i < runs.size(); ++i) {
        if (runs.at(i).arguments.isEmpty())
            continue;
        QProcess &process = *started.at(r++);
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(60000));
        const QString messages = QString::fromUtf8(process.readAllStandardError());
        if (runs.at(i).exitCode >= 0)
            QVERIFY2(process.exitCode() == runs.at(i).exitCode, qPrintable(messages));
        QVERIFY2(messages.contains(runs.at(i).stderrHas), qPrintable(messages));
    }
    if (!after.isEmpty()) {
        const QString changed = differences(tree(), after);
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // Whatever happened, the undo brings back the start, and what others made stays.
    QProcess undo;
    undo.setProcessEnvironment(environment);
    undo.start(QStringLiteral(TESSALY_CLI), {u"--undo"_s});
    QVERIFY(undo.waitForFinished(60000));
    FileTree expected = start;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (it.value() == u"intruder"_s)
            expected.insert(it.key(), it.value());
    }
    // Two batches that both ran: the undo takes back the second one only.
    if (runs.size() > 1 && runs.at(1).arguments.contains(u"{name}_{size}"_s))
        expected = FileTree{{u"files/a.txt"_s, u"bb"_s}, {u"files/b.txt"_s, u"a"_s}};
    const QString changed = differences(tree(), expected);
    QVERIFY2(changed.isEmpty(),
             qPrintable(changed + u" / "_s + QString::fromUtf8(undo.readAllStandardError())));
    const QDir trash(appData.filePath(u"data/Trash/files"_s));
    QVERIFY2(!trash.exists() || trash.isEmpty(), "a file stayed in the Trash");
}

QTEST_GUILESS_MAIN(TestKilledBatch)
#include "tst_killedbatch.moc"
