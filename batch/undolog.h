#pragma once

#include "batch/history.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Keeps every other batch and undo away from one undo log while held: an exclusive
// lock on a file beside the log, which the system drops however its holder ends.
class UndoLogLock
{
public:
    // Waits briefly while another batch or undo holds the lock, then gives up with
    // "Another rename is running ..."; nothing has been touched then. The log's
    // folder must exist, unless makeFolder asks for it to be made (with its parents).
    explicit UndoLogLock(const QString &logPath, bool makeFolder = false);
    ~UndoLogLock();
    UndoLogLock(const UndoLogLock &) = delete;
    UndoLogLock &operator=(const UndoLogLock &) = delete;

    void release();
    // Whether another batch or undo held the lock when this one asked for it: whatever
    // was decided before may be stale now.
    bool waited() const { return m_waited; }
    // The folders made for the log, outermost first: a log's first sync makes their
    // names last too.
    const QStringList &createdFolders() const { return m_createdFolders; }

private:
    int m_fd = -1;
    bool m_waited = false;
    QStringList m_createdFolders;
};

// The undo log of the running batch, kept as a journal: each record is handed to the
// system just before its operation and taken back out when the operation fails, so
// that whenever the batch stops (an error, a kill) the log names exactly the files
// that were moved or copied.
//
// The log is a new file made beside the previous one, its space reserved and its
// header on disk before it takes the previous one's place by a rename (a link found
// there is replaced, never written through). Records go into a shared memory mapping
// of reserved space: a record is in the system's hands once copied there, without a
// call per record, and a full disk shows as an error when space is reserved, before
// the operation it would record. A killed batch leaves zero bytes after its last
// record, which readers skip as blank text; a batch that ends leaves exactly its
// records, synced to disk.
class UndoJournal
{
public:
    // Creates the log's folder when missing and takes the log's lock (UndoLogLock),
    // unless the caller holds it already: a batch locks the log before it plans, so
    // that no other batch or undo changes the folders between its plan and its end.
    explicit UndoJournal(QString path, UndoLogLock *heldLock = nullptr);
    ~UndoJournal();
    UndoJournal(const UndoJournal &) = delete;
    UndoJournal &operator=(const UndoJournal &) = delete;

    // Records one operation that is about to be done. The first record replaces the
    // previous batch's log. Throws "Cannot create file ..." when the log cannot take it.
    void append(QStringView original, QStringView target) { append(original, {}, target, {}); }
    // The same with each path given as its folder (ending in a separator) and name.
    void append(QStringView originalFolder, QStringView originalName, QStringView targetFolder,
                QStringView targetName);
    // Puts the log (its header and reserved space on disk) in place of the previous one
    // now rather than with the first record: before a step that prepares anything, such
    // as the Trash's note of a file about to go there.
    void begin()
    {
        if (m_fd < 0)
            open();
    }
    // Keeps the batch in the history (call before the first record): its journal is
    // this log under a second name, and its note says what the batch was and, when it
    // ends, how (with *filesDone read then). A batch that did nothing is not kept. The
    // history is trimmed once the batch has ended.
    void keepInHistory(HistoryEntry entry, const qsizetype *filesDone)
    {
        m_history = std::move(entry);
        m_filesDone = filesDone;
    }
    // The batch's id in the history, once its first record made it one; else empty.
    QString historyId() const { return m_history && m_records > 0 ? m_history->id : QString(); }
    // Takes the last record out again: its operation did not take place.
    void retract();
    // The operation of the last record has taken place.
    void settle();
    // Ends a batch that ran through all its items: its records are synced to disk. A
    // batch that did no operation keeps the previous log exactly as it was, as close()
    // does, so that running a batch again that finds nothing to do loses no undo.
    // Releases the lock.
    void finish();
    // Ends a batch that stops early, as the destructor does: the records so far stay,
    // and a batch that did no operation puts the previous log back. Releases the lock.
    void close();

private:
    void open();
    void reserve(qint64 size);
    void setMark(char mark);
    int end(bool keep);
    void endInHistory(bool keep);
    [[noreturn]] void fail(int error);

    QString m_path;
    QByteArray m_nativePath;
    QByteArray m_newPath;      // where the log is made before it takes its place
    QByteArray m_previousPath; // where the replaced log waits until the first record holds
    std::optional<UndoLogLock> m_ownLock;
    UndoLogLock *m_lock = nullptr;
    int m_fd = -1;
    uchar *m_map = nullptr;
    qint64 m_mapped = 0;   // the length of the mapping
    qint64 m_capacity = 0; // the reserved space: the file's size while the batch runs
    qint64 m_size = 0;
    qint64 m_sizeBeforeLast = -1;
    int m_records = 0;
    bool m_placed = false; // the log has taken the previous one's place
    bool m_finished = false;
    std::optional<HistoryEntry> m_history;
    const qsizetype *m_filesDone = nullptr;
    bool m_inHistory = false;     // the history holds the batch's note
    bool m_historyLinked = false; // and its journal is this log under a second name
};

// The bytes of the log at path; a link there is refused with "Cannot open file ...".
QByteArray readUndoLog(const QString &path);

// One record of the log as written: the path before and the path after, each between
// quotation marks, a quotation mark inside a path doubled and a line end inside one
// kept as it is (RFC 4180), then CR LF.
QByteArray undoRecord(const QString &original, const QString &target);

// What an undo has done with a record, written over the record's first byte (its
// opening quotation mark) in the log itself, so that an undo that is stopped or killed
// goes on exactly where it stopped, and no other log can take this progress for its
// own. A chain of names undone in part (IMG_0002 to IMG_0003 undone, IMG_0001 to
// IMG_0002 not yet) leaves both paths of a record taken: the files alone could not
// tell where the undo stopped.
enum class UndoMark : char {
    None = '\0',
    Undone = '#',     // the file is back, or there was nothing to bring back
    PassedOver = '!', // its file was gone, or another file stood at its old path
};

struct UndoRecordPaths
{
    QString original;
    QString moved;
    UndoMark mark = UndoMark::None;
    qsizetype at = -1; // where the record's first byte is in the log's bytes
};

struct UndoLogContent
{
    QList<UndoRecordPaths> records; // in the order written
    // Lines after the header that are neither blank nor a record.
    int unreadable = 0;
    // The batch was killed before it ended, and the operation of the last record may
    // never have taken place.
    bool lastUncertain = false;
};

// The records of a log file's bytes; the first line, the header, is never read as one.
// The text is UTF-8 with or without its byte-order mark, lines ended by CR LF, LF or CR;
// a name that is not UTF-8 is in the log as its bytes and read back as decodeFileName
// reads it. A record is the two paths as written by undoRecord or in the forms older
// logs and people wrote: blanks around it removed; two quoted paths separated by a
// comma, or two paths without outer quotation marks split at the first
// quote-comma-quote. A line is no record with another number of paths, cut short (a
// quotation mark at one end only), a lone quotation mark or a NUL byte inside a path,
// or a new path that is not absolute (it would be taken from whatever folder the undo
// runs in). A bare original path is a record: the undo reports it. A line whose first
// byte is an UndoMark other than None is a record that mark was written over.
// A record's paths may span lines (a line end inside a quoted path); a quoted path that
// does not close on a record's own line and does not make a whole record with the
// lines after it leaves that one line unreadable, and reading goes on at the next.
UndoLogContent parseUndoLog(QByteArrayView content);

// The log at path opened by an undo, never through a link ("Cannot open file ..."):
// its bytes, into which the undo writes its marks in place. Each mark is one store
// into a shared mapping, in the system's hands at once (a killed undo keeps it)
// without a call per record. Where the log cannot be written (a read-only file) the
// undo still reads it, and marks nothing.
class UndoLogFile
{
public:
    explicit UndoLogFile(const QString &path);
    ~UndoLogFile();
    UndoLogFile(const UndoLogFile &) = delete;
    UndoLogFile &operator=(const UndoLogFile &) = delete;

    QByteArrayView content() const;
    void mark(const UndoRecordPaths &record, UndoMark mark);

private:
    int m_fd = -1;
    uchar *m_map = nullptr;
    qsizetype m_size = 0;
    QByteArray m_read; // when the log could be read only
    bool m_marked = false;
};

// The files of an unfinished batch that wait under hidden names, by their original
// paths: the log at logPath still says that a batch is running (it was killed), and a
// record's new path is a stepping stone (".tessaly-<digits>") that still exists, or
// beside the record where the batch or an undo stopped there is a partial copy of its
// new file or the set-aside file of either path. Only the undo knows how to bring them
// back; a new batch would replace its log. Empty when there is no such log.
QStringList filesWaitingUnderHiddenNames(const QString &logPath);

// The message that refuses a new batch while filesWaitingUnderHiddenNames names files.
QString filesWaitingText(const QStringList &waiting);
