#include "batch/renamejob.h"

#include "batch/batchpaths.h"
#include "batch/fileoperations.h"
#include "batch/filesystemview.h"
#include "batch/undo.h"
#include "batch/undolog.h"
#include "engine/namebuilder.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "engine/workerthread.h"
#include "translation/translation.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

#include <ctime>

using namespace Qt::StringLiterals;

RenameJob::RenameJob(RenameItems items, RenameOptions options, UserMessages &messages,
                     QObject *parent)
    : QObject(parent)
    , m_undo(false)
    , m_items(std::move(items))
    , m_options(std::move(options))
    , m_messages(messages)
{}

RenameJob::RenameJob(UserMessages &messages, QObject *parent)
    : QObject(parent)
    , m_undo(true)
    , m_messages(messages)
{}

RenameJob::~RenameJob()
{
    if (m_thread) {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
    }
}

void RenameJob::setPreviewFirst(const QStringList &importedNames)
{
    m_previewNames = importedNames;
}

FileOperations &RenameJob::files()
{
    if (m_files)
        return *m_files;
    if (!m_systemFiles)
        m_systemFiles = std::make_unique<SystemFileOperations>();
    return *m_systemFiles;
}

namespace {

// Milliseconds from a clock that is read once per file: the coarse clock the system keeps
// costs a tenth of the exact one, and its few milliseconds' grain is enough to space the
// reports.
qint64 coarseMilliseconds()
{
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
    return QElapsedTimer::msecsSinceReference();
#endif
}

} // namespace

BatchProgress RenameJob::combinedProgress()
{
    BatchProgress progress;
    auto lastReport = std::make_shared<qint64>(coarseMilliseconds());
    progress.fileDone = [this, lastReport](qsizetype done, qsizetype total, QStringView folder,
                                           QStringView name) {
        if (m_progress.fileDone)
            m_progress.fileDone(done, total, folder, name);
        // A path is made only for the few reports a second that someone may show.
        const qint64 now = coarseMilliseconds();
        if (done == 1 || done == total || now - *lastReport >= 40) {
            *lastReport = now;
            emit this->progress(done, total, folder.toString().append(name));
        }
    };
    progress.stopRequested = [this] {
        return m_stop.load() || (m_progress.stopRequested && m_progress.stopRequested());
    };
    return progress;
}

RenameJob::Result RenameJob::run()
{
    m_result = Result::Failed;
    m_result = m_undo ? runUndo() : runBatch();
    return m_result;
}

RenameJob::Result RenameJob::exec()
{
    try {
        run();
    } catch (const TessalyError &error) {
        m_messages.error(error.message());
        m_result = Result::Failed;
    }
    return m_result;
}

void RenameJob::start()
{
    Q_ASSERT(!m_thread);
    m_stop = false;
    m_thread = createWorkerThread(
        this, [this] { exec(); },
        [this] {
            m_thread->deleteLater();
            m_thread = nullptr;
            emit finished(m_result);
        });
    m_thread->start();
}

RenameJob::Result RenameJob::runUndo()
{
    emit progress(0, 0, undoLogPath());
    if (!files().folderExists(dataFolder())) {
        m_undoPlan = {};
        if (m_undoPlanShown)
            m_undoPlanShown(m_undoPlan);
        m_messages.information(noUndoLogText());
        return Result::Done;
    }
    UndoLogLock lock(undoLogPath());
    SystemFileSystemView view;
    m_undoPlan = planUndo(m_undoBatch, files(), view, true);
    if (m_agreedUndo && !sameUndoOutcome(*m_agreedUndo, m_undoPlan))
        return Result::PlanChanged;
    if (m_undoPlanShown)
        m_undoPlanShown(m_undoPlan);
    if (m_undoPlan.isEmpty()) {
        lock.release();
        m_messages.information(noUndoLogText());
        return Result::Done;
    }
    if (!m_execute)
        return Result::Done;
    if (m_undoPlan.batch.state == HistoryState::Undone) {
        lock.release();
        m_messages.information(
            translateText(u"Batch %1 is undone already."_s).arg(m_undoPlan.batch.id));
        return Result::Done;
    }
    const UndoResult result = carryOutUndo(m_undoPlan, m_messages, files(), combinedProgress());
    lock.release();
    if (m_undoCompleted && (result == UndoResult::Done || result == UndoResult::Partly))
        m_undoCompleted();
    switch (result) {
    case UndoResult::Done:
        return Result::Done;
    case UndoResult::Stopped:
        return Result::Stopped;
    case UndoResult::Partly:
    case UndoResult::Nothing:
        break;
    }
    return Result::Failed;
}

RenameJob::Result RenameJob::runBatch()
{
    if (m_options.batchMode != BatchMode::RenameInPlace &&
        trimControl(m_options.destination).isEmpty()) {
        m_messages.warning(
            translateText(u"Please select a destination folder for Copy/Move mode."_s));
        return Result::Refused;
    }
    // Held from before the names and the plan until the batch is read back: no other
    // batch or undo changes these folders in between, so the plan is what happens.
    std::optional<UndoLogLock> ownLock;
    UndoLogLock *lock = m_heldLock;
    if (m_execute && !lock && !m_items.isEmpty()) {
        lock = &ownLock.emplace(undoLogPath(), true);
        if (lock->waited()) {
            // Another batch ran meanwhile: sizes and times read before may be stale, and
            // so may the names made from them.
            for (RenameItem &item : m_items) {
                RenameItem fresh;
                fresh.folder = item.folder;
                fresh.fileName = item.fileName;
                fresh.newName = item.newName;
                item = std::move(fresh);
            }
            m_view = nullptr; // its listing too
        }
    }
    const auto unlock = [&] {
        // No message is shown while the log is locked: the user may undo meanwhile.
        if (lock)
            lock->release();
    };
    // The names the user agreed to, before they are made again.
    const RenameItems agreedItems = m_items;
    // An empty list is told so, and its batch still ends as any batch does.
    if (m_previewNames)
        previewNames(m_items, m_options, *m_previewNames, m_messages);
    if (lock) {
        const QStringList waiting = filesWaitingUnderHiddenNames(undoLogPath());
        if (!waiting.isEmpty()) {
            unlock();
            m_messages.warning(filesWaitingText(waiting));
            return Result::Refused;
        }
    }
    SystemFileSystemView systemView;
    const bool previewed = m_previewNames || m_namesPreviewed;
    m_plan = planBatch(m_items, m_options, m_view ? *m_view : systemView, previewed);
    if (m_skipBlocked && m_plan.blocked()) {
        m_items = withoutBlockedRows(m_items, m_plan);
        SystemFileSystemView freshView;
        m_plan = planBatch(m_items, m_options, freshView, previewed);
    }
    if (m_agreed && !samePlanOutcome(agreedItems, *m_agreed, m_items, m_plan))
        return Result::PlanChanged;
    if (m_planShown)
        m_planShown(m_items, m_plan);
    if (m_plan.blocked()) {
        unlock();
        m_messages.warning(planBlockedMessage(m_items, m_plan));
        return Result::Blocked;
    }
    if (!m_execute)
        return Result::Done;
    // The batch lets go of the lock once it has read back its rows, before it tells the
    // user anything, so that an undo can begin while its message is still shown.
    m_outcome = executePlan(m_items, m_plan, m_options, m_messages, files(), m_itemMoved,
                            combinedProgress(), lock, m_redoOf);
    if (m_outcome.cancelled)
        return Result::Stopped;
    return m_outcome.unverified.isEmpty() ? Result::Done : Result::Failed;
}

bool samePlanOutcome(const RenameItems &itemsA, const RenamePlan &a, const RenameItems &itemsB,
                     const RenamePlan &b)
{
    if (a.rows.size() != b.rows.size() || a.rows.size() != itemsA.size() ||
        itemsA.size() != itemsB.size())
        return false;
    for (qsizetype i = 0; i < itemsA.size(); ++i) {
        if (a.rows.at(i).status != b.rows.at(i).status ||
            a.finalPath(itemsA, i) != b.finalPath(itemsB, i))
            return false;
    }
    return true;
}

RenameItems withoutBlockedRows(const RenameItems &items, const RenamePlan &plan)
{
    RenameItems kept;
    kept.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!planStatusBlocks(plan.rows.at(i).status))
            kept.append(items.at(i));
    }
    return kept;
}

bool runBatch(RenameItems &items, const RenameOptions &options, UserMessages &messages,
              FileOperations &files, const ItemMovedHandler &itemMoved)
{
    RenameJob job(std::move(items), options, messages);
    job.setFileOperations(&files);
    job.setItemMoved(itemMoved);
    job.setNamesPreviewed(false);
    const auto giveBack = qScopeGuard([&] { items = std::move(job.items()); });
    const RenameJob::Result result = job.run();
    return result != RenameJob::Result::Blocked && result != RenameJob::Result::Refused;
}
