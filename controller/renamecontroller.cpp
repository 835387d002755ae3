#include "controller/renamecontroller.h"

#include "batch/batchpaths.h"
#include "batch/fileoperations.h"
#include "batch/filesystemview.h"
#include "batch/renamejob.h"
#include "batch/undolog.h"
#include "engine/namebuilder.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "engine/workerthread.h"
#include "filelist/fileitems.h"
#include "filelist/namelist.h"
#include "filelist/naturalorder.h"
#include "filelist/presets.h"
#include "translation/translation.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QThread>

#include <algorithm>

#include <future>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// What the list shows of a plan: the statuses, and the names numbered rows get.
FileListModel::PlanOutcome listedOutcome(const RenamePlan &plan)
{
    FileListModel::PlanOutcome outcome;
    outcome.statuses.reserve(plan.rows.size());
    for (const PlannedRow &row : plan.rows)
        outcome.statuses.append(row.status);
    for (auto it = plan.numberedTargets.cbegin(); it != plan.numberedTargets.cend(); ++it)
        outcome.numberedNames.insert(int(it.key()), fileNamePart(it.value()));
    return outcome;
}

// Keeps the messages of work on another thread for the user-interface thread to show.
class PendingMessages : public UserMessages
{
public:
    void information(const QString &text) override { add(PendingMessage::Information, text); }
    void warning(const QString &text) override { add(PendingMessage::Warning, text); }
    // Work away from the window asks nothing: its questions were asked before it began.
    bool confirm(const QString &) override { return true; }
    void error(const QString &text) override { add(PendingMessage::Error, text); }

    QList<PendingMessage> messages;

private:
    void add(PendingMessage::Kind kind, const QString &text) { messages.append({kind, text}); }
};

// Where an undo has brought files back: for each row of the plan whose file is back
// (now or by an earlier undo), the path the batch left it at (as pathKey) and its
// restored path. The marks the undo wrote into the journal tell it: after a stopped
// undo the files alone cannot (a swap leaves both names taken either way). A journal
// removed with a completed undo (a log outside the history) leaves the files to tell.
QHash<QString, QString> restoredPaths(const UndoPlan &plan, FileOperations &files)
{
    QHash<QString, QString> moves;
    if (plan.rows.isEmpty())
        return moves;
    std::optional<UndoLogContent> marked;
    if (files.fileExists(plan.journal)) {
        try {
            marked = parseUndoLog(readUndoLog(plan.journal));
        } catch (const TessalyError &) {
        }
        if (marked && marked->records.size() != plan.log.records.size())
            marked.reset();
    }
    moves.reserve(plan.rows.size());
    for (const UndoPlanRow &row : plan.rows) {
        bool back = row.status == UndoStatus::Undone;
        if (row.status == UndoStatus::Restore) {
            back = marked ? std::all_of(row.records.cbegin(), row.records.cend(),
                                        [&](qsizetype r) {
                                            return marked->records.at(r).mark == UndoMark::Undone;
                                        })
                          : !files.fileExists(row.current) && files.fileExists(row.restored);
        }
        if (back && row.current != row.restored)
            moves.insert(pathKey(row.current), row.restored);
    }
    return moves;
}

bool needsDestination(const RenameOptions &options)
{
    return options.batchMode != BatchMode::RenameInPlace &&
           trimControl(options.destination).isEmpty();
}

} // namespace

// The folder of the list's first file, read on a thread of its own while the names are
// made: the plan for those names takes this listing rather than reading the folder
// after them (a folder of a million files takes a good part of a second to read).
class ListingAhead
{
public:
    explicit ListingAhead(const RenameItems &items)
    {
        if (items.isEmpty())
            return;
        // As the plan asks for it: absolute and clean, without a final separator.
        m_folder = folderPart(absoluteCleanPath(items.first().originalPath()));
        while (m_folder.size() > 1 && isPathSeparator(m_folder.back()))
            m_folder.chop(1);
        m_listing = std::async(std::launch::async, [folder = m_folder] {
            std::optional<FolderListing> listing = SystemFileSystemView().listFolder(folder);
#ifdef __GLIBC__
            // The read's own buffers are gone; this thread's heap keeps their pages
            // for this thread alone unless they are handed back.
            malloc_trim(0);
#endif
            return listing;
        });
    }

    // A view of the file system that serves the listing, once it is read.
    void provideTo(ListedFileSystemView &view)
    {
        if (!m_listing.valid())
            return;
        if (std::optional<FolderListing> listing = m_listing.get())
            view.provide(m_folder, std::move(*listing));
    }

private:
    QString m_folder;
    std::future<std::optional<FolderListing>> m_listing;
};

RenameController::RenameController(QObject *parent)
    : QObject(parent)
{
    // Results of work that began before the rows changed are thrown away.
    const auto rowsChanged = [this] { ++m_listVersion; };
    connect(&m_files, &FileListModel::rowsInserted, this, rowsChanged);
    connect(&m_files, &FileListModel::rowsRemoved, this, rowsChanged);
    connect(&m_files, &FileListModel::modelReset, this, rowsChanged);
    connect(&m_files, &FileListModel::layoutChanged, this, rowsChanged);
    connect(&m_files, &FileListModel::dataChanged, this, [this](const QModelIndex &from) {
        if (from.column() == FileListModel::OriginalNameColumn)
            ++m_listVersion; // the items themselves changed, not only their new names
    });
}

RenameController::~RenameController()
{
    m_stop = true;
    for (QThread *thread : {m_worker, m_previewWorker}) {
        if (thread) {
            thread->wait();
            delete thread;
        }
    }
}

FileOperations &RenameController::files()
{
    if (m_fileOperations)
        return *m_fileOperations;
    if (!m_systemFiles)
        m_systemFiles = std::make_unique<SystemFileOperations>();
    return *m_systemFiles;
}

bool RenameController::preview(const RenameOptions &options, UserMessages &messages)
{
    ++m_listVersion; // what a live preview brings back now would be older
    bool previewed = false;
    std::optional<ListingAhead> listing;
    if (!needsDestination(options))
        listing.emplace(m_files.items());
    m_plan = RenamePlan();
    try {
        m_files.updateNewNames([&](RenameItems &items) {
            previewed = previewNames(items, options, m_importedNames, messages);
        });
    } catch (const TessalyError &error) {
        m_files.showPreviewFailure(error.message());
        throw;
    }
    if (!previewed || needsDestination(options))
        return previewed;
    ListedFileSystemView view;
    listing->provideTo(view);
    m_plan = planBatch(m_files.items(), options, view, true, PlanPurpose::Showing);
    m_files.setPlan(listedOutcome(m_plan));
    m_plan.rows = {};
    return true;
}

void RenameController::previewInBackground(const RenameOptions &options)
{
    if (m_files.count() == 0 || isBusy())
        return;
    if (m_previewWorker) {
        m_previewAgain = true;
        m_nextPreview = options;
        return;
    }
    // First the names, into a list of their own: the items stay shared with the list,
    // which is not copied, and the list takes the names on this thread. Then the plan,
    // over the list as it is then.
    struct Result
    {
        RenameItems items;
        QStringList names;
        QString error;
        std::shared_ptr<ListingAhead> listing;
    };
    auto result = std::make_shared<Result>();
    result->items = m_files.items();
    const QStringList importedNames = m_importedNames;
    const quint64 version = m_listVersion;
    m_previewWorker = createWorkerThread(
        this,
        [result, importedNames, options] {
            if (!needsDestination(options))
                result->listing = std::make_shared<ListingAhead>(result->items);
            try {
                NameBuilder builder(options, importedNames);
                const RenameItems &items = result->items;
                result->names.reserve(items.size());
                for (qsizetype i = 0; i < items.size(); ++i)
                    result->names.append(builder.build(items.at(i), int(i)));
            } catch (const TessalyError &error) {
                result->error = error.message();
            }
        },
        [this, result, version, options] {
            m_previewWorker->deleteLater();
            m_previewWorker = nullptr;
            result->items = RenameItems(); // the list is no longer shared
            if (version == m_listVersion && !isBusy()) {
                if (!result->error.isEmpty()) {
                    m_plan = RenamePlan();
                    m_files.showPreviewFailure(result->error);
                    emit livePreviewFailed(result->error);
                } else {
                    m_files.updateNewNames([&](RenameItems &items) {
                        for (qsizetype i = 0; i < items.size(); ++i) {
                            if (items.at(i).newName != result->names.at(i))
                                items[i].newName = std::move(result->names[i]);
                        }
                    });
                    result->names = QStringList();
                    m_plan = RenamePlan();
                    if (m_previewAgain) {
                        // Newer options wait: this plan would be thrown away.
                    } else if (needsDestination(options)) {
                        emit livePreviewShown(planSummary(m_plan));
                    } else {
                        planInBackground(options, std::move(result->listing));
                        return;
                    }
                }
            }
            if (std::exchange(m_previewAgain, false))
                previewInBackground(m_nextPreview);
        });
    m_previewWorker->start();
}

void RenameController::planInBackground(const RenameOptions &options,
                                        std::shared_ptr<ListingAhead> listing)
{
    struct Result
    {
        RenameItems items;
        RenamePlan plan;
    };
    auto result = std::make_shared<Result>();
    result->items = m_files.items(); // read only there, so shared
    const quint64 version = m_listVersion;
    m_previewWorker = createWorkerThread(
        this,
        [result, options, listing] {
            ListedFileSystemView view;
            if (listing)
                listing->provideTo(view);
            result->plan = planBatch(result->items, options, view, true, PlanPurpose::Showing);
        },
        [this, result, version] {
            m_previewWorker->deleteLater();
            m_previewWorker = nullptr;
            result->items = RenameItems();
            if (version == m_listVersion && !isBusy() && !m_previewAgain) {
                m_plan = std::move(result->plan);
                m_files.setPlan(listedOutcome(m_plan));
                m_plan.rows = {};
                emit livePreviewShown(planSummary(m_plan));
            }
            if (std::exchange(m_previewAgain, false))
                previewInBackground(m_nextPreview);
        });
    m_previewWorker->start();
}

void RenameController::startPlanning(const RenameOptions &options)
{
    if (isBusy())
        return;
    struct Result
    {
        RenameItems items;
        RenamePlan plan;
        bool previewed = false;
        QString error;
    };
    auto result = std::make_shared<Result>();
    result->items = m_files.items();
    auto messages = std::make_shared<PendingMessages>();
    startWork(
        [result, messages, options, names = m_importedNames] {
            try {
                result->previewed = previewNames(result->items, options, names, *messages);
                if (result->previewed && !needsDestination(options)) {
                    SystemFileSystemView view;
                    result->plan = planBatch(result->items, options, view, true);
                }
            } catch (const TessalyError &error) {
                messages->error(error.message());
                result->error = error.message();
                result->previewed = false;
            }
        },
        [this, result, messages] {
            const bool shown = result->previewed && !m_stop;
            if (shown) {
                m_files.updateNewNames(
                    [&](RenameItems &items) { items = std::move(result->items); });
                m_plan = std::move(result->plan);
                m_files.setPlan(listedOutcome(m_plan));
            } else if (!result->error.isEmpty() && !m_stop) {
                m_plan = RenamePlan();
                m_files.showPreviewFailure(result->error);
            }
            emit workFinished(messages->messages);
            emit planned(shown && m_plan.rows.size() == m_files.count());
        });
}

void RenameController::startWork(std::function<void()> work, std::function<void()> done)
{
    m_stop = false;
    m_worker = createWorkerThread(this, std::move(work), [this, done = std::move(done)] {
        m_worker->deleteLater();
        m_worker = nullptr;
        ++m_listVersion;
        done();
        if (!m_worker) // done() may have started the next work
            emit busyChanged(false);
    });
    emit busyChanged(true);
    m_worker->start();
}

void RenameController::reportProgress(qsizetype done, qsizetype total, const QString &path)
{
    emit progress(done, total, path); // queued to the window's thread
}

BatchProgress RenameController::stopOnRequest()
{
    BatchProgress progress;
    progress.stopRequested = [this] { return m_stop.load(); };
    return progress;
}

void RenameController::addPaths(const QStringList &paths, bool includeSubfolders)
{
    if (isBusy() || paths.isEmpty())
        return;
    auto items = std::make_shared<RenameItems>();
    auto messages = std::make_shared<PendingMessages>();
    startWork(
        [this, items, messages, paths, includeSubfolders] {
            try {
                for (const QString &path : paths) {
                    if (m_stop)
                        return;
                    if (path.isEmpty())
                        continue;
                    reportProgress(0, 0, path);
                    if (QFileInfo(path).isDir())
                        items->append(collectFolderItems(path, includeSubfolders, false));
                    else if (std::optional<RenameItem> item = readRenameItem(path))
                        items->append(std::move(*item));
                }
                sortNaturally(*items);
            } catch (const TessalyError &error) {
                messages->error(error.message());
            }
        },
        [this, items, messages] {
            if (!m_stop)
                m_files.addItems(std::move(*items));
            emit workFinished(messages->messages);
        });
}

void RenameController::startBatch(const RenamePlan &plan, const RenameOptions &options)
{
    if (isBusy())
        return;
    auto messages = std::make_shared<PendingMessages>();
    auto job = std::make_shared<RenameJob>(m_files.items(), options, *messages);
    // The plan is made again under the undo log's lock; where it differs from the one
    // the user agreed to, nothing happens and the new one is shown and asked about.
    job->setAgreedPlan(plan);
    job->setPreviewFirst(m_importedNames);
    job->setFileOperations(&files());
    job->setProgress(stopOnRequest());
    connect(job.get(), &RenameJob::progress, this, &RenameController::progress);
    startWork([job] { job->exec(); },
              [this, job, messages] {
                  if (job->result() == RenameJob::Result::PlanChanged) {
                      m_plan = job->plan();
                      m_files.setPlan(listedOutcome(m_plan));
                      emit workFinished(messages->messages);
                      emit planned(m_plan.rows.size() == m_files.count());
                      return;
                  }
                  m_files.updateItems([&](RenameItems &list) { list = std::move(job->items()); });
                  emit workFinished(messages->messages);
                  emit filesMoved();
              });
}

void RenameController::startUndo(UserMessages &asker, const QString &batchId)
{
    if (isBusy())
        return;
    struct Planned
    {
        UndoPlan plan;
        QString error;
    };
    auto planned = std::make_shared<Planned>();
    FileOperations &operations = files();
    startWork(
        [this, planned, batchId, &operations] {
            reportProgress(0, 0, undoLogPath());
            try {
                // Without the lock, so that a running batch is not waited for: the undo
                // plans again under it and asks again when anything differs.
                SystemFileSystemView view;
                planned->plan = planUndo(batchId, operations, view, false);
            } catch (const TessalyError &error) {
                planned->error = error.message();
            }
        },
        [this, planned, &asker] {
            if (!planned->error.isEmpty())
                emit workFinished({{PendingMessage::Error, planned->error}});
            else if (m_stop)
                emit workFinished({});
            else
                askAndUndo(asker, planned->plan);
        });
}

void RenameController::askAndUndo(UserMessages &asker, const UndoPlan &plan)
{
    if (plan.isEmpty()) {
        emit workFinished({{PendingMessage::Information, noUndoLogText()}});
        return;
    }
    if (plan.count(UndoStatus::Restore) == 0) {
        emit workFinished({{PendingMessage::Warning, undoPlanQuestion(plan)}});
        return;
    }
    emit asking();
    if (!asker.confirm(undoPlanQuestion(plan))) {
        emit workFinished({});
        return;
    }
    auto messages = std::make_shared<PendingMessages>();
    auto job = std::make_shared<RenameJob>(*messages);
    job->setUndoBatch(plan.batch.id);
    job->setAgreedUndoPlan(plan);
    job->setFileOperations(&files());
    job->setProgress(stopOnRequest());
    connect(job.get(), &RenameJob::progress, this, &RenameController::progress);
    struct Rows
    {
        RenameItems listed;
        std::optional<RenameItems> moved;
    };
    auto rows = std::make_shared<Rows>();
    rows->listed = m_files.items();
    FileOperations &operations = files();
    startWork(
        [job, rows, &operations] {
            job->exec();
            // A copy's undo removes the copy and leaves its source, which a row shows.
            const UndoPlan &done = job->undoPlan();
            if (job->result() != RenameJob::Result::PlanChanged &&
                done.batch.operation != u"copy"_s)
                rows->moved = movedRows(rows->listed, restoredPaths(done, operations));
        },
        [this, job, messages, rows, &asker] {
            if (job->result() == RenameJob::Result::PlanChanged) {
                if (m_stop)
                    emit workFinished({});
                else
                    askAndUndo(asker, job->undoPlan());
                return;
            }
            showMovedRows(rows->listed, std::move(rows->moved));
            emit workFinished(messages->messages);
            emit filesMoved();
        });
}

void RenameController::startRedo(UserMessages &asker, const QString &batchId)
{
    if (isBusy())
        return;
    struct Planned
    {
        RedoBatch batch;
        RenamePlan plan;
        QString error;
    };
    auto planned = std::make_shared<Planned>();
    startWork(
        [planned, batchId] {
            try {
                planned->batch = redoBatchOf(batchId);
                SystemFileSystemView view;
                planned->plan = planBatch(planned->batch.items, planned->batch.options, view, true);
            } catch (const TessalyError &error) {
                planned->error = error.message();
            }
        },
        [this, planned, batchId, &asker] {
            if (!planned->error.isEmpty())
                emit workFinished({{PendingMessage::Error, planned->error}});
            else if (m_stop)
                emit workFinished({});
            else
                askAndRedo(asker, batchId, planned->batch.items, planned->batch.options,
                           planned->plan);
        });
}

void RenameController::askAndRedo(UserMessages &asker, const QString &batchId,
                                  const RenameItems &items, const RenameOptions &options,
                                  const RenamePlan &plan)
{
    if (plan.blocked()) {
        emit workFinished({{PendingMessage::Warning, planBlockedMessage(items, plan)}});
        return;
    }
    const qsizetype acting = plan.actingCount();
    QString question = translateText(u"Carry out batch %1 again?"_s).arg(batchId) + u"\n\n"_s +
                       translateText(u"Files to rename: %1"_s).arg(QLocale().toString(acting));
    if (const QString summary = planSummary(plan); !summary.isEmpty())
        question += u'\n' + summary;
    emit asking();
    if (!asker.confirm(question)) {
        emit workFinished({});
        return;
    }
    auto messages = std::make_shared<PendingMessages>();
    auto job = std::make_shared<RenameJob>(items, options, *messages);
    job->setAgreedPlan(plan);
    job->setNamesPreviewed(true);
    job->setRedoOf(batchId);
    job->setFileOperations(&files());
    job->setProgress(stopOnRequest());
    connect(job.get(), &RenameJob::progress, this, &RenameController::progress);
    struct Rows
    {
        RenameItems listed;
        std::optional<RenameItems> moved;
    };
    auto rows = std::make_shared<Rows>();
    rows->listed = m_files.items();
    startWork(
        [job, rows, items] {
            job->exec();
            if (job->result() == RenameJob::Result::PlanChanged)
                return;
            // Where the batch moved each file: rows of the list that show it follow.
            QHash<QString, QString> moves;
            const RenameItems &after = job->items();
            for (qsizetype i = 0; i < items.size() && i < after.size(); ++i) {
                QString from = items.at(i).originalPath();
                QString to = after.at(i).originalPath();
                if (from != to)
                    moves.insert(pathKey(from), std::move(to));
            }
            rows->moved = movedRows(rows->listed, moves);
        },
        [this, job, messages, rows, batchId, items, options, &asker] {
            if (job->result() == RenameJob::Result::PlanChanged) {
                if (m_stop)
                    emit workFinished({});
                else
                    askAndRedo(asker, batchId, items, options, job->plan());
                return;
            }
            showMovedRows(rows->listed, std::move(rows->moved));
            emit workFinished(messages->messages);
            emit filesMoved();
        });
}

std::optional<RenameItems> RenameController::movedRows(const RenameItems &listed,
                                                       const QHash<QString, QString> &moves)
{
    if (moves.isEmpty())
        return std::nullopt;
    QSet<QString> targets;
    targets.reserve(moves.size());
    for (const QString &to : moves)
        targets.insert(pathKey(to));
    // A row never takes a path another row shows: the list holds each file once.
    QSet<QString> taken;
    QList<std::pair<qsizetype, QString>> found;
    for (qsizetype row = 0; row < listed.size(); ++row) {
        const QString key = pathKey(listed.at(row).originalPath());
        if (const auto to = moves.constFind(key); to != moves.cend())
            found.append({row, *to});
        else if (targets.contains(key))
            taken.insert(key);
    }
    if (found.isEmpty())
        return std::nullopt;
    RenameItems moved = listed;
    QString folder; // shared by the rows of one folder, as when they were listed
    for (const auto &[row, to] : found) {
        const QString key = pathKey(to);
        if (taken.contains(key))
            continue;
        taken.insert(key);
        const QString name = fileNamePart(to);
        if (QStringView(to).first(to.size() - name.size()) != folder)
            folder = folderPart(to);
        RenameItem &item = moved[row];
        setItemPlace(item, folder, name);
        item.newName.clear(); // the name it had is not the one a preview would give now
    }
    return moved;
}

void RenameController::showMovedRows(const RenameItems &listed, std::optional<RenameItems> moved)
{
    // Rows added or removed meanwhile would not match: they stay as they are.
    if (moved && m_files.items().isSharedWith(listed))
        m_files.updateItems([&](RenameItems &list) { list = std::move(*moved); });
}

void RenameController::savePreset(const QString &path, const RenameOptions &options) const
{
    savePresetFile(path, options);
}

RenameOptions RenameController::loadPreset(const QString &path, const RenameOptions &current) const
{
    return loadPresetFile(path, current);
}

void RenameController::loadNameList(const QString &path)
{
    // A file that cannot be read leaves no names rather than the old ones, so that a
    // preview never shows names the user meant to replace.
    m_importedNames.clear();
    m_importedNames = ::loadNameList(path);
}

CommandLineOutcome RenameController::runCommandLine(const QStringList &arguments,
                                                    RenameOptions &options, UserMessages &messages)
{
    if (isBusy())
        return CommandLineOutcome::Inactive;
    CommandLineOutcome outcome = CommandLineOutcome::Inactive;
    m_files.updateItems([&](RenameItems &items) {
        outcome = ::runCommandLine(arguments, options, items, m_importedNames, messages, files());
    });
    return outcome;
}
