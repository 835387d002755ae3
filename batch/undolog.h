#pragma once

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
    // Takes the last record out again: its operation did not take place.
    void retract();
    // The operation of the last record has taken place.
    void settle();
    // Ends a batch that ran through all its items: a batch without any operation
    // still leaves a log holding the header line only. Releases the lock.
    void finish();
    // Ends a batch that stops early, as the destructor does: the records so far stay,
    // and a batch that did no operation puts the previous log back. Releases the lock.
    void close();

private:
    void open();
    void reserve(qint64 size);
    void setMark(char mark);
    int end(bool keep);
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
};

// The bytes of the log at path; a link there is refused with "Cannot open file ...".
QByteArray readUndoLog(const QString &path);

// One record of the log as written: the path before and the path after.
QByteArray undoRecord(const QString &original, const QString &target);

// The lines of a log's text: UTF-8 with or without its byte-order mark, lines ended
// by CR LF, LF or CR; text after the last line end is a line when not empty. A name
// that is not UTF-8 is in the log as its bytes and read back as decodeFileName reads
// it.
QStringList undoLogLines(const QByteArray &content);

struct UndoRecordPaths
{
    QString original;
    QString moved;
};

// The two paths of a record line: blanks around it and its outer quotation marks
// removed, split at the first quote-comma-quote. Nothing for a line that is no
// record: without that separator, cut short (a quotation mark at one end only), with
// a quotation mark inside a path, or with a new path that is not absolute (it would
// be taken from whatever folder the undo runs in). A bare original path is a record:
// the undo reports it.
std::optional<UndoRecordPaths> parseUndoRecord(QByteArrayView line);

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
UndoLogContent parseUndoLog(QByteArrayView content);
