#include "batch/fileoperations.h"

#include "batch/trash.h"
#include "engine/filenamecodec.h"
#include "engine/renameitem.h"
#include "engine/tessalyerror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVarLengthArray>

#ifdef Q_OS_UNIX
#include "batch/descriptor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A hidden name beside path, the same for the same path in every run: a fixed prefix
// and a 64-bit FNV-1a hash of the path's bytes in 13 base-32 letters.
QString hiddenNameBeside(const QString &path, QStringView prefix)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char c : encodeFileName(path)) {
        hash ^= uchar(c);
        hash *= 1099511628211ULL;
    }
    QString name = folderPart(path);
    name += prefix;
    for (int i = 0; i < 13; ++i, hash >>= 5)
        name += QLatin1Char("abcdefghijklmnopqrstuvwxyz234567"[hash & 31]);
    return name;
}

} // namespace

QString partialCopyPath(const QString &target)
{
    return hiddenNameBeside(target, u".tessaly-part-");
}

QString setAsidePath(const QString &source)
{
    return hiddenNameBeside(source, u".tessaly-away-");
}

QString fileErrorText(const QString &message, const QString &path)
{
    return message + u"\n["_s + path + u']';
}

namespace {

bool hasInvalidPathCharacters(QStringView path)
{
#ifdef Q_OS_WIN
    // The control characters, '"', '<', '>', '*' and '?' as bits, and '|'.
    constexpr quint64 invalidBelow64 =
        0xFFFFFFFFULL | 1ULL << '"' | 1ULL << '<' | 1ULL << '>' | 1ULL << '*' | 1ULL << '?';
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (u < 64 ? (invalidBelow64 >> u) & 1 : u == u'|')
            return true;
    }
    return false;
#else
    // Any other character is legal in a name here, and the undo log holds any path; a
    // NUL would end the path early, where the system reads it, and name another file.
    return path.contains(QChar(0));
#endif
}

} // namespace

void checkPathCharacters(const QString &path)
{
    if (hasInvalidPathCharacters(path))
        throw TessalyError(fileErrorText(u"Invalid characters in path"_s, path));
}

namespace {

[[noreturn]] void fail(const QString &message, const QString &path)
{
    throw TessalyError(fileErrorText(message, path));
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
    const QString folder = folderPart(path);
    return folder.isEmpty() ? u"."_s : folder;
}

// Other systems go through Qt, which checks before it acts instead of refusing
// atomically. Returns false when the target exists.
bool readyToPlace(const QString &source, const QString &target)
{
    checkPathCharacters(source);
    checkPathCharacters(target);
    if (!QFileInfo(source).isFile())
        failNotFound(source);
    if (!QFileInfo(folderOf(target)).isDir())
        failFolderNotFound(folderPart(target));
    return !QFileInfo::exists(target);
}

bool moveWithQt(const QString &source, const QString &target)
{
    if (!readyToPlace(source, target))
        return false;
    QFile file(source);
    if (!file.rename(target))
        fail(file.errorString(), source);
    return true;
}

bool copyWithQt(const QString &source, const QString &target)
{
    if (!readyToPlace(source, target))
        return false;
    QFile file(source);
    if (!file.copy(target))
        fail(file.errorString(), source);
    // Not every system's copy keeps the last-write time.
    QFile copied(target);
    if (copied.open(QIODevice::Append))
        copied.setFileTime(QFileInfo(source).lastModified(), QFileDevice::FileModificationTime);
    return true;
}

void removeWithQt(const QString &path)
{
    checkPathCharacters(path);
    QFile file(path);
    if (!file.remove())
        fail(file.errorString(), path);
}

void touchWithQt(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
}

bool sameFileWithQt(const QString &a, const QString &b)
{
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() && first == QFileInfo(b).canonicalFilePath();
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
    if (::stat(encodeFileName(source).constData(), &info) != 0)
        failNotFound(source);
    if (::stat(encodeFileName(folderOf(target)).constData(), &info) != 0)
        failFolderNotFound(folderPart(target));
    failSystem(error, source);
}

// Puts a finished file at target without replacing anything; false when something is
// there already.
bool placeWithoutReplacing(const QByteArray &from, const QByteArray &to, FileSystemCalls calls)
{
    if (calls == FileSystemCalls::Native) {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) ==
            0)
            return true;
        if (errno == EEXIST)
            return false;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
    }
    // The file system cannot refuse to replace within a rename: a hard link can.
    if (calls != FileSystemCalls::WithoutHardLinks) {
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return true;
        }
        if (errno == EEXIST)
            return false;
        if (errno != EPERM && errno != EOPNOTSUPP)
            return false;
    }
    // No hard links either (FAT): look first, then rename.
    struct stat info;
    if (::lstat(to.constData(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

// Copies from (named source in messages) into a target that must not exist yet. The
// data goes into a hidden file beside the target first, which takes the target's name
// only when complete, so that an interrupted copy never leaves a partial file under
// the new name. For a move the copy is on disk before this returns, since the caller
// is about to remove the source, and a link is copied as a link.
bool copyFile(const QByteArray &from, const QString &source, const QString &target, bool forMove,
              FileSystemCalls calls)
{
    const QByteArray to = encodeFileName(target);
    struct stat info;
    if (::lstat(to.constData(), &info) == 0)
        return false;
    // A file of this name can only be left over from an interrupted copy.
    const QByteArray part = encodeFileName(partialCopyPath(target));
    const auto placePart = [&] {
        if (placeWithoutReplacing(part, to, calls))
            return true;
        const int error = errno;
        ::unlink(part.constData());
        if (error == EEXIST)
            return false;
        failSystem(error, source);
    };

    if (forMove && ::lstat(from.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        QByteArray text(info.st_size + 1, Qt::Uninitialized);
        const ssize_t length = ::readlink(from.constData(), text.data(), size_t(text.size()));
        if (length < 0 || length >= text.size())
            failSystem(length < 0 ? errno : ENAMETOOLONG, source);
        text.truncate(length);
        ::unlink(part.constData());
        if (::symlink(text.constData(), part.constData()) != 0) {
            if (errno == ENOENT)
                failFolderNotFound(folderPart(target));
            failSystem(errno, source);
        }
        return placePart();
    }

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

    const mode_t mode = info.st_mode & 07777;
    int fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno == EEXIST && ::unlink(part.constData()) == 0)
        fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        if (errno == ENOENT)
            failFolderNotFound(folderPart(target));
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
    if (forMove && ::fsync(out.get()) != 0)
        abandon(errno);
    if (::close(out.release()) != 0) {
        const int error = errno;
        ::unlink(part.constData());
        failSystem(error, source);
    }
    return placePart();
}

// A move to another file system: the source is set aside under its hidden name, copied
// from there, and removed only once the copy is complete under the target's name.
// Killed at any moment, the file is whole at the source, its set-aside name or the
// target, which an undo reads back.
bool moveAcross(const QString &source, const QString &target, FileSystemCalls calls)
{
    const QByteArray from = encodeFileName(source);
    const QByteArray to = encodeFileName(target);
    struct stat info;
    if (::lstat(to.constData(), &info) == 0)
        return false;
    const QString asidePath = setAsidePath(source);
    const QByteArray aside = encodeFileName(asidePath);
    if (!placeWithoutReplacing(from, aside, calls)) {
        const int error = errno;
        if (error == EEXIST) // left by a move that was killed, and maybe the only copy
            fail(u"The specified file already exists"_s, asidePath);
        if (error == ENOENT || error == ENOTDIR)
            failMissing(error, source, target);
        failSystem(error, source);
    }
    bool placed = false;
    try {
        placed = copyFile(aside, source, target, true, calls);
    } catch (...) {
        placeWithoutReplacing(aside, from, calls);
        throw;
    }
    if (!placed) {
        placeWithoutReplacing(aside, from, calls);
        return false;
    }
    if (::unlink(aside.constData()) != 0) {
        const int error = errno;
        ::unlink(to.constData());
        placeWithoutReplacing(aside, from, calls);
        failSystem(error, source);
    }
    return true;
}

#endif

} // namespace

bool SystemFileOperations::fileExists(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        struct stat info;
        return ::stat(encodeFileName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
    }
#endif
    return QFileInfo(path).isFile();
}

bool SystemFileOperations::folderExists(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        struct stat info;
        return ::stat(encodeFileName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
    }
#endif
    return QFileInfo(path).isDir();
}

bool SystemFileOperations::makeFolders(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        const QByteArray bytes = encodeFileName(path);
        for (qsizetype end = 1; end < bytes.size(); ++end) {
            if (bytes.at(end) == '/' && ::mkdir(bytes.first(end).constData(), 0777) != 0 &&
                errno != EEXIST)
                return false;
        }
        ::mkdir(bytes.constData(), 0777);
        return folderExists(path);
    }
#endif
    return QDir().mkpath(path);
}

#ifdef Q_OS_UNIX

namespace {

constexpr int RenamesBetweenLooks = 32;

quint64 deviceOf(const struct statx &info)
{
    return quint64(info.stx_dev_major) << 32 | info.stx_dev_minor;
}

} // namespace

int SystemFileOperations::openFolder(QStringView folder)
{
    if (m_openFolderFd >= 0 && folder == m_openFolderPath) {
        if (++m_usesSinceLook < RenamesBetweenLooks)
            return m_openFolderFd;
        m_usesSinceLook = 0;
        struct statx named;
        if (::statx(AT_FDCWD, m_openFolderBytes.constData(), 0, STATX_INO, &named) == 0 &&
            named.stx_ino == m_openFolderInode && deviceOf(named) == m_openFolderDevice)
            return m_openFolderFd;
    }
    closeFolders();
    const QString path = folder.toString();
    const QByteArray bytes = encodeFileName(path);
    const int fd = ::open(bytes.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct statx opened;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO, &opened) != 0) {
        ::close(fd);
        return -1;
    }
    m_openFolderDevice = deviceOf(opened);
    m_openFolderInode = opened.stx_ino;
    m_openFolderPath = path;
    m_openFolderBytes = bytes;
    m_openFolderFd = fd;
    m_usesSinceLook = 0;
    return fd;
}

bool SystemFileOperations::moveWithinFolder(int folderFd, QStringView sourceName,
                                            QStringView targetName)
{
    // Both names in one buffer on the stack, each ended by a zero byte.
    QVarLengthArray<char, 1024> bytes(
        maxEncodedFileNameSize(sourceName.size() + targetName.size()) + 2);
    char *const from = bytes.data();
    char *const to = encodeFileNameTo(sourceName, from) + 1;
    to[-1] = '\0';
    *encodeFileNameTo(targetName, to) = '\0';
    if (::renameat2(folderFd, from, folderFd, to, RENAME_NOREPLACE) == 0)
        return true;
    // Anything else is settled by the paths themselves, as if no folder were open: the
    // folder may have been replaced since it was opened.
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        m_renameInFolder = false;
    closeFolders();
    return false;
}

#endif

void SystemFileOperations::closeFolders()
{
#ifdef Q_OS_UNIX
    if (m_openFolderFd >= 0)
        ::close(m_openFolderFd);
    m_openFolderFd = -1;
    m_openFolderPath.clear();
    m_openFolderBytes.clear();
#endif
}

bool SystemFileOperations::move(const QString &source, const QString &target)
{
#ifdef Q_OS_UNIX
    if (m_calls == FileSystemCalls::Native) {
        const qsizetype nameStart = source.lastIndexOf(u'/') + 1;
        const QStringView folder = QStringView(source).first(nameStart);
        if (nameStart > 0 && target.size() > nameStart && QStringView(target).startsWith(folder) &&
            !QStringView(target).sliced(nameStart).contains(u'/')) {
            const QStringView sourceName = QStringView(source).sliced(nameStart);
            const QStringView targetName = QStringView(target).sliced(nameStart);
            // The folder's own characters were looked at when it was opened.
            if (m_openFolderFd < 0 || folder != m_openFolderPath ||
                hasInvalidPathCharacters(sourceName) || hasInvalidPathCharacters(targetName)) {
                checkPathCharacters(source);
                checkPathCharacters(target);
            }
            const int fd = m_renameInFolder ? openFolder(folder) : -1;
            if (fd >= 0 && moveWithinFolder(fd, sourceName, targetName))
                return true;
        }
    }
    if (m_calls != FileSystemCalls::QtOnly) {
        checkPathCharacters(source);
        checkPathCharacters(target);
        const QByteArray from = encodeFileName(source);
        const QByteArray to = encodeFileName(target);
        // The rename itself reports a missing source; looking first would cost a third of
        // the time of a batch.
        if (placeWithoutReplacing(from, to, m_calls))
            return true;
        int error = errno;
        if (error == EEXIST)
            return false;
        if (error == EXDEV)
            return moveAcross(source, target, m_calls);
        if (error == ENOENT || error == ENOTDIR)
            failMissing(error, source, target);
        failSystem(error, source);
    }
#endif
    return moveWithQt(source, target);
}

bool SystemFileOperations::moveNamed(const QString &sourceFolder, const QString &sourceName,
                                     const QString &targetFolder, const QString &targetName)
{
#ifdef Q_OS_UNIX
    // Within the open folder: only the names are new to look at.
    if (m_calls == FileSystemCalls::Native && m_renameInFolder && m_openFolderFd >= 0 &&
        sourceFolder == targetFolder && sourceFolder == m_openFolderPath &&
        !hasInvalidPathCharacters(sourceName) && !hasInvalidPathCharacters(targetName) &&
        !sourceName.contains(u'/') && !targetName.contains(u'/')) {
        const int fd = openFolder(sourceFolder);
        if (fd >= 0 && moveWithinFolder(fd, sourceName, targetName))
            return true;
    }
#endif
    return SystemFileOperations::move(sourceFolder + sourceName, targetFolder + targetName);
}

bool SystemFileOperations::copy(const QString &source, const QString &target)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        checkPathCharacters(source);
        checkPathCharacters(target);
        return copyFile(encodeFileName(source), source, target, false, m_calls);
    }
#endif
    return copyWithQt(source, target);
}

void SystemFileOperations::remove(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        checkPathCharacters(path);
        if (::unlink(encodeFileName(path).constData()) != 0)
            failSystem(errno, path);
        return;
    }
#endif
    removeWithQt(path);
}

void SystemFileOperations::touch(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        ::utimensat(AT_FDCWD, encodeFileName(path).constData(), times, 0);
        return;
    }
#endif
    touchWithQt(path);
}

bool SystemFileOperations::sameFile(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        struct stat first;
        struct stat second;
        return ::stat(encodeFileName(a).constData(), &first) == 0 &&
               ::stat(encodeFileName(b).constData(), &second) == 0 &&
               first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
#endif
    return sameFileWithQt(a, b);
}

QString FileOperations::reserveTrash(const QString &path)
{
    return reserveTrashSlot(path);
}

void FileOperations::releaseTrash(const QString &trashedPath)
{
    releaseTrashSlot(trashedPath);
}

QString FileOperations::moveToTrash(const QString &path)
{
    // A slot taken between its reservation and the move (another program trashing a
    // file of the same name without looking at the notes) gets another try.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString slot = reserveTrash(path);
        if (slot.isEmpty())
            break;
        bool moved = false;
        try {
            moved = move(path, slot);
        } catch (...) {
            releaseTrash(slot);
            throw;
        }
        if (moved)
            return slot;
        releaseTrash(slot);
    }
    fail(u"The Trash cannot take the file; nothing was deleted"_s, path);
}

QString SystemFileOperations::moveToTrash(const QString &path)
{
#ifdef Q_OS_WIN
    checkPathCharacters(path);
    QFile file(path);
    if (!file.moveToTrash())
        fail(u"The Trash cannot take the file; nothing was deleted"_s, path);
    return file.fileName();
#else
    return FileOperations::moveToTrash(path);
#endif
}

void SystemFileOperations::discardPartialCopy(const QString &target)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        ::unlink(encodeFileName(partialCopyPath(target)).constData());
        return;
    }
#endif
    QFile::remove(partialCopyPath(target));
}

FileOperations::EntryKind SystemFileOperations::entryKind(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        struct stat info;
        if (::lstat(encodeFileName(path).constData(), &info) != 0)
            return errno == ENOENT || errno == ENOTDIR ? EntryKind::None : EntryKind::File;
        return S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::File;
    }
#endif
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return EntryKind::None;
    return info.isDir() && !info.isSymLink() ? EntryKind::Folder : EntryKind::File;
}

QSet<QString> SystemFileOperations::folderNamesIn(const QString &folder)
{
    QSet<QString> names;
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        DIR *listing = ::opendir(encodeFileName(folder).constData());
        if (!listing)
            return names;
        while (const dirent *entry = ::readdir(listing)) {
            struct stat info;
            const bool isFolder =
                entry->d_type == DT_DIR ||
                (entry->d_type == DT_UNKNOWN &&
                 ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                 S_ISDIR(info.st_mode));
            if (isFolder && std::strcmp(entry->d_name, ".") != 0 &&
                std::strcmp(entry->d_name, "..") != 0)
                names.insert(decodeFileName(entry->d_name));
        }
        ::closedir(listing);
        return names;
    }
#endif
    for (const QString &name :
         QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        names.insert(name);
    return names;
}

bool SystemFileOperations::restoreSetAside(const QString &path)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly)
        return placeWithoutReplacing(encodeFileName(setAsidePath(path)), encodeFileName(path),
                                     m_calls);
#endif
    return QFile::rename(setAsidePath(path), path);
}

bool SystemFileOperations::sameContent(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    if (m_calls != FileSystemCalls::QtOnly) {
        Descriptor first(::open(encodeFileName(a).constData(), O_RDONLY | O_CLOEXEC));
        Descriptor second(::open(encodeFileName(b).constData(), O_RDONLY | O_CLOEXEC));
        struct stat firstInfo;
        struct stat secondInfo;
        if (first.get() < 0 || second.get() < 0 || ::fstat(first.get(), &firstInfo) != 0 ||
            ::fstat(second.get(), &secondInfo) != 0 || firstInfo.st_size != secondInfo.st_size)
            return false;
        std::vector<char> firstBlock(1 << 16);
        std::vector<char> secondBlock(1 << 16);
        for (;;) {
            const ssize_t got = ::read(first.get(), firstBlock.data(), firstBlock.size());
            if (got <= 0)
                return got == 0 && ::read(second.get(), secondBlock.data(), 1) == 0;
            for (ssize_t have = 0; have < got;) {
                const ssize_t more =
                    ::read(second.get(), secondBlock.data() + have, size_t(got - have));
                if (more <= 0)
                    return false;
                have += more;
            }
            if (std::memcmp(firstBlock.data(), secondBlock.data(), size_t(got)) != 0)
                return false;
        }
    }
#endif
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
