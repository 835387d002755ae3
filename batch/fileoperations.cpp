#include "fileoperations.h"

#include "renameitem.h"
#include "tessalyerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

QString PartialCopyPath(const QString &target)
{
    return FolderPart(target) + u'.' + FileNamePart(target) + u".tessaly-part"_s;
}

QString FileErrorText(const QString &message, const QString &path)
{
    return message + u"\n["_s + path + u']';
}

void CheckPathCharacters(const QString &path)
{
    for (QChar c : path) {
        const char16_t u = c.unicode();
        bool invalid = u < 0x20 || u == u'"' || u == u'<' || u == u'>' || u == u'|';
#ifdef Q_OS_WIN
        invalid = invalid || u == u'*' || u == u'?';
#endif
        if (invalid)
            throw TessalyError(FileErrorText(u"Invalid characters in path"_s, path));
    }
}

namespace {

[[noreturn]] void fail(const QString &message, const QString &path)
{
    throw TessalyError(FileErrorText(message, path));
}

[[noreturn]] void failNotFound(const QString &path)
{
    fail(u"The specified file was not found"_s, path);
}

[[noreturn]] void failFolderNotFound(const QString &path)
{
    fail(u"The specified path was not found"_s, path);
}

QString folderOf(const QString &path)
{
    const QString folder = FolderPart(path);
    return folder.isEmpty() ? u"."_s : folder;
}

#ifdef Q_OS_UNIX

[[noreturn]] void failSystem(int error, const QString &path)
{
    fail(QString::fromLocal8Bit(std::strerror(error)), path);
}

// Explains a failure that says "no such file": the source is gone or the target's
// folder is missing.
[[noreturn]] void failMissing(int error, const QString &source, const QString &target)
{
    struct stat info;
    if (::stat(QFile::encodeName(source).constData(), &info) != 0)
        failNotFound(source);
    if (::stat(QFile::encodeName(folderOf(target)).constData(), &info) != 0)
        failFolderNotFound(FolderPart(target));
    failSystem(error, source);
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// Puts a finished file at target without replacing anything; false when something is
// there already.
bool placeWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    // The file system cannot refuse to replace within a rename: a hard link can.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EPERM && errno != EOPNOTSUPP)
        return false;
    // No hard links either (FAT): look first, then rename.
    struct stat info;
    if (::lstat(to.constData(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

// Copies into a target that must not exist yet. The data goes into a hidden file
// beside the target first, which takes the target's name only when complete, so that
// an interrupted copy never leaves a partial file under the new name. With sync the
// data is on disk before this returns, since the caller is about to remove the source.
bool copyFile(const QString &source, const QString &target, bool sync)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    struct stat info;
    if (::lstat(to.constData(), &info) == 0)
        return false;
    Descriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        if (errno == ENOENT)
            failNotFound(source);
        failSystem(errno, source);
    }
    if (::fstat(in.get(), &info) != 0)
        failSystem(errno, source);
    if (S_ISDIR(info.st_mode))
        failNotFound(source);

    // A file of this name can only be left over from an interrupted copy.
    const QByteArray part = QFile::encodeName(PartialCopyPath(target));
    const mode_t mode = info.st_mode & 07777;
    int fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno == EEXIST && ::unlink(part.constData()) == 0)
        fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        if (errno == ENOENT)
            failFolderNotFound(FolderPart(target));
        failSystem(errno, source);
    }
    Descriptor out(fd);
    const auto abandon = [&](int error) {
        ::close(out.release());
        ::unlink(part.constData());
        failSystem(error, source);
    };
    bool useCopyRange = true;
    char buffer[1 << 16];
    for (;;) {
        ssize_t done = -1;
        if (useCopyRange) {
            done = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, 1 << 30, 0);
            if (done < 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                useCopyRange = false;
                continue;
            }
        } else {
            done = ::read(in.get(), buffer, sizeof buffer);
            for (ssize_t written = 0; done > 0 && written < done;) {
                const ssize_t n = ::write(out.get(), buffer + written, size_t(done - written));
                if (n < 0 && errno != EINTR)
                    abandon(errno);
                written += std::max<ssize_t>(n, 0);
            }
        }
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            abandon(errno);
        if (done == 0)
            break;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.get(), times);
    if (sync && ::fsync(out.get()) != 0)
        abandon(errno);
    if (::close(out.release()) != 0) {
        const int error = errno;
        ::unlink(part.constData());
        failSystem(error, source);
    }
    if (!placeWithoutReplacing(part, to)) {
        const int error = errno;
        ::unlink(part.constData());
        if (error == EEXIST)
            return false;
        failSystem(error, source);
    }
    return true;
}

#endif

} // namespace

bool SystemFileOperations::fileExists(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
#else
    return QFileInfo(path).isFile();
#endif
}

bool SystemFileOperations::folderExists(const QString &path)
{
    return QFileInfo(path).isDir();
}

bool SystemFileOperations::makeFolders(const QString &path)
{
    return QDir().mkpath(path);
}

#ifdef Q_OS_UNIX

bool SystemFileOperations::move(const QString &source, const QString &target)
{
    CheckPathCharacters(source);
    CheckPathCharacters(target);
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    // The rename itself reports a missing source; looking first would cost a third of
    // the time of a batch.
    if (placeWithoutReplacing(from, to))
        return true;
    int error = errno;
    if (error == EEXIST)
        return false;
    if (error == EXDEV) {
        if (!copyFile(source, target, true))
            return false;
        if (::unlink(from.constData()) != 0) {
            error = errno;
            ::unlink(to.constData());
            failSystem(error, source);
        }
        return true;
    }
    if (error == ENOENT || error == ENOTDIR)
        failMissing(error, source, target);
    failSystem(error, source);
}

bool SystemFileOperations::copy(const QString &source, const QString &target)
{
    CheckPathCharacters(source);
    CheckPathCharacters(target);
    return copyFile(source, target, false);
}

void SystemFileOperations::remove(const QString &path)
{
    CheckPathCharacters(path);
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        failSystem(errno, path);
}

void SystemFileOperations::touch(const QString &path)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

bool SystemFileOperations::sameFile(const QString &a, const QString &b)
{
    struct stat first;
    struct stat second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

#else

// Other systems go through Qt, which checks before it acts instead of refusing
// atomically. Returns false when the target exists.
static bool readyToPlace(const QString &source, const QString &target)
{
    CheckPathCharacters(source);
    CheckPathCharacters(target);
    if (!QFileInfo(source).isFile())
        failNotFound(source);
    if (!QFileInfo(folderOf(target)).isDir())
        failFolderNotFound(FolderPart(target));
    return !QFileInfo::exists(target);
}

bool SystemFileOperations::move(const QString &source, const QString &target)
{
    if (!readyToPlace(source, target))
        return false;
    QFile file(source);
    if (!file.rename(target))
        fail(file.errorString(), source);
    return true;
}

bool SystemFileOperations::copy(const QString &source, const QString &target)
{
    if (!readyToPlace(source, target))
        return false;
    QFile file(source);
    if (!file.copy(target))
        fail(file.errorString(), source);
    return true;
}

void SystemFileOperations::remove(const QString &path)
{
    CheckPathCharacters(path);
    QFile file(path);
    if (!file.remove())
        fail(file.errorString(), path);
}

void SystemFileOperations::touch(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
}

bool SystemFileOperations::sameFile(const QString &a, const QString &b)
{
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() && first == QFileInfo(b).canonicalFilePath();
}

#endif

QString SystemFileOperations::moveToTrash(const QString &path)
{
    CheckPathCharacters(path);
    QFile file(path);
    if (!file.moveToTrash())
        fail(u"The Trash cannot take the file; nothing was deleted"_s, path);
    return file.fileName();
}

void ForgetTrashEntry(const QString &trashedPath)
{
    // A Trash keeps files in "files/" and, beside it, "info/NAME.trashinfo".
    const QString filesFolder = FolderPart(trashedPath);
    if (filesFolder.size() < 2 || FileNamePart(filesFolder.chopped(1)) != u"files"_s)
        return;
    const QString trashFolder = FolderPart(filesFolder.chopped(1));
    if (trashFolder.size() < 2)
        return;
    const QString trashName = FileNamePart(trashFolder.chopped(1));
    if (trashName == u"Trash"_s || trashName.startsWith(u".Trash"_s))
        QFile::remove(trashFolder + u"info/"_s + FileNamePart(trashedPath) + u".trashinfo"_s);
}

void SystemFileOperations::discardPartialCopy(const QString &target)
{
    QFile::remove(PartialCopyPath(target));
}

bool SystemFileOperations::sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) ||
        first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(1 << 16) != second.read(1 << 16))
            return false;
    }
    return true;
}
