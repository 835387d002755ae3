#include "batchrunner.h"

#include "batchpaths.h"
#include "tessalyerror.h"
#include "translation.h"
#include "undolog.h"
#include "usermessages.h"

#include <QDir>
#include <QFile>
#include <QHash>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void failExists(const QString &path)
{
    throw TessalyError(FileErrorText(u"The specified file already exists"_s, path));
}

// How many items from the current one on still have to process each source path.
class PendingSources
{
public:
    // Only the Overwrite rule asks; the others leave the set empty.
    PendingSources(const TRenameItems &items, bool needed)
    {
        if (!needed)
            return;
        for (const TRenameItem &item : items)
            ++m_counts[PathKey(AbsoluteCleanPath(item.OriginalPath))];
    }

    void done(const QString &path)
    {
        if (m_counts.isEmpty())
            return;
        const auto it = m_counts.find(PathKey(path));
        if (it != m_counts.end() && --*it == 0)
            m_counts.erase(it);
    }

    bool contains(const QString &path) const { return m_counts.contains(PathKey(path)); }

private:
    QHash<QString, int> m_counts;
};

} // namespace

void TouchModifiedTime(const QString &path, const RenameOptions &options, FileOperations &files)
{
    if (options.touchModifiedNow)
        files.touch(path);
}

void RunBatch(TRenameItems &items, const RenameOptions &options, UserMessages &messages,
              FileOperations &files, const ItemMovedHandler &itemMoved)
{
    const int conflict = options.conflict;
    const int mode = options.batchMode;
    const QString typedDestination = TrimControl(options.destination);
    const QString destination =
        typedDestination.isEmpty() ? typedDestination : AbsoluteCleanPath(typedDestination);
    const bool toFolder = mode == BatchMode::CopyToFolder || mode == BatchMode::MoveToFolder;

    if (toFolder && destination.isEmpty()) {
        messages.warning(
            TranslateText(u"Please select a destination folder for Copy/Move mode."_s));
        return;
    }
    UndoJournal journal(UndoLogPath());
    if (toFolder && !files.folderExists(destination))
        files.makeFolders(destination);

    PendingSources pending(items, conflict == ConflictMode::Overwrite);
    for (qsizetype i = 0; i < items.size(); ++i) {
        TRenameItem &item = items[i];
        if (item.NewName.isEmpty()) {
            journal.close();
            messages.warning(
                TranslateText(u"Please build preview first (click \"Preview Result\" button)."_s));
            return;
        }
        const QString source = AbsoluteCleanPath(item.OriginalPath);
        pending.done(source);
        const QString folder = mode == BatchMode::RenameInPlace ? FolderPart(source) : destination;
        QString target = AbsoluteCleanPath(CombinePath(folder, item.NewName));
        if (mode == BatchMode::RenameInPlace && PathKey(target) == PathKey(source))
            continue;

        bool skipped = false;
        for (;;) {
            journal.append(source, target);
            bool done = false;
            try {
                done = mode == BatchMode::CopyToFolder ? files.copy(source, target)
                                                       : files.move(source, target);
            } catch (...) {
                journal.retract();
                throw;
            }
            if (done) {
                journal.settle();
                break;
            }
            journal.retract();

            // Something is at the target already.
            if (!files.fileExists(target))
                failExists(target); // a folder: never taken for a file
            const bool itself = files.sameFile(source, target);
            if (itself && source != target && mode != BatchMode::CopyToFolder) {
                // Only the letter case differs on a file system that ignores it: go
                // through a free name, recording both steps.
                const QString step =
                    AutoNumberPath(FolderPart(target), FileNamePart(target) + u".tessaly"_s, files);
                journal.append(source, step);
                try {
                    if (!files.move(source, step))
                        failExists(step);
                } catch (...) {
                    journal.retract();
                    throw;
                }
                journal.settle();
                journal.append(step, target);
                try {
                    if (!files.move(step, target))
                        failExists(target);
                } catch (...) {
                    journal.retract();
                    throw;
                }
                journal.settle();
                break;
            }
            if (conflict == ConflictMode::AutoNumber) {
                target = AutoNumberPath(FolderPart(target), FileNamePart(target), files);
                continue;
            }
            if (conflict == ConflictMode::Overwrite && !itself) {
                if (pending.contains(target))
                    failExists(target); // a later item still has to take that file
                files.remove(target);
                continue;
            }
            // Skip, and Overwrite of the file by itself, which would destroy it.
            skipped = true;
            break;
        }
        if (skipped)
            continue;

        TouchModifiedTime(target, options, files);
        if (mode != BatchMode::CopyToFolder) {
            TRenameItem moved = MakeRenameItem(target);
            item.OriginalPath = moved.OriginalPath;
            item.OriginalName = moved.OriginalName;
            item.Ext = moved.Ext;
            if (itemMoved)
                itemMoved(i, source);
        }
    }
    if (!items.isEmpty())
        journal.finish();
    messages.information(TranslateText(u"Batch completed. A CSV log has been saved in AppData."_s));
}
