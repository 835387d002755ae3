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

using EntryKind = FileOperations::EntryKind;

[[noreturn]] void failExists(const QString &path)
{
    throw TessalyError(FileErrorText(u"The specified file already exists"_s, path));
}

// The last record of a killed batch, when the batch was killed within a move to
// another file system: the source waits under its set-aside name, and the target is
// missing, partial, or complete. Returns false when that was not the case.
bool undoInterruptedMove(const UndoRecordPaths &record, FileOperations &files)
{
    if (!files.restoreSetAside(record.original))
        return false;
    // A complete copy can only be the batch's own: the move looks at the target before
    // it sets the source aside.
    if (files.entryKind(record.moved) == EntryKind::File &&
        files.sameContent(record.original, record.moved))
        files.remove(record.moved);
    files.discardPartialCopy(record.moved);
    return true;
}

// Moves one recorded file back. certain: the record's operation is known to have
// taken place; otherwise nothing is deleted.
void undoRecord(const UndoRecordPaths &record, bool certain, FileOperations &files)
{
    const QString &original = record.original;
    const QString &moved = record.moved;
    // Looked at first: a rename would move a folder as readily as a file.
    EntryKind kind = files.entryKind(moved);
    if (kind == EntryKind::None && files.restoreSetAside(moved)) {
        // An undo killed within a move to another file system had set it aside: the
        // batch did move it.
        kind = EntryKind::File;
        certain = true;
    }
    if (kind == EntryKind::None) {
        // Never done (a killed copy may have left its partial file), or undone already.
        files.discardPartialCopy(moved);
        return;
    }
    if (kind == EntryKind::Folder)
        failExists(moved);
    if (FolderPart(original).isEmpty())
        throw TessalyError(u"Unable to create directory\n[]"_s);
    for (bool madeFolder = false;;) {
        bool done = false;
        try {
            done = files.move(moved, original);
        } catch (const TessalyError &) {
            if (madeFolder || files.folderExists(FolderPart(original)))
                throw;
            files.makeFolders(FolderPart(original));
            madeFolder = true;
            continue;
        }
        if (done)
            return;
        // A file stands at the original path. After a copy it is the source, with the
        // same content: the copy goes and the source stays as it is (a link, a name of
        // a file with several). Anything else is a file made since, which must stay.
        if (files.entryKind(original) != EntryKind::File || files.sameFile(original, moved))
            failExists(original);
        if (!certain)
            return; // perhaps the file that was never moved, and the target was there
        if (!files.sameContent(original, moved))
            failExists(original);
        files.remove(moved);
        return;
    }
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

    for (qsizetype i = log.records.size() - 1; i >= 0; --i) {
        const bool certain = i < log.records.size() - 1 || !log.lastUncertain;
        if (!certain && undoInterruptedMove(log.records.at(i), files))
            continue;
        undoRecord(log.records.at(i), certain, files);
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
