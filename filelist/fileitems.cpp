#include "filelist/fileitems.h"

#include "engine/filenamecodec.h"

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

#ifdef Q_OS_LINUX

namespace {

constexpr unsigned WantedFacts = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;

qint64 unixMs(const struct statx_timestamp &t)
{
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Which folders the walk is inside, so that a link back to one of them is not entered.
struct FolderId
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FolderId &) const = default;
};

// What one statx says about a file or folder, kept small: a walk holds one per entry of
// a folder.
struct Facts
{
    qint64 size = -1;
    FileTime created{};
    FileTime modified{};
    FolderId id;
};

Facts factsOf(const struct statx &sx)
{
    Facts facts;
    if (sx.stx_mask & STATX_SIZE)
        facts.size = qint64(sx.stx_size);
    if (sx.stx_mask & STATX_MTIME) {
        facts.modified = fileTimeFromUnixMs(unixMs(sx.stx_mtime));
        // Not every file system records a creation time; the last write is the closest
        // moment it still knows.
        facts.created = facts.modified;
    }
    if (sx.stx_mask & STATX_BTIME)
        facts.created = fileTimeFromUnixMs(unixMs(sx.stx_btime));
    facts.id = {(quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor, quint64(sx.stx_ino)};
    return facts;
}

void setFacts(RenameItem &item, const Facts &facts)
{
    setItemFacts(item, {facts.size, facts.created, facts.modified});
}

enum class EntryKind : quint8 { Folder, RegularFile, Other };

struct Entry
{
    QString name;
    EntryKind kind = EntryKind::Other;
    bool looked = false;
    Facts facts; // for a folder its id, for a regular file its size and times
};

// One folder walk, depth first, for both the path list and the item list; folder ends
// in a separator and its text is handed to every file found in it, so that all share
// it. A folder's entries are all read (and, when readFacts, looked at with one statx
// each, relative to the open folder) before its subfolders are entered, so only one
// folder is open at a time however deep the tree. Without subfolders the entries go to
// onFile as they are read.
template <bool readFacts, typename OnFile>
void walkFolder(const QString &folder, bool includeSubfolders, std::vector<FolderId> &walk,
                OnFile &onFile, std::optional<FolderListing> *listing = nullptr)
{
    const int fd = ::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    if (listing) {
        listing->emplace();
        const long nameMax = ::fpathconf(fd, _PC_NAME_MAX);
        if (nameMax > 0)
            (*listing)->maxNameBytes = int(std::min<long>(nameMax, 1 << 20));
    }
    std::vector<Entry> entries;
    Entry entry;
    while (const dirent *found = readdir(dir)) {
        const char *name = found->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        entry.name = decodeFileName(name);
        const unsigned char type = found->d_type;
        if (listing && *listing) {
            // A link is an entry of its own there, whatever it leads to.
            if (type == DT_UNKNOWN)
                listing->reset();
            else if (type == DT_DIR)
                (*listing)->addFolder(entry.name);
            else
                (*listing)->addFile(entry.name, quint64(found->d_ino));
        }
        entry.kind = type == DT_DIR                 ? EntryKind::Folder
                     : type == DT_REG && !readFacts ? EntryKind::RegularFile
                                                    : EntryKind::Other;
        entry.looked = false;
        const bool mustLook = readFacts || type == DT_LNK || type == DT_UNKNOWN ||
                              (type == DT_DIR && includeSubfolders);
        struct statx sx;
        if (mustLook && statx(fd, name, AT_STATX_SYNC_AS_STAT, WantedFacts | STATX_INO, &sx) == 0 &&
            (sx.stx_mask & STATX_TYPE)) {
            // Links count as what they lead to.
            entry.looked = true;
            entry.facts = factsOf(sx);
            if (S_ISDIR(sx.stx_mode))
                entry.kind = EntryKind::Folder;
            else if (S_ISREG(sx.stx_mode))
                entry.kind = EntryKind::RegularFile;
        }
        if (!includeSubfolders) {
            if (entry.kind != EntryKind::Folder)
                onFile(folder, std::move(entry.name), entry);
        } else {
            entries.push_back(std::move(entry));
        }
    }
    closedir(dir);

    for (Entry &entry : entries) {
        if (entry.kind != EntryKind::Folder) {
            onFile(folder, std::move(entry.name), entry);
        } else if (entry.looked) {
            const FolderId id = entry.facts.id;
            if (std::find(walk.begin(), walk.end(), id) != walk.end())
                continue;
            walk.push_back(id);
            walkFolder<readFacts>(folder + entry.name + QDir::separator(), true, walk, onFile);
            walk.pop_back();
        }
    }
}

// Starts a walk at folder; false when folder is not an existing folder.
template <bool readFacts, typename OnFile>
bool walkFrom(const QString &folder, bool includeSubfolders, OnFile &onFile,
              std::optional<FolderListing> *listing = nullptr)
{
    struct statx sx;
    if (folder.isEmpty() || folder.contains(QChar(0)) ||
        statx(AT_FDCWD, encodeFileName(folder).constData(), AT_STATX_SYNC_AS_STAT,
              STATX_TYPE | STATX_INO, &sx) != 0 ||
        !S_ISDIR(sx.stx_mode))
        return false;
    std::vector<FolderId> walk{factsOf(sx).id};
    const QString separated = isPathSeparator(folder.back()) ? folder : folder + QDir::separator();
    walkFolder<readFacts>(separated, includeSubfolders, walk, onFile,
                          includeSubfolders ? nullptr : listing);
    return true;
}

} // namespace

std::optional<RenameItem> readRenameItem(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return std::nullopt;
    struct statx sx;
    if (statx(AT_FDCWD, encodeFileName(path).constData(), AT_STATX_SYNC_AS_STAT, WantedFacts,
              &sx) != 0 ||
        !(sx.stx_mask & STATX_TYPE) || !S_ISREG(sx.stx_mode))
        return std::nullopt;
    RenameItem item = makeRenameItem(path);
    setFacts(item, factsOf(sx));
    return item;
}

QStringList collectFolderFiles(const QString &folder, bool includeSubfolders)
{
    QStringList files;
    auto onFile = [&files](const QString &folder, QString &&name, const Entry &) {
        files.append(folder + name);
    };
    walkFrom<false>(folder, includeSubfolders, onFile);
    return files;
}

RenameItems collectFolderItems(const QString &folder, bool includeSubfolders, bool readFacts,
                               std::optional<FolderListing> *listing)
{
    if (listing)
        listing->reset();
    RenameItems items;
    auto onFile = [&items](const QString &folder, QString &&name, const Entry &entry) {
        if (entry.kind != EntryKind::RegularFile)
            return;
        RenameItem &item = items.emplace_back();
        item.folder = folder;
        item.fileName = std::move(name);
        if (entry.looked)
            setFacts(item, entry.facts);
    };
    if (readFacts)
        walkFrom<true>(folder, includeSubfolders, onFile, listing);
    else
        walkFrom<false>(folder, includeSubfolders, onFile, listing);
    return items;
}

#else // Portable fallback through Qt's file information.

namespace {

QString joinPath(const QString &folder, const QString &name)
{
    if (!folder.isEmpty() && isPathSeparator(folder.back()))
        return folder + name;
    return folder + QDir::separator() + name;
}

} // namespace

std::optional<RenameItem> readRenameItem(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;

    RenameItem item = makeRenameItem(path);
    setItemFacts(item, readFileFacts(path));
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

QStringList collectFolderFiles(const QString &folder, bool includeSubfolders)
{
    QStringList files;
    if (!QFileInfo(folder).isDir())
        return files;
    QStringList walk;
    collect(folder, includeSubfolders, walk, files);
    return files;
}

RenameItems collectFolderItems(const QString &folder, bool includeSubfolders, bool,
                               std::optional<FolderListing> *listing)
{
    if (listing)
        listing->reset();
    RenameItems items;
    for (const QString &path : collectFolderFiles(folder, includeSubfolders)) {
        if (std::optional<RenameItem> item = readRenameItem(path))
            items.append(std::move(*item));
    }
    return items;
}

#endif
