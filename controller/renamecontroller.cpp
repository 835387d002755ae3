#include "renamecontroller.h"

#include "batchpaths.h"
#include "fileitems.h"
#include "fileoperations.h"
#include "filesystemview.h"
#include "namebuilder.h"
#include "namelist.h"
#include "naturalorder.h"
#include "presets.h"
#include "renamejob.h"
#include "tessalyerror.h"
#include "usermessages.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <future>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

namespace {

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
    m_files.updateNewNames([&](RenameItems &items) {
        previewed = previewNames(items, options, m_importedNames, messages);
    });
    m_plan = RenamePlan();
    if (!previewed || needsDestination(options))
        return previewed;
    ListedFileSystemView view;
    listing->provideTo(view);
    m_plan = planBatch(m_files.items(), options, view, true, PlanPurpose::Showing);
    m_files.setPlan(m_plan);
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
    m_previewWorker = QThread::create([result, importedNames, options] {
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
    });
    connect(m_previewWorker, &QThread::finished, this, [this, result, version, options] {
        m_previewWorker->deleteLater();
        m_previewWorker = nullptr;
        result->items = RenameItems(); // the list is no longer shared
        if (version == m_listVersion && !isBusy()) {
            if (!result->error.isEmpty()) {
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
    m_previewWorker = QThread::create([result, options, listing] {
        ListedFileSystemView view;
        if (listing)
            listing->provideTo(view);
        result->plan = planBatch(result->items, options, view, true, PlanPurpose::Showing);
    });
    connect(m_previewWorker, &QThread::finished, this, [this, result, version] {
        m_previewWorker->deleteLater();
        m_previewWorker = nullptr;
        result->items = RenameItems();
        if (version == m_listVersion && !isBusy() && !m_previewAgain) {
            m_plan = std::move(result->plan);
            m_files.setPlan(m_plan);
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
                result->previewed = false;
            }
        },
        [this, result, messages] {
            const bool shown = result->previewed && !m_stop;
            if (shown) {
                m_files.updateNewNames(
                    [&](RenameItems &items) { items = std::move(result->items); });
                m_plan = std::move(result->plan);
                m_files.setPlan(m_plan);
            }
            emit workFinished(messages->messages);
            emit planned(shown && m_plan.rows.size() == m_files.count());
        });
}

void RenameController::startWork(std::function<void()> work, std::function<void()> done)
{
    m_stop = false;
    m_worker = QThread::create(std::move(work));
    connect(m_worker, &QThread::finished, this, [this, done = std::move(done)] {
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
                      m_files.setPlan(m_plan);
                      emit workFinished(messages->messages);
                      emit planned(m_plan.rows.size() == m_files.count());
                      return;
                  }
                  m_files.updateItems([&](RenameItems &list) { list = std::move(job->items()); });
                  emit workFinished(messages->messages);
              });
}

void RenameController::startUndo()
{
    if (isBusy())
        return;
    auto messages = std::make_shared<PendingMessages>();
    auto cleared = std::make_shared<std::atomic_bool>(false);
    auto job = std::make_shared<RenameJob>(*messages);
    job->setFileOperations(&files());
    job->setProgress(stopOnRequest());
    job->setUndoCompleted([cleared] { *cleared = true; });
    connect(job.get(), &RenameJob::progress, this, &RenameController::progress);
    startWork([job] { job->exec(); },
              [this, job, messages, cleared] {
                  if (*cleared)
                      m_files.clear();
                  emit workFinished(messages->messages);
              });
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
