#include "batch/batchpaths.h"
#include "batch/fileoperations.h"
#include "batch/trash.h"
#include "batch/undo.h"
#include "engine/filenamecodec.h"
#include "engine/tessalyerror.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/testdir.h"

#include <QDateTime>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <ftw.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

enum class Place { Home, OtherFileSystem };

// One file sent to the Trash, with what stands around it beforehand.
struct TrashCase
{
    QByteArray name;               // the file's name, as the disk holds it
    QList<QByteArray> beside = {}; // other files in its folder, which must stay
    Place place = Place::Home;     // the home's file system, or another one
    QByteArray sharedTrash = {};   // ".Trash" at the other's top: "sticky", "plain", "link"
    QByteArray taken = {};         // the name is taken in the Trash: "info" or "files"
    bool link = false;             // the file is a link to the first file beside it
    bool qtOnly = false;           // through Qt's portable file functions
    QByteArray trash = "home";     // where it goes: "home", ".Trash-UID", ".Trash/UID"
    QByteArray slot = {};          // its name there; empty: its own name
};

QByteArray uid()
{
    return QByteArray::number(::getuid());
}

void makeFile(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), content.size());
    ::close(fd);
}

// What is at path: "file:CONTENT", "link:TEXT", "folder", or "none".
QByteArray entryAt(const QByteArray &path)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return "none";
    if (S_ISDIR(info.st_mode))
        return "folder";
    char text[4096];
    if (S_ISLNK(info.st_mode)) {
        const ssize_t length = ::readlink(path.constData(), text, sizeof text);
        return "link:" + QByteArray(text, qsizetype(std::max<ssize_t>(length, 0)));
    }
    QByteArray content = "file:";
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    for (ssize_t got; fd >= 0 && (got = ::read(fd, text, sizeof text)) > 0;)
        content.append(text, qsizetype(got));
    ::close(fd);
    return content;
}

int modeOf(const QByteArray &path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Removes the tree at path by its bytes: Qt's own removal decodes names lossily and
// cannot reach a name that is not UTF-8.
void removeTree(const QString &path)
{
    ::nftw(
        encodeFileName(path).constData(),
        [](const char *entry, const struct stat *, int, FTW *) { return ::remove(entry) * 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

bool isEmptyFolder(const QByteArray &path)
{
    return QDir(decodeFileName(path))
        .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray realFolder(const QString &path)
{
    char *const real = ::realpath(encodeFileName(path).constData(), nullptr);
    const QByteArray bytes(real);
    std::free(real);
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(TrashCase)

class TestTrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void trashes_data();
    void trashes();
    void reservesWithoutMoving();
    void refuses_data();
    void refuses();
    void undoTakesTheNoteBack_data();
    void undoTakesTheNoteBack();

private:
    // The top of a file system other than the home's, made fresh for the test: a
    // tmpfs of its own where this process may mount one, else /dev/shm (shared with
    // everyone, so only what the test put there is taken away again). Empty: none.
    QByteArray otherTop(bool ownMountNeeded);
    QByteArray homeTrash() const { return encodeFileName(m_data->path()) + "/data/home/Trash"; }
    QByteArray trashFolder(const QByteArray &kind);

    std::unique_ptr<TestDir> m_here;
    std::unique_ptr<TestDir> m_data;
    std::unique_ptr<TestDir> m_workingFolder;
    std::unique_ptr<TestDir> m_mount;
    bool m_mounted = false;
    std::unique_ptr<TestDir> m_shared; // in /dev/shm, when no mount could be made
    QList<QByteArray> m_leftInShared;  // what to take out of /dev/shm's Trash
};

void TestTrash::init()
{
    m_here = std::make_unique<TestDir>();
    m_data = std::make_unique<TestDir>();
    // Missing until the first file goes to the Trash, which makes it.
    qputenv("XDG_DATA_HOME", (m_data->path() + u"/data/home"_s).toUtf8());
    qputenv("APPDATA", (m_data->path() + u"/appdata"_s).toUtf8());
    m_workingFolder = std::make_unique<TestDir>();
    QVERIFY(QDir::setCurrent(m_workingFolder->path()));
}

void TestTrash::cleanup()
{
    // Whatever happened, nothing lands in the working folder.
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    const QStringList left =
        QDir(m_workingFolder->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    m_workingFolder.reset();
    for (const QByteArray &path : std::as_const(m_leftInShared))
        ::unlink(path.constData());
    m_leftInShared.clear();
    if (m_shared) {
        removeTree(m_shared->path());
        // Only when empty: anything else there is someone else's.
        const QByteArray own = "/dev/shm/.Trash-" + uid();
        for (const QByteArray &folder : {own + "/files", own + "/info", own})
            ::rmdir(folder.constData());
    }
    m_shared.reset();
    if (m_mounted)
        ::umount2(m_mount->path().toUtf8().constData(), MNT_DETACH);
    m_mounted = false;
    m_mount.reset();
    removeTree(m_here->path());
    removeTree(m_data->path());
    m_here.reset();
    m_data.reset();
    QCOMPARE(left, QStringList());
}

QByteArray TestTrash::otherTop(bool ownMountNeeded)
{
    if (m_mounted)
        return encodeFileName(m_mount->path());
    if (m_shared)
        return "/dev/shm";
    m_mount = std::make_unique<TestDir>();
    if (::mount("tst_trash", m_mount->path().toUtf8().constData(), "tmpfs", 0, "size=4m") == 0) {
        m_mounted = true;
        return encodeFileName(m_mount->path());
    }
    struct stat here;
    struct stat shm;
    if (ownMountNeeded || ::stat(encodeFileName(m_here->path()).constData(), &here) != 0 ||
        ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        return {};
    m_shared = std::make_unique<TestDir>(u"/dev/shm/tst_trash-XXXXXX"_s);
    return "/dev/shm";
}

QByteArray TestTrash::trashFolder(const QByteArray &kind)
{
    if (kind == "home")
        return homeTrash();
    const QByteArray top = otherTop(false);
    return kind == ".Trash/UID" ? top + "/.Trash/" + uid() : top + "/.Trash-" + uid();
}

void TestTrash::trashes_data()
{
    QTest::addColumn<TrashCase>("trashCase");

    const QByteArray latin1 = "caf\xE9.txt";
    const QByteArray twin = "caf\xEF\xBF\xBD.txt"; // what a lossy decoding makes of it
    const QByteArray longest = QByteArray(251, 'x') + ".txt";
    QByteArray twoByteLetters;
    for (int i = 0; i < 125; ++i)
        twoByteLetters += "\xC3\xA9"; // é
    QByteArray shortenedLetters;
    for (int i = 0; i < 120; ++i)
        shortenedLetters += "\xC3\xA9";

    QTest::newRow("plain-name") << TrashCase{.name = "a.txt"};
    QTest::newRow("latin1-name-beside-its-twin") << TrashCase{.name = latin1, .beside = {twin}};
    QTest::newRow("twin-beside-latin1-name") << TrashCase{.name = twin, .beside = {latin1}};
    QTest::newRow("name-noted-already")
        << TrashCase{.name = "a.txt", .taken = "info", .slot = "a.2.txt"};
    QTest::newRow("name-in-files-without-note")
        << TrashCase{.name = "a.txt", .taken = "files", .slot = "a.2.txt"};
    QTest::newRow("name-without-extension-taken")
        << TrashCase{.name = "README", .taken = "info", .slot = "README.2"};
    QTest::newRow("hidden-name-taken")
        << TrashCase{.name = ".profile", .taken = "info", .slot = ".profile.2"};
    // The note's name is ".trashinfo" longer than the slot's and must fit as well.
    QTest::newRow("longest-name") << TrashCase{.name = longest,
                                               .slot = QByteArray(241, 'x') + ".txt"};
    QTest::newRow("long-name-cut-between-letters")
        << TrashCase{.name = twoByteLetters + ".txt", .slot = shortenedLetters + ".txt"};
    QTest::newRow("link-trashed-as-itself")
        << TrashCase{.name = "link.txt", .beside = {"target.txt"}, .link = true};
    QTest::newRow("qt-only-calls") << TrashCase{.name = "a.txt", .qtOnly = true};

    QTest::newRow("other-file-system")
        << TrashCase{.name = "a.txt", .place = Place::OtherFileSystem, .trash = ".Trash-UID"};
    QTest::newRow("other-file-system-latin1-beside-twin") << TrashCase{
        .name = latin1, .beside = {twin}, .place = Place::OtherFileSystem, .trash = ".Trash-UID"};
    QTest::newRow("other-file-system-name-taken") << TrashCase{.name = "a.txt",
                                                               .place = Place::OtherFileSystem,
                                                               .taken = "info",
                                                               .trash = ".Trash-UID",
                                                               .slot = "a.2.txt"};
    QTest::newRow("shared-trash-sticky") << TrashCase{.name = "a.txt",
                                                      .place = Place::OtherFileSystem,
                                                      .sharedTrash = "sticky",
                                                      .trash = ".Trash/UID"};
    // Anyone could remove another's files from it, or point it anywhere.
    QTest::newRow("shared-trash-not-sticky") << TrashCase{.name = "a.txt",
                                                          .place = Place::OtherFileSystem,
                                                          .sharedTrash = "plain",
                                                          .trash = ".Trash-UID"};
    QTest::newRow("shared-trash-a-link") << TrashCase{.name = "a.txt",
                                                      .place = Place::OtherFileSystem,
                                                      .sharedTrash = "link",
                                                      .trash = ".Trash-UID"};
}

void TestTrash::trashes()
{
    QFETCH(TrashCase, trashCase);
    const bool elsewhere = trashCase.place == Place::OtherFileSystem;
    QByteArray top;
    QByteArray folder;
    if (elsewhere) {
        top = otherTop(!trashCase.sharedTrash.isEmpty());
        if (top.isEmpty())
            QSKIP("no other file system to put the file on");
        folder = m_shared ? encodeFileName(m_shared->path()) : top + "/sub";
        ::mkdir(folder.constData(), 0755);
    } else {
        folder = encodeFileName(m_here->path());
    }
    const QByteArray path = folder + '/' + trashCase.name;
    if (trashCase.link) {
        QCOMPARE(::symlink(trashCase.beside.front().constData(), path.constData()), 0);
    } else {
        makeFile(path, trashCase.name);
    }
    for (const QByteArray &name : std::as_const(trashCase.beside))
        makeFile(folder + '/' + name, name);
    if (trashCase.sharedTrash == "link") {
        QCOMPARE(::mkdir((top + "/elsewhere").constData(), 01777), 0);
        QCOMPARE(::chmod((top + "/elsewhere").constData(), 01777), 0);
        QCOMPARE(::symlink("elsewhere", (top + "/.Trash").constData()), 0);
    } else if (!trashCase.sharedTrash.isEmpty()) {
        const mode_t mode = trashCase.sharedTrash == "sticky" ? 01777 : 0777;
        QCOMPARE(::mkdir((top + "/.Trash").constData(), mode), 0);
        QCOMPARE(::chmod((top + "/.Trash").constData(), mode), 0);
    }
    const QByteArray trash = trashFolder(trashCase.trash);
    const QByteArray slot = trashCase.slot.isEmpty() ? trashCase.name : trashCase.slot;
    if (!trashCase.taken.isEmpty()) {
        QVERIFY(QDir().mkpath(decodeFileName(trash + "/files")));
        QVERIFY(QDir().mkpath(decodeFileName(trash + "/info")));
        const QByteArray taken = trashCase.taken == "info"
                                     ? trash + "/info/" + trashCase.name + ".trashinfo"
                                     : trash + "/files/" + trashCase.name;
        makeFile(taken, "taken");
        m_leftInShared.append(taken);
    }

    SystemFileOperations files(trashCase.qtOnly ? FileSystemCalls::QtOnly
                                                : FileSystemCalls::Native);
    // The note keeps whole seconds.
    QDateTime before = QDateTime::currentDateTime();
    before.setTime(QTime(before.time().hour(), before.time().minute(), before.time().second()));
    const QString trashed = files.moveToTrash(decodeFileName(path));
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const QByteArray slotPath = trash + "/files/" + slot;
    const QByteArray infoPath = trash + "/info/" + slot + ".trashinfo";
    m_leftInShared << slotPath << infoPath;

    QCOMPARE(trashed, decodeFileName(slotPath));
    QCOMPARE(entryAt(path), "none");
    QCOMPARE(entryAt(slotPath),
             trashCase.link ? "link:" + trashCase.beside.front() : "file:" + trashCase.name);
    for (const QByteArray &name : std::as_const(trashCase.beside))
        QCOMPARE(entryAt(folder + '/' + name), "file:" + name);
    if (!trashCase.taken.isEmpty())
        QCOMPARE(entryAt(trashCase.taken == "info"
                             ? trash + "/info/" + trashCase.name + ".trashinfo"
                             : trash + "/files/" + trashCase.name),
                 "file:taken");
    if (trashCase.sharedTrash == "link")
        QVERIFY(isEmptyFolder(top + "/elsewhere"));

    // The note: the path in the home Trash absolute, in a file system's own Trash from
    // its top, so that it holds wherever that is mounted next.
    const QByteArray note = entryAt(infoPath);
    QVERIFY2(note.startsWith("file:[Trash Info]\nPath="), note.constData());
    const QList<QByteArray> lines = note.sliced(5).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(3), QByteArray());
    const QByteArray encoded = lines.at(1).sliced(5);
    QVERIFY2(std::all_of(encoded.cbegin(), encoded.cend(),
                         [](char c) { return c > ' ' && uchar(c) < 0x80; }),
             encoded.constData());
    const QByteArray realPath = realFolder(decodeFileName(folder)) + '/' + trashCase.name;
    const QByteArray origin = elsewhere ? realPath.sliced(top.size() + 1) : realPath;
    QCOMPARE(QByteArray::fromPercentEncoding(encoded), origin);
    QVERIFY(lines.at(2).startsWith("DeletionDate="));
    const QByteArray date = lines.at(2).sliced(13);
    QCOMPARE(date.size(), 19);
    const QDateTime deleted = QDateTime::fromString(QString::fromLatin1(date), Qt::ISODate);
    QVERIFY2(deleted >= before && deleted <= after, date.constData());

    // Made private when made.
    if (trashCase.taken.isEmpty() && !m_shared) {
        QCOMPARE(modeOf(trash), 0700);
        QCOMPARE(modeOf(trash + "/files"), 0700);
        QCOMPARE(modeOf(trash + "/info"), 0700);
    }
    if (!elsewhere && trashCase.taken.isEmpty())
        QCOMPARE(modeOf(encodeFileName(m_data->path()) + "/data"), 0700);
}

void TestTrash::reservesWithoutMoving()
{
    SystemFileOperations files;
    const QString path = m_here->file(u"a.txt"_s, "first");
    const QString second = m_here->file(u"sub/a.txt"_s, "second");

    // Reserved: the note is there, the file still where it was.
    const QString slot = files.reserveTrash(path);
    QCOMPARE(slot, QString::fromUtf8(homeTrash()) + u"/files/a.txt"_s);
    const QString info = trashInfoPath(slot);
    QCOMPARE(info, QString::fromUtf8(homeTrash()) + u"/info/a.txt.trashinfo"_s);
    QVERIFY(QFile::exists(info));
    QVERIFY(QFile::exists(path));
    QVERIFY(!QFile::exists(slot));
    // A second file of that name gets another slot while the first is reserved.
    const QString secondSlot = files.reserveTrash(second);
    QCOMPARE(secondSlot, QString::fromUtf8(homeTrash()) + u"/files/a.2.txt"_s);

    // A file in the slot keeps its note; an empty slot gives it up.
    QVERIFY(files.move(second, secondSlot));
    files.releaseTrash(secondSlot);
    QVERIFY(QFile::exists(trashInfoPath(secondSlot)));
    files.releaseTrash(slot);
    QVERIFY(!QFile::exists(info));
    QVERIFY(QFile::exists(path));
    // The slot is free again.
    QCOMPARE(files.moveToTrash(path), slot);

    // What only looks like a Trash is left alone.
    const QString lookalike = m_here->file(u"box/info/b.txt.trashinfo"_s, "mine");
    files.releaseTrash(m_here->filePath(u"box/files/b.txt"_s));
    QVERIFY(QFile::exists(lookalike));
}

void TestTrash::refuses_data()
{
    QTest::addColumn<QByteArray>("setUp"); // at the top of another file system
    QTest::addColumn<QString>("message");

    const QString cannot = u"The Trash cannot take the file; nothing was deleted"_s;
    QTest::newRow("file-missing") << QByteArray("missing") << u"The specified file was not found"_s;
    QTest::newRow("home-trash-in-a-file") << QByteArray("home-blocked") << cannot;
    QTest::newRow("own-trash-a-file") << QByteArray("own-file") << cannot;
    QTest::newRow("own-trash-a-link") << QByteArray("own-link") << cannot;
    QTest::newRow("own-trash-of-another-user") << QByteArray("own-foreign") << cannot;
    QTest::newRow("shared-trash-sticky-but-own-folder-a-link")
        << QByteArray("shared-own-link") << cannot;
}

// Nothing is moved, and no Trash is made, when none can take the file in safety.
void TestTrash::refuses()
{
    QFETCH(QByteArray, setUp);
    QFETCH(QString, message);

    QByteArray path = encodeFileName(m_here->path()) + "/a.txt";
    QByteArray top;
    if (setUp == "home-blocked") {
        makeFile(encodeFileName(m_data->path()) + "/data", "not a folder");
    } else if (setUp != "missing") {
        top = otherTop(true);
        if (top.isEmpty())
            QSKIP("no file system of the test's own to mount");
        path = top + "/a.txt";
        QCOMPARE(::mkdir((top + "/elsewhere").constData(), 0700), 0);
        const QByteArray own = ".Trash-" + uid();
        if (setUp == "own-file")
            makeFile(top + '/' + own, "a file");
        else if (setUp == "own-link")
            QCOMPARE(::symlink("elsewhere", (top + '/' + own).constData()), 0);
        if (setUp == "own-foreign") {
            QCOMPARE(::mkdir((top + '/' + own).constData(), 0777), 0);
            if (::chown((top + '/' + own).constData(), ::getuid() + 1, ::getgid()) != 0)
                QSKIP("cannot give a folder to another user");
        }
        if (setUp == "shared-own-link") {
            QCOMPARE(::mkdir((top + "/.Trash").constData(), 01777), 0);
            QCOMPARE(::chmod((top + "/.Trash").constData(), 01777), 0);
            QCOMPARE(::symlink("../elsewhere", (top + "/.Trash/" + uid()).constData()), 0);
            makeFile(top + '/' + own, "a file"); // nor its own Trash
        }
    }
    if (setUp != "missing")
        makeFile(path, "stays");

    SystemFileOperations files;
    QString error;
    try {
        files.moveToTrash(decodeFileName(path));
    } catch (const TessalyError &e) {
        error = e.message();
    }
    QCOMPARE(error, fileErrorText(message, decodeFileName(path)));
    QCOMPARE(entryAt(path), setUp == "missing" ? "none" : "file:stays");
    if (!top.isEmpty())
        QVERIFY(isEmptyFolder(top + "/elsewhere"));
    QVERIFY(!QFileInfo::exists(QString::fromUtf8(homeTrash())));
}

void TestTrash::undoTakesTheNoteBack_data()
{
    QTest::addColumn<bool>("moved");
    QTest::newRow("moved-then-undone") << true;
    // The batch recorded the move and was killed before it.
    QTest::newRow("killed-before-the-move") << false;
}

void TestTrash::undoTakesTheNoteBack()
{
    QFETCH(bool, moved);
    const QString path = m_here->file(u"a.txt"_s, "replaced");
    SystemFileOperations files;
    const QString slot = files.reserveTrash(path);
    if (moved)
        QVERIFY(files.move(path, slot));
    // The log as the batch leaves it: ended, or still running when it was killed.
    QByteArray log = moved ? "\xEF\xBB\xBFOriginal,New\r\n" : "\xEF\xBB\xBFOriginal;New\r\n";
    log += '"' + encodeFileName(path) + "\",\"" + encodeFileName(slot) + "\"\r\n";
    QVERIFY(QDir().mkpath(dataFolder()));
    QFile file(undoLogPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(log);
    file.close();

    RecordingMessages messages;
    undoLastBatch(messages, files);
    QCOMPARE(messages.texts().back(), u"Undo completed for the last rename operation."_s);
    QCOMPARE(entryAt(encodeFileName(path)), "file:replaced");
    QVERIFY(!QFile::exists(slot));
    QVERIFY(!QFile::exists(trashInfoPath(slot)));
}

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
