#include "batch/batchverify.h"

#include "batch/renameplan.h"
#include "containers/prefetch.h"
#include "engine/filenamecodec.h"

#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

namespace {

#ifdef Q_OS_UNIX

// Zeroed memory whose pages are all made by one call. Where each first touch of a page
// traps into the system (on some virtual machines for ten microseconds), the names and
// table of a folder of 100,000 files touched page by page cost half as much again as
// reading the folder.
class ReadyMemory
{
public:
    ReadyMemory() = default;
    explicit ReadyMemory(size_t size)
        : m_size(size)
    {
        if (size == 0)
            return;
        int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
        flags |= MAP_POPULATE;
#endif
        void *data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
        if (data == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<char *>(data);
    }
    ReadyMemory(const ReadyMemory &) = delete;
    ReadyMemory &operator=(const ReadyMemory &) = delete;
    ReadyMemory(ReadyMemory &&other) noexcept
    {
        swap(other);
    }
    ReadyMemory &operator=(ReadyMemory &&other) noexcept
    {
        swap(other);
        return *this;
    }
    ~ReadyMemory()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }

    void swap(ReadyMemory &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
    }

    char *data() const
    {
        return m_data;
    }
    size_t size() const
    {
        return m_size;
    }

    // Room for at least size bytes, the content kept.
    void grow(size_t size)
    {
        ReadyMemory larger(std::max(size, m_size * 2));
        if (m_data)
            std::memcpy(larger.m_data, m_data, m_size);
        swap(larger);
    }

private:
    char *m_data = nullptr;
    size_t m_size = 0;
};

#endif

// The names' hash, eight bytes at a time: a hash a byte at a time costs more than the
// lookup it serves.
quint32 hashOf(const char *bytes, size_t length)
{
    constexpr quint64 mix = 0xbf58476d1ce4e5b9ull;
    quint64 hash = quint64(length) * 0x9e3779b97f4a7c15ull;
    const auto add = [&](quint64 word) {
        hash = (hash ^ word) * mix;
        hash ^= hash >> 31;
    };
    for (; length >= 8; bytes += 8, length -= 8) {
        quint64 word;
        std::memcpy(&word, bytes, 8);
        add(word);
    }
    if (length > 0) {
        quint64 word = 0;
        std::memcpy(&word, bytes, length);
        add(word);
    }
    hash *= 0x94d049bb133111ebull;
    return quint32(hash ^ (hash >> 32));
}

// A name looked for: where its bytes are in its NameKeys, and their hash.
struct NameKey
{
    quint32 offset = 0;
    quint16 length = 0;
    bool used = false;
    quint32 hash = 0;
};

#ifdef Q_OS_UNIX

// The bytes of the names looked for, each encoded and hashed once, in one buffer.
class NameKeys
{
public:
    explicit NameKeys(qsizetype count)
        : m_bytes(size_t(count) * 32 + 4096)
    {}

    NameKey add(QStringView name)
    {
        const size_t room = size_t(maxEncodedFileNameSize(name.size()));
        if (m_used + room > m_bytes.size())
            m_bytes.grow(m_used + room);
        char *const start = m_bytes.data() + m_used;
        const auto length = size_t(encodeFileNameTo(name, start) - start);
        // A longer name cannot be in a folder: its key matches nothing.
        const NameKey key{quint32(m_used), quint16(std::min<size_t>(length, 0xffff)), true,
                          hashOf(start, length)};
        m_used += length;
        return key;
    }

    const char *bytes(const NameKey &key) const { return m_bytes.data() + key.offset; }

private:
    ReadyMemory m_bytes;
    size_t m_used = 0;
};

#endif

// A folder's names as they are now, each with its inode, found by their bytes. A million
// names are one buffer and one table, not a million allocations.
class FolderNow
{
public:
    // expected: how many names the folder is thought to hold, for the first sizes.
    FolderNow([[maybe_unused]] const QString &folder, [[maybe_unused]] qsizetype expected)
#ifndef Q_OS_UNIX
        : m_folder(folder)
#endif
    {
#ifdef Q_OS_UNIX
        const int fd =
            ::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info;
        if (fd >= 0 && ::fstat(fd, &info) == 0)
            m_device = quint64(info.st_dev);
        DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        size_t slotCount = 16;
        while (slotCount < size_t(expected) * 2)
            slotCount *= 2;
        m_slots = ReadyMemory(slotCount * sizeof(Slot));
        m_mask = slotCount - 1;
        m_names = ReadyMemory(size_t(expected) * (entryHeader + 32) + 4096);
        m_used = entryHeader; // offset 0 marks an empty slot
        while (const dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            add(name, std::strlen(name), quint64(entry->d_ino));
        }
        ::closedir(dir);
        placeWaiting();
        m_read = true;
#endif
    }

#ifndef Q_OS_UNIX
    // Without inodes: 0 when the entry is there.
    std::optional<quint64> inodeOf(QStringView name) const
    {
        if (QFileInfo::exists(m_folder + name.toString()))
            return 0;
        return std::nullopt;
    }
#else
    // The inode of the entry with the key's bytes; nothing when there is none. Without
    // inode numbers an entry has 0.
    std::optional<quint64> inodeOf(const NameKeys &keys, const NameKey &key) const
    {
        if (!m_read)
            return std::nullopt; // the folder is gone, and every name with it
        const Slot *table = reinterpret_cast<const Slot *>(m_slots.data());
        for (size_t i = key.hash & m_mask; table[i].offset != 0; i = (i + 1) & m_mask) {
            if (table[i].hash != key.hash)
                continue;
            const char *entry = m_names.data() + table[i].offset;
            quint16 length = 0;
            std::memcpy(&length, entry + sizeof(quint64), sizeof length);
            if (length == key.length &&
                std::memcmp(entry + entryHeader, keys.bytes(key), length) == 0) {
                quint64 inode = 0;
                std::memcpy(&inode, entry, sizeof inode);
                return inode;
            }
        }
        return std::nullopt;
    }

    // The lookups come in the order of the rows, not the folder's: the slot of a name
    // some rows ahead is asked for while the current one is compared.
    void prefetchSlot(const NameKey &key) const
    {
        if (m_read)
            prefetch(m_slots.data() + (key.hash & m_mask) * sizeof(Slot));
    }
#endif

private:
#ifdef Q_OS_UNIX
    // An entry in m_names: its inode, the length of its name (at most 255 bytes), the
    // name's bytes. A slot holds the name's hash and the entry's offset, 0 when empty.
    static constexpr size_t entryHeader = sizeof(quint64) + sizeof(quint16);
    struct Slot
    {
        quint32 hash;
        quint32 offset;
    };

    void add(const char *name, size_t length, quint64 inode)
    {
        if ((m_count + 1) * 2 > m_mask + 1)
            growSlots();
        const size_t end = m_used + entryHeader + length;
        if (end > m_names.size())
            m_names.grow(end);
        char *entry = m_names.data() + m_used;
        const auto shortLength = quint16(length);
        std::memcpy(entry, &inode, sizeof inode);
        std::memcpy(entry + sizeof inode, &shortLength, sizeof shortLength);
        std::memcpy(entry + entryHeader, name, length);
        // The slots are written some names later, after they were asked for: a folder's
        // order is not its names' hashes'.
        const Slot slot{hashOf(name, length), quint32(m_used)};
        prefetch(m_slots.data() + (slot.hash & m_mask) * sizeof(Slot));
        if (m_waiting == waitingSize)
            placeWaiting();
        m_waitingSlots[m_waiting++] = slot;
        m_used = end;
        ++m_count;
    }

    void placeWaiting()
    {
        for (size_t i = 0; i < m_waiting; ++i)
            place(m_waitingSlots[i]);
        m_waiting = 0;
    }

    void place(const Slot &slot)
    {
        Slot *table = reinterpret_cast<Slot *>(m_slots.data());
        size_t i = slot.hash & m_mask;
        while (table[i].offset != 0)
            i = (i + 1) & m_mask;
        table[i] = slot;
    }

    void growSlots()
    {
        placeWaiting();
        const size_t oldCount = m_mask + 1;
        ReadyMemory old(oldCount * 2 * sizeof(Slot));
        old.swap(m_slots);
        m_mask = oldCount * 2 - 1;
        const Slot *oldTable = reinterpret_cast<const Slot *>(old.data());
        for (size_t i = 0; i < oldCount; ++i) {
            if (oldTable[i].offset != 0)
                place(oldTable[i]);
        }
    }

    ReadyMemory m_names;
    size_t m_used = 0;
    ReadyMemory m_slots;
    size_t m_mask = 0;
    size_t m_count = 0;
    static constexpr size_t waitingSize = 16;
    std::array<Slot, waitingSize> m_waitingSlots;
    size_t m_waiting = 0;
#else
    QString m_folder;
#endif
    bool m_read = false;
    quint64 m_device = 0; // of the folder: a file keeps its inode only within one device

public:
    quint64 device() const
    {
        return m_device;
    }
};

} // namespace

QList<qsizetype> verifyDoneRows(const RenamePlan &plan, const DoneRows &done,
                                const std::function<void()> &meanwhile)
{
    QList<qsizetype> notDone;
    const QList<DoneRow> &rows = done.rows;
    if (rows.isEmpty()) {
        if (meanwhile)
            meanwhile();
        return notDone;
    }
    const QList<PlanStep> &steps = plan.steps;
    // Each folder is read once, sized for the rows that end or start there.
    std::vector<qsizetype> expected(size_t(plan.folders.size()), 0);
    for (const DoneRow &row : rows) {
        const int target = steps.at(row.lastStep).toFolder;
        ++expected[size_t(target)];
        if (row.firstStep != DoneRow::sourceStays) {
            const int source = steps.at(row.firstStep).fromFolder;
            if (source != target)
                ++expected[size_t(source)];
        }
    }
    std::vector<std::unique_ptr<FolderNow>> now(expected.size());
    std::exception_ptr readFailure;
    const auto readFolders = [&] {
        try {
            for (size_t i = 0; i < now.size(); ++i) {
                if (expected[i] > 0)
                    now[i] =
                        std::make_unique<FolderNow>(plan.folders.at(qsizetype(i)), expected[i]);
            }
        } catch (...) {
            readFailure = std::current_exception();
        }
    };
    // The system's reading of the folders is most of the time here; the caller's work
    // (a sync of the log, which waits for the disk) happens meanwhile.
    std::thread reader;
    try {
        reader = std::thread(readFolders);
    } catch (const std::system_error &) {
        readFolders(); // no thread to be had: one after the other
    }
    // The target name of each row and, where it is looked for, its source name.
    const auto targetName = [&](qsizetype i) -> const QString & {
        if (!done.otherTargets.isEmpty()) {
            if (const auto other = done.otherTargets.constFind(i);
                other != done.otherTargets.cend())
                return *other;
        }
        return steps.at(rows.at(i).lastStep).toName;
    };
    const auto checksSource = [&](qsizetype i) {
        const DoneRow &row = rows.at(i);
        if (row.firstStep == DoneRow::sourceStays)
            return false;
        const PlanStep &first = steps.at(row.firstStep);
        return first.fromFolder != steps.at(row.lastStep).toFolder ||
               first.fromName.compare(targetName(i), Qt::CaseInsensitive) != 0;
    };
#ifdef Q_OS_UNIX
    struct RowKeys
    {
        NameKey target;
        NameKey source; // not used when the source is not looked for
    };
    std::optional<NameKeys> keys;
    std::optional<ReadyMemory> rowKeyMemory;
    RowKeys *rowKeys = nullptr;
#endif
    try {
        if (meanwhile)
            meanwhile();
#ifdef Q_OS_UNIX
        keys.emplace(rows.size() * 2);
        rowKeyMemory.emplace(size_t(rows.size()) * sizeof(RowKeys));
        rowKeys = reinterpret_cast<RowKeys *>(rowKeyMemory->data());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            rowKeys[i].target = keys->add(targetName(i));
            if (checksSource(i))
                rowKeys[i].source = keys->add(steps.at(rows.at(i).firstStep).fromName);
        }
#endif
    } catch (...) {
        if (reader.joinable())
            reader.join();
        throw;
    }
    if (reader.joinable())
        reader.join();
    if (readFailure)
        std::rethrow_exception(readFailure);

#ifndef Q_OS_UNIX
    Q_UNUSED(checksSource); // without inodes the source is never looked at
#endif
    constexpr qsizetype ahead = 8;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const DoneRow &row = rows.at(i);
        const PlanStep &last = steps.at(row.lastStep);
        const FolderNow &targetFolder = *now[size_t(last.toFolder)];
#ifdef Q_OS_UNIX
        if (i + ahead < rows.size()) {
            const DoneRow &later = rows.at(i + ahead);
            const RowKeys &laterKeys = rowKeys[i + ahead];
            now[size_t(steps.at(later.lastStep).toFolder)]->prefetchSlot(laterKeys.target);
            if (laterKeys.source.used)
                now[size_t(steps.at(later.firstStep).fromFolder)]->prefetchSlot(laterKeys.source);
        }
        const RowKeys &wanted = rowKeys[i];
        const std::optional<quint64> target = targetFolder.inodeOf(*keys, wanted.target);
#else
        const std::optional<quint64> target = targetFolder.inodeOf(targetName(i));
#endif
        if (!target) {
            notDone.append(i);
            continue;
        }
        if (*target == 0)
            continue;
#ifdef Q_OS_UNIX
        // The file the plan found at the source, by its inode, is the one at the target
        // (a move to another device makes a new file, and a copy is one).
        if (row.firstStep != DoneRow::sourceStays && last.row < plan.sourceInodes.size()) {
            const quint64 found = plan.sourceInodes.at(last.row);
            const FolderNow *from = now[size_t(steps.at(row.firstStep).fromFolder)].get();
            if (found != 0 && from && from->device() == targetFolder.device() &&
                from->device() != 0 && *target != found) {
                notDone.append(i);
                continue;
            }
        }
        if (!wanted.source.used)
            continue;
        const FolderNow &sourceFolder = *now[size_t(steps.at(row.firstStep).fromFolder)];
        // The source name may be taken again, by another row's file or one made since;
        // only the same file under both names means the move did not happen.
        if (sourceFolder.inodeOf(*keys, wanted.source) == target)
            notDone.append(i);
#endif
    }
    return notDone;
}
