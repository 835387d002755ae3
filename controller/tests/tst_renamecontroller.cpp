#include "batch/batchpaths.h"
#include "controller/renamecontroller.h"
#include "testsupport/gatedfileoperations.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/testdir.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Answers as RecordingMessages does, after doing whatever the test does while the user
// reads the first question.
class AskingMessages : public RecordingMessages
{
public:
    bool confirm(const QString &text) override
    {
        if (whileAsking)
            std::exchange(whileAsking, {})();
        return RecordingMessages::confirm(text);
    }
    std::function<void()> whileAsking;
};

} // namespace

// The window's use cases without a window: what a front end sees of adding, planning,
// the batch and the undo through the controller's commands and signals.
class TestRenameController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void addsFoldersInNaturalOrder();
    void plansRunsAndUndoes();
    void planChangedMeanwhileIsAskedAgain();
    void undoAsksFirst_data();
    void undoAsksFirst();
    void stopsBetweenFiles();
    void planningReportsErrors();
    void livePreviewOfAnOlderListIsDropped();

private:
    QStringList names() const;
    // What the list shows in a column, row by row.
    QStringList column(int column) const;
    // Renames every listed file to x_NAME through the controller.
    void renameAll();
    // Waits for the running work to end and returns its messages.
    QList<PendingMessage> finish();

    std::unique_ptr<TestDir> m_appData;
    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<RenameController> m_controller;
};

void TestRenameController::init()
{
    m_appData = std::make_unique<TestDir>();
    qputenv("APPDATA", m_appData->path().toUtf8());
    m_dir = std::make_unique<TestDir>();
    m_controller = std::make_unique<RenameController>();
}

QStringList TestRenameController::names() const
{
    QStringList result;
    for (const RenameItem &item : m_controller->fileList().items())
        result.append(item.fileName);
    return result;
}

QStringList TestRenameController::column(int column) const
{
    QStringList texts;
    const FileListModel &list = m_controller->fileList();
    for (int row = 0; row < list.count(); ++row)
        texts.append(list.index(row, column).data().toString());
    return texts;
}

void TestRenameController::renameAll()
{
    RenameOptions options;
    options.pattern = u"x_{name}"_s;
    m_controller->startPlanning(options);
    finish();
    m_controller->startBatch(m_controller->plan(), options);
    QCOMPARE(finish().size(), 1);
}

QList<PendingMessage> TestRenameController::finish()
{
    QSignalSpy finished(m_controller.get(), &RenameController::workFinished);
    if (m_controller->isBusy())
        [&] { QVERIFY(finished.wait(20000)); }();
    return finished.isEmpty() ? QList<PendingMessage>()
                              : finished.back().at(0).value<QList<PendingMessage>>();
}

void TestRenameController::addsFoldersInNaturalOrder()
{
    for (const QString &name :
         {u"IMG_10.jpg"_s, u"IMG_2.jpg"_s, u"img_1.jpg"_s, u"sub/IMG_3.jpg"_s})
        m_dir->file(name);
    QSignalSpy busy(m_controller.get(), &RenameController::busyChanged);
    m_controller->addPaths({m_dir->path(), m_dir->filePath(u"gone.jpg"_s)}, false);
    QVERIFY(m_controller->isBusy());
    QVERIFY(finish().isEmpty());
    QCOMPARE(names(), (QStringList{u"img_1.jpg"_s, u"IMG_2.jpg"_s, u"IMG_10.jpg"_s}));
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy.at(1).at(0).toBool(), false);

    m_controller->fileList().clear();
    m_controller->addPaths({m_dir->path()}, true);
    finish();
    QCOMPARE(names().size(), 4);
}

void TestRenameController::plansRunsAndUndoes()
{
    const QString a = m_dir->file(u"a.txt"_s, "a");
    const QString b = m_dir->file(u"b.txt"_s, "b");
    m_dir->file(u"x_b.txt"_s, "taken");
    m_controller->addPaths({a, b}, false);
    finish();

    RenameOptions options;
    options.pattern = u"x_{name}"_s;
    QSignalSpy planned(m_controller.get(), &RenameController::planned);
    m_controller->startPlanning(options);
    QVERIFY(finish().isEmpty());
    QCOMPARE(planned.size(), 1);
    QCOMPARE(planned.at(0).at(0).toBool(), true);
    const RenamePlan plan = m_controller->plan();
    QCOMPARE(plan.rows.size(), 2);
    QCOMPARE(plan.rows.at(1).status, PlanStatus::Numbered);
    QVERIFY(m_controller->fileList().hasPlan());

    QSignalSpy progress(m_controller.get(), &RenameController::progress);
    QSignalSpy moved(m_controller.get(), &RenameController::filesMoved);
    m_controller->startBatch(plan, options);
    const QList<PendingMessage> done = finish();
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.at(0).text, batchCompletedText());
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.back().at(0).value<qsizetype>(), 2);
    QCOMPARE(progress.back().at(1).value<qsizetype>(), 2);
    QCOMPARE(names(), (QStringList{u"x_a.txt"_s, u"x_b (1).txt"_s}));
    QVERIFY(QFile::exists(m_dir->filePath(u"x_b (1).txt"_s)));
    QCOMPARE(moved.size(), 1); // the window previews the names the files have now

    RecordingMessages asker;
    m_controller->startUndo(asker);
    QCOMPARE(finish().back().text, u"Undo completed for the last rename operation."_s);
    QCOMPARE(asker.texts(), QStringList{u"Restore 2 files?"_s});
    QVERIFY(QFile::exists(a) && QFile::exists(b));
    QCOMPARE(moved.size(), 2);
    // The rows show the files under the names they have again, with no new name yet.
    QCOMPARE(names(), (QStringList{u"a.txt"_s, u"b.txt"_s}));
    QCOMPARE(column(FileListModel::NewNameColumn), (QStringList{QString(), QString()}));
    QCOMPARE(column(FileListModel::SizeColumn), QStringList(2, FileListModel::formatSize(1)));
    QVERIFY(m_controller->fileList().isListed(a));
}

// Files change between the question and the batch: the batch plans again under the log's
// lock, touches nothing when the outcome differs, and the window gets the new plan to ask
// about.
void TestRenameController::planChangedMeanwhileIsAskedAgain()
{
    const QString a = m_dir->file(u"a.txt"_s, "a");
    m_controller->addPaths({a}, false);
    finish();
    RenameOptions options;
    options.pattern = u"x_{name}"_s;
    m_controller->startPlanning(options);
    finish();
    const RenamePlan agreed = m_controller->plan();
    QCOMPARE(agreed.rows.at(0).status, PlanStatus::Rename);

    m_dir->file(u"x_a.txt"_s, "made meanwhile");
    QSignalSpy planned(m_controller.get(), &RenameController::planned);
    QSignalSpy moved(m_controller.get(), &RenameController::filesMoved);
    m_controller->startBatch(agreed, options);
    QVERIFY(finish().isEmpty());
    QVERIFY(QFile::exists(a));
    QVERIFY(moved.isEmpty());
    QCOMPARE(planned.size(), 1);
    QCOMPARE(planned.at(0).at(0).toBool(), true);
    QCOMPARE(m_controller->plan().rows.at(0).status, PlanStatus::Numbered);

    // Agreed to as it is now, it runs.
    m_controller->startBatch(m_controller->plan(), options);
    QCOMPARE(finish().size(), 1);
    QCOMPARE(names(), QStringList{u"x_a (1).txt"_s});
}

void TestRenameController::undoAsksFirst_data()
{
    QTest::addColumn<bool>("batch");             // a batch renamed a.txt and b.txt first
    QTest::addColumn<QString>("goneBefore");     // a file removed before Undo
    QTest::addColumn<QString>("goneWhileAsked"); // removed while the question is open
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QStringList>("said"); // questions, then the messages at the end
    QTest::addColumn<QStringList>("listed");

    const QString restoreTwo = u"confirm: Restore 2 files?"_s;
    const QString completed = u"Undo completed for the last rename operation."_s;
    QTest::newRow("yes") << true << QString() << QString() << QList<bool>{true}
                         << QStringList{restoreTwo, u"info: "_s + completed}
                         << QStringList{u"a.txt"_s, u"b.txt"_s};
    QTest::newRow("no") << true << QString() << QString() << QList<bool>{false}
                        << QStringList{restoreTwo} << QStringList{u"x_a.txt"_s, u"x_b.txt"_s};
    // The undo plans again under the log's lock, touches nothing when the plan differs,
    // and asks about the new one.
    const QString restoreOne = u"confirm: Restore 1 files? 1 cannot be restored: 1 gone."_s;
    QTest::newRow("plan-changed-asked-again")
        << true << QString() << u"x_b.txt"_s << QList<bool>{true, true}
        << QStringList{restoreTwo, restoreOne,
                       u"warning: 1 of 2 files could not be brought "
                       u"back: their files are gone or another file "
                       u"has their old name."_s}
        << QStringList{u"a.txt"_s, u"x_b.txt"_s};
    QTest::newRow("plan-changed-then-no")
        << true << QString() << u"x_b.txt"_s << QList<bool>{true, false}
        << QStringList{restoreTwo, restoreOne} << QStringList{u"x_a.txt"_s, u"x_b.txt"_s};
    QTest::newRow("nothing-to-restore")
        << true << u"x_a.txt x_b.txt"_s << QString() << QList<bool>{}
        << QStringList{u"warning: Restore 0 files? 2 cannot be restored: 2 gone."_s}
        << QStringList{u"x_a.txt"_s, u"x_b.txt"_s};
    QTest::newRow("no-batch") << false << QString() << QString() << QList<bool>{}
                              << QStringList{u"info: @no-undo-log"_s}
                              << QStringList{u"a.txt"_s, u"b.txt"_s};
}

void TestRenameController::undoAsksFirst()
{
    QFETCH(bool, batch);
    QFETCH(QString, goneBefore);
    QFETCH(QString, goneWhileAsked);
    QFETCH(QList<bool>, answers);
    QFETCH(QStringList, said);
    QFETCH(QStringList, listed);

    m_controller->addPaths({m_dir->file(u"a.txt"_s, "a"), m_dir->file(u"b.txt"_s, "b")}, false);
    finish();
    if (batch)
        renameAll();
    for (const QString &name : goneBefore.split(u' ', Qt::SkipEmptyParts))
        QVERIFY(QFile::remove(m_dir->filePath(name)));
    AskingMessages asker;
    asker.answers = answers;
    if (!goneWhileAsked.isEmpty())
        asker.whileAsking = [&] { QVERIFY(QFile::remove(m_dir->filePath(goneWhileAsked))); };
    QSignalSpy finished(m_controller.get(), &RenameController::workFinished);
    m_controller->startUndo(asker);
    const QList<PendingMessage> messages = finish();

    QStringList actual;
    for (const RecordingMessages::Entry &entry : asker.entries)
        actual.append(entry.kind + u": "_s + entry.text);
    for (const PendingMessage &message : messages)
        actual.append((message.kind == PendingMessage::Information ? u"info: "_s : u"warning: "_s) +
                      message.text);
    said.replaceInStrings(u"@no-undo-log"_s, noUndoLogText()); // APPDATA is the test's own
    QCOMPARE(actual, said);
    QCOMPARE(finished.size(), 1); // one end however often it asked
    QCOMPARE(names(), listed);
    for (const QString &name : listed) {
        if (name != goneWhileAsked && !goneBefore.contains(name))
            QVERIFY2(QFile::exists(m_dir->filePath(name)), qPrintable(name));
    }
}

void TestRenameController::stopsBetweenFiles()
{
    GatedFileOperations gate;
    m_controller->setFileOperations(&gate);
    QStringList paths;
    for (int i = 0; i < 50; ++i)
        paths.append(m_dir->file(u"f%1.txt"_s.arg(i, 2, 10, QLatin1Char('0'))));
    m_controller->addPaths(paths, false);
    finish();
    RenameOptions options;
    options.pattern = u"g{counter}"_s;
    m_controller->startPlanning(options);
    finish();
    // The job reports from its thread while it runs: heard queued on this thread, as the
    // window hears it (a QSignalSpy would be written on the job's thread meanwhile).
    QObject window;
    QList<qsizetype> progress;
    connect(m_controller.get(), &RenameController::progress, &window,
            [&](qsizetype done, qsizetype, const QString &) { progress.append(done); });
    m_controller->startBatch(m_controller->plan(), options);
    gate.release(10);
    QTRY_COMPARE(QDir(m_dir->path()).entryList({u"g*"_s}, QDir::Files).size(), 10);
    QVERIFY(!progress.isEmpty());
    m_controller->requestStop();
    gate.release(1000);
    const QList<PendingMessage> stopped = finish();
    QCOMPARE(stopped.size(), 1);
    const int done = stopped.at(0).text.section(u' ', 2, 2).toInt();
    QVERIFY2(done >= 1 && done < 50, qPrintable(stopped.at(0).text));
    QCOMPARE(QDir(m_dir->path()).entryList({u"g*"_s}, QDir::Files).size(), done);

    // An undo stopped in turn leaves every row showing where its file is now.
    GatedFileOperations undoGate; // the batch's gate has permits left
    m_controller->setFileOperations(&undoGate);
    RecordingMessages asker;
    QList<std::pair<qsizetype, qsizetype>> undoProgress; // done, total
    connect(m_controller.get(), &RenameController::progress, &window,
            [&](qsizetype done, qsizetype total, const QString &) {
                undoProgress.append({done, total});
            });
    QSignalSpy undoFinished(m_controller.get(), &RenameController::workFinished);
    m_controller->startUndo(asker);
    undoGate.release(2);
    QTRY_VERIFY(!undoProgress.isEmpty() && undoProgress.back().second > 0);
    m_controller->requestStop();
    undoGate.release(1000);
    QTRY_COMPARE(undoFinished.size(), 1);
    QCOMPARE(asker.texts(), QStringList{u"Restore %1 files?"_s.arg(done)});
    const QString undoStopped =
        undoFinished.at(0).at(0).value<QList<PendingMessage>>().value(0).text;
    QVERIFY2(undoStopped.startsWith(u"Undo stopped after"_s), qPrintable(undoStopped));
    const int back = QDir(m_dir->path()).entryList({u"f*"_s}, QDir::Files).size() - (50 - done);
    QVERIFY2(back >= 1 && back < done, qPrintable(undoStopped));
    const RenameItems &rows = m_controller->fileList().items();
    QCOMPARE(rows.size(), 50);
    for (const RenameItem &row : rows)
        QVERIFY2(QFile::exists(row.originalPath()), qPrintable(row.originalPath()));
    QVERIFY(!column(FileListModel::SizeColumn).contains(u"-1"_s));
    QCOMPARE(names().filter(u"g"_s).size(), done - back);

    // The next undo brings back the rest, and reports its files as it goes.
    m_controller->startUndo(asker);
    finish();
    QCOMPARE(undoProgress.back().first, qsizetype(done));
    QCOMPARE(QDir(m_dir->path()).entryList({u"f*"_s}, QDir::Files).size(), 50);
    QCOMPARE(names().filter(u"f"_s).size(), 50);
}

void TestRenameController::planningReportsErrors()
{
    m_controller->addPaths({m_dir->file(u"a.txt"_s)}, false);
    finish();
    RenameOptions named;
    named.pattern = u"n_{name}"_s;
    m_controller->startPlanning(named);
    finish();
    QCOMPARE(column(FileListModel::NewNameColumn), QStringList{u"n_a.txt"_s});
    RenameOptions options;
    options.regex = true;
    options.find = u"("_s;
    QSignalSpy planned(m_controller.get(), &RenameController::planned);
    m_controller->startPlanning(options);
    const QList<PendingMessage> messages = finish();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.at(0).kind, PendingMessage::Error);
    QCOMPARE(planned.size(), 1);
    QCOMPARE(planned.at(0).at(0).toBool(), false);
    QVERIFY(!m_controller->fileList().hasPlan());
    // The name of the earlier options is gone from the row, which tells why.
    QCOMPARE(column(FileListModel::NewNameColumn), QStringList{QString()});
    QCOMPARE(column(FileListModel::StatusColumn), QStringList{u"Error"_s});
    QCOMPARE(m_controller->fileList().previewFailure(), messages.at(0).text);
}

void TestRenameController::livePreviewOfAnOlderListIsDropped()
{
    m_controller->addPaths({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)}, false);
    finish();
    RenameOptions options;
    options.pattern = u"n_{name}"_s;
    QList<qsizetype> rowsWhenShown;
    connect(m_controller.get(), &RenameController::livePreviewShown, this,
            [&] { rowsWhenShown.append(m_controller->fileList().count()); });
    m_controller->previewInBackground(options);
    // The preview was made for two rows; one is gone before it comes back. The second
    // request waits for the first and is made for the list as it is now.
    m_controller->fileList().removeRowsAt({0});
    m_controller->previewInBackground(options);
    QTRY_VERIFY(!rowsWhenShown.isEmpty());
    QCOMPARE(rowsWhenShown.front(), 1);
    QCOMPARE(m_controller->fileList().items().at(0).newName, u"n_b.txt"_s);
}

QTEST_GUILESS_MAIN(TestRenameController)
#include "tst_renamecontroller.moc"
