#include "batchpaths.h"
#include "gatedfileoperations.h"
#include "recordingmessages.h"
#include "renamecontroller.h"
#include "testdir.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

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
    void stopsBetweenFiles();
    void planningReportsErrors();
    void livePreviewOfAnOlderListIsDropped();

private:
    QStringList names() const;
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
    m_controller->startBatch(plan, options);
    const QList<PendingMessage> done = finish();
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.at(0).text, batchCompletedText());
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.back().at(0).value<qsizetype>(), 2);
    QCOMPARE(progress.back().at(1).value<qsizetype>(), 2);
    QCOMPARE(names(), (QStringList{u"x_a.txt"_s, u"x_b (1).txt"_s}));
    QVERIFY(QFile::exists(m_dir->filePath(u"x_b (1).txt"_s)));

    m_controller->startUndo();
    QCOMPARE(finish().back().text, u"Undo completed for the last rename operation."_s);
    QVERIFY(QFile::exists(a) && QFile::exists(b));
    QCOMPARE(m_controller->fileList().count(), 0);
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
    m_controller->startBatch(agreed, options);
    QVERIFY(finish().isEmpty());
    QVERIFY(QFile::exists(a));
    QCOMPARE(planned.size(), 1);
    QCOMPARE(planned.at(0).at(0).toBool(), true);
    QCOMPARE(m_controller->plan().rows.at(0).status, PlanStatus::Numbered);

    // Agreed to as it is now, it runs.
    m_controller->startBatch(m_controller->plan(), options);
    QCOMPARE(finish().size(), 1);
    QCOMPARE(names(), QStringList{u"x_a (1).txt"_s});
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
    QSignalSpy progress(m_controller.get(), &RenameController::progress);
    m_controller->startBatch(m_controller->plan(), options);
    gate.release(10);
    QTRY_VERIFY(!progress.isEmpty() && progress.back().at(0).value<qsizetype>() >= 1);
    m_controller->requestStop();
    gate.release(1000);
    const QList<PendingMessage> stopped = finish();
    QCOMPARE(stopped.size(), 1);
    const int done = stopped.at(0).text.section(u' ', 2, 2).toInt();
    QVERIFY2(done >= 1 && done < 50, qPrintable(stopped.at(0).text));
    QCOMPARE(QDir(m_dir->path()).entryList({u"g*"_s}, QDir::Files).size(), done);

    // The undo reports its files the same way and brings exactly those back.
    QSignalSpy undoProgress(m_controller.get(), &RenameController::progress);
    m_controller->startUndo();
    finish();
    QCOMPARE(undoProgress.back().at(0).value<qsizetype>(), qsizetype(done));
    QCOMPARE(QDir(m_dir->path()).entryList({u"f*"_s}, QDir::Files).size(), 50);
}

void TestRenameController::planningReportsErrors()
{
    m_controller->addPaths({m_dir->file(u"a.txt"_s)}, false);
    finish();
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
