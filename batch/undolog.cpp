#include "batch/undolog.h"

#include "batch/fileoperations.h"
#include "engine/filenamecodec.h"
#include "engine/renameitem.h"
#include "engine/tessalyerror.h"
#include "translation/translation.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
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
    const auto quoted = [](const QString &path) {
        return encodeFileName(path).replace('"', "\"\"");
    };
    return '"' + quoted(original) + "\",\"" + quoted(target) + "\"\r\n";
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

// Doubles each quotation mark of the path written at [start, end), which has room after
// it for as many bytes again; returns the path's new end. A name without one, nearly
// every name, costs one look for it.
char *doubleQuotationMarks(char *start, char *end)
{
    qsizetype marks = 0;
    for (const char *at = start;
         (at = static_cast<const char *>(std::memchr(at, '"', size_t(end - at)))); ++at)
        ++marks;
    if (marks == 0)
        return end;
    char *out = end + marks;
    for (char *in = end; in != start;) {
        *--out = *--in;
        if (*in == '"')
            *--out = '"';
    }
    return end + marks;
}

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
    if (m_history && reserveHistoryEntry(*m_history)) {
        m_inHistory = true;
        m_historyLinked =
            ::link(m_newPath.constData(),
                   encodeFileName(historyJournalPath(m_history->id)).constData()) == 0;
    }
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
    if (m_inHistory)
        endInHistory(keep);
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

void UndoJournal::endInHistory(bool keep)
{
    m_inHistory = false;
    if (!keep) {
        removeHistoryEntry(m_history->id);
        return;
    }
    if (!m_historyLinked && m_placed) {
        // A file system without hard links: the history keeps a copy.
        try {
            const QByteArray log = readUndoLog(m_path);
            QFile copy(historyJournalPath(m_history->id));
            if (copy.open(QIODevice::WriteOnly))
                copy.write(log);
        } catch (const TessalyError &) {
        }
    }
    if (m_filesDone)
        m_history->files = *m_filesDone;
    m_history->state = m_finished ? HistoryState::Done : HistoryState::Interrupted;
    writeHistoryNote(*m_history);
    trimHistory();
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
    // encoding first (a doubled quotation mark takes two bytes of the three a character
    // may need), the record's own size once written.
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
    out = doubleQuotationMarks(
        out, encodeFileNameTo(originalName, encodeFileNameTo(originalFolder, out)));
    std::memcpy(out, "\",\"", 3);
    out += 3;
    out = doubleQuotationMarks(out,
                               encodeFileNameTo(targetName, encodeFileNameTo(targetFolder, out)));
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
    if (m_records == 0) {
        close();
        return;
    }
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

// Bytes read as blank around a line, as they always were: spaces, control characters
// and the zero bytes that a killed batch leaves after its last record.
bool isBlank(char c)
{
    return uchar(c) <= 0x20;
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

QByteArrayView trimmedLine(QByteArrayView line)
{
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    while (!line.isEmpty() && isBlank(line.back()))
        line.chop(1);
    return line;
}

// Where the line that holds text[from] ends: its CR or LF, or the end of the text.
qsizetype lineEndFrom(QByteArrayView text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (isLineEnd(text.at(i)))
            return i;
    }
    return text.size();
}

// Where the next line begins after the line end at text[end] (CR LF is one).
qsizetype nextLineAfter(QByteArrayView text, qsizetype end)
{
    if (end >= text.size())
        return text.size();
    if (text.at(end) == '\r' && end + 1 < text.size() && text.at(end + 1) == '\n')
        return end + 2;
    return end + 1;
}

// The next quotation mark at or after a place. A line that opens a quoted path but is
// no record is read again as one line, and the next line may open one too: the last
// answer is kept, and so is the quotation mark after which the text made no record
// (what follows it decides that alone), which keeps reading linear whatever the bytes.
class QuotationMarks
{
public:
    explicit QuotationMarks(QByteArrayView text)
        : m_text(text)
    {}

    qsizetype from(qsizetype at)
    {
        if (at < m_searchedFrom || (m_found >= 0 && at > m_found)) {
            m_searchedFrom = at;
            m_found = m_text.indexOf('"', at);
        }
        return m_found;
    }

    qsizetype noRecordAfter = -1;

private:
    QByteArrayView m_text;
    qsizetype m_searchedFrom = std::numeric_limits<qsizetype>::max();
    qsizetype m_found = -1;
};

// One path of a record between quotation marks: the bytes in the log, or, when a
// quotation mark inside is doubled, the path's own bytes made from them.
struct QuotedPath
{
    QByteArrayView inLog;
    QByteArray unquoted;
    bool doubled = false;

    QByteArrayView bytes() const { return doubled ? QByteArrayView(unquoted) : inLog; }
};

bool readQuotedPaths(QByteArrayView text, qsizetype at, QuotationMarks &marks, QuotedPath paths[2],
                     qsizetype *end)
{
    qsizetype i = at;
    for (int field = 0;; ++field) {
        if (field == 2)
            return false; // a third path
        if (field > 0 && (i >= text.size() || text.at(i) != '"'))
            return false;
        QuotedPath &path = paths[field];
        path.doubled = false;
        path.unquoted.clear();
        const qsizetype start = ++i;
        for (;;) {
            const qsizetype mark = marks.from(i);
            if (mark < 0)
                return false; // never closed: a record cut short
            if (mark + 1 < text.size() && text.at(mark + 1) == '"') {
                if (!path.doubled)
                    path.unquoted = text.sliced(start, mark + 1 - start).toByteArray();
                else
                    path.unquoted += text.sliced(i, mark + 1 - i);
                path.doubled = true;
                i = mark + 2;
                continue;
            }
            if (path.doubled)
                path.unquoted += text.sliced(i, mark - i);
            else
                path.inLog = text.sliced(start, mark - start);
            i = mark + 1;
            break;
        }
        if (i < text.size() && text.at(i) == ',') {
            ++i;
            continue;
        }
        if (field != 1)
            return false;
        break;
    }
    while (i < text.size() && !isLineEnd(text.at(i)) && isBlank(text.at(i)))
        ++i;
    if (i < text.size() && !isLineEnd(text.at(i)))
        return false;
    *end = i;
    return true;
}

// Reads a record of two quoted paths (RFC 4180) that begins at text[at], whatever byte
// stands there: the opening quotation mark, or a mark written over it. Its paths may
// hold line ends. Returns false when the bytes are no such record; else *end is where
// the record's line ends (its CR or LF, or the end of the text).
bool readQuotedRecord(QByteArrayView text, qsizetype at, QuotationMarks &marks, QuotedPath paths[2],
                      qsizetype *end)
{
    const qsizetype firstMark = marks.from(at + 1);
    if (firstMark >= 0 && firstMark == marks.noRecordAfter)
        return false;
    if (readQuotedPaths(text, at, marks, paths, end))
        return true;
    marks.noRecordAfter = firstMark;
    return false;
}

// allUtf8: the whole log is valid UTF-8, so no name needs a look for other bytes.
std::optional<UndoRecordPaths> recordOf(QByteArrayView original, QByteArrayView moved, bool allUtf8)
{
    // A NUL byte cannot be in a name: the system would take the path cut short there.
    if (original.contains('\0') || moved.contains('\0') || !moved.startsWith('/'))
        return std::nullopt;
    // A bare name is an original the undo reports; a relative path is not read.
    if (!original.startsWith('/') && original.contains('/'))
        return std::nullopt;
    if (allUtf8)
        return UndoRecordPaths{QString::fromUtf8(original), QString::fromUtf8(moved)};
    return UndoRecordPaths{decodeFileName(original), decodeFileName(moved)};
}

// A record on one line in the forms older logs and people wrote: with or without its
// outer quotation marks, split at the first quote-comma-quote, no quotation mark inside.
std::optional<UndoRecordPaths> parseLineRecord(QByteArrayView line, bool allUtf8)
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
    if (original.contains('"') || moved.contains('"'))
        return std::nullopt;
    return recordOf(original, moved, allUtf8);
}

bool isWrittenMark(char c)
{
    return c == char(UndoMark::Undone) || c == char(UndoMark::PassedOver);
}

// The record whose first byte is text[at]. *end receives where the record's last line
// ends: a record read as quoted paths may span lines; anything else is one line.
std::optional<UndoRecordPaths> readRecord(QByteArrayView text, qsizetype at, QuotationMarks &marks,
                                          bool allUtf8, qsizetype *end)
{
    const char first = text.at(at);
    std::optional<UndoRecordPaths> record;
    const UndoMark mark = isWrittenMark(first) ? UndoMark(first) : UndoMark::None;
    QuotedPath paths[2];
    if ((first == '"' || mark != UndoMark::None) && readQuotedRecord(text, at, marks, paths, end)) {
        record = recordOf(paths[0].bytes(), paths[1].bytes(), allUtf8);
    } else {
        *end = lineEndFrom(text, at);
        const QByteArrayView line = text.sliced(at, *end - at);
        if (mark != UndoMark::None) {
            // A record written without quotation marks, its first byte marked: an
            // absolute path's separator, or the first letter of a bare name, which no one
            // needs.
            QByteArray unmarked = line.toByteArray();
            unmarked[0] = '/';
            record = parseLineRecord(unmarked, allUtf8);
            if (!record) {
                record = parseLineRecord(line, allUtf8);
                if (record)
                    return record; // a bare name that begins with that character
            }
        } else {
            record = parseLineRecord(line, allUtf8);
        }
    }
    if (record) {
        record->mark = mark;
        record->at = at;
    }
    return record;
}

qsizetype byteOrderMarkSize(QByteArrayView content)
{
    return content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

// Calls found(lineStart, lineEnd, record) for the header line, then for each line or
// record after it, blank lines included; record is null for the header and for lines
// that are no record. lineEnd is where the line (the record's last line) ends.
template <typename Found>
void forEachRecordLine(QByteArrayView content, bool allUtf8, Found found)
{
    QuotationMarks marks(content);
    qsizetype i = byteOrderMarkSize(content);
    bool header = true;
    while (i < content.size() || header) {
        qsizetype first = i;
        while (first < content.size() && isBlank(content.at(first)) &&
               !isLineEnd(content.at(first)))
            ++first;
        if (std::exchange(header, false) || first == content.size() ||
            isLineEnd(content.at(first))) {
            const qsizetype lineEnd = lineEndFrom(content, first);
            found(i, lineEnd, std::optional<UndoRecordPaths>());
            i = nextLineAfter(content, lineEnd);
            continue;
        }
        qsizetype end = 0;
        std::optional<UndoRecordPaths> record = readRecord(content, first, marks, allUtf8, &end);
        found(i, end, std::move(record));
        i = nextLineAfter(content, end);
    }
}

} // namespace

UndoLogContent parseUndoLog(QByteArrayView content)
{
    UndoLogContent log;
    log.records.reserve(content.count('\n'));
    const bool allUtf8 = content.isValidUtf8();
    bool header = true;
    bool interrupted = false;
    bool lastUnreadable = false;
    forEachRecordLine(content, allUtf8,
                      [&](qsizetype start, qsizetype end, std::optional<UndoRecordPaths> record) {
                          const QByteArrayView line =
                              trimmedLine(content.sliced(start, end - start));
                          if (std::exchange(header, false)) {
                              interrupted = line == "Original;New";
                              return;
                          }
                          if (line.isEmpty())
                              return;
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

UndoLogFile::UndoLogFile(const QString &path)
{
    const QByteArray nativePath = QFile::encodeName(path);
    // A link in the log's place was not put there by a batch: it is not followed.
    m_fd = ::open(nativePath.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        m_read = readUndoLog(path);
        return;
    }
    struct stat info;
    int error = m_fd < 0 ? errno : 0;
    if (!error && ::fstat(m_fd, &info) != 0)
        error = errno;
    if (!error && !S_ISREG(info.st_mode))
        error = EINVAL;
    if (error) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        throw TessalyError(translateText(u"Cannot open file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(path), systemErrorText(error)));
    }
    m_size = qsizetype(info.st_size);
    if (m_size == 0)
        return;
    void *map = ::mmap(nullptr, size_t(m_size), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED) {
        ::close(m_fd);
        m_fd = -1;
        m_size = 0;
        m_read = readUndoLog(path);
        return;
    }
    m_map = static_cast<uchar *>(map);
}

UndoLogFile::~UndoLogFile()
{
    if (m_map)
        ::munmap(m_map, size_t(m_size));
    if (m_fd >= 0) {
        // An undo that stopped keeps how far it came through a power cut too.
        if (m_marked)
            ::fdatasync(m_fd);
        ::close(m_fd);
    }
}

QByteArrayView UndoLogFile::content() const
{
    if (!m_map)
        return m_read;
    return QByteArrayView(reinterpret_cast<const char *>(m_map), m_size);
}

void UndoLogFile::mark(const UndoRecordPaths &record, UndoMark mark)
{
    if (!m_map || record.at < 0 || record.at >= m_size || mark == UndoMark::None)
        return;
    m_map[record.at] = uchar(mark);
    m_marked = true;
}

namespace {

bool entryExists(const QString &path)
{
    struct stat info;
    return ::lstat(encodeFileName(path).constData(), &info) == 0;
}

// A name the plan gives a file for a moment, on its way to a name that is still taken:
// ".tessaly-" and digits.
bool isSteppingStone(QStringView path)
{
    const QStringView name = path.sliced(path.lastIndexOf(u'/') + 1);
    constexpr QStringView prefix = u".tessaly-";
    if (!name.startsWith(prefix) || name.size() == prefix.size())
        return false;
    const QStringView digits = name.sliced(prefix.size());
    return std::all_of(digits.begin(), digits.end(),
                       [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

QStringList filesWaitingUnderHiddenNames(const QString &logPath)
{
    // Before every batch: most logs say at once that their batch ended.
    const int fd = ::open(QFile::encodeName(logPath).constData(),
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    char start[32];
    const ssize_t read = ::pread(fd, start, sizeof start, 0);
    ::close(fd);
    const QByteArrayView withMark(start, std::max<ssize_t>(read, 0));
    if (!withMark.sliced(byteOrderMarkSize(withMark)).startsWith("Original;New"))
        return {};
    QByteArray content;
    try {
        content = readUndoLog(logPath);
    } catch (const TessalyError &) {
        return {};
    }
    const UndoLogContent log = parseUndoLog(content);
    QStringList waiting;
    bool newestPending = true;
    for (qsizetype i = log.records.size() - 1; i >= 0; --i) {
        const UndoRecordPaths &record = log.records.at(i);
        if (record.mark != UndoMark::None)
            continue;
        // The batch (or an undo after it) stopped at the newest record not undone: only
        // there can a copy be partial or a file set aside.
        const bool hidden =
            (isSteppingStone(record.moved) && entryExists(record.moved)) ||
            (std::exchange(newestPending, false) &&
             (entryExists(partialCopyPath(record.moved)) ||
              entryExists(setAsidePath(record.moved)) ||
              (record.original.contains(u'/') && entryExists(setAsidePath(record.original)))));
        if (hidden)
            waiting.append(record.original);
    }
    std::reverse(waiting.begin(), waiting.end());
    return waiting;
}

QString filesWaitingText(const QStringList &waiting)
{
    return translateText(u"The last batch did not finish: %1 files wait under hidden names, such "
                         u"as %2. Undo it first to bring them back."_s)
        .arg(QString::number(waiting.size()),
             QDir::toNativeSeparators(waiting.isEmpty() ? QString() : waiting.first()));
}
