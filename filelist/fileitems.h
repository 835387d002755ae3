#pragma once

#include "engine/folderlisting.h"
#include "engine/renameitem.h"

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
// times are read later, when asked for.
// With listing, a walk without subfolders also gives every name the folder holds, as a
// plan lists them (FileSystemView::listFolder), unless the folder could not tell its
// entries' kinds.
RenameItems collectFolderItems(const QString &folder, bool includeSubfolders, bool readFacts = true,
                               std::optional<FolderListing> *listing = nullptr);

// The listed paths, so that "is this path listed?" does not scan the whole list.
// Two paths are one entry when equal, with A-Z taken as a-z on Windows. Each path is
// counted, so that removing one of two items that a batch left on one path keeps the
// other listed. The names are kept per folder, sharing the items' own texts, so that a
// million listed files cost no more than their hash entries.
class ListedPaths
{
public:
    bool contains(const QString &path) const;
    bool contains(const RenameItem &item) const;
    void insert(const RenameItem &item);
    // Lists the item's path unless it is listed already; returns whether it was new.
    bool insertIfNew(const RenameItem &item);
    void remove(const RenameItem &item);
    void clear();

private:
    using Names = QHash<QString, int>;
    Names *namesIn(const QString &folder);

    QHash<QString, Names> m_folders;
    // The folder of the last look-up, which the next item mostly shares.
    QString m_lastFolder;
    Names *m_lastNames = nullptr;
};
