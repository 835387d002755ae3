#pragma once

#include "renameitem.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// A new item for the file at path with its size and times read from the file system,
// or nothing when path does not name an existing file (folders do not count).
// Unreadable sizes give -1; unreadable times give 0.
std::optional<TRenameItem> ReadRenameItem(const QString &path);

// The paths of the files in folder, in the order the file system lists them, hidden
// files included. With includeSubfolders each subfolder's files follow at the
// subfolder's place (depth first); a folder already on the walk is not entered again.
// A folder that cannot be read contributes nothing.
QStringList CollectFolderFiles(const QString &folder, bool includeSubfolders);

// The listed paths, so that "is this path listed?" does not scan the whole list.
// Two paths are one entry when equal, with A-Z taken as a-z on Windows.
class ListedPaths
{
public:
    static QString key(const QString &path);

    bool contains(const QString &path) const { return m_keys.contains(key(path)); }
    void insert(const QString &path) { m_keys.insert(key(path)); }
    void remove(const QString &path) { m_keys.remove(key(path)); }
    void clear() { m_keys.clear(); }

private:
    QSet<QString> m_keys;
};
