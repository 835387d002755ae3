#include "fileitems.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <vector>

namespace {

QString joinPath(const QString &folder, const QString &name)
{
    if (!folder.isEmpty() && IsPathSeparator(folder.back()))
        return folder + name;
    return folder + QDir::separator() + name;
}

} // namespace

#ifdef Q_OS_LINUX

namespace {

qint64 unixMs(const struct statx_timestamp &t)
{
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Which folders the walk is inside, so that a link back to one of them is not entered.
struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &) const = default;
};

struct Entry
{
    QString name;
    bool folder;
};

// The entries of a folder in the order the file system gives them; false when the
// folder cannot be read. Links count as what they point to.
bool listFolder(const QByteArray &nativeFolder, std::vector<Entry> &entries)
{
    DIR *dir = opendir(nativeFolder.constData());
    if (!dir)
        return false;
    const int fd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            folder = fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({QFile::decodeName(name), folder});
    }
    closedir(dir);
    return true;
}

void collect(const QString &folder, const FolderId &id, bool includeSubfolders,
             std::vector<FolderId> &walk, QStringList &files)
{
    std::vector<Entry> entries;
    if (!listFolder(QFile::encodeName(folder), entries))
        return;
    walk.push_back(id);
    for (const Entry &entry : entries) {
        QString path = joinPath(folder, entry.name);
        if (!entry.folder) {
            files.append(std::move(path));
        } else if (includeSubfolders) {
            struct stat st;
            if (stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
                continue;
            const FolderId sub{st.st_dev, st.st_ino};
            if (std::find(walk.begin(), walk.end(), sub) == walk.end())
                collect(path, sub, true, walk, files);
        }
    }
    walk.pop_back();
}

} // namespace

std::optional<TRenameItem> ReadRenameItem(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return std::nullopt;
    struct statx sx;
    const unsigned wanted = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
    if (statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_STATX_SYNC_AS_STAT, wanted, &sx) !=
            0 ||
        !(sx.stx_mask & STATX_TYPE) || !S_ISREG(sx.stx_mode))
        return std::nullopt;

    TRenameItem item = MakeRenameItem(path);
    item.Size = (sx.stx_mask & STATX_SIZE) ? qint64(sx.stx_size) : -1;
    if (sx.stx_mask & STATX_MTIME) {
        item.ModifiedUtc = DateTimeFromUnixMs(unixMs(sx.stx_mtime));
        // Not every file system records a creation time; the last write is the closest
        // moment it still knows.
        item.CreatedUtc = item.ModifiedUtc;
    }
    if (sx.stx_mask & STATX_BTIME)
        item.CreatedUtc = DateTimeFromUnixMs(unixMs(sx.stx_btime));
    return item;
}

QStringList CollectFolderFiles(const QString &folder, bool includeSubfolders)
{
    QStringList files;
    struct stat st;
    if (folder.isEmpty() || folder.contains(QChar(0)) ||
        stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return files;
    std::vector<FolderId> walk;
    collect(folder, FolderId{st.st_dev, st.st_ino}, includeSubfolders, walk, files);
    return files;
}

#else // Portable fallback through Qt's file information.

std::optional<TRenameItem> ReadRenameItem(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;

    TRenameItem item = MakeRenameItem(path);
    item.Size = info.size();
    const QDateTime modified = info.lastModified();
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = modified;
    item.ModifiedUtc = modified.isValid() ? DateTimeFromQDateTime(modified) : 0;
    item.CreatedUtc = created.isValid() ? DateTimeFromQDateTime(created) : 0;
    return item;
}

namespace {

void collect(const QString &folder, bool includeSubfolders, QStringList &walk, QStringList &files)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty() || walk.contains(canonical))
        return;
    walk.append(canonical);
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const QString path = joinPath(folder, entry.fileName());
        if (!entry.isDir())
            files.append(path);
        else if (includeSubfolders)
            collect(path, true, walk, files);
    }
    walk.removeLast();
}

} // namespace

QStringList CollectFolderFiles(const QString &folder, bool includeSubfolders)
{
    QStringList files;
    if (!QFileInfo(folder).isDir())
        return files;
    QStringList walk;
    collect(folder, includeSubfolders, walk, files);
    return files;
}

#endif

QString ListedPaths::key(const QString &path)
{
#ifdef Q_OS_WIN
    QString folded = path;
    for (QChar &c : folded) {
        if (c.unicode() >= u'A' && c.unicode() <= u'Z')
            c = QChar(char16_t(c.unicode() + (u'a' - u'A')));
    }
    return folded;
#else
    return path;
#endif
}

void ListedPaths::insert(const QString &path)
{
    ++m_counts[key(path)];
}

void ListedPaths::remove(const QString &path)
{
    const auto it = m_counts.find(key(path));
    if (it != m_counts.end() && --it.value() <= 0)
        m_counts.erase(it);
}
