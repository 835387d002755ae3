#pragma once

#include "batch/batchrunner.h"
#include "batch/renameplan.h"
#include "batch/undo.h"
#include "engine/renameitem.h"
#include "engine/renameoptions.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class FileOperations;
class FileSystemView;
class QThread;
class UndoLogLock;
class UserMessages;

// One rename transaction, the same for the window, its unattended /cli run and
// tessaly-cli: the new names (unless the items hold them already), then, holding the undo
// log's lock from before the plan until the batch is verified, the plan, the steps and
// the read-back of every row; or the undo of the last batch. It runs here (exec) or on a
// thread of its own (start), tells how far it is, and stops between two files when asked.
//
// Messages go to the UserMessages given, from the thread the job runs on.
class RenameJob : public QObject
{
    Q_OBJECT

public:
    enum class Result {
        Done,        // carried out (or, without execute, planned and not blocked)
        Stopped,     // asked to stop: what was done is in the log
        Blocked,     // the plan has rows that keep it from starting; nothing was touched
        PlanChanged, // the plan made under the lock differs from the one agreed to
        Refused,     // nothing was touched: see the messages
        Failed,      // an operation failed: see the messages; what was done is in the log
    };

    // A batch of items with options.
    RenameJob(RenameItems items, RenameOptions options, UserMessages &messages,
              QObject *parent = nullptr);
    // The undo of a batch: the newest one not undone, unless setUndoBatch names one.
    explicit RenameJob(UserMessages &messages, QObject *parent = nullptr);
    // Waits for a started job to end.
    ~RenameJob() override;

    // The items hold no new names yet: the job makes them first, with these names for
    // {list}.
    void setPreviewFirst(const QStringList &importedNames);
    // Whether the items' new names come from a preview (the default): an empty one is
    // then an invalid name rather than a preview never made.
    void setNamesPreviewed(bool previewed) { m_namesPreviewed = previewed; }
    // Stop after the plan (it is still shown through setPlanShown); nothing is locked.
    void setExecute(bool execute) { m_execute = execute; }
    // Rows that block the plan are left out of the batch, and the rest is planned again.
    void setSkipBlocked(bool skip) { m_skipBlocked = skip; }
    // The plan the user agreed to: when the plan made under the lock differs from it, the
    // job ends with PlanChanged before touching anything, and plan() is the new one.
    void setAgreedPlan(RenamePlan plan) { m_agreed = std::move(plan); }
    // The reads of the plan (tessaly-cli hands over the listing it has just made); the
    // system's when not given. Used once: a plan made again reads the system.
    void setFileSystemView(FileSystemView *view) { m_view = view; }
    void setFileOperations(FileOperations *files) { m_files = files; }
    // The undo log's lock, taken by the caller before it read the files (tessaly-cli,
    // whose names are printed before the plan): the job then takes none of its own.
    void setHeldLock(UndoLogLock *lock) { m_heldLock = lock; }
    // Sees the plan made under the lock, before anything is carried out.
    void setPlanShown(std::function<void(const RenameItems &, const RenamePlan &)> shown)
    {
        m_planShown = std::move(shown);
    }
    void setItemMoved(ItemMovedHandler itemMoved) { m_itemMoved = std::move(itemMoved); }
    // Hears of every file done (see BatchProgress); the job's own stop request is asked
    // besides the one given there.
    void setProgress(BatchProgress progress) { m_progress = std::move(progress); }
    // Called by an undo that ended (completed or left files out), on the job's thread.
    void setUndoCompleted(std::function<void()> completed)
    {
        m_undoCompleted = std::move(completed);
    }
    // The batch an undo takes, by its id in the history.
    void setUndoBatch(const QString &id) { m_undoBatch = id; }
    // The undo plan the user agreed to: an undo whose plan made under the lock differs
    // ends with PlanChanged before touching anything, and undoPlan() is the new one.
    void setAgreedUndoPlan(UndoPlan plan) { m_agreedUndo = std::move(plan); }
    // Sees the undo's plan made under the lock, before anything is carried out.
    void setUndoPlanShown(std::function<void(const UndoPlan &)> shown)
    {
        m_undoPlanShown = std::move(shown);
    }
    // The batch this one carries out again (a redo), kept in its history note.
    void setRedoOf(const QString &id) { m_redoOf = id; }

    // Runs the job here; a failure is told through the messages.
    Result exec();
    // The same, with a failing operation thrown (TessalyError) rather than told.
    Result run();
    // Runs exec on a thread of its own; finished follows on this object's thread.
    void start();
    // Stops after the current file, never inside a swap of names.
    void cancel() { m_stop = true; }
    bool isRunning() const { return m_thread != nullptr; }

    // The items as the batch left them (new places), and the last plan made.
    RenameItems &items() { return m_items; }
    const RenamePlan &plan() const { return m_plan; }
    const UndoPlan &undoPlan() const { return m_undoPlan; }
    const BatchOutcome &outcome() const { return m_outcome; }
    Result result() const { return m_result; }

signals:
    // A few times a second while files are done: how many of how many, and the last one.
    void progress(qsizetype done, qsizetype total, const QString &path);
    void finished(RenameJob::Result result);

private:
    Result runBatch();
    Result runUndo();
    BatchProgress combinedProgress();
    FileOperations &files();

    const bool m_undo;
    RenameItems m_items;
    RenameOptions m_options;
    UserMessages &m_messages;
    std::optional<QStringList> m_previewNames;
    bool m_namesPreviewed = true;
    bool m_execute = true;
    bool m_skipBlocked = false;
    std::optional<RenamePlan> m_agreed;
    FileSystemView *m_view = nullptr;
    FileOperations *m_files = nullptr;
    UndoLogLock *m_heldLock = nullptr;
    std::unique_ptr<FileOperations> m_systemFiles;
    std::function<void(const RenameItems &, const RenamePlan &)> m_planShown;
    ItemMovedHandler m_itemMoved;
    BatchProgress m_progress;
    std::function<void()> m_undoCompleted;
    QString m_undoBatch;
    std::optional<UndoPlan> m_agreedUndo;
    std::function<void(const UndoPlan &)> m_undoPlanShown;
    UndoPlan m_undoPlan;
    QString m_redoOf;
    std::atomic_bool m_stop = false;
    QThread *m_thread = nullptr;
    RenamePlan m_plan;
    BatchOutcome m_outcome;
    Result m_result = Result::Failed;
};

// Whether two plans of the same files do the same: every row's status and final path.
bool samePlanOutcome(const RenameItems &itemsA, const RenamePlan &a, const RenameItems &itemsB,
                     const RenamePlan &b);

// The items without the rows a plan blocks on.
RenameItems withoutBlockedRows(const RenameItems &items, const RenamePlan &plan);

// The job run here for items and options, as the window's unattended run and the tests
// use it: returns false, after a warning and with nothing touched, when copy or move has
// no destination, the plan is blocked or the last batch did not finish; a failing
// operation is thrown, with everything done until then in the log.
bool runBatch(RenameItems &items, const RenameOptions &options, UserMessages &messages,
              FileOperations &files, const ItemMovedHandler &itemMoved = {});
