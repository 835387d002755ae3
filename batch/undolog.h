#pragma once

#include <QFile>
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
    // folder must exist.
    explicit UndoLogLock(const QString &logPath);
    ~UndoLogLock();
    UndoLogLock(const UndoLogLock &) = delete;
    UndoLogLock &operator=(const UndoLogLock &) = delete;

    void release();

private:
    int m_fd = -1;
};

// The undo log of the running batch, kept as a journal: each record is handed to the
// system just before its operation and taken back out when the operation fails, so
// that whenever the batch stops (an error, a kill) the log names exactly the files
// that were moved or copied. The file is written through a shared memory mapping:
// a record is in the system's hands once copied there, without a call per record.
// A killed batch leaves zero bytes after its last record, which readers skip as
// blank text.
class UndoJournal
{
public:
    // Creates the log's folder when missing and takes the log's lock (UndoLogLock).
    explicit UndoJournal(QString path);
    ~UndoJournal();
    UndoJournal(const UndoJournal &) = delete;
    UndoJournal &operator=(const UndoJournal &) = delete;

    // Records one operation. The first record replaces the previous batch's log.
    void append(const QString &original, const QString &target);
    // Takes the last record out again.
    void retract();
    // Ends a batch that ran through all its items: a batch without any operation
    // still leaves a log holding the header line only. Releases the lock.
    void finish();
    // Ends a batch that stops early, as the destructor does: the records so far stay,
    // and a batch that did no operation puts the previous log back. Releases the lock.
    void close();

private:
    void open();
    void markComplete();
    void write(const QByteArray &bytes);
    void unmap();
    void closeUnfinished();
    void closeFile();
    [[noreturn]] void failCreate();

    QString m_path;
    std::optional<UndoLogLock> m_lock;
    QFile m_file;
    uchar *m_map = nullptr;
    qint64 m_capacity = 0;
    qint64 m_size = 0;
    qint64 m_sizeBeforeLast = -1;
    int m_records = 0;
    bool m_finished = false;
    std::optional<QByteArray> m_previous; // the log this batch replaced, if there was one
};

// One record of the log as written: the path before and the path after.
QByteArray UndoRecord(const QString &original, const QString &target);

// The lines of a log's text: UTF-8 with or without its byte-order mark, lines ended
// by CR LF, LF or CR; text after the last line end is a line when not empty.
QStringList UndoLogLines(const QByteArray &content);

struct UndoRecordPaths
{
    QString original;
    QString moved;
};

// The two paths of a record line: blanks around it and its outer quotation marks
// removed, split at the first quote-comma-quote; nothing for a line without one.
std::optional<UndoRecordPaths> ParseUndoRecord(const QString &line);

// Whether the log's batch was killed before it ended: its last record may name an
// operation that never took place.
bool UndoLogInterrupted(const QStringList &lines);
