#pragma once

#include "batch/fileoperations.h"
#include "batch/renameplan.h"
#include "engine/renameitem.h"
#include "engine/renameoptions.h"

#include <functional>

class UndoLogLock;
class UserMessages;

// Called after a rename or move brought the item at index up to date; oldPath is where
// the file was before.
using ItemMovedHandler = std::function<void(qsizetype index, const QString &oldPath)>;

// What a batch running away from the user-interface thread tells and asks.
struct BatchProgress
{
    // After each file that was to change is done or passed over: how many so far, of
    // how many, and its path as its folder (up to and including the last separator) and
    // its name, valid during the call. Called for every file: a path is made only by a
    // callback that shows it.
    std::function<void(qsizetype done, qsizetype total, QStringView folder, QStringView name)>
        fileDone;
    // Asked between files (never inside a swap or cycle): true ends the batch there, as
    // complete, with the log naming what was done.
    std::function<bool()> stopRequested;
};

struct BatchOutcome
{
    qsizetype done = 0;     // files that got their new names
    qsizetype total = 0;    // files that were to change
    qsizetype differed = 0; // files that ended otherwise than planned
    bool cancelled = false;
    // Rows the system reported done whose file was not found under its new name.
    QList<qsizetype> unverified;
    // The batch's id in the history; empty when it did nothing.
    QString batchId;
};

// Carries out a plan made for these items and options, step by step, recording each
// operation in the undo log before doing it (a file sent to the Trash right after).
// A name taken after planning is never replaced: the row is numbered (Auto-number,
// numbered rows, files coming off a stepping stone) or left alone; a file gone since
// is passed over; the completion message counts such rows, and so does the result.
// The first failing operation throws TessalyError; everything done until then stays
// done and recorded.
// Once every step has run, each folder the rows went to is read back and every row
// checked (verifyDoneRows): a row that did not happen although reported done is named in
// a warning, and the log still undoes the rest. heldLock: the log's lock, taken by the
// caller before planning; without it the batch takes it here. The batch is kept in the
// history; redoOf names the batch it carries out again, if any.
BatchOutcome executePlan(RenameItems &items, const RenamePlan &plan, const RenameOptions &options,
                         UserMessages &messages, FileOperations &files,
                         const ItemMovedHandler &itemMoved = {}, const BatchProgress &progress = {},
                         UndoLogLock *heldLock = nullptr, const QString &redoOf = {});

// Sets the file's last-write time to now when options ask for it; silent.
void touchModifiedTime(const QString &path, const RenameOptions &options, FileOperations &files);
