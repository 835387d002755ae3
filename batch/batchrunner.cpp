#include "batchrunner.h"

#include "batchpaths.h"
#include "prefetch.h"
#include "renameplan.h"
#include "tessalyerror.h"
#include "translation.h"
#include "undolog.h"
#include "usermessages.h"

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

    // The first "base (n)ext" in folder (ending in a separator) beside name that is
    // free now and that no row of the plan is going to take.
    QString numbered(const QString &folder, const QString &name)
    {
        QString base;
        QString ext;
        splitFileName(name, &base, &ext);
        return firstFree(
            folder, [&](qint64 n) { return u"%1 (%2)%3"_s.arg(base, QString::number(n), ext); });
    }

    // A free name in folder for a file on its way.
    QString steppingStone(const QString &folder)
    {
        return firstFree(folder, [](qint64 n) { return u".tessaly-%1"_s.arg(n); });
    }

private:
    template <typename NameAt>
    QString firstFree(const QString &folder, NameAt nameAt)
    {
        if (m_planned.isEmpty()) {
            for (const PlanStep &step : m_plan.steps)
                m_planned.insert(m_plan.toPath(step));
        }
        for (qint64 n = 1;; ++n) {
            QString name = nameAt(n);
            const QString candidate = folder + name;
            if (!m_planned.contains(candidate) && !m_files.fileExists(candidate) &&
                !m_files.folderExists(candidate))
                return name;
        }
    }

    const RenamePlan &m_plan;
    FileOperations &m_files;
    QSet<QString> m_planned;
};

} // namespace

void touchModifiedTime(const QString &path, const RenameOptions &options, FileOperations &files)
{
    if (options.touchModifiedNow)
        files.touch(path);
}

BatchOutcome executePlan(RenameItems &items, const RenamePlan &plan, const RenameOptions &options,
                         UserMessages &messages, FileOperations &files,
                         const ItemMovedHandler &itemMoved, const BatchProgress &progress)
{
    Q_ASSERT(plan.purpose == PlanPurpose::Batch);
    BatchOutcome outcome;
    outcome.total = plan.count(PlanStatus::Rename) + plan.count(PlanStatus::Numbered) +
                    plan.count(PlanStatus::Overwrite);
    const bool copying = options.batchMode == BatchMode::CopyToFolder;
    // The log first: it keeps any other batch or undo away before anything is touched.
    UndoJournal journal(undoLogPath());
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
            const QString path = plan.fromPath(step);
            if (files.fileExists(path)) {
                // The Trash chooses the name, so the record can only follow the move; a
                // kill in between leaves the file in the Trash, which knows its origin.
                const QString trashed = files.moveToTrash(path);
                journal.append(path, trashed);
                journal.settle();
            }
            continue;
        }
        const bool fromSteppingStone = step.fromStone;
        const QString &sourceFolder = plan.folders.at(step.fromFolder);
        const QString &targetFolder = plan.folders.at(step.toFolder);
        QString targetName = step.toName; // in targetFolder, whatever happens
        for (bool renumbered = false;;) {
            journal.append(sourceFolder, step.fromName, targetFolder, targetName);
            bool placed = false;
            try {
                placed =
                    step.kind == PlanStep::Copy
                        ? files.copy(sourceFolder + step.fromName, targetFolder + targetName)
                        : files.moveNamed(sourceFolder, step.fromName, targetFolder, targetName);
            } catch (const TessalyError &) {
                journal.retract();
                if (files.fileExists(sourceFolder + step.fromName))
                    throw;
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
            if (!step.last) {
                targetName = names.steppingStone(targetFolder);
                continue;
            }
            if (fromSteppingStone || options.conflict == ConflictMode::AutoNumber ||
                plan.rows.at(step.row).status == PlanStatus::Numbered) {
                targetName = names.numbered(targetFolder, targetName);
                if (!std::exchange(renumbered, true))
                    ++differed;
                continue;
            }
            passOver(step.row);
            break;
        }
        if (!step.last || isPassedOver(step.row))
            continue;
        if (options.touchModifiedNow)
            touchModifiedTime(targetFolder + targetName, options, files);
        if (!copying) {
            const QString source = itemMoved ? items.at(step.row).originalPath() : QString();
            setItemPlace(items[step.row], targetFolder, targetName);
            if (itemMoved)
                itemMoved(step.row, source);
        }
        ++outcome.done;
        rowFinished(step.row);
    }
    if (!items.isEmpty())
        journal.finish();
    QString done = batchCompletedText();
    if (outcome.cancelled) {
        done = translateText(u"Stopped after %1 of %2 files. Undo brings them back."_s)
                   .arg(outcome.done)
                   .arg(outcome.total);
    }
    if (differed > 0) {
        const QString text = translateText(
            u"%1 files ended otherwise than planned: names or files changed meanwhile."_s);
        done += u'\n' + text.arg(differed);
    }
    messages.information(done);
    return outcome;
}

bool runBatch(RenameItems &items, const RenameOptions &options, UserMessages &messages,
              FileOperations &files, const ItemMovedHandler &itemMoved)
{
    const bool toFolder = options.batchMode == BatchMode::CopyToFolder ||
                          options.batchMode == BatchMode::MoveToFolder;
    if (toFolder && trimControl(options.destination).isEmpty()) {
        messages.warning(
            translateText(u"Please select a destination folder for Copy/Move mode."_s));
        return false;
    }
    SystemFileSystemView view;
    const RenamePlan plan = planBatch(items, options, view);
    if (plan.blocked()) {
        messages.warning(planBlockedMessage(items, plan));
        return false;
    }
    executePlan(items, plan, options, messages, files, itemMoved);
    return true;
}
