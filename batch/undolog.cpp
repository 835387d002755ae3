#include "undolog.h"

#include "batchpaths.h"
#include "renameitem.h"
#include "renameoptions.h"
#include "tessalyerror.h"
#include "textlines.h"
#include "translation.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "\xEF\xBB\xBFOriginal,New\r\n"_ba;
// While a batch runs its log says so in the header line, which the undo never reads
// as a record: when the process is killed, the last record may name an operation
// that never happened.
const QByteArray runningHeader = "\xEF\xBB\xBFOriginal;New\r\n"_ba;
constexpr qint64 headerMarkAt = 11; // the byte after "Original"

} // namespace

UndoLogLock::UndoLogLock(const QString &logPath)
{
    const QString lockPath = logPath + u".lock"_s;
#ifdef Q_OS_UNIX
    m_fd = ::open(QFile::encodeName(lockPath).constData(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        throw TessalyError(
            TranslateText(u"Cannot create file \"%1\". %2"_s)
                .arg(QDir::toNativeSeparators(lockPath), QString::fromLocal8Bit(strerror(errno))));
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
        if (patience.hasExpired()) {
            release();
            throw TessalyError(
                TranslateText(u"Another rename is running. Try again when it has finished."_s));
        }
        QThread::msleep(50);
    }
#else
    Q_UNUSED(lockPath);
#endif
}

UndoLogLock::~UndoLogLock()
{
    release();
}

void UndoLogLock::release()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
}

QByteArray UndoRecord(const QString &original, const QString &target)
{
    return '"' + original.toUtf8() + "\",\"" + target.toUtf8() + "\"\r\n";
}

UndoJournal::UndoJournal(QString path)
    : m_path(std::move(path))
    , m_file(m_path)
{
    QDir().mkpath(FolderPart(m_path));
    m_lock.emplace(m_path);
}

UndoJournal::~UndoJournal()
{
    close();
}

void UndoJournal::close()
{
    if (m_file.isOpen() && !m_finished)
        closeUnfinished();
    m_finished = true;
    m_lock.reset();
}

void UndoJournal::closeUnfinished()
{
    if (m_records > 0) {
        markComplete();
        closeFile();
        return;
    }
    closeFile();
    if (!m_previous) {
        QFile::remove(m_path);
        return;
    }
    QFile previous(m_path);
    if (previous.open(QIODevice::WriteOnly | QIODevice::Truncate))
        previous.write(*m_previous);
}

void UndoJournal::failCreate()
{
    throw TessalyError(TranslateText(u"Cannot create file \"%1\". %2"_s)
                           .arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
}

void UndoJournal::open()
{
    QDir().mkpath(FolderPart(m_path));
    QFile previous(m_path);
    if (previous.open(QIODevice::ReadOnly))
        m_previous = previous.readAll();
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered))
        failCreate();
}

void UndoJournal::write(const QByteArray &bytes)
{
    if (m_size + bytes.size() > m_capacity) {
        qint64 capacity = std::max<qint64>(m_capacity * 2, 1 << 20);
        while (capacity < m_size + bytes.size())
            capacity *= 2;
        unmap();
        if (!m_file.resize(capacity))
            failCreate();
#ifdef Q_OS_UNIX
        void *map = ::mmap(nullptr, size_t(capacity), PROT_READ | PROT_WRITE, MAP_SHARED,
                           m_file.handle(), 0);
        m_map = map == MAP_FAILED ? nullptr : static_cast<uchar *>(map);
#else
        m_map = m_file.map(0, capacity);
#endif
        if (!m_map)
            failCreate();
        m_capacity = capacity;
    }
    std::memcpy(m_map + m_size, bytes.constData(), size_t(bytes.size()));
    m_size += bytes.size();
}

void UndoJournal::unmap()
{
    if (!m_map)
        return;
#ifdef Q_OS_UNIX
    ::munmap(m_map, size_t(m_capacity));
#else
    m_file.unmap(m_map);
#endif
    m_map = nullptr;
}

void UndoJournal::closeFile()
{
    unmap();
    m_file.resize(m_size);
    m_file.close();
}

void UndoJournal::append(const QString &original, const QString &target)
{
    QByteArray bytes = UndoRecord(original, target);
    if (!m_file.isOpen())
        open();
    if (m_size == 0) {
        bytes.prepend(runningHeader);
        m_sizeBeforeLast = 0;
    } else {
        m_sizeBeforeLast = m_size;
    }
    write(bytes);
    ++m_records;
}

void UndoJournal::retract()
{
    if (m_sizeBeforeLast < 0)
        return;
    // The first record goes with the header it was written with; the header comes back
    // with the next record, or at the end.
    std::memset(m_map + m_sizeBeforeLast, 0, size_t(m_size - m_sizeBeforeLast));
    m_size = m_sizeBeforeLast;
    m_sizeBeforeLast = -1;
    --m_records;
}

void UndoJournal::markComplete()
{
    if (m_size > headerMarkAt)
        m_map[headerMarkAt] = ',';
}

void UndoJournal::finish()
{
    if (!m_file.isOpen())
        open();
    if (m_size == 0)
        write(header);
    markComplete();
    m_finished = true;
    closeFile();
    m_lock.reset();
}

std::optional<UndoRecordPaths> ParseUndoRecord(const QString &line)
{
    QString text = TrimControl(line);
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
        text = text.sliced(1, text.size() - 2);
    const qsizetype separator = text.indexOf(u"\",\""_s);
    if (separator < 0)
        return std::nullopt;
    return UndoRecordPaths{text.left(separator), text.mid(separator + 3)};
}

bool UndoLogInterrupted(const QStringList &lines)
{
    return !lines.isEmpty() && lines.front() == u"Original;New"_s;
}

QStringList UndoLogLines(const QByteArray &content)
{
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return SplitTextLines(text);
}
