#pragma once

#include <QDateTime>
#include <QList>
#include <QSharedData>
#include <QString>
#include <QStringList>

#include <chrono>

// A file's moment: milliseconds since 1970-01-01 00:00 UTC, exactly as file systems
// give them, in eight bytes per time for a million listed files.
using FileTime = std::chrono::sys_time<std::chrono::milliseconds>;

FileTime fileTimeFromQDateTime(const QDateTime &moment);
FileTime fileTimeFromUnixMs(qint64 msSinceUnixEpoch);
// The UTC moment a FileTime stands for.
QDateTime utcFromFileTime(FileTime value);
// A moment on the local clock.
struct LocalMoment
{
    QDate date;
    QTime time;
};

// A UTC value on the local clock, with the offset in force at that moment (daylight
// saving included), as the TZ variable or the system's zone says.
LocalMoment localMomentFromUtc(FileTime utcValue);
LocalMoment currentLocalMoment();
// Reads the time zone settings again (the TZ variable may have changed).
void refreshLocalTimeZone();

// What the file system says of a file's size and times: -1 for a size and the epoch for
// a time that cannot be read; a file system without creation times gives the last
// write for it.
struct FileFacts
{
    qint64 size = -1;
    FileTime createdUtc{};
    FileTime modifiedUtc{};
};

// One listed file. A list may hold a million of them, so an item is kept small: the
// folder's text is shared by all files of that folder, the name and extension are one
// text, and size and times are stored only once they have been read.
struct RenameItem
{
    QString folder;   // up to and including the last separator; shared
    QString fileName; // name and extension, as listed
    QString newName;  // set by every preview, extension included

    QString originalPath() const { return folder + fileName; }
    // The file name without its last extension, and that extension ("." included).
    QStringView originalName() const;
    QStringView ext() const;
    // The facts stored with the item, or null when they have not been read yet.
    const FileFacts *storedFacts() const { return m_facts ? &m_facts->facts : nullptr; }

private:
    friend void setItemFacts(RenameItem &item, const FileFacts &facts);
    struct SharedFacts : QSharedData
    {
        FileFacts facts;
    };
    QExplicitlySharedDataPointer<SharedFacts> m_facts;
};

using RenameItems = QList<RenameItem>;

// The facts of the file at path now (links followed).
FileFacts readFileFacts(const QString &path);
// The item's facts: as stored with it, else read now.
FileFacts itemFacts(const RenameItem &item);
// Stores facts in the item.
void setItemFacts(RenameItem &item, const FileFacts &facts);

// Folder separators of this platform: "/" here, "\" and "/" on Windows.
bool isPathSeparator(QChar c);
// The part of a path after its last separator.
QString fileNamePart(const QString &path);
// The path up to and including its last separator (empty when there is none).
QString folderPart(const QString &path);
// Name of the folder that directly holds the file at path: empty for a file at the
// root of a drive or of the file system, the share name at the root of a share.
QString parentFolderName(const QString &path);

// The form under which two paths name the same list entry: the path itself, with
// A-Z taken as a-z on Windows, whose file systems ignore that case.
QString pathKey(const QString &path);

// Splits a file name at its last "." into name and extension. A name without "."
// is all name; ".gitignore" is all extension; "name." gives "name" and ".".
void splitFileName(const QString &fileName, QString *name, QString *ext);

// An item for path, without size and times, which the caller reads when needed.
RenameItem makeRenameItem(const QString &path);
// Gives the item a new path; its folder text stays shared when the folder is the same,
// and everything else stays.
void setItemPath(RenameItem &item, const QString &path);
// The same with the path as its folder (ending in a separator) and name, both shared.
void setItemPlace(RenameItem &item, const QString &folder, const QString &fileName);
