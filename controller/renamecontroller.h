#pragma once

#include "batch/batchrunner.h"
#include "batch/renameplan.h"
#include "batch/undo.h"
#include "controller/windowcommandline.h"
#include "engine/renameoptions.h"
#include "filelist/filelistmodel.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FileOperations;
class ListingAhead;
class QThread;
class UserMessages;

// A message that work away from the user-interface thread left for the user.
struct PendingMessage
{
    enum Kind { Information, Warning, Error };
    Kind kind = Information;
    QString text;
};

// The use cases of the window, without any widget: it owns the file list and the names
// imported for {list}, previews, plans, and runs the batch and the undo on a thread of
// their own, telling how far they are and taking a request to stop. The window forwards
// its commands here and shows what comes back; the list is not changed while work runs.
class RenameController : public QObject
{
    Q_OBJECT

public:
    explicit RenameController(QObject *parent = nullptr);
    // Waits for running work to end.
    ~RenameController() override;

    FileListModel &fileList() { return m_files; }
    const FileListModel &fileList() const { return m_files; }
    QStringList &importedNames() { return m_importedNames; }
    // The file operations of batches and undos (tests give slow or failing ones); the
    // controller does not own them. Null means the system's.
    void setFileOperations(FileOperations *files) { m_fileOperations = files; }

    bool isBusy() const { return m_worker != nullptr; }

    // Adds the files that paths name, folders walked (with their subfolders when asked),
    // in natural order, as one insertion; the reading runs on the work thread, so a
    // folder of a million files keeps the window answering. Paths naming nothing are
    // passed over.
    void addPaths(const QStringList &paths, bool includeSubfolders);

    // Computes every new name and the plan for them, on this thread, and shows both in
    // the list; false when there was nothing to preview. The preview's messages go to
    // messages; a failure (an invalid regular expression) is thrown.
    bool preview(const RenameOptions &options, UserMessages &messages);
    // The same away from this thread and silently, for a preview that follows every
    // change: the names are shown as soon as they are made, then the plan (and
    // livePreviewShown), each unless the list changed or was previewed meanwhile; a
    // failure is reported through livePreviewFailed.
    void previewInBackground(const RenameOptions &options);
    // The plan of the last preview or planning. A preview's plan keeps only its counts
    // once the list shows its rows: a million rows would hold their targets twice.
    const RenamePlan &plan() const { return m_plan; }
    // The same as preview, for a batch about to run: on the work thread, then both are
    // shown in the list, workFinished brings the messages and planned says whether the
    // plan stands for the current list and options.
    void startPlanning(const RenameOptions &options);

    // Starts carrying out plan, made for the current items and options.
    void startBatch(const RenamePlan &plan, const RenameOptions &options);
    // Undoes batch id (the newest batch not undone when empty), asking first: the undo
    // is planned on the work thread from where the files are now, asker is asked with
    // undoPlanQuestion, and on yes the undo carries out that plan, asking again when the
    // plan made under the undo log's lock differs. Nothing to undo is told without a
    // question; a plan that restores no file is told as a warning and not carried out.
    // However the undo ends (done, stopped, partly), each row of the list whose file it
    // brought back shows the file's restored path, without a new name; other rows stay.
    // asker must outlive the work.
    void startUndo(UserMessages &asker, const QString &batchId = QString());
    // Carries out undone batch id again as a batch of its own (redoBatchOf), asking first
    // with the number of files its plan renames; a plan that blocks is told and not
    // carried out. Rows of the list whose files the batch moves follow them.
    void startRedo(UserMessages &asker, const QString &batchId);
    // Asks running work to stop after the current file.
    void requestStop() { m_stop = true; }

    // Presets: a failure (a file that cannot be read or written, or is not a preset) is
    // thrown, and nothing changes. Loading gives current with the preset's values.
    void savePreset(const QString &path, const RenameOptions &options) const;
    RenameOptions loadPreset(const QString &path, const RenameOptions &current) const;
    // Replaces the names for {list} with the lines of a text or CSV file; a failure is
    // thrown and leaves no names.
    void loadNameList(const QString &path);
    // The /cli run of the window's command line over the file list, with options as
    // the window holds them; they come back changed by the arguments.
    CommandLineOutcome runCommandLine(const QStringList &arguments, RenameOptions &options,
                                      UserMessages &messages);

signals:
    void busyChanged(bool busy);
    // How far the running work is: files done of total (total 0 when unknown).
    void progress(qsizetype done, qsizetype total, const QString &currentPath);
    // Work ended; its messages are to be shown in this order.
    void workFinished(const QList<PendingMessage> &messages);
    // Planning ended (after its workFinished); the plan is plan(). Work may be started
    // from here.
    void planned(bool ready);
    // An undo or redo is about to ask its question: nothing runs until it is answered.
    void asking();
    // The options gave no names; the list shows the failure on its rows (showPreviewFailure).
    void livePreviewFailed(const QString &message);
    // A live preview is shown, with its plan's summary.
    void livePreviewShown(const QString &planSummary);
    // A batch, an undo or a redo ended (done, stopped or partly): files may have other
    // names now, so the list shows no preview or plan of them until the next one. Comes
    // after the work's workFinished.
    void filesMoved();

private:
    void startWork(std::function<void()> work, std::function<void()> done);
    // The second step of previewInBackground: the plan for the names the list shows,
    // with the folder listing read beside the names, if any.
    void planInBackground(const RenameOptions &options, std::shared_ptr<ListingAhead> listing);
    FileOperations &files();
    void reportProgress(qsizetype done, qsizetype total, const QString &path);
    // Asks the stop request between files.
    BatchProgress stopOnRequest();
    // The steps of startUndo after its plan was made: the question, then the job.
    void askAndUndo(UserMessages &asker, const UndoPlan &plan);
    void askAndRedo(UserMessages &asker, const QString &batchId, const RenameItems &items,
                    const RenameOptions &options, const RenamePlan &plan);
    // The list with each row at pathKey(from) moved to moves[from], when the list is still
    // the one listed (its rows unchanged since); on the work thread.
    static std::optional<RenameItems> movedRows(const RenameItems &listed,
                                                const QHash<QString, QString> &moves);
    // Shows the rows movedRows made, if the list is still listed.
    void showMovedRows(const RenameItems &listed, std::optional<RenameItems> moved);

    FileListModel m_files;
    QStringList m_importedNames;
    FileOperations *m_fileOperations = nullptr;
    std::unique_ptr<FileOperations> m_systemFiles;
    QThread *m_worker = nullptr;
    std::atomic_bool m_stop = false;
    RenamePlan m_plan;
    quint64 m_listVersion = 0; // changes with every change of the rows and every preview
    QThread *m_previewWorker = nullptr;
    bool m_previewAgain = false;
    RenameOptions m_nextPreview;
};
