#include "fileitems.h"

#include <QDir>
#include <QFileInfo>

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
    // Not every file system records a creation time; the last write is the closest
    // moment it still knows.
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = modified;
    item.ModifiedUtc = modified.isValid() ? DateTimeFromQDateTime(modified) : 0;
    item.CreatedUtc = created.isValid() ? DateTimeFromQDateTime(created) : 0;
    return item;
}

namespace {

QString joinPath(const QString &folder, const QString &name)
{
    if (!folder.isEmpty() && IsPathSeparator(folder.back()))
        return folder + name;
    return folder + QDir::separator() + name;
}

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

QString ListedPaths::key(const QString &path)
{
    return PathKey(path);
}
