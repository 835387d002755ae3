#include "undo.h"

#include "batchpaths.h"
#include "renameitem.h"
#include "tessalyerror.h"
#include "translation.h"
#include "undolog.h"
#include "usermessages.h"

#include "filenamecodec.h"

#include <QHash>
#include <QSet>

#include <algorithm>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using EntryKind = FileOperations::EntryKind;

[[noreturn]] void failExists(const QString &path)
{
    throw TessalyError(fileErrorText(u"The specified file already exists"_s, path));
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

// Tells whether a folder stands where the batch left a file. A folder that holds many
// of the records is listed once, which costs far less than a look at each path.
class FoldersInTheWay
{
public:
    // The records must outlive this.
    FoldersInTheWay(const QList<UndoRecordPaths> &records, FileOperations &files)
        : m_files(files)
    {
        // Records of one folder mostly follow each other: counted in runs.
        QHash<QStringView, int> counts;
        QStringView runFolder;
        int run = 0;
        for (const UndoRecordPaths &record : records) {
            const QStringView folder = folderOf(record.moved);
            if (run > 0 && folder != runFolder) {
                counts[runFolder] += run;
                run = 0;
            }
            runFolder = folder;
            ++run;
        }
        if (run > 0)
            counts[runFolder] += run;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() >= 32)
                m_listed.insert(it.key(), files.folderNamesIn(it.key().toString()));
        }
    }

    bool at(const QString &path)
    {
        const QStringView folder = folderOf(path);
        if (folder != m_lastFolder) {
            m_lastFolder = folder;
            m_lastListing = m_listed.constFind(folder);
        }
        if (m_lastListing == m_listed.cend())
            return m_files.entryKind(path) == EntryKind::Folder;
        return !m_lastListing->isEmpty() && m_lastListing->contains(path.sliced(folder.size()));
    }

private:
    static QStringView folderOf(const QString &path)
    {
        return QStringView(path).first(path.lastIndexOf(u'/') + 1);
    }

    FileOperations &m_files;
    QHash<QStringView, QSet<QString>> m_listed;
    QStringView m_lastFolder;
    QHash<QStringView, QSet<QString>>::const_iterator m_lastListing = m_listed.cend();
};

// Moves one recorded file back. certain: the record's operation is known to have
// taken place; otherwise nothing is deleted. newest: no record after it is left to
// undo, so an undo killed just after it moved this file back may have left it
// unmarked. Returns whether the file is back (or there was nothing to bring back);
// false when the record was passed over.
bool undoRecord(const UndoRecordPaths &record, bool certain, bool newest, FoldersInTheWay &folders,
                FileOperations &files)
{
    const QString &original = record.original;
    const QString &moved = record.moved;
    // A rename would move a folder as readily as a file.
    if (folders.at(moved))
        failExists(moved);
    if (std::none_of(original.cbegin(), original.cend(), isPathSeparator)) { // a bare name
        if (files.fileExists(moved))
            throw TessalyError(u"Unable to create directory\n[]"_s);
        return false;
    }
    // Tried first and explained only when it fails: a whole log is undone at nearly
    // the speed of bare renames.
    for (bool madeFolder = false;;) {
        bool done = false;
        try {
            done = files.move(moved, original);
        } catch (const TessalyError &) {
            if (files.entryKind(moved) != EntryKind::None) {
                if (madeFolder || files.folderExists(folderPart(original)))
                    throw;
                files.makeFolders(folderPart(original));
                madeFolder = true;
                continue;
            }
        }
        if (done) {
            files.releaseTrash(moved); // a file Overwrite had sent to the Trash
            return true;
        }
        if (files.entryKind(moved) == EntryKind::None) {
            if (files.restoreSetAside(moved)) {
                // An undo killed within a move to another file system had set it
                // aside: the batch did move it.
                certain = true;
                continue;
            }
            // Never done (a killed copy may have left its partial file, a batch killed
            // before its move to the Trash the slot it had reserved there), or undone
            // already by an undo killed before it could mark the record; anything else
            // is a file gone since the batch.
            files.discardPartialCopy(moved);
            files.releaseTrash(moved);
            return (newest || !certain) && files.entryKind(original) == EntryKind::File;
        }
        // A file stands at the original path. After a copy it is the source, with the
        // same content: the copy goes and the source stays as it is (a link, a name of
        // a file with several). Anything else is a file made since, which must stay.
        if (files.entryKind(original) != EntryKind::File || files.sameFile(original, moved))
            failExists(original);
        if (!certain)
            return false; // perhaps the file that was never moved, and the target was there
        if (!files.sameContent(original, moved))
            failExists(original);
        files.remove(moved);
        files.releaseTrash(moved);
        return true;
    }
}

} // namespace

void undoLastBatch(UserMessages &messages, FileOperations &files,
                   const std::function<void()> &clearList, const BatchProgress &progress)
{
    const QString logPath = undoLogPath();
    if (!files.fileExists(logPath)) {
        messages.information(noUndoLogText());
        return;
    }
    UndoLogLock lock(logPath);
    // Where earlier versions kept an undo's progress. Named by the log's inode, which a
    // later log can be given again, it could be taken for another log's: the marks in
    // the log itself have replaced it.
    ::unlink(encodeFileName(logPath + u".undone"_s).constData());
    UndoLogFile logFile(logPath);
    const UndoLogContent log = parseUndoLog(logFile.content());

    const FoldersClosedAtEnd closeFolders(files);
    FoldersInTheWay folders(log.records, files);
    const qsizetype count = log.records.size();
    qsizetype done = 0;
    qsizetype passedOver = 0;
    qsizetype newest = -1; // the newest record left to undo
    for (qsizetype i = count - 1; i >= 0; --i) {
        const UndoMark mark = log.records.at(i).mark;
        if (mark == UndoMark::None) {
            if (newest < 0)
                newest = i;
            continue;
        }
        ++done;
        if (mark == UndoMark::PassedOver)
            ++passedOver;
    }
    for (qsizetype i = newest; i >= 0; --i) {
        const UndoRecordPaths &record = log.records.at(i);
        if (record.mark != UndoMark::None)
            continue;
        if (i < newest && progress.stopRequested && progress.stopRequested()) {
            messages.information(
                translateText(
                    u"Undo stopped after %1 of %2 files. Undo again brings back the rest."_s)
                    .arg(done)
                    .arg(count));
            return;
        }
        const bool certain = i < count - 1 || !log.lastUncertain;
        const bool back = (!certain && undoInterruptedMove(record, files)) ||
                          undoRecord(record, certain, i == newest, folders, files);
        logFile.mark(record, back ? UndoMark::Undone : UndoMark::PassedOver);
        ++done;
        if (!back)
            ++passedOver;
        if (progress.fileDone) {
            const QStringView original = record.original;
            qsizetype nameStart = original.size();
            while (nameStart > 0 && !isPathSeparator(original.at(nameStart - 1)))
                --nameStart;
            progress.fileDone(done, count, original.first(nameStart), original.sliced(nameStart));
        }
    }
    logFile.discard();
    files.remove(logPath);
    lock.release();
    if (clearList)
        clearList();
    if (log.unreadable > 0) {
        messages.warning(
            translateText(u"Lines of the undo log that could not be read were passed over: %1."_s)
                .arg(log.unreadable));
    }
    if (passedOver > 0) {
        messages.warning(translateText(u"%1 of %2 files could not be brought back: their files "
                                       u"are gone or another file has their old name."_s)
                             .arg(passedOver)
                             .arg(count));
        return;
    }
    messages.information(translateText(u"Undo completed for the last rename operation."_s));
}
