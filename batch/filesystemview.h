#pragma once

#include "engine/folderlisting.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Which file a path names: two paths name the same file exactly when these agree,
// whatever their text (hard links, folders reached through links, file systems that
// ignore letter case).
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileIdentity &) const = default;
};

inline size_t qHash(const FileIdentity &identity, size_t seed = 0)
{
    return qHashMulti(seed, identity.device, identity.inode);
}

// The reads a plan makes; it never changes anything.
class FileSystemView
{
public:
    virtual ~FileSystemView() = default;

    // The identity of the entry at path; with followLinks false a link is itself.
    // Nothing when no entry is there.
    virtual std::optional<FileIdentity> identity(const QString &path, bool followLinks) = 0;
    // The entries of a folder; nothing when it cannot be read (missing, no access).
    virtual std::optional<FolderListing> listFolder(const QString &folder) = 0;
};

// The real file system: one directory read per folder, statx where identity matters.
class SystemFileSystemView : public FileSystemView
{
public:
    std::optional<FileIdentity> identity(const QString &path, bool followLinks) override;
    std::optional<FolderListing> listFolder(const QString &folder) override;
};

// The real file system, with the listing of one folder given by whoever read it
// moments ago (tessaly-cli lists a folder's files, then plans their renames), so that
// the plan need not read it again. The listing is as old as that read, which a plan
// allows for anyway: whatever changes later is settled when the batch runs.
class ListedFileSystemView : public SystemFileSystemView
{
public:
    // Gives the listing of folder (absolute and clean, as a plan asks for it); it
    // serves the first request for that folder.
    void provide(const QString &folder, FolderListing listing);
    std::optional<FolderListing> listFolder(const QString &folder) override;

private:
    QString m_folder;
    std::optional<FolderListing> m_listing;
};
