#include "batch/history.h"

#include "batch/batchpaths.h"
#include "batch/undolog.h"
#include "engine/filenamecodec.h"
#include "engine/renameitem.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString journalSuffix = u".csv"_s;
const QString noteSuffix = u".json"_s;

const char *const stateWords[] = {"running", "done", "interrupted", "undone", "partly undone"};

HistoryState stateOfWord(const QString &word)
{
    for (int i = 0; i < int(std::size(stateWords)); ++i) {
        if (word == QLatin1StringView(stateWords[i]))
            return HistoryState(i);
    }
    return HistoryState::Interrupted;
}

QString notePath(const QString &id)
{
    return historyFolder() + id + noteSuffix;
}

QByteArray native(const QString &path)
{
    return encodeFileName(path);
}

qint64 sizeOf(const QString &path)
{
    struct stat info
    {};
    return ::lstat(native(path).constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

// Whether a batch or undo holds the undo log's lock now (never waits).
bool lockIsHeld()
{
    const QByteArray lockPath = native(undoLogPath() + u".lock"_s);
    const int fd = ::open(lockPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::optional<HistoryEntry> readNote(const QString &id)
{
    QFile file(notePath(id));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject note = QJsonDocument::fromJson(file.readAll()).object();
    if (note.isEmpty())
        return std::nullopt;
    HistoryEntry entry;
    entry.id = id;
    entry.time = QDateTime::fromString(note.value("time"_L1).toString(), Qt::ISODate);
    entry.operation = note.value("operation"_L1).toString();
    entry.pattern = note.value("pattern"_L1).toString();
    entry.destination = note.value("destination"_L1).toString();
    entry.conflict = note.value("conflict"_L1).toInt(-1);
    entry.files = qsizetype(note.value("files"_L1).toDouble());
    entry.folder = note.value("folder"_L1).toString();
    entry.state = stateOfWord(note.value("state"_L1).toString());
    entry.restored = qsizetype(note.value("restored"_L1).toDouble());
    entry.redoOf = note.value("redoOf"_L1).toString();
    entry.bytes = file.size() + sizeOf(historyJournalPath(id));
    return entry;
}

QByteArray noteBytes(const HistoryEntry &entry)
{
    QJsonObject note;
    note.insert("time"_L1, entry.time.toString(Qt::ISODate));
    note.insert("operation"_L1, entry.operation);
    note.insert("pattern"_L1, entry.pattern);
    if (!entry.destination.isEmpty())
        note.insert("destination"_L1, entry.destination);
    if (entry.conflict >= 0)
        note.insert("conflict"_L1, entry.conflict);
    note.insert("files"_L1, double(entry.files));
    note.insert("folder"_L1, entry.folder);
    note.insert("state"_L1, historyStateWord(entry.state));
    if (entry.restored > 0)
        note.insert("restored"_L1, double(entry.restored));
    if (!entry.redoOf.isEmpty())
        note.insert("redoOf"_L1, entry.redoOf);
    return QJsonDocument(note).toJson(QJsonDocument::Indented);
}

// The ids on record, oldest first: the names of the notes.
QStringList historyIds()
{
    QStringList ids = QDir(historyFolder())
                          .entryList({u"*"_s + noteSuffix}, QDir::Files | QDir::Hidden, QDir::Name);
    for (QString &id : ids)
        id.chop(noteSuffix.size());
    return ids;
}

// Whether a journal holds anything after its header: a batch killed before its first
// record holds nothing to undo.
bool journalHasRecords(const QString &id)
{
    QFile journal(historyJournalPath(id));
    if (!journal.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = journal.read(64 * 1024);
    const qsizetype headerEnd = start.indexOf('\n');
    if (headerEnd < 0)
        return false;
    return std::any_of(start.cbegin() + headerEnd + 1, start.cend(),
                       [](char c) { return c != '\0' && c != '\r' && c != '\n' && c != ' '; });
}

// An undo log written before batches were kept becomes the history's first entry: its
// journal is the same file under a second name.
void adoptOlderLog()
{
    const QString logPath = undoLogPath();
    struct stat info
    {};
    if (::lstat(native(logPath).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_nlink != 1 || !historyIds().isEmpty())
        return;
    const UndoLogContent log = parseUndoLog(readUndoLog(logPath));
    HistoryEntry entry;
    entry.time = QDateTime::fromSecsSinceEpoch(info.st_mtime);
    entry.operation = u"rename"_s;
    bool anyUndone = false;
    for (const UndoRecordPaths &record : log.records) {
        if (entry.folder.isEmpty()) {
            entry.folder = folderPart(record.original);
            if (entry.folder.size() > 1)
                entry.folder.chop(1);
        }
        if (!QStringView(record.moved)
                 .sliced(folderPart(record.moved).size())
                 .startsWith(u".tessaly-"))
            ++entry.files;
        anyUndone = anyUndone || record.mark != UndoMark::None;
    }
    entry.state = anyUndone ? HistoryState::Interrupted : HistoryState::Done;
    if (!reserveHistoryEntry(entry))
        return;
    if (::link(native(logPath).constData(), native(historyJournalPath(entry.id)).constData()) != 0)
        removeHistoryEntry(entry.id);
}

} // namespace

QString historyStateWord(HistoryState state)
{
    return QString::fromLatin1(stateWords[int(state)]);
}

QString historyFolder()
{
    return folderPart(undoLogPath()) + u"history/"_s;
}

QString historyJournalPath(const QString &id)
{
    return historyFolder() + id + journalSuffix;
}

QList<HistoryEntry> readHistory(bool lockHeldHere)
{
    const bool someoneRuns = !lockHeldHere && lockIsHeld();
    if (!someoneRuns)
        adoptOlderLog();
    const QStringList ids = historyIds();
    QList<HistoryEntry> entries;
    entries.reserve(ids.size());
    for (auto it = ids.crbegin(); it != ids.crend(); ++it) {
        std::optional<HistoryEntry> entry = readNote(*it);
        if (!entry)
            continue;
        if (entry->state == HistoryState::Running && !someoneRuns) {
            if (!journalHasRecords(entry->id)) {
                removeHistoryEntry(entry->id);
                continue;
            }
            entry->state = HistoryState::Interrupted;
        }
        entries.append(std::move(*entry));
    }
    return entries;
}

std::optional<HistoryEntry> findHistoryEntry(const QString &id, bool lockHeldHere)
{
    if (id.isEmpty() || id.contains(u'/') || id.startsWith(u'.'))
        return std::nullopt;
    const QList<HistoryEntry> entries = readHistory(lockHeldHere);
    const auto found = std::find_if(entries.cbegin(), entries.cend(),
                                    [&](const HistoryEntry &entry) { return entry.id == id; });
    if (found == entries.cend())
        return std::nullopt;
    return *found;
}

bool writeHistoryNote(const HistoryEntry &entry)
{
    QSaveFile file(notePath(entry.id));
    return file.open(QIODevice::WriteOnly) && file.write(noteBytes(entry)) >= 0 && file.commit();
}

bool reserveHistoryEntry(HistoryEntry &entry)
{
    if (!QDir().mkpath(historyFolder()))
        return false;
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTime();
    const QString stem = entry.time.toString(u"yyyyMMdd-HHmmss"_s);
    for (int n = 1; n < 1000; ++n) {
        entry.id = stem + u"-%1"_s.arg(n, 3, 10, QChar(u'0'));
        // A journal without its note is not ours to reuse.
        if (::access(native(historyJournalPath(entry.id)).constData(), F_OK) == 0)
            continue;
        const int fd = ::open(native(notePath(entry.id)).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        // Written into the file just made, not replaced by a new one as later notes are:
        // a batch's steps should be its only renames until it ends.
        const QByteArray bytes = noteBytes(entry);
        const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
        ::close(fd);
        return written;
    }
    return false;
}

void removeHistoryEntry(const QString &id)
{
    ::unlink(native(historyJournalPath(id)).constData());
    ::unlink(native(notePath(id)).constData());
}

void trimHistory(qsizetype keep, qint64 maxBytes)
{
    const QStringList ids = historyIds();
    QList<qint64> sizes;
    qint64 total = 0;
    for (const QString &id : ids) {
        sizes.append(sizeOf(notePath(id)) + sizeOf(historyJournalPath(id)));
        total += sizes.last();
    }
    qsizetype count = ids.size();
    for (qsizetype i = 0; i + 1 < ids.size() && (count > keep || total > maxBytes); ++i) {
        removeHistoryEntry(ids.at(i));
        total -= sizes.at(i);
        --count;
    }
}
