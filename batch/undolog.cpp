#include "undolog.h"

#include "filenamecodec.h"
#include "renameitem.h"
#include "tessalyerror.h"
#include "translation.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

// The journal stands on POSIX calls: mmap, posix_fallocate, flock, O_NOFOLLOW.

using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "\xEF\xBB\xBFOriginal,New\r\n"_ba;
// While a batch runs its log says so in the header line, which the undo never reads
// as a record: when the process is killed, the last record may name an operation
// that never happened.
const QByteArray runningHeader = "\xEF\xBB\xBFOriginal;New\r\n"_ba;
constexpr qint64 headerMarkAt = 11; // the byte after "Original"

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

UndoLogLock::UndoLogLock(const QString &logPath, bool makeFolder)
{
    if (makeFolder) {
        const auto parentOf = [](const QString &folder) {
            const QString parent = folderPart(folder);
            return parent.size() > 1 ? parent.chopped(1) : QString();
        };
        for (QString folder = QDir::cleanPath(folderPart(logPath));
             !folder.isEmpty() && !QFileInfo::exists(folder); folder = parentOf(folder))
            m_createdFolders.prepend(folder);
        QDir().mkpath(folderPart(logPath));
    }
    const QString lockPath = logPath + u".lock"_s;
    m_fd = ::open(QFile::encodeName(lockPath).constData(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        throw TessalyError(translateText(u"Cannot create file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(lockPath), systemErrorText(errno)));
    }
    // Long enough for a batch that is just ending to let go, short enough that a
    // second run started by mistake does not seem to hang.
    const QDeadlineTimer patience(2000);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            // A file system without locks: refusing every batch would help no one.
            release();
            return;
        }
        m_waited = true;
        if (patience.hasExpired()) {
            release();
            throw TessalyError(
                translateText(u"Another rename is running. Try again when it has finished."_s));
        }
        QThread::msleep(50);
    }
}

UndoLogLock::~UndoLogLock()
{
    release();
}

void UndoLogLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QByteArray readUndoLog(const QString &path)
{
    // A link in the log's place was not put there by a batch: it is not followed.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw TessalyError(translateText(u"Cannot open file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(path), systemErrorText(error)));
    }
    return file.readAll();
}

QByteArray undoRecord(const QString &original, const QString &target)
{
    // The exact bytes of each name, so that the undo reaches the same files.
    return '"' + encodeFileName(original) + "\",\"" + encodeFileName(target) + "\"\r\n";
}

namespace {

// Enough for a batch of a few hundred files. Larger batches reserve more as they go,
// in steps that double up to a size that keeps the space reserved beyond the last
// record small: on a RAM disk reserving is clearing memory.
constexpr qint64 firstReservation = 64 * 1024;
constexpr qint64 largestReservation = 1024 * 1024;
// The mapping reaches beyond the reserved space, which can then grow without a new
// mapping; only the reserved part is ever written.
constexpr qint64 firstMapping = 4 * 1024 * 1024;

// Makes a new name in folder (or a name's removal) survive a power cut.
void syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Puts the file at from in place of to, never through a link found at to. Returns 0,
// or an error code; previousAt receives where the replaced file now is, if any.
int replaceFile(const QByteArray &from, const QByteArray &to, const QByteArray &aside,
                QByteArray *previousAt)
{
    previousAt->clear();
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
        *previousAt = from;
        return 0;
    }
    if (errno != ENOENT) {
        // No exchange on this file system: set the previous file aside first.
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        if (::rename(to.constData(), aside.constData()) == 0)
            *previousAt = aside;
        else if (errno != ENOENT)
            return errno;
    }
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

UndoJournal::UndoJournal(QString path, UndoLogLock *heldLock)
    : m_path(std::move(path))
    , m_nativePath(QFile::encodeName(m_path))
    , m_newPath(m_nativePath + ".new")
    , m_lock(heldLock)
{
    if (!m_lock)
        m_lock = &m_ownLock.emplace(m_path, true);
}

UndoJournal::~UndoJournal()
{
    close();
}

void UndoJournal::fail(int error)
{
    throw TessalyError(translateText(u"Cannot create file \"%1\". %2"_s)
                           .arg(QDir::toNativeSeparators(m_path), systemErrorText(error)));
}

void UndoJournal::open()
{
    // Left by a batch that was killed; no other batch can be using it while the lock
    // is held.
    ::unlink(m_newPath.constData());
    ::unlink((m_nativePath + ".old").constData());
    m_fd = ::open(m_newPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0)
        fail(errno);
    reserve(runningHeader.size());
    std::memcpy(m_map, runningHeader.constData(), size_t(runningHeader.size()));
    m_size = runningHeader.size();
    // The header and the reserved space reach the disk before the log replaces the
    // previous one and before the first operation, so that after a power cut the log
    // is there to be read, whatever records it lost.
    if (::fdatasync(m_fd) != 0)
        fail(errno);
    if (const int error =
            replaceFile(m_newPath, m_nativePath, m_nativePath + ".old", &m_previousPath))
        fail(error);
    m_placed = true;
    for (const QString &folder : m_lock->createdFolders())
        syncFolder(folderPart(folder));
    syncFolder(folderPart(m_path));
}

void UndoJournal::reserve(qint64 size)
{
    const qint64 step = std::clamp(m_capacity, firstReservation, largestReservation);
    const qint64 capacity = std::max(m_capacity + step, (size + step - 1) / step * step);
    // Blocks that are allocated now cannot be missing later: a write to a mapped page
    // without a block behind it would end the program with a bus error.
    if (const int error = ::posix_fallocate(m_fd, m_capacity, capacity - m_capacity))
        fail(error);
    if (capacity > m_mapped) {
        qint64 mapped = std::max(m_mapped * 2, firstMapping);
        while (mapped < capacity)
            mapped *= 2;
        void *map = ::mmap(nullptr, size_t(mapped), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        if (map == MAP_FAILED)
            fail(errno);
        if (m_map)
            ::munmap(m_map, size_t(m_mapped));
        m_map = static_cast<uchar *>(map);
        m_mapped = mapped;
    }
#ifdef MADV_POPULATE_WRITE
    // Its pages made ready at once rather than one fault each as records reach them;
    // where the system cannot, the faults do it.
    ::madvise(m_map + m_capacity, size_t(capacity - m_capacity), MADV_POPULATE_WRITE);
#endif
    m_capacity = capacity;
}

int UndoJournal::end(bool keep)
{
    if (m_map)
        ::munmap(m_map, size_t(m_mapped));
    m_map = nullptr;
    int error = 0;
    if (keep) {
        if (::ftruncate(m_fd, m_size) != 0 || ::fdatasync(m_fd) != 0)
            error = errno;
    }
    ::close(m_fd);
    m_fd = -1;
    if (!m_placed) {
        ::unlink(m_newPath.constData());
    } else if (!keep) {
        // Nothing was done: the previous log comes back as it was.
        if (!m_previousPath.isEmpty())
            ::rename(m_previousPath.constData(), m_nativePath.constData());
        else
            ::unlink(m_nativePath.constData());
        syncFolder(folderPart(m_path));
    } else if (!m_previousPath.isEmpty()) {
        ::unlink(m_previousPath.constData());
    }
    m_previousPath.clear();
    return error;
}

void UndoJournal::settle()
{
    setMark(',');
    if (!m_previousPath.isEmpty()) {
        ::unlink(m_previousPath.constData());
        m_previousPath.clear();
    }
}

void UndoJournal::setMark(char mark)
{
    m_map[headerMarkAt] = uchar(mark);
}

void UndoJournal::append(QStringView originalFolder, QStringView originalName,
                         QStringView targetFolder, QStringView targetName)
{
    // Encoded straight into the log, as undoRecord forms it: the room for the longest
    // encoding first, the record's own size once written.
    const qint64 room = maxEncodedFileNameSize(originalFolder.size() + originalName.size() +
                                               targetFolder.size() + targetName.size()) +
                        7;
    if (m_fd < 0)
        open();
    if (m_size + room > m_capacity)
        reserve(m_size + room);
    // Marked before it is written: once the record is there, its operation may be too.
    setMark(';');
    char *const start = reinterpret_cast<char *>(m_map + m_size);
    char *out = start;
    *out++ = '"';
    out = encodeFileNameTo(originalName, encodeFileNameTo(originalFolder, out));
    std::memcpy(out, "\",\"", 3);
    out = encodeFileNameTo(targetName, encodeFileNameTo(targetFolder, out + 3));
    std::memcpy(out, "\"\r\n", 3);
    out += 3;
    m_sizeBeforeLast = m_size;
    m_size += out - start;
    ++m_records;
}

void UndoJournal::retract()
{
    if (m_sizeBeforeLast < 0)
        return;
    std::memset(m_map + m_sizeBeforeLast, 0, size_t(m_size - m_sizeBeforeLast));
    m_size = m_sizeBeforeLast;
    m_sizeBeforeLast = -1;
    --m_records;
    setMark(',');
}

void UndoJournal::finish()
{
    if (m_finished)
        return;
    if (m_fd < 0)
        open();
    setMark(',');
    m_finished = true;
    const int error = end(true);
    m_ownLock.reset();
    if (error)
        fail(error);
}

void UndoJournal::close()
{
    if (m_fd >= 0 && !m_finished) {
        if (m_records > 0)
            setMark(',');
        end(m_records > 0);
    }
    m_finished = true;
    m_ownLock.reset();
}

namespace {

QByteArrayView trimmedLine(QByteArrayView line)
{
    while (!line.isEmpty() && uchar(line.front()) <= 0x20)
        line = line.sliced(1);
    while (!line.isEmpty() && uchar(line.back()) <= 0x20)
        line.chop(1);
    return line;
}

// Calls lineFound for every line, without its line end.
template <typename LineFound>
void forEachLine(QByteArrayView text, LineFound lineFound)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lineFound(text.sliced(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lineFound(text.sliced(start));
}

QByteArrayView withoutByteOrderMark(QByteArrayView content)
{
    return content.startsWith("\xEF\xBB\xBF") ? content.sliced(3) : content;
}

} // namespace

namespace {

// allUtf8: the whole log is valid UTF-8, so no name needs a look for other bytes.
std::optional<UndoRecordPaths> parseRecord(QByteArrayView line, bool allUtf8)
{
    line = trimmedLine(line);
    const bool opens = line.startsWith('"');
    const bool closes = line.size() >= 2 && line.endsWith('"');
    if (opens != closes)
        return std::nullopt;
    if (opens)
        line = line.sliced(1, line.size() - 2);
    const qsizetype separator = line.indexOf("\",\"");
    if (separator < 0)
        return std::nullopt;
    const QByteArrayView original = line.first(separator);
    const QByteArrayView moved = line.sliced(separator + 3);
    if (original.contains('"') || moved.contains('"') || !moved.startsWith('/'))
        return std::nullopt;
    // A bare name is an original the undo reports; a relative path is not read.
    if (!original.startsWith('/') && original.contains('/'))
        return std::nullopt;
    if (allUtf8)
        return UndoRecordPaths{QString::fromUtf8(original), QString::fromUtf8(moved)};
    return UndoRecordPaths{decodeFileName(original), decodeFileName(moved)};
}

} // namespace

std::optional<UndoRecordPaths> parseUndoRecord(QByteArrayView line)
{
    return parseRecord(line, false);
}

UndoLogContent parseUndoLog(QByteArrayView content)
{
    UndoLogContent log;
    log.records.reserve(content.count('\n'));
    const bool allUtf8 = content.isValidUtf8();
    bool header = true;
    bool interrupted = false;
    bool lastUnreadable = false;
    forEachLine(withoutByteOrderMark(content), [&](QByteArrayView line) {
        if (std::exchange(header, false)) {
            interrupted = trimmedLine(line) == "Original;New";
            return;
        }
        if (trimmedLine(line).isEmpty())
            return;
        std::optional<UndoRecordPaths> record = parseRecord(line, allUtf8);
        lastUnreadable = !record;
        if (record)
            log.records.append(std::move(*record));
        else
            ++log.unreadable;
    });
    // A killed batch can only have left its last record half written, before the
    // operation began: that line is no loss, and the record before it is certain.
    if (interrupted && lastUnreadable)
        --log.unreadable;
    log.lastUncertain = interrupted && !lastUnreadable && !log.records.isEmpty();
    return log;
}

QStringList undoLogLines(const QByteArray &content)
{
    QStringList lines;
    forEachLine(withoutByteOrderMark(content),
                [&](QByteArrayView line) { lines.append(decodeFileName(line)); });
    return lines;
}
