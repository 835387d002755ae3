#include "batch/trash.h"

#include "batch/fileoperations.h"
#include "engine/filenamecodec.h"
#include "engine/tessalyerror.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include "batch/descriptor.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// The note's path for a slot given as bytes; empty when the slot is not in the
// "files/" folder of a Trash ("Trash", ".Trash-UID" or ".Trash/UID").
QByteArray infoPathOf(const QByteArray &trashed)
{
    const qsizetype nameAt = trashed.lastIndexOf('/') + 1;
    if (nameAt <= 0 || nameAt == trashed.size())
        return {};
    const QByteArray folder = trashed.first(nameAt - 1);
    if (!folder.endsWith("/files"))
        return {};
    const QByteArray trash = folder.chopped(5); // ends with "/"
    const QByteArray trashFolder = trash.chopped(1);
    const qsizetype trashNameAt = trashFolder.lastIndexOf('/') + 1;
    const QByteArray trashName = trashFolder.sliced(trashNameAt);
    if (trashName != "Trash" && !trashName.startsWith(".Trash") &&
        !trashFolder.first(trashNameAt).endsWith("/.Trash/"))
        return {};
    return trash + "info/" + trashed.sliced(nameAt) + ".trashinfo";
}

#ifdef Q_OS_UNIX

[[noreturn]] void failTrash(const QString &path)
{
    throw TessalyError(
        fileErrorText(u"The Trash cannot take the file; nothing was deleted"_s, path));
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.first(slash);
}

QByteArray absolutePath(const QByteArray &bytes)
{
    return bytes.startsWith('/') ? bytes : QByteArray();
}

// $XDG_DATA_HOME/Trash, else $HOME/.local/share/Trash; a relative setting counts as
// none, as the base directory rules say, since it would land wherever the program
// happens to run.
QByteArray homeTrashPath()
{
    QByteArray data = absolutePath(qgetenv("XDG_DATA_HOME"));
    if (data.isEmpty()) {
        QByteArray home = absolutePath(qgetenv("HOME"));
        if (home.isEmpty()) {
            passwd entry;
            passwd *found = nullptr;
            char buffer[4096];
            if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
                home = absolutePath(QByteArray(found->pw_dir));
        }
        if (home.isEmpty())
            return {};
        data = joined(home, ".local/share");
    }
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return joined(data, "Trash");
}

// The device of path, or of the nearest thing on its way that exists: where it would
// be made, or what stops it from being made (which still tells the file system).
bool deviceOfNearest(QByteArray path, dev_t &device)
{
    for (;;) {
        struct stat info;
        if (::stat(path.constData(), &info) == 0) {
            device = info.st_dev;
            return true;
        }
        if (path == "/")
            return false;
        path = parentOf(path);
    }
}

// Opens the folder name in folderFd without following a link, making it (0700) when
// missing. ownOnly: only a folder of this user's will do, since the top of a file
// system is shared with others, who could have put anything there.
int openOrMakeFolder(int folderFd, const char *name, bool ownOnly)
{
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(folderFd, name, flags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(folderFd, name, 0700) != 0 && errno != EEXIST)
            return -1;
        fd = ::openat(folderFd, name, flags);
    }
    if (fd < 0 || !ownOnly)
        return fd;
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_uid != ::getuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct TrashFolders
{
    QByteArray path; // the Trash's own folder, absolute
    Descriptor files;
    Descriptor info;
};

// Opens "files/" and "info/" in the Trash at trashFd, making what is missing; false
// unless both are there and "files/" is on device, so that the move into the Trash
// stays within the file's own file system.
bool openTrash(int trashFd, dev_t device, bool ownOnly, TrashFolders &trash)
{
    if (trashFd < 0)
        return false;
    trash.files = Descriptor(openOrMakeFolder(trashFd, "files", ownOnly));
    trash.info = Descriptor(openOrMakeFolder(trashFd, "info", ownOnly));
    struct stat info;
    return trash.files.get() >= 0 && trash.info.get() >= 0 &&
           ::fstat(trash.files.get(), &info) == 0 && info.st_dev == device;
}

// Makes path's missing folders, the last one included, with mode 0700.
void makeFolders(const QByteArray &path)
{
    for (qsizetype end = 1; end < path.size(); ++end) {
        if (path.at(end) == '/')
            ::mkdir(path.first(end).constData(), 0700);
    }
    ::mkdir(path.constData(), 0700);
}

enum class HomeTrash { Elsewhere, Opened, Unusable };

// The home Trash takes the files of the home's file system, with their absolute
// paths in the note.
HomeTrash openHomeTrash(dev_t device, TrashFolders &trash)
{
    const QByteArray path = homeTrashPath();
    dev_t homeDevice = 0;
    if (path.isEmpty() || !deviceOfNearest(joined(path, "files"), homeDevice) ||
        homeDevice != device)
        return HomeTrash::Elsewhere;
    // Followed if it is a link: the home is this user's alone.
    const auto open = [&] { return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); };
    Descriptor folder(open());
    if (folder.get() < 0 && errno == ENOENT) {
        makeFolders(path);
        folder = Descriptor(open());
    }
    trash.path = path;
    return openTrash(folder.get(), device, false, trash) ? HomeTrash::Opened : HomeTrash::Unusable;
}

// The Trash at the top of the file system that holds folder (canonical): the
// administrator's shared ".Trash/UID" when ".Trash" is a real folder with the sticky
// bit (so nobody can remove another's files there), else this user's ".Trash-UID".
bool openTopTrash(const QByteArray &folder, dev_t device, QByteArray &top, TrashFolders &trash)
{
    top = folder;
    while (top != "/") {
        const QByteArray parent = parentOf(top);
        struct stat info;
        if (::stat(parent.constData(), &info) != 0 || info.st_dev != device)
            break;
        top = parent;
    }
    const Descriptor topFd(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (topFd.get() < 0)
        return false;
    const QByteArray uid = QByteArray::number(::getuid());

    const Descriptor shared(
        ::openat(topFd.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (shared.get() >= 0 && ::fstat(shared.get(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX)) {
        const Descriptor own(openOrMakeFolder(shared.get(), uid.constData(), true));
        trash.path = joined(top, ".Trash/" + uid);
        if (openTrash(own.get(), device, true, trash))
            return true;
    }
    const QByteArray ownName = ".Trash-" + uid;
    const Descriptor own(openOrMakeFolder(topFd.get(), ownName.constData(), true));
    trash.path = joined(top, ownName);
    return openTrash(own.get(), device, true, trash);
}

// The name in the Trash for the try-th attempt: the file's own name first, then
// "stem.N.ext". Cut where needed so that the note's name, ".trashinfo" longer, still
// fits the file system's limit; the note keeps the whole original path anyway.
QByteArray slotName(const QByteArray &name, int number, qsizetype room)
{
    const qsizetype dot = name.lastIndexOf('.');
    const bool hasExtension = dot > 0 && name.size() - dot <= room / 2;
    const QByteArray extension = hasExtension ? name.sliced(dot) : QByteArray();
    QByteArray stem = hasExtension ? name.first(dot) : name;
    const QByteArray suffix = number > 1 ? '.' + QByteArray::number(number) : QByteArray();
    qsizetype keep = room - extension.size() - suffix.size();
    if (stem.size() > keep) {
        // Not within a character, where the bytes allow it.
        for (int back = 0; back < 3 && keep > 1 && (uchar(stem.at(keep)) & 0xC0) == 0x80; ++back)
            --keep;
        stem.truncate(keep);
    }
    return stem + suffix + extension;
}

QByteArray deletionDate()
{
    ::tzset();
    // time() may read a coarse clock that lags the real one by a few milliseconds, enough
    // to date a note a second before the file times of the same moment.
    timespec clock{};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    const std::time_t now = clock.tv_sec;
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(text, qsizetype(length));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno != EINTR)
            return false;
        written += std::max<ssize_t>(n, 0);
    }
    return true;
}

#endif

} // namespace

QString trashInfoPath(const QString &trashedPath)
{
    return decodeFileName(infoPathOf(encodeFileName(trashedPath)));
}

#ifdef Q_OS_UNIX

QString reserveTrashSlot(const QString &path)
{
    checkPathCharacters(path);
    QByteArray bytes = encodeFileName(path);
    if (!bytes.startsWith('/')) {
        char *const here = ::getcwd(nullptr, 0);
        if (!here)
            failTrash(path);
        bytes = joined(QByteArray(here), bytes);
        std::free(here);
    }
    const qsizetype nameAt = bytes.lastIndexOf('/') + 1;
    const QByteArray name = bytes.sliced(nameAt);
    if (name.isEmpty() || name == "." || name == "..")
        failTrash(path);
    struct stat file;
    if (::lstat(bytes.constData(), &file) != 0) {
        if (errno == ENOENT)
            throw TessalyError(fileErrorText(u"The specified file was not found"_s, path));
        failTrash(path);
    }
    // The note names the file by its folder's real path, which stays right when a link
    // on the way changes, and is the one a path relative to the top can be made from.
    char *const real = ::realpath(parentOf(bytes).constData(), nullptr);
    if (!real)
        failTrash(path);
    const QByteArray folder(real);
    std::free(real);
    struct stat folderInfo;
    if (::stat(folder.constData(), &folderInfo) != 0 || folderInfo.st_dev != file.st_dev)
        failTrash(path); // the file is a mount point of its own

    TrashFolders trash;
    QByteArray origin;
    switch (openHomeTrash(file.st_dev, trash)) {
    case HomeTrash::Opened:
        origin = joined(folder, name);
        break;
    case HomeTrash::Unusable:
        failTrash(path);
    case HomeTrash::Elsewhere: {
        // Relative to the top, so that the note stays right wherever the file system is
        // mounted next time.
        QByteArray top;
        trash = TrashFolders();
        if (!openTopTrash(folder, file.st_dev, top, trash))
            failTrash(path);
        const qsizetype inside = top == "/" ? 1 : top.size() + 1;
        origin = folder == top ? name : joined(folder.sliced(inside), name);
        break;
    }
    }

    const long nameMax = ::fpathconf(trash.info.get(), _PC_NAME_MAX);
    const qsizetype room =
        (nameMax > 0 ? qsizetype(nameMax) : 255) - qsizetype(sizeof ".trashinfo" - 1);
    const QByteArray note = "[Trash Info]\nPath=" + origin.toPercentEncoding("/") +
                            "\nDeletionDate=" + deletionDate() + '\n';
    // The first few numbers in order, then at random: a Trash that holds many files of
    // one name must not make each new one try every number taken.
    for (int attempt = 1; attempt <= 64; ++attempt) {
        const int number =
            attempt < 10 ? attempt : int(QRandomGenerator::global()->bounded(10, 1 << 30));
        const QByteArray slot = slotName(name, number, room);
        const QByteArray infoName = slot + ".trashinfo";
        // The slot is ours once its note exists: whoever trashes next sees it taken.
        const int fd = ::openat(trash.info.get(), infoName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            failTrash(path);
        }
        Descriptor infoFile(fd);
        const auto dropNote = [&] { ::unlinkat(trash.info.get(), infoName.constData(), 0); };
        // A file without a note (a program that died halfway) holds the name as well.
        struct stat taken;
        if (::fstatat(trash.files.get(), slot.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0 ||
            errno != ENOENT) {
            dropNote();
            continue;
        }
        if (!writeAll(infoFile.get(), note) || ::close(infoFile.release()) != 0) {
            dropNote();
            failTrash(path);
        }
        const QString slotPath = decodeFileName(joined(trash.path, "files/" + slot));
        try {
            checkPathCharacters(slotPath); // the undo log must be able to name it
        } catch (...) {
            dropNote();
            throw;
        }
        return slotPath;
    }
    failTrash(path);
}

void releaseTrashSlot(const QString &trashedPath)
{
    const QByteArray trashed = encodeFileName(trashedPath);
    const QByteArray info = infoPathOf(trashed);
    if (info.isEmpty())
        return;
    struct stat there;
    if (::lstat(trashed.constData(), &there) == 0 || errno != ENOENT)
        return;
    ::unlink(info.constData());
}

#else

QString reserveTrashSlot(const QString &path)
{
    checkPathCharacters(path);
    return {};
}

void releaseTrashSlot(const QString &trashedPath)
{
    const QString info = trashInfoPath(trashedPath);
    const QFileInfo there(trashedPath);
    if (!info.isEmpty() && !there.exists() && !there.isSymLink())
        QFile::remove(info);
}

#endif
