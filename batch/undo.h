#pragma once

#include "batch/batchrunner.h"
#include "batch/fileoperations.h"
#include "batch/history.h"
#include "batch/undolog.h"
#include "engine/renameitem.h"
#include "engine/renameoptions.h"

#include <array>
#include <functional>

class FileSystemView;
class UserMessages;

// What an undo will do with one file of a batch. Decided before any file is touched.
enum class UndoStatus : quint8 {
    Restore,  // goes back to where it was (a copy is removed)
    Undone,   // back already: an earlier undo brought it back
    Gone,     // nothing is where the batch left the file
    Changed,  // something else holds the batch's name for it, or a later batch moved it
    Occupied, // something new stands where the file was
};
inline constexpr int UndoStatusCount = int(UndoStatus::Occupied) + 1;

// The fixed English word for tools ("restore", "gone" ...) and a label for people.
QString undoStatusWord(UndoStatus status);
QString undoStatusText(UndoStatus status);

// One file of the batch: the records that moved it, oldest first (a file that went over a
// stepping stone has several).
struct UndoPlanRow
{
    QString current;  // where the batch left it
    QString restored; // where it was before the batch
    UndoStatus status = UndoStatus::Restore;
    QString laterBatch; // Changed by a later batch: that batch's id
    QList<qsizetype> records;
};

struct UndoPlan
{
    HistoryEntry batch;  // the batch undone (no id: a log outside the history)
    QString journal;     // its journal; empty when there is nothing to undo
    UndoLogContent log;  // the journal's records
    bool newest = false; // the newest batch on record, the one the undo log names
    QList<UndoPlanRow> rows;
    std::array<qsizetype, UndoStatusCount> counts{};

    qsizetype count(UndoStatus status) const { return counts[size_t(status)]; }
    bool isEmpty() const { return journal.isEmpty(); }
};

// Plans the undo of batch id, or of the newest batch that is not undone when id is empty,
// from its journal and the files as they are now: each file's way back, chains and swaps
// undone through their own stepping stones, and a status for each file; files that cannot
// be restored are left out. Reads the journals of later batches to find files they moved
// again. Changes no file. An unknown id throws "No batch %1 in the history.".
UndoPlan planUndo(const QString &id, FileOperations &files, FileSystemView &view,
                  bool lockHeldHere);

// Whether two plans of the same batch do the same with every file.
bool sameUndoOutcome(const UndoPlan &a, const UndoPlan &b);

// "Restore 1,204 files? 3 cannot be restored: 2 gone, 1 occupied." and the like.
QString undoPlanQuestion(const UndoPlan &plan);

enum class UndoResult { Nothing, Done, Partly, Stopped };

// Carries out a plan made under the undo log's lock: moves each file to restore back,
// newest record first, marking each record in the journal as it goes, so that an undo that
// is stopped or killed goes on where it stopped. Marks the batch undone (or partly undone)
// in the history and reports. A failing operation throws; the journal then stays, so that
// the undo can be run again.
UndoResult carryOutUndo(const UndoPlan &plan, UserMessages &messages, FileOperations &files,
                        const BatchProgress &progress = {});

// An undone batch as a batch that carries it out again: each file it brought back, where
// it is now, with the name the batch had given it, and the batch's operation, destination
// and conflict rule. Planned and carried out as any batch (RenameJob::setRedoOf). Throws
// "No batch %1 in the history." or "Batch %1 is not undone.".
struct RedoBatch
{
    RenameItems items;
    RenameOptions options;
};
RedoBatch redoBatchOf(const QString &id);

// Plans and carries out the undo of the newest batch not undone, without asking; calls
// clearList when it completed.
void undoLastBatch(UserMessages &messages, FileOperations &files,
                   const std::function<void()> &clearList = {}, const BatchProgress &progress = {});
