#include "batch/filesystemview.h"

#include "engine/filenamecodec.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX

std::optional<FileIdentity> SystemFileSystemView::identity(const QString &path, bool followLinks)
{
    struct statx info;
    if (::statx(AT_FDCWD, encodeFileName(path).constData(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW,
                STATX_INO, &info) != 0)
        return std::nullopt;
    return FileIdentity{(quint64(info.stx_dev_major) << 32) | info.stx_dev_minor, info.stx_ino};
}

std::optional<FolderListing> SystemFileSystemView::listFolder(const QString &folder)
{
    const int fd = ::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    FolderListing listing;
    const long nameMax = ::fpathconf(fd, _PC_NAME_MAX);
    if (nameMax > 0)
        listing.maxNameBytes = int(std::min<long>(nameMax, 1 << 20));
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    // The bytes of all names first, decoded in one go: a NUL cannot be part of a name.
    QByteArray files;
    QByteArray folders;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            isFolder = ::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(info.st_mode);
        }
        (isFolder ? folders : files).append(name, qsizetype(std::strlen(name)) + 1);
        if (!isFolder)
            listing.fileInodes.append(quint64(entry->d_ino));
    }
    ::closedir(dir);
    listing.files = decodeFileName(files);
    listing.folders = decodeFileName(folders);
    return listing;
}

#else

std::optional<FileIdentity> SystemFileSystemView::identity(const QString &path, bool followLinks)
{
    // Without inode numbers the canonical path stands in for the identity.
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    const QString canonical =
        followLinks || !info.isSymLink()
            ? info.canonicalFilePath()
            : QFileInfo(info.absolutePath()).canonicalFilePath() + u'/' + info.fileName();
    return FileIdentity{0, qHash(canonical.toCaseFolded())};
}

std::optional<FolderListing> SystemFileSystemView::listFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return std::nullopt;
    FolderListing listing;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().isDir() && !it.fileInfo().isSymLink())
            listing.addFolder(it.fileName());
        else
            listing.addFile(it.fileName());
    }
    return listing;
}

#endif

void ListedFileSystemView::provide(const QString &folder, FolderListing listing)
{
    m_folder = folder;
    m_listing = std::move(listing);
}

std::optional<FolderListing> ListedFileSystemView::listFolder(const QString &folder)
{
    if (m_listing && folder == m_folder)
        return std::exchange(m_listing, std::nullopt);
    return SystemFileSystemView::listFolder(folder);
}
