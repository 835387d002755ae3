#include "undo.h"

#include "batchpaths.h"
#include "renameitem.h"
#include "tessalyerror.h"
#include "translation.h"
#include "undolog.h"
#include "usermessages.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void failExists(const QString &path)
{
    throw TessalyError(FileErrorText(u"The specified file already exists"_s, path));
}

} // namespace

void UndoLastBatch(UserMessages &messages, FileOperations &files,
                   const std::function<void()> &clearList)
{
    const QString logPath = UndoLogPath();
    if (!files.fileExists(logPath)) {
        messages.information(TranslateText(u"No undo log found in AppData."_s));
        return;
    }
    UndoLogLock lock(logPath);
    const QStringList lines = UndoLogLines(ReadUndoLog(logPath));

    bool uncertain = UndoLogInterrupted(lines);
    for (qsizetype i = lines.size() - 1; i >= 1; --i) {
        const std::optional<UndoRecordPaths> record = ParseUndoRecord(lines.at(i));
        if (!record)
            continue;
        const QString &original = record->original;
        const QString &moved = record->moved;
        const bool mayNotHaveHappened = std::exchange(uncertain, false);
        if (FolderPart(original).isEmpty()) {
            if (files.fileExists(moved))
                throw TessalyError(u"Unable to create directory\n[]"_s);
            continue;
        }
        // Tried first and explained only when it fails: a whole log is undone at
        // nearly the speed of bare renames.
        for (bool madeFolder = false;;) {
            bool done = false;
            try {
                done = files.move(moved, original);
            } catch (const TessalyError &) {
                if (!files.fileExists(moved)) {
                    files.discardPartialCopy(moved);
                    break; // nothing to bring back for this record
                }
                if (madeFolder || files.folderExists(FolderPart(original)))
                    throw;
                files.makeFolders(FolderPart(original));
                madeFolder = true;
                continue;
            }
            if (done)
                break;
            // A file stands at the original path. After a copy it is the source, with
            // the same content; anything else is a file made since, which must stay,
            // or, for the last record of a killed batch, the file that was never moved.
            if (!files.fileExists(original) || files.sameFile(original, moved))
                failExists(original);
            if (!files.sameContent(original, moved)) {
                if (mayNotHaveHappened)
                    break;
                failExists(original);
            }
            files.remove(original);
        }
    }
    files.remove(logPath);
    lock.release();
    if (clearList)
        clearList();
    messages.information(TranslateText(u"Undo completed for the last rename operation."_s));
}
