#include "batch/batchpaths.h"
#include "batch/filesystemview.h"
#include "batch/history.h"
#include "batch/renamejob.h"
#include "batch/undo.h"
#include "batch/undolog.h"
#include "engine/tessalyerror.h"
#include "testsupport/filetree.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/testdir.h"

#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Batches by their place in the order they ran: 0 is the first.
struct UndoStep
{
    int batch = -1; // -1: the newest batch not undone
    FileTree after; // the files of every folder afterwards
};

struct HistoryCase
{
    QList<UndoStep> undos;
};

} // namespace

Q_DECLARE_METATYPE(HistoryCase)

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void undoesAnyBatchInAnyOrder_data();
    void undoesAnyBatchInAnyOrder();
    void refusesFilesALaterBatchMoved();
    void plansBeforeItActs_data();
    void plansBeforeItActs();
    void redoesAnUndoneBatch_data();
    void redoesAnUndoneBatch();
    void keepsTheLogAndTheJournalOneFile();
    void trimsOldestFirst();
    void adoptsAnOlderLog();
    void dropsABatchKilledBeforeItsFirstRecord();

private:
    // Runs a batch of the files (relative paths) with options; returns its id.
    QString runBatch(const QStringList &files, RenameOptions options,
                     const QStringList &names = {});
    RenameJob::Result undo(const QString &id, UndoPlan *plan = nullptr);
    QString rel(const QString &path) const { return path.mid(m_root->path().size() + 1); }

    std::unique_ptr<TestDir> m_root;
    std::unique_ptr<TestDir> m_appData;
    std::unique_ptr<TestDir> m_trash;
    RecordingMessages m_messages;
    SystemFileOperations m_files;
};

void TestHistory::init()
{
    m_root = std::make_unique<TestDir>();
    m_appData = std::make_unique<TestDir>();
    qputenv("APPDATA", m_appData->path().toUtf8());
    m_trash = std::make_unique<TestDir>();
    qputenv("XDG_DATA_HOME", m_trash->path().toUtf8());
    m_messages = RecordingMessages();
}

void TestHistory::cleanup()
{
    m_root.reset();
    m_appData.reset();
    m_trash.reset();
}

QString TestHistory::runBatch(const QStringList &files, RenameOptions options,
                              const QStringList &names)
{
    RenameItems items;
    for (const QString &file : files)
        items.append(makeRenameItem(m_root->filePath(file)));
    if (!options.destination.isEmpty())
        options.destination = m_root->filePath(options.destination);
    RenameJob job(std::move(items), options, m_messages);
    job.setFileOperations(&m_files);
    job.setPreviewFirst(names);
    if (job.run() != RenameJob::Result::Done)
        return {};
    const QList<HistoryEntry> history = readHistory();
    return history.isEmpty() ? QString() : history.first().id;
}

RenameJob::Result TestHistory::undo(const QString &id, UndoPlan *plan)
{
    RenameJob job(m_messages);
    job.setFileOperations(&m_files);
    job.setUndoBatch(id);
    const RenameJob::Result result = job.run();
    if (plan)
        *plan = job.undoPlan();
    return result;
}

// Three batches on three folders, undone in several orders: each undo brings back its
// own batch's files and no other.
void TestHistory::undoesAnyBatchInAnyOrder_data()
{
    QTest::addColumn<HistoryCase>("historyCase");
    const FileTree done{{u"a/a1-x.txt"_s, u"a1"_s}, {u"a/a2-x.txt"_s, u"a2"_s},
                        {u"b/b1-y.txt"_s, u"b1"_s}, {u"b/b2-y.txt"_s, u"b2"_s},
                        {u"c/c1-z.txt"_s, u"c1"_s}, {u"c/c2-z.txt"_s, u"c2"_s}};
    FileTree aBack = done;
    aBack.remove(u"a/a1-x.txt"_s);
    aBack.remove(u"a/a2-x.txt"_s);
    aBack.insert(u"a/a1.txt"_s, u"a1"_s);
    aBack.insert(u"a/a2.txt"_s, u"a2"_s);
    FileTree abBack = aBack;
    abBack.remove(u"b/b1-y.txt"_s);
    abBack.remove(u"b/b2-y.txt"_s);
    abBack.insert(u"b/b1.txt"_s, u"b1"_s);
    abBack.insert(u"b/b2.txt"_s, u"b2"_s);
    FileTree start = abBack;
    start.remove(u"c/c1-z.txt"_s);
    start.remove(u"c/c2-z.txt"_s);
    start.insert(u"c/c1.txt"_s, u"c1"_s);
    start.insert(u"c/c2.txt"_s, u"c2"_s);
    FileTree cBack = done;
    cBack.remove(u"c/c1-z.txt"_s);
    cBack.remove(u"c/c2-z.txt"_s);
    cBack.insert(u"c/c1.txt"_s, u"c1"_s);
    cBack.insert(u"c/c2.txt"_s, u"c2"_s);
    FileTree bBack = done;
    bBack.remove(u"b/b1-y.txt"_s);
    bBack.remove(u"b/b2-y.txt"_s);
    bBack.insert(u"b/b1.txt"_s, u"b1"_s);
    bBack.insert(u"b/b2.txt"_s, u"b2"_s);
    FileTree bcBack = cBack;
    bcBack.remove(u"b/b1-y.txt"_s);
    bcBack.remove(u"b/b2-y.txt"_s);
    bcBack.insert(u"b/b1.txt"_s, u"b1"_s);
    bcBack.insert(u"b/b2.txt"_s, u"b2"_s);

    QTest::newRow("newest-first") << HistoryCase{{{-1, cBack}, {-1, bcBack}, {-1, start}}};
    QTest::newRow("oldest-first") << HistoryCase{{{0, aBack}, {1, abBack}, {2, start}}};
    QTest::newRow("middle-then-newest-not-undone")
        << HistoryCase{{{1, bBack}, {-1, bcBack}, {-1, start}}};
}

void TestHistory::undoesAnyBatchInAnyOrder()
{
    QFETCH(HistoryCase, historyCase);
    QStringList ids;
    for (const QString &folder : {u"a"_s, u"b"_s, u"c"_s}) {
        m_root->file(folder + u'/' + folder + u"1.txt"_s, (folder + u'1').toUtf8());
        m_root->file(folder + u'/' + folder + u"2.txt"_s, (folder + u'2').toUtf8());
        RenameOptions options;
        options.pattern = u"{name}-"_s + QChar(char16_t(u'x' + ids.size()));
        ids.append(runBatch(
            {folder + u'/' + folder + u"1.txt"_s, folder + u'/' + folder + u"2.txt"_s}, options));
        QVERIFY(!ids.last().isEmpty());
    }
    QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()).size(), 3);

    for (const UndoStep &step : std::as_const(historyCase.undos)) {
        QCOMPARE(undo(step.batch < 0 ? QString() : ids.at(step.batch)), RenameJob::Result::Done);
        QCOMPARE(m_messages.texts().back(), u"Undo completed for the last rename operation."_s);
        QCOMPARE(readFileTree(m_root->path()), step.after);
    }
    // Every batch is on record as undone, newest first.
    const QList<HistoryEntry> history = readHistory();
    QCOMPARE(history.size(), 3);
    for (qsizetype i = 0; i < 3; ++i) {
        QCOMPARE(history.at(i).id, ids.at(2 - i));
        QCOMPARE(history.at(i).state, HistoryState::Undone);
        QCOMPARE(history.at(i).files, 2);
        QCOMPARE(history.at(i).operation, u"rename"_s);
        QCOMPARE(history.at(i).folder, m_root->filePath(QString(QChar(char16_t(u'c' - i)))));
    }
    QVERIFY(!QFile::exists(undoLogPath()));
    QCOMPARE(undo({}), RenameJob::Result::Done);
    QCOMPARE(m_messages.texts().back(), noUndoLogText());
}

// A file that a later batch moved on is left where it is, with that batch named; the
// rest of the older batch comes back. Once the later batch is undone, so can the rest.
void TestHistory::refusesFilesALaterBatchMoved()
{
    m_root->file(u"a.txt"_s, "a");
    m_root->file(u"b.txt"_s, "b");
    RenameOptions options;
    options.pattern = u"{name}-1"_s;
    const QString first = runBatch({u"a.txt"_s, u"b.txt"_s}, options);
    options.pattern = u"{name}-2"_s;
    const QString second = runBatch({u"a-1.txt"_s}, options);
    // A copy leaves its source where the first batch put it.
    options.batchMode = BatchMode::CopyToFolder;
    options.destination = u"copies"_s;
    QVERIFY(!runBatch({u"b-1.txt"_s}, options).isEmpty());
    QFile::remove(m_root->filePath(u"copies/b-1-2.txt"_s));
    QCOMPARE(readFileTree(m_root->path()),
             (FileTree{{u"a-1-2.txt"_s, u"a"_s}, {u"b-1.txt"_s, u"b"_s}}));

    UndoPlan plan;
    QCOMPARE(undo(first, &plan), RenameJob::Result::Failed);
    QCOMPARE(plan.rows.size(), 2);
    QCOMPARE(plan.rows.at(0).status, UndoStatus::Changed);
    QCOMPARE(plan.rows.at(0).laterBatch, second);
    QCOMPARE(plan.rows.at(1).status, UndoStatus::Restore);
    QCOMPARE(m_messages.texts().back(),
             u"1 of 2 files could not be brought back: their files are gone or another file has "
             u"their old name.\n1 of them were moved again by a later batch: undo %1 first."_s.arg(
                 second));
    QCOMPARE(readFileTree(m_root->path()),
             (FileTree{{u"a-1-2.txt"_s, u"a"_s}, {u"b.txt"_s, u"b"_s}}));
    QCOMPARE(findHistoryEntry(first)->state, HistoryState::PartlyUndone);
    QCOMPARE(findHistoryEntry(first)->restored, 1);

    QCOMPARE(undo(second), RenameJob::Result::Done);
    QCOMPARE(undo(first, &plan), RenameJob::Result::Done);
    QCOMPARE(plan.rows.at(1).status, UndoStatus::Undone);
    QCOMPARE(readFileTree(m_root->path()), (FileTree{{u"a.txt"_s, u"a"_s}, {u"b.txt"_s, u"b"_s}}));
    QCOMPARE(findHistoryEntry(first)->state, HistoryState::Undone);
}

// What the plan says of each file, before anything moves, and that the undo does only that.
void TestHistory::plansBeforeItActs_data()
{
    QTest::addColumn<QStringList>("names"); // for {list}: a.txt, b.txt and c.txt get them
    QTest::addColumn<std::function<void(TestDir &)>>("change");
    QTest::addColumn<QStringList>("statuses"); // in the order the batch moved the files
    QTest::addColumn<FileTree>("after");
    QTest::addColumn<QString>("question");

    using Change = std::function<void(TestDir &)>;
    const QStringList prefixed{u"n_a"_s, u"n_b"_s, u"n_c"_s};
    QTest::newRow("all-restored") << prefixed << Change([](TestDir &) {})
                                  << QStringList{u"restore"_s, u"restore"_s, u"restore"_s}
                                  << FileTree{{u"a.txt"_s, u"a"_s},
                                              {u"b.txt"_s, u"b"_s},
                                              {u"c.txt"_s, u"c"_s}}
                                  << u"Restore 3 files?"_s;
    QTest::newRow("gone-occupied-changed")
        << prefixed << Change([](TestDir &dir) {
               QFile::remove(dir.filePath(u"n_a.txt"_s));
               dir.file(u"b.txt"_s, "new b");
               QFile::remove(dir.filePath(u"n_c.txt"_s));
               dir.folder(u"n_c.txt"_s);
           })
        << QStringList{u"gone"_s, u"occupied"_s, u"changed"_s}
        << FileTree{{u"b.txt"_s, u"new b"_s}, {u"n_b.txt"_s, u"b"_s}}
        << u"Restore 0 files? 3 cannot be restored: 1 gone, 1 changed since, 1 old name taken."_s;
    QTest::newRow("old-name-taken-by-a-file-moved-by-hand")
        << prefixed << Change([](TestDir &dir) {
               QFile::rename(dir.filePath(u"n_a.txt"_s), dir.filePath(u"b.txt"_s));
           })
        << QStringList{u"gone"_s, u"occupied"_s, u"restore"_s}
        << FileTree{{u"b.txt"_s, u"a"_s}, {u"n_b.txt"_s, u"b"_s}, {u"c.txt"_s, u"c"_s}}
        << u"Restore 1 files? 2 cannot be restored: 1 gone, 1 old name taken."_s;
    // A chain ran from its free end (c to d, b to c, a to b): each old name is held by the
    // next file back, so a new file at the first name holds them all.
    QTest::newRow("chain-blocked-at-its-start")
        << QStringList{u"b"_s, u"c"_s, u"d"_s}
        << Change([](TestDir &dir) { dir.file(u"a.txt"_s, "new a"); })
        << QStringList{u"occupied"_s, u"occupied"_s, u"occupied"_s}
        << FileTree{{u"a.txt"_s, u"new a"_s},
                    {u"b.txt"_s, u"a"_s},
                    {u"c.txt"_s, u"b"_s},
                    {u"d.txt"_s, u"c"_s}}
        << u"Restore 0 files? 3 cannot be restored: 3 old name taken."_s;
    QTest::newRow("chain-with-its-end-gone")
        << QStringList{u"b"_s, u"c"_s, u"d"_s}
        << Change([](TestDir &dir) { QFile::remove(dir.filePath(u"d.txt"_s)); })
        << QStringList{u"gone"_s, u"restore"_s, u"restore"_s}
        << FileTree{{u"a.txt"_s, u"a"_s}, {u"b.txt"_s, u"b"_s}}
        << u"Restore 2 files? 1 cannot be restored: 1 gone."_s;
}

void TestHistory::plansBeforeItActs()
{
    QFETCH(QStringList, names);
    QFETCH(std::function<void(TestDir &)>, change);
    QFETCH(QStringList, statuses);
    QFETCH(FileTree, after);
    QFETCH(QString, question);

    for (const char *name : {"a", "b", "c"})
        m_root->file(QLatin1StringView(name) + u".txt"_s, name);
    RenameOptions options;
    options.pattern = u"{list}"_s;
    QVERIFY(!runBatch({u"a.txt"_s, u"b.txt"_s, u"c.txt"_s}, options, names).isEmpty());
    change(*m_root);
    const FileTree before = readFileTree(m_root->path());

    SystemFileSystemView view;
    const UndoPlan plan = planUndo({}, m_files, view, false);
    QStringList planned;
    for (const UndoPlanRow &row : plan.rows)
        planned.append(undoStatusWord(row.status));
    QCOMPARE(planned, statuses);
    QCOMPARE(undoPlanQuestion(plan), question);
    QCOMPARE(readFileTree(m_root->path()), before);

    RenameJob job(m_messages);
    job.setFileOperations(&m_files);
    job.setAgreedUndoPlan(plan);
    job.run();
    QCOMPARE(readFileTree(m_root->path()), after);
}

// An undone batch is carried out again as a new batch of its own, which can be undone.
void TestHistory::redoesAnUndoneBatch_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("names"); // for {list}
    QTest::addColumn<FileTree>("done");

    QTest::newRow("swap-over-a-stepping-stone")
        << int(BatchMode::RenameInPlace) << QStringList{u"b"_s, u"a"_s}
        << FileTree{{u"a.txt"_s, u"b"_s}, {u"b.txt"_s, u"a"_s}};
    QTest::newRow("move-into-a-folder")
        << int(BatchMode::MoveToFolder) << QStringList{u"x"_s, u"y"_s}
        << FileTree{{u"out/x.txt"_s, u"a"_s}, {u"out/y.txt"_s, u"b"_s}};
    QTest::newRow("copy-into-a-folder")
        << int(BatchMode::CopyToFolder) << QStringList{u"x"_s, u"y"_s}
        << FileTree{{u"a.txt"_s, u"a"_s},
                    {u"b.txt"_s, u"b"_s},
                    {u"out/x.txt"_s, u"a"_s},
                    {u"out/y.txt"_s, u"b"_s}};
}

void TestHistory::redoesAnUndoneBatch()
{
    QFETCH(int, mode);
    QFETCH(QStringList, names);
    QFETCH(FileTree, done);

    m_root->file(u"a.txt"_s, "a");
    m_root->file(u"b.txt"_s, "b");
    const FileTree start = readFileTree(m_root->path());
    RenameOptions options;
    options.pattern = u"{list}"_s;
    options.batchMode = mode;
    if (mode != BatchMode::RenameInPlace)
        options.destination = u"out"_s;
    const QString id = runBatch({u"a.txt"_s, u"b.txt"_s}, options, names);
    QCOMPARE(readFileTree(m_root->path()), done);
    QCOMPARE(undo(id), RenameJob::Result::Done);
    QCOMPARE(readFileTree(m_root->path()), start);

    // Not undone: nothing to carry out again.
    QVERIFY_THROWS_EXCEPTION(TessalyError, redoBatchOf(u"no-such-batch"_s));

    RedoBatch redo = redoBatchOf(id);
    RenameJob job(std::move(redo.items), redo.options, m_messages);
    job.setFileOperations(&m_files);
    job.setRedoOf(id);
    QCOMPARE(job.run(), RenameJob::Result::Done);
    QCOMPARE(readFileTree(m_root->path()), done);
    const QList<HistoryEntry> history = readHistory();
    QCOMPARE(history.size(), 2);
    QCOMPARE(history.first().redoOf, id);
    QCOMPARE(history.first().files, 2);
    QCOMPARE(history.at(1).state, HistoryState::Undone);
    try {
        redoBatchOf(history.first().id);
        QFAIL("a batch that is not undone was carried out again");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), u"Batch %1 is not undone."_s.arg(history.first().id));
    }

    QCOMPARE(undo({}), RenameJob::Result::Done);
    QCOMPARE(readFileTree(m_root->path()), start);
}

// People and scripts read the undo log; it is the newest batch's journal, byte for byte.
void TestHistory::keepsTheLogAndTheJournalOneFile()
{
    m_root->file(u"a.txt"_s, "a");
    RenameOptions options;
    options.pattern = u"b"_s;
    const QString id = runBatch({u"a.txt"_s}, options);
    struct stat log
    {};
    struct stat journal
    {};
    QCOMPARE(::stat(QFile::encodeName(undoLogPath()).constData(), &log), 0);
    QCOMPARE(::stat(QFile::encodeName(historyJournalPath(id)).constData(), &journal), 0);
    QCOMPARE(log.st_ino, journal.st_ino);
    QFile file(undoLogPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "\xEF\xBB\xBFOriginal,New\r\n\"" +
                                 m_root->filePath(u"a.txt"_s).toUtf8() + "\",\"" +
                                 m_root->filePath(u"b.txt"_s).toUtf8() + "\"\r\n");

    // A batch that did nothing leaves no entry and keeps the log.
    options.pattern = u"{name}"_s;
    runBatch({u"b.txt"_s}, options);
    QCOMPARE(readHistory().size(), 1);
    QVERIFY(QFile::exists(undoLogPath()));
}

void TestHistory::trimsOldestFirst()
{
    QStringList ids;
    for (int i = 0; i < 5; ++i) {
        const QString name = u"f%1.txt"_s.arg(i);
        m_root->file(name, "x");
        RenameOptions options;
        options.pattern = u"g%1"_s.arg(i);
        ids.append(runBatch({name}, options));
    }
    QCOMPARE(readHistory().size(), 5);
    const auto keptIds = [] {
        QStringList kept;
        for (const HistoryEntry &entry : readHistory())
            kept.prepend(entry.id);
        return kept;
    };
    trimHistory(3, historyMaxBytes);
    QCOMPARE(keptIds(), ids.mid(2));
    QVERIFY(!QFile::exists(historyJournalPath(ids.at(1))));
    // Over the size limit, every batch but the newest goes.
    trimHistory(historyKeptBatches, 1);
    QCOMPARE(keptIds(), ids.mid(4));
    QVERIFY(QFile::exists(historyJournalPath(ids.at(4))));
    QVERIFY(QFile::exists(undoLogPath()));
}

// A log written before batches were kept joins the history as its one entry, and is
// undone as before.
void TestHistory::adoptsAnOlderLog()
{
    m_root->file(u"new-a.txt"_s, "a");
    m_root->file(u"new-b.txt"_s, "b");
    QDir().mkpath(dataFolder());
    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::WriteOnly));
    const QByteArray root = m_root->path().toUtf8();
    log.write("\xEF\xBB\xBFOriginal,New\r\n\"" + root + "/a.txt\",\"" + root +
              "/new-a.txt\"\r\n\"" + root + "/b.txt\",\"" + root + "/new-b.txt\"\r\n");
    log.close();

    const QList<HistoryEntry> history = readHistory();
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().files, 2);
    QCOMPARE(history.first().state, HistoryState::Done);
    QCOMPARE(history.first().folder, m_root->path());
    QCOMPARE(undo({}), RenameJob::Result::Done);
    QCOMPARE(readFileTree(m_root->path()), (FileTree{{u"a.txt"_s, u"a"_s}, {u"b.txt"_s, u"b"_s}}));
    QVERIFY(!QFile::exists(undoLogPath()));
    QCOMPARE(readHistory().first().state, HistoryState::Undone);
}

// A batch killed before its first record did nothing: it is not kept.
void TestHistory::dropsABatchKilledBeforeItsFirstRecord()
{
    m_root->file(u"a.txt"_s, "a");
    RenameOptions options;
    options.pattern = u"b"_s;
    const QString id = runBatch({u"a.txt"_s}, options);
    HistoryEntry killed;
    QVERIFY(reserveHistoryEntry(killed));
    QFile journal(historyJournalPath(killed.id));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write("\xEF\xBB\xBFOriginal;New\r\n" + QByteArray(4096, '\0'));
    journal.close();

    const QList<HistoryEntry> history = readHistory();
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().id, id);
    QVERIFY(!QFile::exists(historyJournalPath(killed.id)));
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
