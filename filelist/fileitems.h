#pragma once

#include "renameitem.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// A new item for the file at path with its size and times read from the file system,
// or nothing when path does not name an existing file (folders do not count).
// Unreadable sizes give -1; unreadable times give 0.
std::optional<RenameItem> readRenameItem(const QString &path);

// The paths of the files in folder, in the order the file system lists them, hidden
// files included. With includeSubfolders each subfolder's files follow at the
// subfolder's place (depth first); a folder already on the walk is not entered again.
// A folder that cannot be read contributes nothing.
QStringList collectFolderFiles(const QString &folder, bool includeSubfolders);

// The files of the same walk as items, read as readRenameItem reads them (each looked at
// once, while its folder is open); entries that are not files are left out. Without
// readFacts, the folder's own listing tells files apart wherever it can, and sizes and
// times are read later, when asked for (Size is FactsNotRead until then).
RenameItems collectFolderItems(const QString &folder, bool includeSubfolders,
                               bool readFacts = true);

// The listed paths, so that "is this path listed?" does not scan the whole list.
// Two paths are one entry when equal, with A-Z taken as a-z on Windows. Each path is
// counted, so that removing one of two items that a batch left on one path keeps the
// other listed.
class ListedPaths
{
public:
    static QString key(const QString &path);

    bool contains(const QString &path) const { return m_counts.contains(key(path)); }
    void insert(const QString &path);
    // Lists path unless it is listed already; returns whether it was new.
    bool insertIfNew(const QString &path);
    void remove(const QString &path);
    void clear() { m_counts.clear(); }
    void reserve(qsizetype size) { m_counts.reserve(size); }

private:
    QHash<QString, int> m_counts;
};
