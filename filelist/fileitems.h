#pragma once

#include "engine/folderlisting.h"
#include "engine/renameitem.h"

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
