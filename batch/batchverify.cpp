#include "batchverify.h"

#include "filenamecodec.h"

#include <QHash>
#include <QVarLengthArray>

#include <cstring>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

namespace {

// A folder's names as they are now, each with its inode, found by their bytes. A million
// names are one buffer and one table, not a million allocations.
class FolderNow
{
public:
    explicit FolderNow(const QString &folder)
        : m_folder(folder)
    {
#ifdef Q_OS_UNIX
        const int fd =
            ::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        QList<std::pair<quint32, quint64>> entries; // offset of the name, inode
        while (const dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            entries.append({quint32(m_names.size()), quint64(entry->d_ino)});
            m_names.append(name, qsizetype(std::strlen(name)) + 1);
        }
        ::closedir(dir);
        qsizetype size = 16;
        while (size < entries.size() * 2)
            size *= 2;
        m_slots.fill(Slot{}, size);
        for (const auto &[offset, inode] : std::as_const(entries)) {
            const char *name = m_names.constData() + offset;
            const quint32 hash = hashOf(name, std::strlen(name));
            qsizetype i = hash & (size - 1);
            while (m_slots.at(i).used)
                i = (i + 1) & (size - 1);
            m_slots[i] = Slot{hash, offset, inode, true};
        }
        m_read = true;
#endif
    }

    // The inode of the entry called name; nothing when there is none. Without inode
    // numbers an entry has 0.
    std::optional<quint64> inodeOf(QStringView name) const
    {
#ifdef Q_OS_UNIX
        if (!m_read)
            return std::nullopt;
        QVarLengthArray<char, 1024> bytes(maxEncodedFileNameSize(name.size()));
        const char *end = encodeFileNameTo(name, bytes.data());
        const size_t length = size_t(end - bytes.data());
        const quint32 hash = hashOf(bytes.data(), length);
        const qsizetype mask = m_slots.size() - 1;
        for (qsizetype i = hash & mask; m_slots.at(i).used; i = (i + 1) & mask) {
            const Slot &slot = m_slots.at(i);
            if (slot.hash != hash)
                continue;
            const char *listed = m_names.constData() + slot.offset;
            if (std::strlen(listed) == length && std::memcmp(listed, bytes.data(), length) == 0)
                return slot.inode;
        }
        return std::nullopt;
#else
        if (QFileInfo::exists(m_folder + name.toString()))
            return 0; // known to be there; without inodes nothing more
        return std::nullopt;
#endif
    }

private:
    static quint32 hashOf(const char *bytes, size_t length)
    {
        quint32 hash = 2166136261u; // FNV-1a
        for (size_t i = 0; i < length; ++i) {
            hash ^= uchar(bytes[i]);
            hash *= 16777619u;
        }
        return hash;
    }

    struct Slot
    {
        quint32 hash = 0;
        quint32 offset = 0;
        quint64 inode = 0;
        bool used = false;
    };

    QString m_folder;
    QByteArray m_names;
    QList<Slot> m_slots;
    bool m_read = false;
};

} // namespace

QList<qsizetype> verifyDoneRows(const QList<DoneRow> &rows, const QStringList &folders)
{
    QList<qsizetype> notDone;
    if (rows.isEmpty())
        return notDone;
    // Most batches touch one folder: it is read once and kept while rows use it.
    QHash<QString, std::shared_ptr<FolderNow>> read;
    const auto folderNow = [&](const QString &folder) -> const FolderNow & {
        std::shared_ptr<FolderNow> &now = read[folder];
        if (!now)
            now = std::make_shared<FolderNow>(folder);
        return *now;
    };
    const FolderNow *lastTarget = nullptr;
    int lastTargetFolder = -1;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const DoneRow &row = rows.at(i);
        if (row.targetFolder != lastTargetFolder) {
            lastTargetFolder = row.targetFolder;
            lastTarget = &folderNow(folders.at(row.targetFolder));
        }
        const std::optional<quint64> target = lastTarget->inodeOf(row.targetName);
        if (!target) {
            notDone.append(i);
            continue;
        }
        if (row.sourceFolder < 0 || *target == 0 ||
            (row.sourceFolder == row.targetFolder &&
             row.sourceName.compare(row.targetName, Qt::CaseInsensitive) == 0))
            continue;
        const FolderNow &source = row.sourceFolder == row.targetFolder
                                      ? *lastTarget
                                      : folderNow(folders.at(row.sourceFolder));
        // The source name may be taken again, by another row's file or one made since;
        // only the same file under both names means the move did not happen.
        if (source.inodeOf(row.sourceName) == target)
            notDone.append(i);
    }
    return notDone;
}
