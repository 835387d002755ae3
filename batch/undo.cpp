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
    const UndoLogContent log = ParseUndoLog(ReadUndoLog(logPath));

    bool uncertain = log.lastUncertain;
    for (qsizetype i = log.records.size() - 1; i >= 0; --i) {
        const QString &original = log.records.at(i).original;
        const QString &moved = log.records.at(i).moved;
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
    if (log.unreadable > 0) {
        messages.warning(
            TranslateText(u"Lines of the undo log that could not be read were passed over: %1."_s)
                .arg(log.unreadable));
    }
    messages.information(TranslateText(u"Undo completed for the last rename operation."_s));
}
