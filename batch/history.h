#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Every batch is kept in the history folder beside the undo log: its journal
// ("<id>.csv", the same records as the undo log, which is the newest batch's journal
// under a second name) and a note of what it was ("<id>.json"). A batch's id begins
// with its local time, so the ids sort oldest first.

enum class HistoryState : quint8 {
    Running,      // on record while a batch runs; a killed batch stays so (interrupted)
    Done,         // carried out to the end
    Interrupted,  // stopped, failed or killed: its journal holds what was done
    Undone,       // every file brought back
    PartlyUndone, // an undo brought back some of its files
};

// "done", "interrupted", "undone", "partly undone" (a batch still running: "running").
QString historyStateWord(HistoryState state);

struct HistoryEntry
{
    QString id;
    QDateTime time;      // local
    QString operation;   // "rename", "copy" or "move"
    QString pattern;     // the options in short: the pattern
    QString destination; // the folder of a copy or move
    int conflict = -1;   // the conflict rule (ConflictMode), -1 when not known
    qsizetype files = 0; // files the batch changed
    QString folder;      // the first folder it changed files in
    HistoryState state = HistoryState::Running;
    qsizetype restored = 0; // files its undo brought back
    QString redoOf;         // the batch this one carried out again
    qint64 bytes = 0;       // the space its journal and note take

    bool undoable() const
    {
        return state == HistoryState::Done || state == HistoryState::Interrupted;
    }
};

// The history folder: "history" beside the undo log.
QString historyFolder();
QString historyJournalPath(const QString &id);

// Every batch on record, newest first. A batch that says it is running while no batch
// holds the undo log's lock was killed: it is listed as interrupted. An undo log written
// before batches were kept, with no history beside it, joins the history as its one
// entry (when no batch is running). lockHeldHere: the caller holds the lock, so no batch
// is running.
QList<HistoryEntry> readHistory(bool lockHeldHere = false);
std::optional<HistoryEntry> findHistoryEntry(const QString &id, bool lockHeldHere = false);

// Writes the note of a batch (in place of the previous one, never half written).
// Returns false when it cannot be written; a batch goes on without it.
bool writeHistoryNote(const HistoryEntry &entry);

// Gives entry a new id and puts its note on record; false when the history folder
// cannot take it.
bool reserveHistoryEntry(HistoryEntry &entry);
// Takes a batch out of the history: its journal and note.
void removeHistoryEntry(const QString &id);

// Drops the oldest batches while more than keep are on record or they take more than
// maxBytes; the newest batch is always kept. Never fails: a batch that cannot be dropped
// stays until the next time.
inline constexpr qsizetype historyKeptBatches = 100;
inline constexpr qint64 historyMaxBytes = 200LL * 1024 * 1024;
void trimHistory(qsizetype keep = historyKeptBatches, qint64 maxBytes = historyMaxBytes);
