#include "undo.h"

#include "batchpaths.h"
#include "renameitem.h"
#include "tessalyerror.h"
#include "translation.h"
#include "undolog.h"
#include "usermessages.h"

#include "filenamecodec.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cstring>

#include <sys/stat.h>

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
// taken place; otherwise nothing is deleted.
void undoRecord(const UndoRecordPaths &record, bool certain, FoldersInTheWay &folders,
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
        return;
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
            return;
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
            // already.
            files.discardPartialCopy(moved);
            files.releaseTrash(moved);
            return;
        }
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
        files.releaseTrash(moved);
        return;
    }
}

// How far an undo of this log has come, kept beside it: a chain of names (IMG_0002 to
// IMG_0003, then IMG_0001 to IMG_0002) undone in part leaves both paths of a record
// taken, so a second undo could not tell from the files where the first one stopped.
// The note names the log's file by its identity, so that a new log never takes an old
// note for its own.
class UndoProgress
{
public:
    UndoProgress(const QString &logPath)
        : m_file(logPath + u".undone"_s)
    {
        struct stat info;
        if (::stat(encodeFileName(logPath).constData(), &info) == 0)
            m_log = QByteArray::number(quint64(info.st_ino)) + ' ' +
                    QByteArray::number(qint64(info.st_size)) + '\n';
        if (m_file.open(QIODevice::ReadOnly)) {
            const QByteArray note = m_file.read(NoteSize);
            qint64 count = 0;
            if (note.size() == NoteSize && note.startsWith(m_log)) {
                std::memcpy(&count, note.constData() + CountAt, sizeof count);
                m_done = qsizetype(std::max<qint64>(count, 0));
            }
            m_file.close();
        }
    }

    // Records undone by an earlier, interrupted undo of this log.
    qsizetype done() const { return m_done; }

    // Kept in a shared mapping, as the log's records are: in the system's hands once
    // stored, without a call per record; the count is one aligned store, never torn.
    void setDone(qsizetype count)
    {
        if (!m_count && !open())
            return; // the undo goes on; a second interruption is then less certain
        m_count->store(qint64(count), std::memory_order_relaxed);
    }

    void remove()
    {
        if (m_map)
            m_file.unmap(m_map);
        m_map = nullptr;
        m_count = nullptr;
        m_file.close();
        m_file.remove();
    }

private:
    static constexpr qint64 NoteSize = 64;
    static constexpr qint64 CountAt = 56;

    bool open()
    {
        if (m_log.size() > CountAt || !m_file.open(QIODevice::ReadWrite | QIODevice::Truncate) ||
            !m_file.resize(NoteSize) || m_file.write(m_log) != m_log.size() || !m_file.flush())
            return false;
        m_map = m_file.map(0, NoteSize);
        if (!m_map)
            return false;
        m_count = reinterpret_cast<std::atomic<qint64> *>(m_map + CountAt);
        return true;
    }

    QFile m_file;
    QByteArray m_log; // the log's identity, first in the note
    uchar *m_map = nullptr;
    std::atomic<qint64> *m_count = nullptr;
    qsizetype m_done = 0;
};

} // namespace

void undoLastBatch(UserMessages &messages, FileOperations &files,
                   const std::function<void()> &clearList, const BatchProgress &progress)
{
    const QString logPath = undoLogPath();
    if (!files.fileExists(logPath)) {
        messages.information(translateText(u"No undo log found in AppData."_s));
        return;
    }
    UndoLogLock lock(logPath);
    const UndoLogContent log = parseUndoLog(readUndoLog(logPath));

    const FoldersClosedAtEnd closeFolders(files);
    FoldersInTheWay folders(log.records, files);
    UndoProgress undone(logPath);
    const qsizetype count = log.records.size();
    const qsizetype first = count - 1 - undone.done();
    for (qsizetype i = first; i >= 0; --i) {
        if (i < first && progress.stopRequested && progress.stopRequested()) {
            messages.information(
                translateText(
                    u"Undo stopped after %1 of %2 files. Undo again brings back the rest."_s)
                    .arg(count - 1 - i)
                    .arg(count));
            return;
        }
        const bool certain = i < count - 1 || !log.lastUncertain;
        if (certain || !undoInterruptedMove(log.records.at(i), files))
            undoRecord(log.records.at(i), certain, folders, files);
        undone.setDone(count - i);
        if (progress.fileDone) {
            const QStringView original = log.records.at(i).original;
            qsizetype nameStart = original.size();
            while (nameStart > 0 && !isPathSeparator(original.at(nameStart - 1)))
                --nameStart;
            progress.fileDone(count - i, count, original.first(nameStart),
                              original.sliced(nameStart));
        }
    }
    files.remove(logPath);
    undone.remove();
    lock.release();
    if (clearList)
        clearList();
    if (log.unreadable > 0) {
        messages.warning(
            translateText(u"Lines of the undo log that could not be read were passed over: %1."_s)
                .arg(log.unreadable));
    }
    messages.information(translateText(u"Undo completed for the last rename operation."_s));
}
