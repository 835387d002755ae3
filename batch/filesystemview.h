#pragma once

#include <QHash>
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

// What a folder holds: each name with whether it is a folder (links are entries of
// their own, not what they point to).
struct FolderListing
{
    QHash<QString, bool> entries; // name -> is a folder
    int maxNameBytes = 255;       // the longest name the file system takes, in bytes
};

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
