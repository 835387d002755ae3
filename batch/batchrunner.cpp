#include "batch/batchrunner.h"

#include "batch/batchpaths.h"
#include "batch/batchverify.h"
#include "batch/freenames.h"
#include "batch/renameplan.h"
#include "batch/undolog.h"
#include "containers/prefetch.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "translation/translation.h"

#include <QLocale>
#include <QSet>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Where a step goes when the name the plan chose was taken after planning.
class RuntimeNames
{
public:
    RuntimeNames(const RenamePlan &plan, FileOperations &files)
        : m_plan(plan)
        , m_files(files)
    {}

    // A "base (n)ext" in folder (ending in a separator) beside name that is free now and
    // that no row of the plan is going to take: the first such, or, where names of that
    // series were handed out before, the first past the last of them.
    QString numbered(const QString &folder, const QString &name)
    {
        QString base;
        QString ext;
        splitFileName(name, &base, &ext);
        return m_free.numbered(folder, base, ext,
                               [&](const QString &name) { return taken(folder, name); });
    }

    // A free name in folder for a file on its way.
    QString steppingStone(const QString &folder)
    {
        return m_free.steppingStone(folder,
                                    [&](const QString &name) { return taken(folder, name); });
    }

private:
    bool taken(const QString &folder, const QString &name)
    {
        if (m_planned.isEmpty()) {
            for (const PlanStep &step : m_plan.steps)
                m_planned.insert(m_plan.toPath(step));
        }
        const QString candidate = folder + name;
        return m_planned.contains(candidate) || m_files.fileExists(candidate) ||
               m_files.folderExists(candidate);
    }

    const RenamePlan &m_plan;
    FileOperations &m_files;
    QSet<QString> m_planned;
    FreeNames m_free; // each series resumes where it stopped; the disk is asked each time
};

// Added to an error that stops a batch while files wait on stepping stones: which files,
// under which hidden names, and that the undo brings them back.
QString filesOnStones(const QHash<qsizetype, QString> &onStone, const RenameItems &items)
{
    QString text;
    for (auto it = onStone.cbegin(); it != onStone.cend(); ++it) {
        if (it->isEmpty())
            continue;
        text += u'\n' + translateText(u"%1 waits under the hidden name %2: Undo brings it back."_s)
                            .arg(items.at(it.key()).fileName, *it);
    }
    return text;
}

// Sends the file at path to the Trash with its record in the log before the move, so
// that a batch killed at any moment leaves the way back: the Trash's slot is chosen (and
// its note of the origin written) first, then recorded, then the file moves there.
void moveToTrashRecorded(const QString &path, UndoJournal &journal, FileOperations &files)
{
    if (files.entryKind(path) != FileOperations::EntryKind::File)
        return; // gone since the plan: nothing stands in the way any more
    journal.begin();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString slot = files.reserveTrash(path);
        if (slot.isEmpty()) {
            // Where the Trash picks its own names the record can only follow the move; a
            // kill in between leaves the file in the Trash, which knows its origin.
            journal.append(path, files.moveToTrash(path));
            journal.settle();
            return;
        }
        journal.append(path, slot);
        bool moved = false;
        try {
            moved = files.move(path, slot);
        } catch (const TessalyError &) {
            journal.retract();
            files.releaseTrash(slot);
            throw;
        }
        if (moved) {
            journal.settle();
            return;
        }
        // Another program put a file in the slot between its note and the move.
        journal.retract();
        files.releaseTrash(slot);
    }
    throw TessalyError(
        fileErrorText(u"The Trash cannot take the file; nothing was deleted"_s, path));
}

} // namespace

void touchModifiedTime(const QString &path, const RenameOptions &options, FileOperations &files)
{
    if (options.touchModifiedNow)
        files.touch(path);
}

namespace {

HistoryEntry historyEntryOf(const RenamePlan &plan, const RenameOptions &options, qsizetype files,
                            const QString &redoOf)
{
    HistoryEntry entry;
    entry.operation = options.batchMode == BatchMode::CopyToFolder   ? u"copy"_s
                      : options.batchMode == BatchMode::MoveToFolder ? u"move"_s
                                                                     : u"rename"_s;
    entry.pattern = options.pattern;
    entry.destination = plan.destination;
    entry.conflict = options.conflict;
    entry.files = files;
    for (const PlanStep &step : plan.steps) {
        if (step.kind != PlanStep::Trash) {
            entry.folder = plan.folders.at(step.fromFolder);
            if (entry.folder.size() > 1)
                entry.folder.chop(1);
            break;
        }
    }
    entry.redoOf = redoOf;
    return entry;
}

} // namespace

BatchOutcome executePlan(RenameItems &items, const RenamePlan &plan, const RenameOptions &options,
                         UserMessages &messages, FileOperations &files,
                         const ItemMovedHandler &itemMoved, const BatchProgress &progress,
                         UndoLogLock *heldLock, const QString &redoOf)
{
    Q_ASSERT(plan.purpose == PlanPurpose::Batch);
    BatchOutcome outcome;
    outcome.total = plan.actingCount();
    const bool copying = options.batchMode == BatchMode::CopyToFolder;
    // The log first: it keeps any other batch or undo away before anything is touched.
    UndoJournal journal(undoLogPath(), heldLock);
    journal.keepInHistory(historyEntryOf(plan, options, outcome.total, redoOf), &outcome.done);
    if (!plan.destination.isEmpty() && !files.folderExists(plan.destination))
        files.makeFolders(plan.destination);
    const FoldersClosedAtEnd closeFolders(files);
    RuntimeNames names(plan, files);
    QList<bool> passedOver; // sized on first use
    qsizetype &differed = outcome.differed;
    qsizetype finished = 0; // rows done or passed over
    // Rows between their first and last step (a file off to a stepping stone, a replaced
    // file in the Trash): a stop waits for them, so that no row is left half done.
    QList<bool> openRows; // sized on first use
    qsizetype openCount = 0;
    const auto setOpen = [&](qsizetype row, bool open) {
        if (openRows.isEmpty()) {
            if (!open)
                return;
            openRows.resize(items.size());
        }
        if (std::exchange(openRows[row], open) != open)
            openCount += open ? 1 : -1;
    };
    const auto rowFinished = [&](qsizetype row) {
        ++finished;
        if (progress.fileDone) {
            const RenameItem &item = items.at(row);
            progress.fileDone(finished, outcome.total, item.folder, item.fileName);
        }
    };
    const auto passOver = [&](qsizetype row) {
        if (passedOver.isEmpty())
            passedOver.resize(items.size());
        passedOver[row] = true;
        ++differed;
        setOpen(row, false); // none of its steps is left to run
        rowFinished(row);
    };
    const auto isPassedOver = [&](qsizetype row) {
        return !passedOver.isEmpty() && passedOver[row];
    };
    // Rows whose file waits on a stepping stone, and the stone's name in the step's
    // folder: the stone actually taken, which is not the planned one when something took
    // that name meanwhile. A file found at a planned stone is never ours to move.
    QHash<qsizetype, QString> onStone;
    // The first steps of those rows, which left where their files were before.
    QHash<qsizetype, quint32> firstSteps;
    // What the verification reads back once every step has run: one entry per row done.
    DoneRows doneRows;
    doneRows.rows.reserve(outcome.total);

    const qsizetype stepCount = plan.steps.size();
    for (qsizetype i = 0; i < stepCount; ++i) {
        const PlanStep &step = plan.steps.at(i);
        // In stages, each reading only what the one before fetched: three steps ahead
        // the step, two ahead its row's item, one ahead the texts they point to.
        if (i + 3 < stepCount) {
            prefetch(&plan.steps.at(i + 3).fromName);
            prefetch(&plan.steps.at(i + 3).toName);
        }
        if (i + 2 < stepCount)
            prefetch(&items.at(plan.steps.at(i + 2).row).fileName);
        if (i + 1 < stepCount) {
            const PlanStep &next = plan.steps.at(i + 1);
            prefetch(next.fromName.constData());
            prefetch(next.toName.constData());
            prefetch(items.at(next.row).fileName.constData());
        }
        if (isPassedOver(step.row))
            continue;
        if (openCount == 0 && progress.stopRequested && progress.stopRequested()) {
            outcome.cancelled = true;
            break;
        }
        setOpen(step.row, !step.last);
        if (step.kind == PlanStep::Trash) {
            moveToTrashRecorded(plan.fromPath(step), journal, files);
            continue;
        }
        const bool fromSteppingStone = step.fromStone;
        const QString &sourceFolder = plan.folders.at(step.fromFolder);
        const QString &targetFolder = plan.folders.at(step.toFolder);
        const QString *stone = fromSteppingStone ? &onStone[step.row] : nullptr;
        const QString &sourceName = stone && !stone->isEmpty() ? *stone : step.fromName;
        QString targetName = step.toName; // in targetFolder, whatever happens
        bool otherTarget = false;
        for (bool renumbered = false;;) {
            journal.append(sourceFolder, sourceName, targetFolder, targetName);
            bool placed = false;
            try {
                placed = step.kind == PlanStep::Copy
                             ? files.copy(sourceFolder + sourceName, targetFolder + targetName)
                             : files.moveNamed(sourceFolder, sourceName, targetFolder, targetName);
            } catch (const TessalyError &error) {
                journal.retract();
                if (files.fileExists(sourceFolder + sourceName))
                    throw TessalyError(error.message() + filesOnStones(onStone, items));
                passOver(step.row); // the file went away after planning
                break;
            }
            if (placed) {
                journal.settle();
                break;
            }
            journal.retract();
            // Something took the name after planning. It is never replaced: a stepping
            // stone takes another name, and a file numbers or stays where it is.
            otherTarget = true;
            if (!step.last) {
                targetName = names.steppingStone(targetFolder);
                continue;
            }
            if (fromSteppingStone || options.conflict == ConflictMode::AutoNumber ||
                plan.rows.at(step.row).status == PlanStatus::Numbered) {
                targetName = names.numbered(targetFolder, items.at(step.row).newName);
                if (!std::exchange(renumbered, true))
                    ++differed;
                continue;
            }
            passOver(step.row);
            break;
        }
        if (isPassedOver(step.row)) {
            onStone.remove(step.row);
            continue;
        }
        if (!step.last) {
            onStone[step.row] = targetName; // stones stay in the folder they were taken in
            firstSteps.insert(step.row, quint32(i));
            continue;
        }
        if (stone)
            onStone.remove(step.row);
        if (options.touchModifiedNow)
            touchModifiedTime(targetFolder + targetName, options, files);
        const RenameItem &item = items.at(step.row);
        quint32 firstStep = copying ? DoneRow::sourceStays : quint32(i);
        if (const auto first = firstSteps.constFind(step.row); first != firstSteps.cend()) {
            if (!copying)
                firstStep = *first;
            firstSteps.erase(first);
        }
        if (otherTarget)
            doneRows.otherTargets.insert(doneRows.rows.size(), targetName);
        doneRows.rows.append({firstStep, quint32(i)});
        if (!copying) {
            const QString source = itemMoved ? item.originalPath() : QString();
            setItemPlace(items[step.row], targetFolder, targetName);
            if (itemMoved)
                itemMoved(step.row, source);
        }
        ++outcome.done;
        rowFinished(step.row);
    }
    // Every row the system reported done is read back before the batch is called done: a
    // file system that reports success for a rename it did not make is caught here. The
    // log's last sync runs while the folders are read.
    const QList<qsizetype> notDone = verifyDoneRows(plan, doneRows, [&] {
        if (!items.isEmpty())
            journal.finish();
    });
    outcome.batchId = journal.historyId();
    if (heldLock)
        heldLock->release();
    QString done = batchCompletedText();
    if (outcome.cancelled) {
        done = translateText(u"Stopped after %1 of %2 files. Undo brings them back."_s)
                   .arg(QLocale().toString(outcome.done), QLocale().toString(outcome.total));
    }
    if (differed > 0) {
        const QString text = translateText(
            u"%1 files ended otherwise than planned: names or files changed meanwhile."_s);
        done += u'\n' + text.arg(QLocale().toString(differed));
    }
    if (!notDone.isEmpty()) {
        outcome.done -= notDone.size();
        QString text =
            translateText(
                u"%1 files did not get their new names although the system reported success:"_s)
                .arg(QLocale().toString(notDone.size()));
        for (const qsizetype at : notDone) {
            const DoneRow &doneRow = doneRows.rows.at(at);
            const qsizetype row = plan.steps.at(doneRow.lastStep).row;
            outcome.unverified.append(row);
            // The list shows each file where it is: these stayed where they were.
            if (doneRow.firstStep != DoneRow::sourceStays) {
                const PlanStep &first = plan.steps.at(doneRow.firstStep);
                setItemPlace(items[row], plan.folders.at(first.fromFolder), first.fromName);
            }
            if (outcome.unverified.size() <= 5)
                text += u"\n"_s + items.at(row).originalPath();
        }
        messages.warning(done + u'\n' + text + u'\n' +
                         translateText(u"Undo brings back the files that were renamed."_s));
        return outcome;
    }
    messages.information(done);
    return outcome;
}
