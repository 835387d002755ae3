#include "batch/batchpaths.h"
#include "batch/batchrunner.h"
#include "batch/renamejob.h"
#include "batch/renameplan.h"
#include "batch/undo.h"
#include "batch/undolog.h"
#include "engine/namebuilder.h"
#include "engine/tessalyerror.h"
#include "testsupport/filetree.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/testdir.h"

#include <QDirIterator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <functional>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Tree = FileTree; // relative path -> content
using OptionsEdit = std::function<void(RenameOptions &)>;
using Hook = std::function<void(TestDir &)>;

// One batch on a small tree in which every file holds its own starting path, so that
// the tree afterwards shows where each content went.
struct Scenario
{
    QStringList files = {};  // created, each holding its own relative path
    QStringList listed = {}; // the rename list, in order; empty: the files
    OptionsEdit edit = {};
    QStringList names = {};    // for {list}
    QStringList statuses = {}; // the plan's word for each row
    Tree after = {};
    QStringList records = {u"*"_s}; // "original>new", relative; "*": not looked at
    Hook setUp = {};                // before the list is read (links, odd entries)
    Hook afterPlan = {};            // between planning and carrying out
    QString blockedBy = {};         // the warning of a blocked plan; nothing is touched then
};

Tree unchanged(const QStringList &files)
{
    Tree tree;
    for (const QString &file : files)
        tree.insert(file, file);
    return tree;
}

// The way to the file system the cases run on: this system's own calls, or the one
// TESSALY_FILE_CALLS names, which ctest sets to run the cases again on the ways of
// systems without them.
FileSystemCalls callsUnderTest()
{
    const QByteArray name = qgetenv("TESSALY_FILE_CALLS");
    if (name == "without-renameat2")
        return FileSystemCalls::WithoutRenameNoReplace;
    if (name == "without-hard-links")
        return FileSystemCalls::WithoutHardLinks;
    if (name == "qt-only")
        return FileSystemCalls::QtOnly;
    if (!name.isEmpty())
        qFatal("TESSALY_FILE_CALLS names no way to the file system: %s", name.constData());
    return FileSystemCalls::Native;
}

// Fails the Nth change to the file system (moves, copies and deletions), counting from 1.
class FailingFileOperations : public SystemFileOperations
{
public:
    explicit FailingFileOperations(int failAt)
        : SystemFileOperations(callsUnderTest())
        , m_failAt(failAt)
    {}

    bool move(const QString &source, const QString &target) override
    {
        step(source);
        return SystemFileOperations::move(source, target);
    }
    bool moveNamed(const QString &sourceFolder, const QString &sourceName,
                   const QString &targetFolder, const QString &targetName) override
    {
        step(sourceFolder + sourceName);
        return SystemFileOperations::moveNamed(sourceFolder, sourceName, targetFolder, targetName);
    }
    bool copy(const QString &source, const QString &target) override
    {
        step(source);
        return SystemFileOperations::copy(source, target);
    }
    void remove(const QString &path) override
    {
        step(path);
        SystemFileOperations::remove(path);
    }

private:
    void step(const QString &path)
    {
        if (++m_count == m_failAt)
            throw TessalyError(fileErrorText(u"Injected failure"_s, path));
    }

    int m_failAt;
    int m_count = 0;
};

// Reports success for the moves and copies into the named targets without making them,
// or makes a move as a second link that leaves the source's name too; can put a file of
// another program's at a name just before the batch's first move.
class UntrueFileOperations : public SystemFileOperations
{
public:
    // Nothing happens; the file gets a second name; or the source goes and a new file
    // takes the target (the name is right, the file is not).
    enum Untruth { Nothing, SecondLink, OtherFile };

    UntrueFileOperations(QStringList targets, Untruth untruth, QString intruder)
        : SystemFileOperations(callsUnderTest())
        , m_targets(std::move(targets))
        , m_untruth(untruth)
        , m_intruder(std::move(intruder))
    {}

    bool moveNamed(const QString &sourceFolder, const QString &sourceName,
                   const QString &targetFolder, const QString &targetName) override
    {
        if (!m_intruder.isEmpty()) {
            QFile file(targetFolder + std::exchange(m_intruder, QString()));
            if (!file.open(QIODevice::NewOnly))
                qFatal("cannot make the intruding file");
        }
        if (!m_targets.contains(targetName))
            return SystemFileOperations::moveNamed(sourceFolder, sourceName, targetFolder,
                                                   targetName);
        if (m_untruth == SecondLink)
            return ::link(QFile::encodeName(sourceFolder + sourceName).constData(),
                          QFile::encodeName(targetFolder + targetName).constData()) == 0;
        if (m_untruth == OtherFile) {
            QFile made(targetFolder + targetName);
            return made.open(QIODevice::NewOnly) && QFile::remove(sourceFolder + sourceName);
        }
        return true;
    }
    bool copy(const QString &source, const QString &target) override
    {
        if (m_targets.contains(fileNamePart(target)))
            return true;
        return SystemFileOperations::copy(source, target);
    }

private:
    QStringList m_targets;
    Untruth m_untruth;
    QString m_intruder;
};

// One folder holding the files named and nothing else, as a plan sees it; on a file
// system that ignores letter case a name is found whatever its case.
class OneFolderView : public FileSystemView
{
public:
    OneFolderView(QString folder, const QStringList &names, bool caseless)
        : m_folder(std::move(folder))
        , m_caseless(caseless)
    {
        for (const QString &name : names)
            m_names.insert(key(name), name);
    }

    std::optional<FileIdentity> identity(const QString &path, bool) override
    {
        if (path == m_folder)
            return FileIdentity{1, 0};
        const auto it = m_names.constFind(key(fileNamePart(path)));
        if (folderPart(path) != m_folder + u'/' || it == m_names.cend())
            return std::nullopt;
        return FileIdentity{1, qHash(*it)};
    }

    std::optional<FolderListing> listFolder(const QString &folder) override
    {
        if (folder != m_folder)
            return std::nullopt;
        FolderListing listing;
        for (const QString &name : m_names)
            listing.addFile(name);
        return listing;
    }

private:
    QString key(const QString &name) const { return m_caseless ? name.toCaseFolded() : name; }

    QString m_folder;
    bool m_caseless;
    QHash<QString, QString> m_names; // as looked up -> as written
};

// A folder on a file system other than here's, for moves that copy: on tmpfs, or on
// the disk when here is on tmpfs; null (the test skips) when there is none.
std::unique_ptr<TestDir> otherFileSystem(const TestDir &here)
{
    struct stat first;
    if (::stat(QFile::encodeName(here.path()).constData(), &first) != 0)
        return nullptr;
    for (const char *candidate : {"/dev/shm", "/var/tmp"}) {
        struct stat second;
        if (::stat(candidate, &second) != 0 || second.st_dev == first.st_dev)
            continue;
        auto other =
            std::make_unique<TestDir>(QString::fromLatin1(candidate) + u"/tst_batch-XXXXXX"_s);
        if (other->isValid())
            return other;
    }
    return nullptr;
}

// The tree as the file system holds it: a link shows as its text, not followed.
Tree readEntries(const QString &root)
{
    Tree tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        char text[4096];
        const ssize_t length = ::readlink(QFile::encodeName(path).constData(), text, sizeof text);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        tree.insert(path.mid(root.size() + 1), length >= 0
                                                   ? u"link to "_s + QString::fromUtf8(text, length)
                                                   : QString::fromUtf8(file.readAll()));
    }
    return tree;
}

// An undo log and the traces that an interrupted batch or undo left on disk.
struct UndoCase
{
    std::function<void(TestDir &here, TestDir *other)> setup;
    QByteArray log;  // <here> and <other> stand for the folders
    Tree after;      // "here/..." and "other/..."
    QString error;   // what the undo throws
    int notBack = 0; // records passed over: the undo says so
};

} // namespace

Q_DECLARE_METATYPE(Scenario)
Q_DECLARE_METATYPE(UndoCase)

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void combinePath_data();
    void combinePath();
    void absoluteCleanPath_data();
    void absoluteCleanPath();
    void dataFolder();
    void batches_data();
    void batches();
    void planInOneFolder_data();
    void planInOneFolder();
    void planOfManyIntoANewFolder();
    void checksBeforeAnything_data();
    void checksBeforeAnything();
    void logBytes();
    void touchSetsOnlyTheTarget();
    void failedBatchesUndoCompletely();
    void readBackFindsWhatDidNotHappen_data();
    void readBackFindsWhatDidNotHappen();
    void stopsBetweenFiles();
    void stopsAfterASwapLostAFile();
    void undoReadsEveryLineForm();
    void undoKeepsFilesMadeSince();
    void undoRecreatesFolders();
    void undoOfNothing();
    void logFileSystemFull_data();
    void logFileSystemFull();
    void messagesSeeTheEndedLog_data();
    void messagesSeeTheEndedLog();
    void logLinkNeverFollowed();
    void logPathsAbsoluteAndClean_data();
    void logPathsAbsoluteAndClean();
    void undoCountsUnreadableLines_data();
    void undoCountsUnreadableLines();
    void undoAfterInterruptions_data();
    void undoAfterInterruptions();
    void undoProgressStaysWithItsLog_data();
    void undoProgressStaysWithItsLog();
    void filesWaitingUnderHiddenNames_data();
    void filesWaitingUnderHiddenNames();
    void longestNamesCopiedAndMoved_data();
    void longestNamesCopiedAndMoved();
    void linksKeptByMoves();
    void undoOfCopyLeavesSources();
    void movesFollowAReplacedFolder();
    void anyNameMovedLoggedAndUndone_data();
    void anyNameMovedLoggedAndUndone();
    void movesRefuseNul();

private:
    RenameItems listed(const QStringList &relative) const;
    void preview(RenameItems &items, const RenameOptions &options);
    QStringList logRecords() const;
    QString rel(const QString &path) const { return path.mid(m_root->path().size() + 1); }

    std::unique_ptr<TestDir> m_root;
    std::unique_ptr<TestDir> m_appData;
    std::unique_ptr<TestDir> m_trash;
    RecordingMessages m_messages;
    SystemFileOperations m_files{callsUnderTest()};
};

void TestBatch::init()
{
    m_root = std::make_unique<TestDir>();
    m_appData = std::make_unique<TestDir>();
    qputenv("APPDATA", m_appData->path().toUtf8());
    m_trash = std::make_unique<TestDir>();
    qputenv("XDG_DATA_HOME", m_trash->path().toUtf8());
    m_messages = RecordingMessages();
}

void TestBatch::cleanup()
{
    m_root.reset();
    m_appData.reset();
    m_trash.reset();
}

RenameItems TestBatch::listed(const QStringList &relative) const
{
    RenameItems items;
    for (const QString &path : relative)
        items.append(makeRenameItem(m_root->filePath(path)));
    return items;
}

void TestBatch::preview(RenameItems &items, const RenameOptions &options)
{
    RecordingMessages quiet;
    QVERIFY(previewNames(items, options, {}, quiet));
}

QStringList TestBatch::logRecords() const
{
    QFile log(undoLogPath());
    if (!log.open(QIODevice::ReadOnly))
        return {u"<no log>"_s};
    const UndoLogContent content = parseUndoLog(log.readAll());
    QStringList records;
    for (const UndoRecordPaths &record : content.records)
        records.append(rel(record.original) + u'>' + rel(record.moved));
    if (content.unreadable > 0)
        records.append(u"<%1 unreadable lines>"_s.arg(content.unreadable));
    return records;
}

void TestBatch::combinePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("joined") << u"/a/b"_s << u"c.txt"_s << u"/a/b/c.txt"_s;
    QTest::newRow("folder-with-separator") << u"/a/b/"_s << u"c.txt"_s << u"/a/b/c.txt"_s;
    QTest::newRow("empty-folder") << QString() << u"c.txt"_s << u"c.txt"_s;
    QTest::newRow("empty-name") << u"/a/b"_s << QString() << u"/a/b"_s;
    QTest::newRow("absolute-name") << u"/a/b"_s << u"/c/d.txt"_s << u"/c/d.txt"_s;
    QTest::newRow("relative-folder") << u"out"_s << u"c.txt"_s << u"out/c.txt"_s;
    QTest::newRow("bar-in-name") << u"/a"_s << u"c|d"_s << u"Invalid characters in path\n[c|d]"_s;
    QTest::newRow("quote-in-folder")
        << u"/a\"b"_s << u"c"_s << u"Invalid characters in path\n[/a\"b]"_s;
    QTest::newRow("line-break-in-name")
        << u"/a"_s << u"c\nd"_s << u"Invalid characters in path\n[c\nd]"_s;
    QTest::newRow("unchecked-when-alone") << QString() << u"c|d"_s << u"c|d"_s;
}

void TestBatch::combinePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    try {
        QCOMPARE(::combinePath(folder, name), expected);
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), expected);
    }
}

void TestBatch::absoluteCleanPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // <cwd> stands for the current folder

    QTest::newRow("clean") << u"/a/b.txt"_s << u"/a/b.txt"_s;
    QTest::newRow("root") << u"/"_s << u"/"_s;
    QTest::newRow("hidden-and-dotted-names") << u"/a/.b/..c/d."_s << u"/a/.b/..c/d."_s;
    QTest::newRow("dot-part") << u"/a/./b"_s << u"/a/b"_s;
    QTest::newRow("dot-dot-part") << u"/a/x/../b"_s << u"/a/b"_s;
    QTest::newRow("dot-dot-at-end") << u"/a/b/.."_s << u"/a"_s;
    QTest::newRow("doubled-separator") << u"/a//b"_s << u"/a/b"_s;
    QTest::newRow("final-separator") << u"/a/b/"_s << u"/a/b"_s;
    QTest::newRow("relative") << u"x/../y.txt"_s << u"<cwd>/y.txt"_s;
}

void TestBatch::absoluteCleanPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(::absoluteCleanPath(path), expected.replace(u"<cwd>"_s, QDir::currentPath()));
}

void TestBatch::dataFolder()
{
    QCOMPARE(::dataFolder(), m_appData->path() + u"/Quenwick/Tessaly"_s);
    QCOMPARE(undoLogPath(), m_appData->path() + u"/Quenwick/Tessaly/last_rename.csv"_s);
    qputenv("APPDATA", "");
    QStandardPaths::setTestModeEnabled(true);
    QCOMPARE(::dataFolder(), QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                 u"/Quenwick/Tessaly"_s);
    QStandardPaths::setTestModeEnabled(false);
}

void TestBatch::batches_data()
{
    QTest::addColumn<Scenario>("scenario");

    const QStringList ab{u"a.txt"_s, u"b.txt"_s};
    const auto withRule = [](int conflict, OptionsEdit edit) {
        return OptionsEdit([conflict, edit](RenameOptions &o) {
            o.conflict = conflict;
            edit(o);
        });
    };
    const auto pattern = [](const QString &text) {
        return OptionsEdit([text](RenameOptions &o) { o.pattern = text; });
    };
    const auto fromList = pattern(u"{list}"_s);
    const QString blockedHeader = u"Nothing was renamed. Files that cannot get the names shown: "_s;

    QTest::newRow("rename-in-place")
        << Scenario{.files = ab,
                    .edit = pattern(u"{counter}_{name}"_s),
                    .statuses = {u"rename"_s, u"rename"_s},
                    .after = {{u"001_a.txt"_s, u"a.txt"_s}, {u"002_b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>001_a.txt"_s, u"b.txt>002_b.txt"_s}};
    QTest::newRow("copy-to-new-deep-folder")
        << Scenario{.files = ab,
                    .edit =
                        [](RenameOptions &o) {
                            o.batchMode = BatchMode::CopyToFolder;
                            o.pattern = u"c-{name}"_s;
                        },
                    .statuses = {u"rename"_s, u"rename"_s},
                    .after = {{u"a.txt"_s, u"a.txt"_s},
                              {u"b.txt"_s, u"b.txt"_s},
                              {u"out/x/y/c-a.txt"_s, u"a.txt"_s},
                              {u"out/x/y/c-b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>out/x/y/c-a.txt"_s, u"b.txt>out/x/y/c-b.txt"_s}};
    QTest::newRow("move-to-folder")
        << Scenario{.files = ab,
                    .edit = [](RenameOptions &o) { o.batchMode = BatchMode::MoveToFolder; },
                    .statuses = {u"rename"_s, u"rename"_s},
                    .after = {{u"out/x/y/a.txt"_s, u"a.txt"_s}, {u"out/x/y/b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>out/x/y/a.txt"_s, u"b.txt>out/x/y/b.txt"_s}};
    QTest::newRow("destination-ignored-in-place")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = pattern(u"z"_s),
                    .statuses = {u"rename"_s},
                    .after = {{u"z.txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>z.txt"_s}};
    QTest::newRow("unchanged-names") << Scenario{.files = ab,
                                                 .edit = pattern(u"{name}"_s),
                                                 .statuses = {u"unchanged"_s, u"unchanged"_s},
                                                 .after = unchanged(ab),
                                                 .records = QStringList{}};
    QTest::newRow("case-only-change") << Scenario{.files = {u"photo.JPG"_s},
                                                  .edit =
                                                      [](RenameOptions &o) {
                                                          o.changeExt = true;
                                                          o.newExt = u"jpg"_s;
                                                      },
                                                  .statuses = {u"rename"_s},
                                                  .after = {{u"photo.jpg"_s, u"photo.JPG"_s}},
                                                  .records = {u"photo.JPG>photo.jpg"_s}};

    // A file outside the list holds the new name, under each rule.
    QTest::newRow("outside-file-skip")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = withRule(ConflictMode::Skip, pattern(u"b"_s)),
                    .statuses = {u"skip"_s},
                    .after = unchanged(ab),
                    .records = QStringList{}};
    QTest::newRow("outside-file-number")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = pattern(u"b"_s),
                    .statuses = {u"numbered"_s},
                    .after = {{u"b (1).txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>b (1).txt"_s}};
    // The replaced file goes to the Trash, and the undo brings it back.
    QTest::newRow("outside-file-overwrite")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = withRule(ConflictMode::Overwrite, pattern(u"b"_s)),
                    .statuses = {u"overwrite"_s},
                    .after = {{u"b.txt"_s, u"a.txt"_s}}};

    // Two rows, one name, under each rule.
    QTest::newRow("duplicates-number")
        << Scenario{.files = ab,
                    .edit = pattern(u"same"_s),
                    .statuses = {u"rename"_s, u"numbered"_s},
                    .after = {{u"same.txt"_s, u"a.txt"_s}, {u"same (1).txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>same.txt"_s, u"b.txt>same (1).txt"_s}};
    QTest::newRow("duplicates-skip")
        << Scenario{.files = ab,
                    .edit = withRule(ConflictMode::Skip, pattern(u"same"_s)),
                    .statuses = {u"rename"_s, u"skip"_s},
                    .after = {{u"same.txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>same.txt"_s}};
    // One of the two files would be lost: nothing starts.
    QTest::newRow("duplicates-overwrite")
        << Scenario{.files = ab,
                    .edit = withRule(ConflictMode::Overwrite, pattern(u"same"_s)),
                    .statuses = {u"duplicate"_s, u"duplicate"_s},
                    .after = unchanged(ab),
                    .blockedBy = blockedHeader + u"2\n\na.txt -> same.txt: Duplicate name\n"
                                                 u"b.txt -> same.txt: Duplicate name"_s};
    // A new name already held by the file itself through another link.
    QTest::newRow("hard-link-alias")
        << Scenario{.files = {u"a.txt"_s},
                    .edit = withRule(ConflictMode::Overwrite, pattern(u"b"_s)),
                    .statuses = {u"skip"_s},
                    .after = {{u"a.txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"a.txt"_s}},
                    .setUp = [](TestDir &dir) {
                        QVERIFY(::link(qPrintable(dir.filePath(u"a.txt"_s)),
                                       qPrintable(dir.filePath(u"b.txt"_s))) == 0);
                    }};

    // Names held by other listed files are free once those move on.
    const QStringList five{u"IMG_1.jpg"_s, u"IMG_2.jpg"_s, u"IMG_3.jpg"_s, u"IMG_4.jpg"_s,
                           u"IMG_5.jpg"_s};
    const auto renumber = [](int start) {
        return OptionsEdit([start](RenameOptions &o) {
            o.pattern = u"IMG_{counter}"_s;
            o.counterStart = QString::number(start);
            o.digits = u"1"_s;
        });
    };
    Tree shiftedUp;
    for (int i = 1; i <= 5; ++i)
        shiftedUp.insert(u"IMG_%1.jpg"_s.arg(i + 1), u"IMG_%1.jpg"_s.arg(i));
    for (int rule : {ConflictMode::Skip, ConflictMode::Overwrite, ConflictMode::AutoNumber}) {
        QTest::addRow("renumber-up-rule-%d", rule)
            << Scenario{.files = five,
                        .edit = withRule(rule, renumber(2)),
                        .statuses = QStringList(5, u"rename"_s),
                        .after = shiftedUp,
                        .records = {u"IMG_5.jpg>IMG_6.jpg"_s, u"IMG_4.jpg>IMG_5.jpg"_s,
                                    u"IMG_3.jpg>IMG_4.jpg"_s, u"IMG_2.jpg>IMG_3.jpg"_s,
                                    u"IMG_1.jpg>IMG_2.jpg"_s}};
    }
    QStringList shiftedNames = shiftedUp.keys();
    Tree shiftedDown;
    for (int i = 2; i <= 6; ++i)
        shiftedDown.insert(u"IMG_%1.jpg"_s.arg(i - 1), u"IMG_%1.jpg"_s.arg(i));
    QTest::newRow("renumber-down") << Scenario{.files = shiftedNames,
                                               .edit = renumber(1),
                                               .statuses = QStringList(5, u"rename"_s),
                                               .after = shiftedDown};
    QTest::newRow("swap") << Scenario{
        .files = ab,
        .edit = fromList,
        .names = {u"b"_s, u"a"_s},
        .statuses = {u"rename"_s, u"rename"_s},
        .after = {{u"a.txt"_s, u"b.txt"_s}, {u"b.txt"_s, u"a.txt"_s}},
        .records = {u"a.txt>.tessaly-1"_s, u"b.txt>a.txt"_s, u".tessaly-1>b.txt"_s}};
    QTest::newRow("three-cycle-and-chain")
        << Scenario{.files = {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"d.txt"_s},
                    .edit = fromList,
                    .names = {u"b"_s, u"c"_s, u"a"_s, u"e"_s},
                    .statuses = QStringList(4, u"rename"_s),
                    .after = {{u"a.txt"_s, u"c.txt"_s},
                              {u"b.txt"_s, u"a.txt"_s},
                              {u"c.txt"_s, u"b.txt"_s},
                              {u"e.txt"_s, u"d.txt"_s}}};
    // A stays under Skip, so b cannot take its name either, and c cannot take b's.
    QTest::newRow("skip-holds-a-chain")
        << Scenario{.files = {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"x.txt"_s},
                    .listed = {u"c.txt"_s, u"b.txt"_s, u"a.txt"_s},
                    .edit = withRule(ConflictMode::Skip, fromList),
                    .names = {u"b"_s, u"a"_s, u"x"_s},
                    .statuses = QStringList(3, u"skip"_s),
                    .after = unchanged({u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"x.txt"_s})};
    // The second row reaches b.txt through a linked folder: still the file that moves on.
    QTest::newRow("folder-link-alias") << Scenario{
        .files = {u"real/a.txt"_s, u"real/b.txt"_s},
        .listed = {u"real/a.txt"_s, u"alias/b.txt"_s},
        .edit = withRule(ConflictMode::Overwrite, fromList),
        .names = {u"b"_s, u"c"_s},
        .statuses = {u"rename"_s, u"rename"_s},
        .after = {{u"real/b.txt"_s, u"real/a.txt"_s}, {u"real/c.txt"_s, u"real/b.txt"_s}},
        .setUp = [](TestDir &dir) {
            QVERIFY(QFile::link(dir.filePath(u"real"_s), dir.filePath(u"alias"_s)));
        }};
    QTest::newRow("same-file-listed-twice")
        << Scenario{.files = {u"real/a.txt"_s},
                    .listed = {u"real/a.txt"_s, u"alias/a.txt"_s},
                    .edit = fromList,
                    .names = {u"b"_s, u"c"_s},
                    .statuses = {u"rename"_s, u"skip"_s},
                    .after = {{u"real/b.txt"_s, u"real/a.txt"_s}},
                    .setUp = [](TestDir &dir) {
                        QVERIFY(QFile::link(dir.filePath(u"real"_s), dir.filePath(u"alias"_s)));
                    }};

    // Moved or copied into their own folder: the name is held by the file itself.
    const auto ownFolder = [](int mode, int conflict) {
        return OptionsEdit([mode, conflict](RenameOptions &o) {
            o.batchMode = mode;
            o.conflict = conflict;
            o.destination = u"<root>"_s;
        });
    };
    QTest::newRow("move-onto-itself-overwrite-skips")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = ownFolder(BatchMode::MoveToFolder, ConflictMode::Overwrite),
                    .statuses = {u"skip"_s},
                    .after = unchanged(ab),
                    .records = QStringList{}};
    QTest::newRow("move-onto-itself-numbered")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = ownFolder(BatchMode::MoveToFolder, ConflictMode::AutoNumber),
                    .statuses = {u"numbered"_s},
                    .after = {{u"a (1).txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>a (1).txt"_s}};
    QTest::newRow("copy-onto-another-listed-file")
        << Scenario{.files = ab,
                    .edit =
                        [](RenameOptions &o) {
                            o.batchMode = BatchMode::CopyToFolder;
                            o.destination = u"<root>"_s;
                            o.pattern = u"b"_s;
                        },
                    .statuses = {u"numbered"_s, u"numbered"_s},
                    .after = {{u"a.txt"_s, u"a.txt"_s},
                              {u"b.txt"_s, u"b.txt"_s},
                              {u"b (1).txt"_s, u"a.txt"_s},
                              {u"b (2).txt"_s, u"b.txt"_s}}};

    // Copies replacing listed files under Overwrite: each listed file is copied before
    // it goes to the Trash; a pair that swaps goes through a copy on a stepping stone.
    const auto copyHere = [](RenameOptions &o) {
        o.batchMode = BatchMode::CopyToFolder;
        o.destination = u"<root>"_s;
        o.conflict = ConflictMode::Overwrite;
        o.pattern = u"{list}"_s;
    };
    QTest::newRow("copy-over-a-listed-source") << Scenario{
        .files = ab,
        .edit = copyHere,
        .names = {u"b"_s, u"c"_s},
        .statuses = {u"overwrite"_s, u"rename"_s},
        .after = {{u"a.txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"a.txt"_s}, {u"c.txt"_s, u"b.txt"_s}}};
    QTest::newRow("copy-swap-over-listed-sources")
        << Scenario{.files = ab,
                    .edit = copyHere,
                    .names = {u"b"_s, u"a"_s},
                    .statuses = {u"overwrite"_s, u"overwrite"_s},
                    .after = {{u"a.txt"_s, u"b.txt"_s}, {u"b.txt"_s, u"a.txt"_s}}};

    // A file moved into its own folder under its own name stays: another row cannot
    // replace it.
    QTest::newRow("move-over-a-listed-file-that-stays")
        << Scenario{.files = ab,
                    .edit =
                        [](RenameOptions &o) {
                            o.batchMode = BatchMode::MoveToFolder;
                            o.destination = u"<root>"_s;
                            o.conflict = ConflictMode::Overwrite;
                            o.pattern = u"{list}"_s;
                        },
                    .names = {u"b"_s, u"b"_s},
                    .statuses = {u"duplicate"_s, u"duplicate"_s},
                    .after = unchanged(ab),
                    .blockedBy = blockedHeader + u"2\n\na.txt -> b.txt: Duplicate name\n"
                                                 u"b.txt -> b.txt: Duplicate name"_s};

    // Found after planning: the name is never replaced, the file is never lost.
    QTest::newRow("target-appears-after-planning")
        << Scenario{.files = ab,
                    .listed = {u"a.txt"_s},
                    .edit = pattern(u"new"_s),
                    .statuses = {u"rename"_s},
                    .after = {{u"new.txt"_s, u"new.txt"_s},
                              {u"new (1).txt"_s, u"a.txt"_s},
                              {u"b.txt"_s, u"b.txt"_s}},
                    .records = {u"a.txt>new (1).txt"_s},
                    .afterPlan = [](TestDir &dir) { dir.file(u"new.txt"_s, "new.txt"); }};
    QTest::newRow("target-appears-under-overwrite") << Scenario{
        .files = ab,
        .listed = {u"a.txt"_s},
        .edit = withRule(ConflictMode::Overwrite, pattern(u"new"_s)),
        .statuses = {u"rename"_s},
        .after = {{u"new.txt"_s, u"new.txt"_s}, {u"a.txt"_s, u"a.txt"_s}, {u"b.txt"_s, u"b.txt"_s}},
        .records = QStringList{},
        .afterPlan = [](TestDir &dir) { dir.file(u"new.txt"_s, "new.txt"); }};
    QTest::newRow("source-deleted-after-planning")
        << Scenario{.files = ab,
                    .edit = pattern(u"x{name}"_s),
                    .statuses = {u"rename"_s, u"rename"_s},
                    .after = {{u"xa.txt"_s, u"a.txt"_s}},
                    .records = {u"a.txt>xa.txt"_s},
                    .afterPlan = [](TestDir &dir) { QFile::remove(dir.filePath(u"b.txt"_s)); }};
    QTest::newRow("source-deleted-before-planning")
        << Scenario{.files = ab,
                    .edit = pattern(u"x{name}"_s),
                    .statuses = {u"rename"_s, u"missing"_s},
                    .after = {{u"xa.txt"_s, u"a.txt"_s}},
                    .records = {u"a.txt>xa.txt"_s},
                    .setUp = [](TestDir &dir) { QFile::remove(dir.filePath(u"b.txt"_s)); }};

    // Names that cannot exist: nothing is touched, not even the rows before them.
    QTest::newRow("only-an-extension-left")
        << Scenario{.files = {u"a.txt"_s, u"IMG.JPG"_s, u".hidden"_s},
                    .edit = pattern(QString()),
                    .statuses = {u"invalid"_s, u"invalid"_s, u"unchanged"_s},
                    .after = unchanged({u"a.txt"_s, u"IMG.JPG"_s, u".hidden"_s}),
                    .blockedBy = blockedHeader + u"2\n\na.txt -> .txt: Invalid name\n"
                                                 u"IMG.JPG -> .JPG: Invalid name"_s};
    QTest::newRow("longer-than-the-file-system-allows")
        << Scenario{.files = ab,
                    .edit = pattern(u"{name}"_s + QString(251, u'x')),
                    .statuses = {u"invalid"_s, u"invalid"_s},
                    .after = unchanged(ab),
                    .blockedBy = blockedHeader + u"2\n\na.txt -> a"_s + QString(251, u'x') +
                                 u".txt: Invalid name\nb.txt -> b"_s + QString(251, u'x') +
                                 u".txt: Invalid name"_s};
    // Names the system allows but no new name may hold: their files are renamed like any
    // other.
    QTest::newRow("odd-characters-in-sources")
        << Scenario{.files = {u"c.txt"_s, u"a\nb.txt"_s, u"Song \"Live\".mp3"_s, u"d|<e>\t.txt"_s},
                    .edit = pattern(u"x{counter}"_s),
                    .statuses = QStringList(4, u"rename"_s),
                    .after = {{u"x001.txt"_s, u"c.txt"_s},
                              {u"x002.txt"_s, u"a\nb.txt"_s},
                              {u"x003.mp3"_s, u"Song \"Live\".mp3"_s},
                              {u"x004.txt"_s, u"d|<e>\t.txt"_s}}};
    QTest::newRow("odd-characters-in-a-folder")
        << Scenario{.files = {u"say \"hi\"/a.txt"_s},
                    .edit = pattern(u"b"_s),
                    .statuses = {u"rename"_s},
                    .after = {{u"say \"hi\"/b.txt"_s, u"say \"hi\"/a.txt"_s}}};
    QTest::newRow("folder-at-target-number") << Scenario{
        .files = {u"a.txt"_s, u"dir.txt/inner"_s},
        .listed = {u"a.txt"_s},
        .edit = pattern(u"dir"_s),
        .statuses = {u"numbered"_s},
        .after = {{u"dir (1).txt"_s, u"a.txt"_s}, {u"dir.txt/inner"_s, u"dir.txt/inner"_s}}};
    QTest::newRow("folder-at-target-overwrite")
        << Scenario{.files = {u"a.txt"_s, u"dir.txt/inner"_s},
                    .listed = {u"a.txt"_s},
                    .edit = withRule(ConflictMode::Overwrite, pattern(u"dir"_s)),
                    .statuses = {u"folder"_s},
                    .after = unchanged({u"a.txt"_s, u"dir.txt/inner"_s}),
                    .blockedBy = blockedHeader + u"1\n\na.txt -> dir.txt: Folder in the way"_s};
}

void TestBatch::batches()
{
    QFETCH(Scenario, scenario);

    for (const QString &file : scenario.files)
        m_root->file(file, file.toUtf8());
    if (scenario.setUp)
        scenario.setUp(*m_root);
    RenameItems items = listed(scenario.listed.isEmpty() ? scenario.files : scenario.listed);
    RenameOptions options;
    options.destination = m_root->filePath(u"out/x/y"_s);
    scenario.edit(options);
    options.destination.replace(u"<root>"_s, m_root->path());
    RecordingMessages quiet;
    QVERIFY(previewNames(items, options, scenario.names, quiet));
    const Tree start = readFileTree(m_root->path());

    SystemFileSystemView view;
    const RenamePlan plan = planBatch(items, options, view, true);
    QStringList words;
    for (const PlannedRow &row : plan.rows)
        words.append(planStatusWord(row.status));
    QCOMPARE(words, scenario.statuses);
    // The plan the list shows tells the same, with the numbered names.
    const RenamePlan shown = planBatch(items, options, view, true, PlanPurpose::Showing);
    QVERIFY(shown.steps.isEmpty());
    for (qsizetype i = 0; i < plan.rows.size(); ++i)
        QCOMPARE(shown.rows.at(i).status, plan.rows.at(i).status);
    QCOMPARE(shown.numberedTargets, plan.numberedTargets);
    if (plan.blocked()) {
        QVERIFY(!runBatch(items, options, m_messages, m_files));
        QCOMPARE(m_messages.texts(), QStringList{scenario.blockedBy});
        QCOMPARE(readFileTree(m_root->path()), scenario.after);
        QVERIFY(!QFile::exists(undoLogPath()));
        return;
    }
    QVERIFY(scenario.blockedBy.isEmpty());

    if (scenario.afterPlan)
        scenario.afterPlan(*m_root);
    QList<qsizetype> moved;
    const BatchOutcome outcome =
        executePlan(items, plan, options, m_messages, m_files,
                    [&](qsizetype index, const QString &) { moved.append(index); });
    const qsizetype differed = outcome.differed;
    const Tree after = readFileTree(m_root->path());
    QCOMPARE(after, scenario.after);
    QCOMPARE(m_messages.texts().front().startsWith(u"Batch completed."_s), true);
    if (outcome.done == 0) {
        // Nothing done, nothing logged: the previous log (none here) is kept.
        QVERIFY(!QFile::exists(undoLogPath()));
        return;
    }
    // Where the Trash took each replaced file, as the log says: the home Trash, or the
    // Trash of the file's own file system.
    QStringList trashed;
    {
        QFile log(undoLogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        for (const UndoRecordPaths &record : parseUndoLog(log.readAll()).records) {
            if (record.moved.contains(u"/files/"_s) && record.moved.contains(u"Trash"_s))
                trashed.append(record.moved);
        }
    }
    QCOMPARE(trashed.size(), plan.count(PlanStatus::Overwrite));
    for (const QString &path : trashed)
        QVERIFY2(QFile::exists(path), qPrintable(path));
    if (scenario.records != QStringList{u"*"_s})
        QCOMPARE(logRecords(), scenario.records);
    if (!scenario.afterPlan) {
        // Every file is where the plan said it would be.
        QCOMPARE(differed, 0);
        const RenameItems before =
            listed(scenario.listed.isEmpty() ? scenario.files : scenario.listed);
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (plan.rows.at(i).status == PlanStatus::Missing)
                continue;
            const QString expected = rel(before.at(i).originalPath());
            if (expected.startsWith(u"alias/"_s))
                continue; // the tree shows the linked folder under its real name
            const QString finalPath = rel(plan.finalPath(items, i));
            QVERIFY2(after.value(finalPath) == expected,
                     qPrintable(finalPath + u" should hold "_s + expected));
        }
    } else {
        QCOMPARE(differed, 1);
    }
    // Renamed and moved items describe their new files.
    for (qsizetype index : moved)
        QVERIFY2(QFileInfo::exists(items.at(index).originalPath()),
                 qPrintable(items.at(index).originalPath()));

    bool cleared = false;
    undoLastBatch(m_messages, m_files, [&] { cleared = true; });
    QVERIFY(cleared);
    QCOMPARE(m_messages.texts().back(), u"Undo completed for the last rename operation."_s);
    QVERIFY(!QFile::exists(undoLogPath()));
    // Files that appeared or went away after planning are the user's doing and stay so.
    Tree expected = start;
    if (scenario.afterPlan) {
        const Tree made = readFileTree(m_root->path());
        for (auto it = made.cbegin(); it != made.cend(); ++it) {
            if (!start.contains(it.key()))
                expected.insert(it.key(), it.value());
        }
        for (const QString &key : start.keys()) {
            if (!made.contains(key))
                expected.remove(key);
        }
    }
    QCOMPARE(readFileTree(m_root->path()), expected);
    // Nothing stays behind in the Trash, nor in its list.
    for (const QString &path : trashed) {
        QVERIFY2(!QFile::exists(path), qPrintable(path));
        const QString info = folderPart(folderPart(path).chopped(1)) + u"info/"_s +
                             fileNamePart(path) + u".trashinfo"_s;
        QVERIFY2(!QFile::exists(info), qPrintable(info));
    }
}

void TestBatch::planInOneFolder_data()
{
    QTest::addColumn<bool>("caseless"); // whether the folder ignores letter case
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("renames"); // "old>new"
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("conflict");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QStringList>("steps"); // "from>to", "copy from>to", "from>trash"

    const int inPlace = BatchMode::RenameInPlace;
    const int copy = BatchMode::CopyToFolder; // into the same folder
    const int overwrite = ConflictMode::Overwrite;
    const int number = ConflictMode::AutoNumber;
    QTest::newRow("case-only-through-a-stepping-stone")
        << true << QStringList{u"Photo.JPG"_s} << QStringList{u"Photo.JPG>photo.jpg"_s} << inPlace
        << overwrite << QStringList{u"rename"_s}
        << QStringList{u"Photo.JPG>.tessaly-1"_s, u".tessaly-1>photo.jpg"_s};
    // b.txt is B.txt, which the second row moves on first; nothing is replaced.
    QTest::newRow("listed-file-under-another-case")
        << true << QStringList{u"a.txt"_s, u"B.txt"_s}
        << QStringList{u"a.txt>b.txt"_s, u"B.txt>c.txt"_s} << inPlace << overwrite
        << QStringList{u"rename"_s, u"rename"_s} << QStringList{u"B.txt>c.txt"_s, u"a.txt>b.txt"_s};
    QTest::newRow("outside-file-under-another-case")
        << true << QStringList{u"a.txt"_s, u"B.txt"_s} << QStringList{u"a.txt>b.txt"_s} << inPlace
        << overwrite << QStringList{u"overwrite"_s}
        << QStringList{u"b.txt>trash"_s, u"a.txt>b.txt"_s};
    QTest::newRow("outside-file-numbered")
        << true << QStringList{u"a.txt"_s, u"B.txt"_s, u"b (1).TXT"_s}
        << QStringList{u"a.txt>b.txt"_s} << inPlace << number << QStringList{u"numbered"_s}
        << QStringList{u"a.txt>b (2).txt"_s};
    QTest::newRow("duplicates-in-two-cases")
        << true << QStringList{u"a.txt"_s, u"b.txt"_s}
        << QStringList{u"a.txt>x.txt"_s, u"b.txt>X.txt"_s} << inPlace << overwrite
        << QStringList{u"duplicate"_s, u"duplicate"_s} << QStringList{};

    // A file already under a numbered name of its new one keeps it, even when the numbers
    // of that name were searched past it for an earlier row.
    const QStringList photos{u"photo.jpg"_s, u"photo (1).jpg"_s, u"x.jpg"_s};
    const QStringList intoPhoto{u"x.jpg>photo.jpg"_s, u"photo (1).jpg>photo.jpg"_s};
    QTest::newRow("own-numbered-name-kept")
        << false << photos << intoPhoto << inPlace << number
        << QStringList{u"numbered"_s, u"unchanged"_s} << QStringList{u"x.jpg>photo (2).jpg"_s};
    QTest::newRow("own-numbered-name-kept-under-another-case")
        << true << QStringList{u"Photo.JPG"_s, u"photo (1).JPG"_s, u"x.jpg"_s}
        << QStringList{u"x.jpg>photo.jpg"_s, u"photo (1).JPG>photo.jpg"_s} << inPlace << number
        << QStringList{u"numbered"_s, u"unchanged"_s} << QStringList{u"x.jpg>photo (2).jpg"_s};
    QTest::newRow("numbered-names-in-turn")
        << false << QStringList{u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s, u"p.jpg"_s, u"p (2).jpg"_s}
        << QStringList{u"a.jpg>p.jpg"_s, u"b.jpg>p.jpg"_s, u"c.jpg>p.jpg"_s} << inPlace << number
        << QStringList(3, u"numbered"_s)
        << QStringList{u"a.jpg>p (1).jpg"_s, u"b.jpg>p (3).jpg"_s, u"c.jpg>p (4).jpg"_s};
    // Each swap gets a stone of its own, past the one that is there already.
    QTest::newRow("two-swaps-two-stones")
        << false << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u".tessaly-1"_s}
        << QStringList{u"a>b"_s, u"b>a"_s, u"c>d"_s, u"d>c"_s} << inPlace << overwrite
        << QStringList(4, u"rename"_s)
        << QStringList{u"a>.tessaly-2"_s, u"b>a"_s, u".tessaly-2>b"_s,
                       u"c>.tessaly-3"_s, u"d>c"_s, u".tessaly-3>d"_s};

    // A listed file that a copy replaces is copied itself before it goes to the Trash.
    const QStringList abc{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s};
    QTest::newRow("copies-over-a-chain-of-sources")
        << false << abc << QStringList{u"a.txt>b.txt"_s, u"b.txt>c.txt"_s, u"c.txt>d.txt"_s} << copy
        << overwrite << QStringList{u"overwrite"_s, u"overwrite"_s, u"rename"_s}
        << QStringList{u"copy c.txt>d.txt"_s, u"c.txt>trash"_s, u"copy b.txt>c.txt"_s,
                       u"b.txt>trash"_s, u"copy a.txt>b.txt"_s};
    QTest::newRow("copies-over-a-cycle-of-sources")
        << false << abc << QStringList{u"a.txt>b.txt"_s, u"b.txt>c.txt"_s, u"c.txt>a.txt"_s} << copy
        << overwrite << QStringList(3, u"overwrite"_s)
        << QStringList{u"copy a.txt>.tessaly-1"_s, u"a.txt>trash"_s,      u"copy c.txt>a.txt"_s,
                       u"c.txt>trash"_s,           u"copy b.txt>c.txt"_s, u"b.txt>trash"_s,
                       u".tessaly-1>b.txt"_s};
    // A listed file copied onto itself stays as it is, so another copy cannot replace it:
    // both rows end at one name.
    QTest::newRow("copy-over-a-source-that-stays")
        << false << QStringList{u"a.txt"_s, u"b.txt"_s}
        << QStringList{u"b.txt>b.txt"_s, u"a.txt>b.txt"_s} << copy << overwrite
        << QStringList{u"duplicate"_s, u"duplicate"_s} << QStringList{};

    // Names the system allows but no new name may hold: a file that has one is listed and
    // renamed like any other.
    QTest::newRow("odd-characters-in-sources")
        << false
        << QStringList{u"Song \"Live\".mp3"_s, u"a<b|c.txt"_s, u"tab\there.txt"_s,
                       u"line\nbreak.txt"_s, u"keep \"me\".txt"_s}
        << QStringList{u"Song \"Live\".mp3>Song Live.mp3"_s, u"a<b|c.txt>abc.txt"_s,
                       u"tab\there.txt>tab here.txt"_s, u"line\nbreak.txt>line break.txt"_s,
                       u"keep \"me\".txt>keep \"me\".txt"_s}
        << inPlace << overwrite
        << QStringList{u"rename"_s, u"rename"_s, u"rename"_s, u"rename"_s, u"unchanged"_s}
        << QStringList{u"Song \"Live\".mp3>Song Live.mp3"_s, u"a<b|c.txt>abc.txt"_s,
                       u"tab\there.txt>tab here.txt"_s, u"line\nbreak.txt>line break.txt"_s};
    QTest::newRow("odd-characters-in-a-new-name")
        << false << QStringList{u"a.txt"_s, u"b\".txt"_s}
        << QStringList{u"a.txt>a\".txt"_s, u"b\".txt>b.txt"_s} << inPlace << overwrite
        << QStringList{u"invalid"_s, u"rename"_s} << QStringList{};
}

void TestBatch::planInOneFolder()
{
    QFETCH(bool, caseless);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, renames);
    QFETCH(int, mode);
    QFETCH(int, conflict);
    QFETCH(QStringList, statuses);
    QFETCH(QStringList, steps);

    OneFolderView view(u"/f"_s, existing, caseless);
    RenameItems items;
    for (const QString &rename : renames) {
        items.append(makeRenameItem(u"/f/"_s + rename.section(u'>', 0, 0)));
        items.back().newName = rename.section(u'>', 1);
    }
    RenameOptions options;
    options.batchMode = mode;
    options.destination = u"/f"_s;
    options.conflict = conflict;
    const RenamePlan plan = planBatch(items, options, view, true);
    QStringList words;
    for (const PlannedRow &row : plan.rows)
        words.append(planStatusWord(row.status));
    QCOMPARE(words, statuses);
    QStringList planned;
    for (const PlanStep &step : plan.steps) {
        planned.append(
            (step.kind == PlanStep::Copy ? u"copy "_s : QString()) +
            fileNamePart(plan.fromPath(step)) + u'>' +
            (step.kind == PlanStep::Trash ? u"trash"_s : fileNamePart(plan.toPath(step))));
    }
    QCOMPARE(planned, steps);
}

// A folder that does not exist yet knows no names: the plan's index of its names grows
// as the targets come, and must still find the one target that two rows want.
void TestBatch::planOfManyIntoANewFolder()
{
    QStringList names;
    RenameItems items;
    for (int i = 0; i < 300; ++i) {
        names.append(u"f%1.txt"_s.arg(i));
        items.append(makeRenameItem(u"/src/"_s + names.back()));
        items.back().newName = u"n%1.txt"_s.arg(i);
    }
    items.last().newName = u"n7.txt"_s;
    OneFolderView view(u"/src"_s, names, false); // "/out" is yet to be made
    RenameOptions options;
    options.batchMode = BatchMode::MoveToFolder;
    options.destination = u"/out"_s;
    options.conflict = ConflictMode::AutoNumber;
    RenamePlan plan = planBatch(items, options, view, true);
    QCOMPARE(plan.count(PlanStatus::Rename), 299);
    QCOMPARE(plan.rows.last().status, PlanStatus::Numbered);
    QCOMPARE(plan.targetPath(items, 299), u"/out/n7 (1).txt"_s);
    QCOMPARE(plan.steps.size(), 300);
    QCOMPARE(plan.fromPath(plan.steps.at(5)), u"/src/f5.txt"_s);
    QCOMPARE(plan.toPath(plan.steps.at(5)), u"/out/n5.txt"_s);

    options.conflict = ConflictMode::Overwrite;
    plan = planBatch(items, options, view, true);
    QCOMPARE(plan.count(PlanStatus::Duplicate), 2);
    QCOMPARE(plan.rows.at(7).status, PlanStatus::Duplicate);
    QVERIFY(plan.steps.isEmpty());
}

void TestBatch::checksBeforeAnything_data()
{
    QTest::addColumn<OptionsEdit>("edit");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("blank-destination") << OptionsEdit([](RenameOptions &o) {
        o.batchMode = BatchMode::MoveToFolder;
        o.destination = u"   "_s;
    }) << true << QStringList{u"Please select a destination folder for Copy/Move mode."_s};
    QTest::newRow("no-preview") << OptionsEdit([](RenameOptions &) {
    }) << false << QStringList{u"Please build preview first (click \"Preview Result\" button)."_s};
}

void TestBatch::checksBeforeAnything()
{
    QFETCH(OptionsEdit, edit);
    QFETCH(bool, preview);
    QFETCH(QStringList, messages);

    m_root->file(u"a.txt"_s, "a.txt");
    // A previous batch's log must survive a batch that does nothing.
    QDir().mkpath(::dataFolder());
    m_appData->file(u"Quenwick/Tessaly/last_rename.csv"_s, "previous");
    RenameItems items = listed({u"a.txt"_s});
    RenameOptions options;
    options.pattern = u"b"_s;
    edit(options);
    if (preview)
        this->preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(m_messages.texts(), messages);
    QCOMPARE(readFileTree(m_root->path()), unchanged({u"a.txt"_s}));
    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), "previous"_ba);
}

void TestBatch::logBytes()
{
    m_root->file(u"a.txt"_s, "a.txt");
    m_root->file(u"b.txt"_s, "b.txt");
    RenameItems items = listed({u"a.txt"_s, u"b.txt"_s});
    RenameOptions options;
    options.pattern = u"é{counter}"_s;
    preview(items, options);
    runBatch(items, options, m_messages, m_files);

    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray root = m_root->path().toUtf8();
    QCOMPARE(log.readAll(), "\xEF\xBB\xBFOriginal,New\r\n\"" + root + "/a.txt\",\"" + root +
                                "/\xC3\xA9"
                                "001.txt\"\r\n\"" +
                                root + "/b.txt\",\"" + root +
                                "/\xC3\xA9"
                                "002.txt\"\r\n");
    log.close();

    // Running the same batch again finds nothing to do and keeps the log as it was:
    // the undo still brings the files back.
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray first = log.readAll();
    log.close();
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(m_messages.texts().back(), batchCompletedText());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), first);
    undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()), unchanged({u"a.txt"_s, u"b.txt"_s}));
}

void TestBatch::touchSetsOnlyTheTarget()
{
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    m_root->file(u"a.txt"_s, "a.txt", old);
    RenameItems items = listed({u"a.txt"_s});
    RenameOptions options;
    options.batchMode = BatchMode::CopyToFolder;
    options.destination = m_root->filePath(u"out"_s);
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(QFileInfo(m_root->filePath(u"out/a.txt"_s)).lastModified().toUTC(), old);

    options.touchModifiedNow = true;
    options.conflict = ConflictMode::Overwrite;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    runBatch(items, options, m_messages, m_files);
    QVERIFY(QFileInfo(m_root->filePath(u"out/a.txt"_s)).lastModified() >= before);
    QCOMPARE(QFileInfo(m_root->filePath(u"a.txt"_s)).lastModified().toUTC(), old);
    QCOMPARE(items.front().originalPath(), m_root->filePath(u"a.txt"_s));
}

// Whichever operation fails, the log names exactly what was done and undo restores the
// starting tree.
void TestBatch::failedBatchesUndoCompletely()
{
    QStringList files;
    for (int i = 0; i < 5; ++i)
        files.append(u"f%1.txt"_s.arg(i));
    files.append(u"f1 (1).txt"_s);
    for (const QString &file : files)
        m_root->file(file, file.toUtf8());
    const Tree start = readFileTree(m_root->path());

    for (int failAt = 1; failAt <= 7; ++failAt) {
        for (int conflict : {ConflictMode::AutoNumber, ConflictMode::Overwrite}) {
            RenameItems items = listed(files.first(5));
            RenameOptions options;
            // Shifts every name by one, so targets collide with later sources.
            options.pattern = u"f{counter}"_s;
            options.digits = u"1"_s;
            options.conflict = conflict;
            preview(items, options);
            FailingFileOperations failing(failAt);
            try {
                runBatch(items, options, m_messages, failing);
            } catch (const TessalyError &) {
            }
            const QStringList records = QFile::exists(undoLogPath()) ? logRecords() : QStringList();
            for (const QString &record : records) {
                const QString target = record.section(u'>', 1);
                QVERIFY2(QFile::exists(m_root->filePath(target)), qPrintable(record));
            }
            if (QFile::exists(undoLogPath()))
                undoLastBatch(m_messages, m_files);
            QCOMPARE(readFileTree(m_root->path()), start);
        }
    }
}

void TestBatch::readBackFindsWhatDidNotHappen_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("untrueTargets");
    QTest::addColumn<int>("untruth");
    QTest::addColumn<QString>("intruder");
    QTest::addColumn<QList<qsizetype>>("notDone");

    const int inPlace = BatchMode::RenameInPlace;
    const int nothing = UntrueFileOperations::Nothing;
    const int link = UntrueFileOperations::SecondLink;
    const QStringList three{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s};
    const QStringList xyz{u"x"_s, u"y"_s, u"z"_s};
    QTest::newRow("all-made") << three << xyz << inPlace << QStringList() << nothing << QString()
                              << QList<qsizetype>();
    QTest::newRow("rename-not-made") << three << xyz << inPlace << QStringList{u"y.txt"_s}
                                     << nothing << QString() << QList<qsizetype>{1};
    QTest::newRow("rename-left-both-names")
        << three << xyz << inPlace << QStringList{u"x.txt"_s, u"z.txt"_s} << link << QString()
        << QList<qsizetype>{0, 2};
    QTest::newRow("swap-last-step-not-made")
        << QStringList{u"a.txt"_s, u"b.txt"_s} << QStringList{u"b"_s, u"a"_s} << inPlace
        << QStringList{u"b.txt"_s} << nothing << QString() << QList<qsizetype>{0};
    QTest::newRow("two-folders-one-not-made")
        << QStringList{u"p/a.txt"_s, u"q/b.txt"_s} << QStringList{u"x"_s, u"y"_s} << inPlace
        << QStringList{u"y.txt"_s} << nothing << QString() << QList<qsizetype>{1};
    // The name taken meanwhile sends the file to "x (1).txt": that is where it is looked for.
    QTest::newRow("renumbered-while-running")
        << QStringList{u"a.txt"_s} << QStringList{u"x"_s} << inPlace << QStringList() << nothing
        << u"x.txt"_s << QList<qsizetype>();
    QTest::newRow("renumbered-not-made")
        << QStringList{u"a.txt"_s} << QStringList{u"x"_s} << inPlace << QStringList{u"x (1).txt"_s}
        << nothing << u"x.txt"_s << QList<qsizetype>{0};
    QTest::newRow("rename-made-another-file")
        << three << xyz << inPlace << QStringList{u"y.txt"_s}
        << int(UntrueFileOperations::OtherFile) << QString() << QList<qsizetype>{1};
    QTest::newRow("copy-not-made")
        << three << xyz << int(BatchMode::CopyToFolder) << QStringList{u"z.txt"_s} << nothing
        << QString() << QList<qsizetype>{2};
    QTest::newRow("move-left-both-names")
        << three << xyz << int(BatchMode::MoveToFolder) << QStringList{u"y.txt"_s} << link
        << QString() << QList<qsizetype>{1};
}

// Every row the system reported done is read back: a row whose file is not under its new
// name, or is under both names, is told, and only those rows.
void TestBatch::readBackFindsWhatDidNotHappen()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, names);
    QFETCH(int, mode);
    QFETCH(QStringList, untrueTargets);
    QFETCH(int, untruth);
    QFETCH(QString, intruder);
    QFETCH(QList<qsizetype>, notDone);

    for (const QString &file : files)
        m_root->file(file, file.toUtf8());
    RenameItems items = listed(files);
    RenameOptions options;
    options.pattern = u"{list}"_s;
    options.batchMode = mode;
    options.destination = m_root->filePath(u"out"_s);
    options.conflict = ConflictMode::AutoNumber;
    RecordingMessages quiet;
    QVERIFY(previewNames(items, options, names, quiet));
    SystemFileSystemView view;
    const RenamePlan plan = planBatch(items, options, view, true);
    QVERIFY(!plan.blocked());
    UntrueFileOperations untrue(untrueTargets, UntrueFileOperations::Untruth(untruth), intruder);
    const BatchOutcome outcome = executePlan(items, plan, options, m_messages, untrue);
    QCOMPARE(outcome.unverified, notDone);
    QCOMPARE(outcome.done, outcome.total - notDone.size());
    QCOMPARE(m_messages.entries.size(), 1);
    QCOMPARE(m_messages.entries.first().kind, notDone.isEmpty() ? u"info"_s : u"warning"_s);
    QCOMPARE(m_messages.entries.first().text.contains(u"did not get their new names"_s),
             !notDone.isEmpty());
}

// A stop asked for at any moment ends the batch between two files, never with a file
// under a stepping stone's name, and the log names exactly what was done.
void TestBatch::stopsBetweenFiles()
{
    const QStringList files{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"d.txt"_s};
    for (const QString &file : files)
        m_root->file(file, file.toUtf8());
    m_root->file(u"x.txt"_s, "outside");
    const Tree start = readFileTree(m_root->path());
    for (int stopAfter = 0; stopAfter <= 4; ++stopAfter) {
        RenameItems items = listed(files);
        RenameOptions options;
        options.pattern = u"{list}"_s;
        options.conflict = ConflictMode::Overwrite;
        RecordingMessages quiet;
        // a and b swap; c replaces x; d moves on.
        QVERIFY(previewNames(items, options, {u"b"_s, u"a"_s, u"x"_s, u"e"_s}, quiet));
        SystemFileSystemView view;
        const RenamePlan plan = planBatch(items, options, view, true);
        qsizetype reported = 0;
        BatchProgress progress;
        progress.fileDone = [&](qsizetype done, qsizetype total, QStringView, QStringView) {
            QCOMPARE(total, 4);
            reported = done;
        };
        progress.stopRequested = [&] { return reported >= stopAfter; };
        RecordingMessages messages;
        const BatchOutcome outcome =
            executePlan(items, plan, options, messages, m_files, {}, progress);
        QCOMPARE(outcome.cancelled, stopAfter < 4);
        // The swap of a and b is never cut in two.
        const qsizetype expectedDone[] = {0, 2, 2, 3, 4};
        QCOMPARE(outcome.done, expectedDone[stopAfter]);
        if (outcome.cancelled) {
            QCOMPARE(messages.texts(),
                     QStringList{u"Stopped after %1 of 4 files. Undo brings them back."_s.arg(
                         outcome.done)});
        }
        const Tree stopped = readFileTree(m_root->path());
        for (const QString &path : stopped.keys())
            QVERIFY2(!path.startsWith(u".tessaly-"_s), qPrintable(path));
        // The undo too stops between two records when asked, and the next one goes on.
        BatchProgress undoProgress;
        qsizetype undone = 0, records = 0;
        undoProgress.fileDone = [&](qsizetype done, qsizetype total, QStringView, QStringView) {
            undone = done;
            records = total;
        };
        undoProgress.stopRequested = [&] { return undone >= 1; };
        RecordingMessages undoMessages;
        undoLastBatch(undoMessages, m_files, {}, undoProgress);
        if (records > 1) {
            QCOMPARE(undoMessages.texts(),
                     QStringList{u"Undo stopped after 1 of %1 files. Undo again brings back "
                                 u"the rest."_s.arg(records)});
            QVERIFY(QFile::exists(undoLogPath()));
            undoLastBatch(m_messages, m_files);
        }
        QCOMPARE(readFileTree(m_root->path()), start);
    }
}

// A file of a swap that went away after planning leaves the swap unfinished for good:
// that must not keep a stop from being heard for the rest of the batch.
void TestBatch::stopsAfterASwapLostAFile()
{
    const QStringList files{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"d.txt"_s};
    for (const QString &file : files)
        m_root->file(file, file.toUtf8());
    RenameItems items = listed(files);
    RenameOptions options;
    options.pattern = u"{list}"_s;
    QVERIFY(previewNames(items, options, {u"b"_s, u"a"_s, u"e"_s, u"f"_s}, m_messages));
    SystemFileSystemView view;
    const RenamePlan plan = planBatch(items, options, view, true);
    QVERIFY(QFile::remove(m_root->filePath(u"a.txt"_s)));
    qsizetype reported = 0;
    BatchProgress progress;
    progress.fileDone = [&](qsizetype done, qsizetype, QStringView, QStringView) {
        reported = done;
    };
    progress.stopRequested = [&] { return reported >= 2; };
    const BatchOutcome outcome =
        executePlan(items, plan, options, m_messages, m_files, {}, progress);
    QVERIFY(outcome.cancelled);
    QCOMPARE(outcome.done, 1);
    QCOMPARE(readEntries(m_root->path()),
             (Tree{{u"a.txt"_s, u"b.txt"_s}, {u"c.txt"_s, u"c.txt"_s}, {u"d.txt"_s, u"d.txt"_s}}));
}

void TestBatch::undoReadsEveryLineForm()
{
    for (const char *name : {"a", "b", "c", "d", "e", "f", "h", "i"})
        m_root->file(u"new-%1.txt"_s.arg(QLatin1String(name)), name);
    const QByteArray root = m_root->path().toUtf8();
    QDir().mkpath(::dataFolder());
    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::WriteOnly));
    // No byte-order mark, mixed line ends, a record without outer quotes, one with a
    // comma alone and one whose new file is gone, and no line end at the end. A record
    // whose quoted path holds a line end and doubled quotation marks; records an undo
    // marked as undone (quoted, and without quotation marks) and as passed over.
    log.write("Original,New\n\"" + root + "/a.txt\",\"" + root + "/new-a.txt\"\r" + root +
              "/b.txt\",\"" + root + "/new-b.txt\r\n\"" + root + "/e\n\"\"1\"\".txt\",\"" + root +
              "/new-e.txt\"\r\n#" + root + "/f.txt\",\"" + root + "/new-f.txt\"\r\n#" +
              root.sliced(1) + "/h.txt\",\"" + root + "/new-h.txt\r\n\"" + root + "/x.txt," + root +
              "/new-c.txt\"\n  \n\"" + root + "/g.txt\",\"" + root + "/gone.txt\"\n!" + root +
              "/i.txt\",\"" + root + "/new-i.txt\"\n\"" + root + "/d.txt\",\"" + root +
              "/new-d.txt\"");
    log.close();

    QVERIFY(log.open(QIODevice::ReadOnly));
    const UndoLogContent content = parseUndoLog(log.readAll());
    log.close();
    QStringList read;
    for (const UndoRecordPaths &record : content.records) {
        read.append(QString(QChar(record.mark == UndoMark::None ? u' ' : char16_t(record.mark))) +
                    rel(record.original) + u'>' + rel(record.moved));
    }
    QCOMPARE(read, (QStringList{u" a.txt>new-a.txt"_s, u" b.txt>new-b.txt"_s,
                                u" e\n\"1\".txt>new-e.txt"_s, u"#f.txt>new-f.txt"_s,
                                u"#h.txt>new-h.txt"_s, u" g.txt>gone.txt"_s, u"!i.txt>new-i.txt"_s,
                                u" d.txt>new-d.txt"_s}));
    QCOMPARE(content.unreadable, 1);

    undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()), (Tree{{u"a.txt"_s, u"a"_s},
                                                 {u"b.txt"_s, u"b"_s},
                                                 {u"new-c.txt"_s, u"c"_s},
                                                 {u"d.txt"_s, u"d"_s},
                                                 {u"e\n\"1\".txt"_s, u"e"_s},
                                                 {u"new-f.txt"_s, u"f"_s},
                                                 {u"new-h.txt"_s, u"h"_s},
                                                 {u"i.txt"_s, u"i"_s}}));
    // The record whose file is gone. The one an earlier undo passed over is planned
    // afresh: its way is clear now.
    QCOMPARE(m_messages.texts(),
             (QStringList{u"Lines of the undo log that could not be read were passed over: 1."_s,
                          u"1 of 8 files could not be brought back: their files are gone or "
                          u"another file has their old name."_s}));
}

void TestBatch::undoKeepsFilesMadeSince()
{
    m_root->file(u"a.txt"_s, "a.txt");
    RenameItems items = listed({u"a.txt"_s});
    RenameOptions options;
    options.pattern = u"b"_s;
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    m_root->file(u"a.txt"_s, "made since");

    // Left out and told; the batch stays to be undone.
    undoLastBatch(m_messages, m_files);
    QCOMPARE(m_messages.texts().back(), u"1 of 1 files could not be brought back: their files "
                                        u"are gone or another file has their old name."_s);
    QVERIFY(QFile::exists(undoLogPath()));
    QCOMPARE(readFileTree(m_root->path()),
             (Tree{{u"a.txt"_s, u"made since"_s}, {u"b.txt"_s, u"a.txt"_s}}));

    // Once the user moved the new file away, the undo goes on.
    QFile::rename(m_root->filePath(u"a.txt"_s), m_root->filePath(u"kept.txt"_s));
    undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()),
             (Tree{{u"a.txt"_s, u"a.txt"_s}, {u"kept.txt"_s, u"made since"_s}}));
}

void TestBatch::undoRecreatesFolders()
{
    m_root->file(u"src/deep/a.txt"_s, "a.txt");
    RenameItems items = listed({u"src/deep/a.txt"_s});
    RenameOptions options;
    options.batchMode = BatchMode::MoveToFolder;
    options.destination = m_root->filePath(u"out"_s);
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QVERIFY(QDir(m_root->filePath(u"src"_s)).removeRecursively());
    undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()), (Tree{{u"src/deep/a.txt"_s, u"a.txt"_s}}));
}

void TestBatch::undoOfNothing()
{
    // The folder the message names is the one the log would be in.
    const QString noLog = u"No undo log found in "_s + ::dataFolder() + u'.';
    QCOMPARE(noUndoLogText(), noLog);
    undoLastBatch(m_messages, m_files, [] { QFAIL("no log: the list stays"); });
    QCOMPARE(m_messages.texts(), QStringList{noLog});

    // A batch with nothing to do makes no log.
    m_root->file(u"a.txt"_s, "a.txt");
    RenameItems items = listed({u"a.txt"_s});
    RenameOptions options;
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(m_messages.texts().back(),
             u"Batch completed. The undo log is in "_s + ::dataFolder() + u'.');
    QVERIFY(!QFile::exists(undoLogPath()));

    // A header-only log, as older versions left: nothing moves, the log goes, the list
    // empties.
    QDir().mkpath(::dataFolder());
    m_appData->file(u"Quenwick/Tessaly/last_rename.csv"_s, "\xEF\xBB\xBFOriginal,New\r\n");
    bool cleared = false;
    undoLastBatch(m_messages, m_files, [&] { cleared = true; });
    QVERIFY(cleared);
    QCOMPARE(m_messages.texts().back(), u"Undo completed for the last rename operation."_s);
    QVERIFY(!QFile::exists(undoLogPath()));
    undoLastBatch(m_messages, m_files);
    QCOMPARE(m_messages.texts().back(), noLog);

    // A record without a folder while its new file exists.
    m_root->file(u"new.txt"_s);
    QDir().mkpath(::dataFolder());
    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("Original,New\r\n\"bare.txt\",\"" + m_root->filePath(u"new.txt"_s).toUtf8() +
              "\"\r\n");
    log.close();
    try {
        undoLastBatch(m_messages, m_files);
        QFAIL("a record without a folder cannot be undone");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), u"Unable to create directory\n[]"_s);
    }
}

void TestBatch::logFileSystemFull_data()
{
    QTest::addColumn<int>("freeKiB");
    QTest::addColumn<bool>("someDone");

    QTest::newRow("full-before-the-first-record") << 16 << false;
    QTest::newRow("full-halfway") << 96 << true;
}

// A full file system under the log is an ordinary error before the operation the
// record was for: the log names exactly what was done, and the undo restores it.
void TestBatch::logFileSystemFull()
{
    QFETCH(int, freeKiB);
    QFETCH(bool, someDone);

    if (::geteuid() != 0)
        QSKIP("mounting a small file system for the log needs root");
    TestDir small;
    if (::mount("tessaly-test", QFile::encodeName(small.path()).constData(), "tmpfs", 0,
                "size=256k") != 0)
        QSKIP(qPrintable(u"cannot mount a tmpfs: "_s + QString::fromLocal8Bit(strerror(errno))));
    const auto unmount =
        qScopeGuard([&] { ::umount2(QFile::encodeName(small.path()).constData(), MNT_DETACH); });
    small.file(u"filler"_s, QByteArray((256 - freeKiB) * 1024, 'x'));
    qputenv("APPDATA", small.path().toUtf8());

    QStringList names;
    for (int i = 0; i < 1000; ++i)
        names.append(m_root->file(u"a fairly long file name %1.txt"_s.arg(i), "x")
                         .mid(m_root->path().size() + 1));
    const Tree start = readFileTree(m_root->path());
    RenameItems items = listed(names);
    RenameOptions options;
    options.pattern = u"{name} renamed"_s;
    preview(items, options);
    try {
        runBatch(items, options, m_messages, m_files);
        QFAIL("the log cannot hold a thousand records");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(),
                 u"Cannot create file \""_s + undoLogPath() + u"\". No space left on device"_s);
    }
    const QStringList records = QFile::exists(undoLogPath()) ? logRecords() : QStringList();
    const Tree after = readFileTree(m_root->path());
    QCOMPARE(records.size(), int(std::count_if(after.keyBegin(), after.keyEnd(), [](auto &name) {
                 return name.endsWith(u" renamed.txt"_s);
             })));
    QCOMPARE(!records.isEmpty(), someDone);
    if (someDone)
        undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()), start);
}

void TestBatch::messagesSeeTheEndedLog_data()
{
    QTest::addColumn<bool>("secondPreviewed");
    QTest::addColumn<QString>("message");

    QTest::newRow("completed") << true << u"Batch completed. The undo log is in <data>."_s;
    QTest::newRow("stopped-by-a-missing-preview")
        << false << u"Please build preview first (click \"Preview Result\" button)."_s;
}

// While a message waits for the user, the log already holds exactly its records and
// another batch or an undo may take it.
void TestBatch::messagesSeeTheEndedLog()
{
    QFETCH(bool, secondPreviewed);
    QFETCH(QString, message);

    class CheckingMessages : public RecordingMessages
    {
    public:
        void information(const QString &text) override
        {
            check();
            RecordingMessages::information(text);
        }
        void warning(const QString &text) override
        {
            check();
            RecordingMessages::warning(text);
        }
        void check()
        {
            QFile log(undoLogPath());
            if (log.open(QIODevice::ReadOnly))
                logSeen = log.readAll();
            try {
                UndoLogLock lock(undoLogPath());
                lockFree = true;
            } catch (const TessalyError &) {
            }
        }
        QByteArray logSeen;
        bool lockFree = false;
    } messages;

    QDir().mkpath(::dataFolder()); // where the lock lives
    m_root->file(u"a.txt"_s, "a.txt");
    m_root->file(u"b.txt"_s, "b.txt");
    RenameItems items = listed({u"a.txt"_s, u"b.txt"_s});
    RenameOptions options;
    options.pattern = u"x{counter}"_s;
    preview(items, options);
    if (!secondPreviewed)
        items[1].newName.clear();
    runBatch(items, options, messages, m_files);

    QCOMPARE(messages.texts(), QStringList{message.replace(u"<data>"_s, ::dataFolder())});
    const QByteArray root = m_root->path().toUtf8();
    // A row without a preview keeps the whole batch from starting: no log at all.
    QByteArray expected;
    if (secondPreviewed) {
        expected = "\xEF\xBB\xBFOriginal,New\r\n\"" + root + "/a.txt\",\"" + root +
                   "/x001.txt\"\r\n\"" + root + "/b.txt\",\"" + root + "/x002.txt\"\r\n";
    }
    QCOMPARE(messages.logSeen, expected);
    QVERIFY(messages.lockFree);
}

// A link in the log's place is replaced by the new log, never written through, and
// the undo does not read through it.
void TestBatch::logLinkNeverFollowed()
{
    const QString victim = m_appData->file(u"victim.txt"_s, "precious");
    QDir().mkpath(::dataFolder());
    QVERIFY(QFile::link(victim, undoLogPath()));

    undoLastBatch(m_messages, m_files);
    QCOMPARE(m_messages.texts().back(), noUndoLogText());
    QVERIFY(QFileInfo(undoLogPath()).isSymLink());
    QCOMPARE(readHistory().size(), 0);

    m_root->file(u"a.txt"_s, "a.txt");
    RenameItems items = listed({u"a.txt"_s});
    RenameOptions options;
    options.pattern = u"b"_s;
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(readFileTree(m_appData->path()).value(u"victim.txt"_s), u"precious"_s);
    QVERIFY(!QFileInfo(undoLogPath()).isSymLink());
    QCOMPARE(logRecords(), QStringList{u"a.txt>b.txt"_s});
    undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()), unchanged({u"a.txt"_s}));
    QCOMPARE(readFileTree(m_appData->path()).value(u"victim.txt"_s), u"precious"_s);
}

void TestBatch::logPathsAbsoluteAndClean_data()
{
    QTest::addColumn<QString>("source"); // as listed, from the folder A
    QTest::addColumn<QString>("destination");

    QTest::newRow("relative-destination") << u"<root>/A/a.txt"_s << u"out"_s;
    QTest::newRow("dotted-destination") << u"<root>/A/a.txt"_s << u"<root>/A/x/.././out/"_s;
    QTest::newRow("relative-source") << u"./sub/../a.txt"_s << u"<root>/A//out"_s;
}

// An undo run from another folder, which holds out/a.txt too, still moves back the
// file the batch moved, and only that one.
void TestBatch::logPathsAbsoluteAndClean()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);

    m_root->file(u"A/a.txt"_s, "a");
    m_root->folder(u"A/sub"_s);
    m_root->file(u"B/out/a.txt"_s, "unrelated");
    const Tree start = readFileTree(m_root->path());
    const QString saved = QDir::currentPath();
    const auto restore = qScopeGuard([&] { QDir::setCurrent(saved); });
    QDir::setCurrent(m_root->filePath(u"A"_s));

    RenameItems items{makeRenameItem(QString(source).replace(u"<root>"_s, m_root->path()))};
    RenameOptions options;
    options.batchMode = BatchMode::MoveToFolder;
    options.destination = QString(destination).replace(u"<root>"_s, m_root->path());
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const UndoLogContent content = parseUndoLog(log.readAll());
    QCOMPARE(content.unreadable, 0);
    QCOMPARE(content.records.size(), 1);
    QCOMPARE(content.records.front().original, m_root->filePath(u"A/a.txt"_s));
    QCOMPARE(content.records.front().moved, m_root->filePath(u"A/out/a.txt"_s));
    QCOMPARE(items.front().originalPath(), m_root->filePath(u"A/out/a.txt"_s));

    QDir::setCurrent(m_root->filePath(u"B"_s));
    undoLastBatch(m_messages, m_files);
    Tree expected = start;
    QCOMPARE(readFileTree(m_root->path()), expected);
}

void TestBatch::undoCountsUnreadableLines_data()
{
    QTest::addColumn<QByteArray>("log"); // <root> stands for the folder
    QTest::addColumn<int>("unreadable");
    QTest::addColumn<QStringList>("after");

    const QByteArray a = "\"<root>/a.txt\",\"<root>/new-a.txt\"\r\n";
    const QByteArray header = "\xEF\xBB\xBFOriginal,New\r\n";
    QTest::newRow("whole-log") << header + a << 0 << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("garbage") << "\x7F"
                                "ELF\x02\x01\nbinary\x01\x02\n\nmore text\n" +
                                    a
                             << 2 << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("cut-in-a-record") << header + a + "\"<root>/b.txt\",\"<root>/new-b" << 1
                                     << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("relative-paths")
        << header + a + "\"b.txt\",\"new-b.txt\"\r\n\"x/b.txt\",\"x/new-b.txt\"\r\n"
        << 2 << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("quote-inside") << header +
                                         "\"<root>/b.txt\",\"<root>/x\",\"<root>/new-b.txt\"\r\n"
                                  << 1 << QStringList{u"new-a.txt"_s, u"new-b.txt"_s};
    // A batch killed while it wrote a record: that record's operation never began.
    QTest::newRow("killed-while-writing")
        << "\xEF\xBB\xBFOriginal;New\r\n" + a + "\"<root>/b.txt\",\"<ro" + QByteArray(300, 0) << 0
        << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("killed-within-a-line-end-of-a-path")
        << "\xEF\xBB\xBFOriginal;New\r\n" + a + "\"<root>/b\r\n" + QByteArray(300, 0) << 0
        << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("record-across-lines") << header + "\"<root>/a\nb.txt\",\"<root>/new-a.txt\"\r\n"
                                         << 0 << QStringList{u"a\nb.txt"_s, u"new-b.txt"_s};
    // A quoted path left open does not swallow the records after it.
    QTest::newRow("quote-never-closed-then-a-record")
        << header + "\"<root>/b.txt\",\"<root>/new-b.txt\r\n" + a << 1
        << QStringList{u"a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("lone-quote-in-a-quoted-path")
        << header + "\"<root>/a\"x.txt\",\"<root>/new-a.txt\"\r\n"
        << 1 << QStringList{u"new-a.txt"_s, u"new-b.txt"_s};
    QTest::newRow("nul-in-a-path")
        << header + "\"<root>/a" + QByteArray(1, 0) + ".txt\",\"<root>/new-a.txt\"\r\n"
        << 1 << QStringList{u"new-a.txt"_s, u"new-b.txt"_s};
    // Undone by an earlier undo that was stopped: not undone again, not unreadable.
    QTest::newRow("marked-undone") << header + "#<root>/a.txt\",\"<root>/new-a.txt\"\r\n"
                                   << 0 << QStringList{u"new-a.txt"_s, u"new-b.txt"_s};
}

// Lines that are no record are passed over, and the undo says how many.
void TestBatch::undoCountsUnreadableLines()
{
    QFETCH(QByteArray, log);
    QFETCH(int, unreadable);
    QFETCH(QStringList, after);

    m_root->file(u"new-a.txt"_s, "a");
    m_root->file(u"new-b.txt"_s, "b");
    m_root->file(u"x/new-b.txt"_s, "x");
    QDir().mkpath(::dataFolder());
    QFile file(undoLogPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(log.replace("<root>", m_root->path().toUtf8()));
    file.close();
    const QString saved = QDir::currentPath();
    const auto restore = qScopeGuard([&] { QDir::setCurrent(saved); });
    QDir::setCurrent(m_root->path());

    undoLastBatch(m_messages, m_files);
    QStringList expected;
    if (unreadable > 0) {
        expected.append(u"Lines of the undo log that could not be read were passed over: %1."_s.arg(
            unreadable));
    }
    expected.append(u"Undo completed for the last rename operation."_s);
    QCOMPARE(m_messages.texts(), expected);
    Tree tree = readFileTree(m_root->path());
    QCOMPARE(tree.take(u"x/new-b.txt"_s), u"x"_s);
    QCOMPARE(tree.keys(), after);
}

void TestBatch::undoAfterInterruptions_data()
{
    QTest::addColumn<UndoCase>("undoCase");
    QTest::addColumn<bool>("acrossFileSystems");

    const QByteArray running = "\xEF\xBB\xBFOriginal;New\r\n";
    const QByteArray ended = "\xEF\xBB\xBFOriginal,New\r\n";
    const QByteArray aToB = "\"<here>/a.txt\",\"<here>/b.txt\"\r\n";
    const QByteArray aToOther = "\"<here>/a.txt\",\"<other>/b.txt\"\r\n";
    const auto in = [](TestDir *dir, const QString &name) { return dir->filePath(name); };
    const auto put = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    };

    // A batch killed after the record, before its rename, when the target held the
    // same bytes already: nothing may be deleted.
    QTest::newRow("uncertain-record-both-there")
        << UndoCase{[](TestDir &here, TestDir *) {
                        here.file(u"a.txt"_s, "same");
                        here.file(u"b.txt"_s, "same");
                    },
                    running + aToB,
                    Tree{{u"here/a.txt"_s, u"same"_s}, {u"here/b.txt"_s, u"same"_s}},
                    {},
                    1}
        << false;
    QTest::newRow("folder-in-place-of-file")
        << UndoCase{[](TestDir &here, TestDir *) { here.file(u"b.txt/precious"_s, "p"); },
                    ended + aToB,
                    Tree{{u"here/b.txt/precious"_s, u"p"_s}},
                    {},
                    1}
        << false;
    // Many records in one folder are looked over with one listing of it.
    QByteArray many = ended;
    Tree manyAfter{{u"here/b0.txt/precious"_s, u"p"_s}};
    for (int i = 0; i <= 40; ++i) {
        many += u"\"<here>/a%1.txt\",\"<here>/b%1.txt\"\r\n"_s.arg(i).toUtf8();
        if (i > 0)
            manyAfter.insert(u"here/a%1.txt"_s.arg(i), QString::number(i));
    }
    QTest::newRow("folder-in-place-of-one-of-many")
        << UndoCase{[](TestDir &here, TestDir *) {
                        here.file(u"b0.txt/precious"_s, "p");
                        for (int i = 1; i <= 40; ++i)
                            here.file(u"b%1.txt"_s.arg(i), QByteArray::number(i));
                    },
                    many,
                    manyAfter,
                    {},
                    1}
        << false;
    QTest::newRow("partial-copy-of-killed-batch")
        << UndoCase{[=](TestDir &here, TestDir *) {
                        here.file(u"a.txt"_s, "a");
                        here.folder(u"out"_s);
                        put(partialCopyPath(here.filePath(u"out/b.txt"_s)), "a-part");
                    },
                    running + "\"<here>/a.txt\",\"<here>/out/b.txt\"\r\n",
                    Tree{{u"here/a.txt"_s, u"a"_s}},
                    {}}
        << false;
    // A first undo moved c back, then stopped; the user cleared the way; again.
    QTest::newRow("resumed-after-moves-across-file-systems")
        << UndoCase{[](TestDir &here, TestDir *other) {
                        here.file(u"c.txt"_s, "c");
                        other->file(u"a.txt"_s, "a");
                    },
                    ended + "\"<here>/a.txt\",\"<other>/a.txt\"\r\n\"<here>/c.txt\",\"<other>/"
                            "c.txt\"\r\n",
                    Tree{{u"here/a.txt"_s, u"a"_s}, {u"here/c.txt"_s, u"c"_s}},
                    {}}
        << true;
    QTest::newRow("batch-killed-with-source-set-aside")
        << UndoCase{[=](TestDir &here, TestDir *other) {
                        put(setAsidePath(here.filePath(u"a.txt"_s)), "a");
                        put(partialCopyPath(in(other, u"b.txt"_s)), "a-part");
                    },
                    running + aToOther,
                    Tree{{u"here/a.txt"_s, u"a"_s}},
                    {}}
        << true;
    QTest::newRow("batch-killed-with-copy-placed")
        << UndoCase{[=](TestDir &here, TestDir *other) {
                        put(setAsidePath(here.filePath(u"a.txt"_s)), "a");
                        other->file(u"b.txt"_s, "a");
                    },
                    running + aToOther,
                    Tree{{u"here/a.txt"_s, u"a"_s}},
                    {}}
        << true;
    QTest::newRow("undo-killed-with-file-set-aside")
        << UndoCase{[=](TestDir &here, TestDir *other) {
                        put(setAsidePath(in(other, u"b.txt"_s)), "a");
                        put(partialCopyPath(here.filePath(u"a.txt"_s)), "a-part");
                    },
                    ended + aToOther,
                    Tree{{u"here/a.txt"_s, u"a"_s}},
                    {}}
        << true;
    for (const QByteArray &header : {ended, running}) {
        QTest::addRow("undo-killed-with-copy-placed-%s", header == ended ? "ended" : "running")
            << UndoCase{[=](TestDir &here, TestDir *other) {
                            put(setAsidePath(in(other, u"b.txt"_s)), "a");
                            here.file(u"a.txt"_s, "a");
                        },
                        header + aToOther,
                        Tree{{u"here/a.txt"_s, u"a"_s}},
                        {}}
            << true;
    }
}

// Whatever an interrupted batch or undo left, the undo brings the files back without
// deleting anything it cannot be sure of, and leaves none of its hidden files.
void TestBatch::undoAfterInterruptions()
{
    QFETCH(UndoCase, undoCase);
    QFETCH(bool, acrossFileSystems);
    if (callsUnderTest() == FileSystemCalls::QtOnly &&
        qstrcmp(QTest::currentDataTag(), "undo-killed-with-file-set-aside") == 0)
        QSKIP("Qt's portable copy makes no partial file, so a killed one of the system's "
              "own calls is not its to clear");

    std::unique_ptr<TestDir> other;
    if (acrossFileSystems) {
        other = otherFileSystem(*m_root);
        if (!other)
            QSKIP("no second file system to move across");
    }
    undoCase.setup(*m_root, other.get());
    const QByteArray here = m_root->path().toUtf8();
    const QByteArray there = other ? other->path().toUtf8() : QByteArray();
    QDir().mkpath(::dataFolder());
    m_appData->file(u"Quenwick/Tessaly/last_rename.csv"_s,
                    undoCase.log.replace("<here>", here).replace("<other>", there));

    QString error;
    try {
        undoLastBatch(m_messages, m_files);
    } catch (const TessalyError &e) {
        error = e.message();
    }
    QCOMPARE(error, undoCase.error.replace(u"<here>"_s, m_root->path()));
    if (error.isEmpty()) {
        QCOMPARE(m_messages.texts().back(),
                 undoCase.notBack == 0
                     ? u"Undo completed for the last rename operation."_s
                     : u"%1 of %2 files could not be brought back: their files are gone or "
                       u"another file has their old name."_s.arg(undoCase.notBack)
                           .arg(parseUndoLog(undoCase.log).records.size()));
    }
    Tree tree;
    for (const auto &[prefix, root] :
         {std::pair{u"here/"_s, m_root.get()}, std::pair{u"other/"_s, other.get()}}) {
        if (!root)
            continue;
        const Tree entries = readEntries(root->path());
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            tree.insert(prefix + it.key(), it.value());
    }
    QCOMPARE(tree, undoCase.after);
}

void TestBatch::undoProgressStaysWithItsLog_data()
{
    QTest::addColumn<bool>("stopped");  // or failed, as a killed undo stops
    QTest::addColumn<bool>("newBatch"); // another batch before the next undo

    QTest::newRow("stopped-then-resumed") << true << false;
    QTest::newRow("failed-then-resumed") << false << false;
    QTest::newRow("stopped-then-new-batch") << true << true;
    QTest::newRow("failed-then-new-batch") << false << true;
}

// An undo that stops part-way marks each record it undid in the log itself: the next
// undo of that log goes on exactly there, and the next batch's log starts with no
// progress. Two files that swapped names through a stepping stone show why the files
// alone cannot tell: undone in part, both paths of the oldest undone record are taken
// again.
void TestBatch::undoProgressStaysWithItsLog()
{
    QFETCH(bool, stopped);
    QFETCH(bool, newBatch);

    m_root->file(u"a.txt"_s, "a");
    m_root->file(u"b.txt"_s, "b");
    for (int i = 0; i < 3; ++i)
        m_root->file(u"other/g%1.txt"_s.arg(i), "g" + QByteArray::number(i));
    const Tree start = readFileTree(m_root->path());
    RenameItems items = listed({u"a.txt"_s, u"b.txt"_s});
    RenameOptions options;
    options.pattern = u"{list}"_s;
    QVERIFY(previewNames(items, options, {u"b"_s, u"a"_s}, m_messages));
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(logRecords(),
             (QStringList{u"a.txt>.tessaly-1"_s, u"b.txt>a.txt"_s, u".tessaly-1>b.txt"_s}));

    // Two of the three records are undone, then the undo stops.
    RecordingMessages messages;
    if (stopped) {
        qsizetype undone = 0;
        BatchProgress progress;
        progress.fileDone = [&](qsizetype done, qsizetype, QStringView, QStringView) {
            undone = done;
        };
        progress.stopRequested = [&] { return undone >= 2; };
        undoLastBatch(messages, m_files, {}, progress);
        QCOMPARE(messages.texts(), QStringList{u"Undo stopped after 2 of 3 files. Undo again "
                                               u"brings back the rest."_s});
    } else {
        FailingFileOperations failing(3);
        QVERIFY_THROWS_EXCEPTION(TessalyError, undoLastBatch(messages, failing));
    }
    const Tree partly{{u".tessaly-1"_s, u"a"_s},
                      {u"b.txt"_s, u"b"_s},
                      {u"other/g0.txt"_s, u"g0"_s},
                      {u"other/g1.txt"_s, u"g1"_s},
                      {u"other/g2.txt"_s, u"g2"_s}};
    QCOMPARE(readFileTree(m_root->path()), partly);
    QFile file(undoLogPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<UndoMark> marks;
    for (const UndoRecordPaths &record : parseUndoLog(file.readAll()).records)
        marks.append(record.mark);
    file.close();
    QCOMPARE(marks, (QList{UndoMark::None, UndoMark::Undone, UndoMark::Undone}));
    QVERIFY(!QFile::exists(undoLogPath() + u".undone"_s));
    // A note an older version kept beside its log is not taken for this log's progress.
    m_appData->file(u"Quenwick/Tessaly/last_rename.csv.undone"_s, QByteArray(64, '\x02'));

    Tree expected = start;
    if (newBatch) {
        RenameItems others = listed({u"other/g0.txt"_s, u"other/g1.txt"_s, u"other/g2.txt"_s});
        RenameOptions rename;
        rename.pattern = u"h{counter}"_s;
        rename.digits = u"1"_s;
        preview(others, rename);
        runBatch(others, rename, m_messages, m_files);
        QVERIFY(QFile::exists(m_root->filePath(u"other/h3.txt"_s)));
        expected = partly;
    }
    undoLastBatch(m_messages, m_files);
    QCOMPARE(m_messages.texts().back(), u"Undo completed for the last rename operation."_s);
    QCOMPARE(readFileTree(m_root->path()), expected);
    QVERIFY(!QFile::exists(undoLogPath()));
    QVERIFY(!QFile::exists(undoLogPath() + u".undone"_s));
}

void TestBatch::filesWaitingUnderHiddenNames_data()
{
    QTest::addColumn<QByteArray>("log");     // <here> stands for the folder
    QTest::addColumn<QStringList>("hidden"); // files made beside the log's paths
    QTest::addColumn<QStringList>("waiting");

    const QByteArray running = "\xEF\xBB\xBFOriginal;New\r\n";
    const QByteArray ended = "\xEF\xBB\xBFOriginal,New\r\n";
    // A swap killed halfway: a waits on a stepping stone, b has a's name.
    const QByteArray swap = "\"<here>/a\",\"<here>/.tessaly-12\"\r\n"
                            "\"<here>/b\",\"<here>/a\"\r\n";
    QTest::newRow("swap-killed-on-its-stepping-stone")
        << running + swap << QStringList{u".tessaly-12"_s} << QStringList{u"a"_s};
    QTest::newRow("stepping-stone-gone") << running + swap << QStringList{} << QStringList{};
    QTest::newRow("batch-ended") << ended + swap << QStringList{u".tessaly-12"_s} << QStringList{};
    QTest::newRow("stepping-stone-record-undone")
        << running + "#" + swap.sliced(1) << QStringList{u".tessaly-12"_s} << QStringList{};
    QTest::newRow("not-a-stepping-stone") << running + "\"<here>/a\",\"<here>/.tessaly-x\"\r\n"
                                          << QStringList{u".tessaly-x"_s} << QStringList{};
    const QByteArray move = "\"<here>/c\",\"<here>/out/d\"\r\n";
    QTest::newRow("copy-left-partial")
        << running + move << QStringList{u"out/part-of-d"_s} << QStringList{u"c"_s};
    QTest::newRow("source-set-aside")
        << running + move << QStringList{u"away-c"_s} << QStringList{u"c"_s};
    QTest::newRow("target-set-aside-by-an-undo")
        << running + move << QStringList{u"out/away-d"_s} << QStringList{u"c"_s};
    QTest::newRow("set-aside-of-an-older-record")
        << running + move + "\"<here>/e\",\"<here>/f\"\r\n"
        << QStringList{u"away-c"_s} << QStringList{};
    QTest::newRow("no-log") << QByteArray() << QStringList{u".tessaly-12"_s} << QStringList{};
}

// Before a new batch: the files that a killed batch left under hidden names, which only
// the undo of its log can bring back.
void TestBatch::filesWaitingUnderHiddenNames()
{
    QFETCH(QByteArray, log);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, waiting);

    const QString here = m_root->path();
    for (const QString &name : hidden) {
        QString path = m_root->filePath(name);
        if (name.contains(u"part-of-"_s))
            path = partialCopyPath(QString(path).remove(u"part-of-"_s));
        else if (name.contains(u"away-"_s))
            path = setAsidePath(QString(path).remove(u"away-"_s));
        QDir().mkpath(folderPart(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (!log.isNull()) {
        QDir().mkpath(::dataFolder());
        m_appData->file(u"Quenwick/Tessaly/last_rename.csv"_s,
                        log.replace("<here>", here.toUtf8()));
    }
    QStringList expected;
    for (const QString &name : waiting)
        expected.append(m_root->filePath(name));
    const QStringList found = ::filesWaitingUnderHiddenNames(undoLogPath());
    QCOMPARE(found, expected);
    if (!found.isEmpty()) {
        QCOMPARE(filesWaitingText(found),
                 u"The last batch did not finish: 1 files wait under hidden names, such as %1. "
                 u"Undo it first to bring them back."_s.arg(expected.front()));
    }
}

void TestBatch::longestNamesCopiedAndMoved_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("acrossFileSystems");

    QTest::newRow("copy") << int(BatchMode::CopyToFolder) << false;
    QTest::newRow("move-across-file-systems") << int(BatchMode::MoveToFolder) << true;
}

// The hidden file that a copy writes first has a short name of its own, so a name of
// the longest length a file system allows is copied like any other.
void TestBatch::longestNamesCopiedAndMoved()
{
    QFETCH(int, mode);
    QFETCH(bool, acrossFileSystems);

    std::unique_ptr<TestDir> other;
    if (acrossFileSystems) {
        other = otherFileSystem(*m_root);
        if (!other)
            QSKIP("no second file system to move across");
    }
    const QString name = QString(251, u'n') + u".txt"_s;
    m_root->file(name, "longest");
    const Tree start = readFileTree(m_root->path());
    RenameItems items = listed({name});
    RenameOptions options;
    options.batchMode = mode;
    options.destination = (other ? other->path() : m_root->path()) + u"/out"_s;
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(readFileTree(options.destination), (Tree{{name, u"longest"_s}}));
    undoLastBatch(m_messages, m_files);
    QCOMPARE(readFileTree(m_root->path()), start);
    QCOMPARE(readFileTree(options.destination), Tree());
}

// A link moved to another file system stays a link, and comes back as one.
void TestBatch::linksKeptByMoves()
{
    if (callsUnderTest() == FileSystemCalls::QtOnly)
        QSKIP("Qt's portable move to another file system copies what a link leads to, not "
              "the link");
    std::unique_ptr<TestDir> other = otherFileSystem(*m_root);
    if (!other)
        QSKIP("no second file system to move across");
    m_root->file(u"data.txt"_s, "data");
    QVERIFY(QFile::link(u"data.txt"_s, m_root->filePath(u"link.txt"_s)));
    const Tree start = readEntries(m_root->path());
    RenameItems items = listed({u"link.txt"_s});
    RenameOptions options;
    options.batchMode = BatchMode::MoveToFolder;
    options.destination = other->path();
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    QCOMPARE(readEntries(other->path()), (Tree{{u"link.txt"_s, u"link to data.txt"_s}}));
    undoLastBatch(m_messages, m_files);
    QCOMPARE(readEntries(m_root->path()), start);
    QCOMPARE(readEntries(other->path()), Tree());
}

// The undo of a copy removes the copy: the source, a link or one of several names
// of a file, stays exactly as it was.
void TestBatch::undoOfCopyLeavesSources()
{
    m_root->file(u"data.txt"_s, "data");
    QVERIFY(QFile::link(u"data.txt"_s, m_root->filePath(u"link.txt"_s)));
    m_root->file(u"shared.txt"_s, "shared");
    QCOMPARE(::link(QFile::encodeName(m_root->filePath(u"shared.txt"_s)).constData(),
                    QFile::encodeName(m_root->filePath(u"hard.txt"_s)).constData()),
             0);
    const Tree start = readEntries(m_root->path());
    struct stat before;
    QCOMPARE(::stat(QFile::encodeName(m_root->filePath(u"hard.txt"_s)).constData(), &before), 0);

    RenameItems items = listed({u"link.txt"_s, u"hard.txt"_s});
    RenameOptions options;
    options.batchMode = BatchMode::CopyToFolder;
    options.destination = m_root->filePath(u"out"_s);
    preview(items, options);
    runBatch(items, options, m_messages, m_files);
    undoLastBatch(m_messages, m_files);

    QCOMPARE(readEntries(m_root->path()), start);
    struct stat after;
    QCOMPARE(::stat(QFile::encodeName(m_root->filePath(u"hard.txt"_s)).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_nlink, nlink_t(2));
}

// Renames within one folder may go through the folder kept open; when the folder at
// that path is replaced meanwhile, the paths still decide which files move.
void TestBatch::movesFollowAReplacedFolder()
{
    const QString folder = m_root->filePath(u"photos"_s);
    QVERIFY(QDir().mkpath(folder));
    m_root->file(u"photos/a.txt"_s, "a");
    QVERIFY(m_files.move(folder + u"/a.txt"_s, folder + u"/b.txt"_s));
    QVERIFY(QDir().rename(folder, m_root->filePath(u"old"_s)));
    QVERIFY(QDir().mkpath(folder));
    m_root->file(u"photos/c.txt"_s, "c");
    QVERIFY(m_files.move(folder + u"/c.txt"_s, folder + u"/d.txt"_s));
    m_root->file(u"photos/e.txt"_s, "e");
    QVERIFY(!m_files.move(folder + u"/e.txt"_s, folder + u"/d.txt"_s));
    m_files.closeFolders();
    QCOMPARE(
        readEntries(m_root->path()),
        (Tree{{u"old/b.txt"_s, u"a"_s}, {u"photos/d.txt"_s, u"c"_s}, {u"photos/e.txt"_s, u"e"_s}}));
}

void TestBatch::anyNameMovedLoggedAndUndone_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");

    QTest::newRow("bar-in-target") << u"b.txt"_s << u"c|d.txt"_s;
    QTest::newRow("quote-in-source") << u"b\".txt"_s << u"c.txt"_s;
    QTest::newRow("quotes-at-both-ends") << u"\"b\""_s << u"\"c\".txt"_s;
    QTest::newRow("separator-of-a-record-in-name") << u"b\",\"c.txt"_s << u"d\",\".txt"_s;
    QTest::newRow("line-feed-in-source") << u"b\n.txt"_s << u"c.txt"_s;
    QTest::newRow("line-ends-in-both") << u"b\r\n\"x\"\r\n"_s << u"\n\rc"_s;
    QTest::newRow("tab-and-control") << u"b\t.txt"_s << u"c\x01.txt"_s;
    QTest::newRow("less-and-greater") << u"<b>.txt"_s << u"c>.txt"_s;
}

// A name may hold any character but NUL here: such a file is moved, the log holds its
// path exactly (a quotation mark doubled, a line end as it is) and the undo brings it
// back. Also once the folder is open for renames within it.
void TestBatch::anyNameMovedLoggedAndUndone()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    const QString folder = m_root->filePath(u"photos/"_s);
    m_root->file(u"photos/a.txt"_s, "a");
    m_root->file(u"photos/"_s + source, "moved");
    const Tree start = readEntries(m_root->path());
    {
        UndoJournal journal(undoLogPath());
        for (const auto &[from, to] : {std::pair{u"a.txt"_s, u"a2.txt"_s}, {source, target}}) {
            journal.append(folder, from, folder, to);
            QVERIFY(m_files.moveNamed(folder, from, folder, to));
            journal.settle();
        }
        journal.finish();
    }
    m_files.closeFolders();
    QCOMPARE(readEntries(m_root->path()),
             (Tree{{u"photos/a2.txt"_s, u"a"_s}, {u"photos/"_s + target, u"moved"_s}}));

    QFile file(undoLogPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    const auto quoted = [&](const QString &name) {
        return '"' + (folder + name).toUtf8().replace("\"", "\"\"") + '"';
    };
    QCOMPARE(log, "\xEF\xBB\xBFOriginal,New\r\n" + quoted(u"a.txt"_s) + ',' + quoted(u"a2.txt"_s) +
                      "\r\n" + quoted(source) + ',' + quoted(target) + "\r\n");
    QCOMPARE(undoRecord(folder + source, folder + target),
             quoted(source) + ',' + quoted(target) + "\r\n");
    const UndoLogContent content = parseUndoLog(log);
    QCOMPARE(content.unreadable, 0);
    QCOMPARE(content.records.size(), 2);
    QCOMPARE(content.records.back().original, folder + source);
    QCOMPARE(content.records.back().moved, folder + target);

    undoLastBatch(m_messages, m_files);
    QCOMPARE(m_messages.texts().back(), u"Undo completed for the last rename operation."_s);
    QCOMPARE(readEntries(m_root->path()), start);
}

// A NUL cannot be in a name: the system would take the path cut short there, a
// different file.
void TestBatch::movesRefuseNul()
{
    const QString folder = m_root->filePath(u"photos/"_s);
    m_root->file(u"photos/b"_s, "b");
    const Tree before = readEntries(m_root->path());
    for (const auto &[source, target] : {std::pair{u"b"_s, u"c\0d"_s}, {u"b\0x"_s, u"c"_s}}) {
        try {
            m_files.move(folder + source, folder + target);
            QFAIL("no error");
        } catch (const TessalyError &error) {
            QCOMPARE(error.message(),
                     fileErrorText(u"Invalid characters in path"_s,
                                   folder + (source.size() > 1 ? source : target)));
        }
    }
    QCOMPARE(readEntries(m_root->path()), before);
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
