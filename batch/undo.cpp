#include "batch/undo.h"

#include "batch/batchpaths.h"
#include "batch/undolog.h"
#include "engine/renameitem.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "translation/translation.h"

#include "batch/filesystemview.h"
#include "engine/filenamecodec.h"

#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>

#include <sys/stat.h>
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

bool isInTrash(QStringView path)
{
    return path.contains(u"/Trash/files/") ||
           (path.contains(u"/.Trash") && path.contains(u"/files/"));
}

// The folders of the paths being moved, each a text shared by the records of that folder:
// moves go through the folder kept open, as the batch's do, without a text per move.
class FolderTexts
{
public:
    const QString &of(const QString &path, int slot)
    {
        const QStringView folder = QStringView(path).first(path.lastIndexOf(u'/') + 1);
        if (m_texts[slot] != folder)
            m_texts[slot] = folder.toString();
        return m_texts[slot];
    }

private:
    QString m_texts[2];
};

// Moves one recorded file back. certain: the record's operation is known to have
// taken place; otherwise nothing is deleted. newest: no record after it is left to
// undo, so an undo killed just after it moved this file back may have left it
// unmarked. Returns whether the file is back (or there was nothing to bring back);
// false when the record was passed over.
bool undoRecord(const UndoRecordPaths &record, bool certain, bool newest, FolderTexts &folders,
                FileOperations &files)
{
    const QString &original = record.original;
    const QString &moved = record.moved;
    // A rename would move a folder as readily as a file: the plan, made under the same
    // lock, left out every file whose new path holds a folder.
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
            const QString &movedFolder = folders.of(moved, 0);
            const QString &originalFolder = folders.of(original, 1);
            done = files.moveNamed(movedFolder, moved.sliced(movedFolder.size()), originalFolder,
                                   original.sliced(originalFolder.size()));
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
            if (isInTrash(moved))
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
            if (isInTrash(moved))
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
        if (isInTrash(moved))
            files.releaseTrash(moved);
        return true;
    }
}

QStringView folderOfPath(QStringView path)
{
    return path.first(path.lastIndexOf(u'/') + 1);
}

// What stands at the paths of a plan: a folder that holds many of them is read once,
// which costs far less than a look at each path.
class EntryKinds
{
public:
    // The paths must outlive this.
    EntryKinds(const QList<const QString *> &paths, FileOperations &files, FileSystemView &view)
        : m_files(files)
    {
        QHash<QStringView, int> counts;
        for (const QString *path : paths)
            ++counts[folderOfPath(*path)];
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() < 32)
                continue;
            std::optional<FolderListing> listing = view.listFolder(it.key().toString());
            if (!listing)
                continue;
            Listed &listed = m_listed[it.key()];
            listed.listing = std::move(*listing);
            listed.files.reserve(it.value());
            forEachListedName(listed.listing.files,
                              [&](QStringView name) { listed.files.insert(name); });
            forEachListedName(listed.listing.folders,
                              [&](QStringView name) { listed.folders.insert(name); });
        }
    }

    EntryKind at(const QString &path)
    {
        const QStringView folder = folderOfPath(path);
        const auto listed = m_listed.constFind(folder);
        if (listed == m_listed.cend())
            return m_files.entryKind(path);
        const QStringView name = QStringView(path).sliced(folder.size());
        if (listed->files.contains(name))
            return EntryKind::File;
        return listed->folders.contains(name) ? EntryKind::Folder : EntryKind::None;
    }

private:
    struct Listed
    {
        FolderListing listing;
        QSet<QStringView> files; // views into the listing's texts
        QSet<QStringView> folders;
    };
    FileOperations &m_files;
    QHash<QStringView, Listed> m_listed;
};

// The records grouped by file, each group oldest first: a record that moves a file from
// where an earlier record of the batch put it continues that file's way (a stepping
// stone, then its name). The groups hold indexes into records.
QList<QList<qsizetype>> recordsByFile(const QList<UndoRecordPaths> &records)
{
    QList<QList<qsizetype>> files;
    QHash<QStringView, qsizetype> fileAt; // where each file is after the records so far
    fileAt.reserve(records.size());
    for (qsizetype r = 0; r < records.size(); ++r) {
        const UndoRecordPaths &record = records.at(r);
        qsizetype file = fileAt.take(record.original) - 1;
        if (file < 0) {
            file = files.size();
            files.append(QList<qsizetype>());
        }
        files[file].append(r);
        fileAt.insert(record.moved, file + 1);
    }
    return files;
}

} // namespace

QString undoStatusWord(UndoStatus status)
{
    static const char *const words[] = {"restore", "undone", "gone", "changed", "occupied"};
    return QString::fromLatin1(words[int(status)]);
}

QString undoStatusText(UndoStatus status)
{
    switch (status) {
    case UndoStatus::Restore:
        return translateText(u"Restore"_s);
    case UndoStatus::Undone:
        return translateText(u"Restored already"_s);
    case UndoStatus::Gone:
        return translateText(u"Gone"_s);
    case UndoStatus::Changed:
        return translateText(u"Changed since"_s);
    case UndoStatus::Occupied:
        return translateText(u"Old name taken"_s);
    }
    return {};
}

UndoPlan planUndo(const QString &id, FileOperations &files, FileSystemView &view, bool lockHeldHere)
{
    UndoPlan plan;
    const QList<HistoryEntry> history = readHistory(lockHeldHere);
    qsizetype at = -1;
    for (qsizetype i = 0; i < history.size() && at < 0; ++i) {
        if (id.isEmpty() ? history.at(i).undoable() : history.at(i).id == id)
            at = i;
    }
    if (at >= 0) {
        plan.batch = history.at(at);
        plan.journal = historyJournalPath(plan.batch.id);
        plan.newest = at == 0;
    } else if (!id.isEmpty()) {
        throw TessalyError(translateText(u"No batch %1 in the history."_s).arg(id));
    } else {
        // A log the history could not take (its folder could not be written).
        struct stat info
        {};
        const QString logPath = undoLogPath();
        if (::lstat(encodeFileName(logPath).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_nlink != 1)
            return plan;
        plan.journal = logPath;
        plan.newest = true;
    }
    plan.log = parseUndoLog(readUndoLog(plan.journal));
    const QList<UndoRecordPaths> &records = plan.log.records;

    for (QList<qsizetype> &fileRecords : recordsByFile(records)) {
        plan.rows.append(UndoPlanRow{});
        plan.rows.last().restored = records.at(fileRecords.first()).original;
        plan.rows.last().records = std::move(fileRecords);
    }

    // Where each file is now: the new path of its newest record not undone yet.
    qsizetype newestToDo = -1;
    // The row of each file's present path, made only when a path must be looked up.
    std::optional<QHash<QStringView, qsizetype>> rowAtCurrentMade;
    const auto rowAtCurrent = [&]() -> const QHash<QStringView, qsizetype> & {
        if (!rowAtCurrentMade) {
            rowAtCurrentMade.emplace();
            rowAtCurrentMade->reserve(plan.rows.size());
            for (qsizetype row = 0; row < plan.rows.size(); ++row) {
                if (plan.rows.at(row).status != UndoStatus::Undone)
                    rowAtCurrentMade->insert(plan.rows.at(row).current, row);
            }
        }
        return *rowAtCurrentMade;
    };
    for (qsizetype row = 0; row < plan.rows.size(); ++row) {
        UndoPlanRow &planRow = plan.rows[row];
        const auto toDo =
            std::find_if(planRow.records.crbegin(), planRow.records.crend(),
                         [&](qsizetype r) { return records.at(r).mark != UndoMark::Undone; });
        if (toDo == planRow.records.crend()) {
            planRow.status = UndoStatus::Undone;
            planRow.current = records.at(planRow.records.last()).moved;
            continue;
        }
        planRow.current = records.at(*toDo).moved;
        newestToDo = std::max(newestToDo, *toDo);
    }

    // Files a later batch moved on from where this one left them: that batch is undone
    // first. The oldest such batch is named.
    QHash<QString, QString> movedLater;
    for (qsizetype i = at - 1; i >= 0; --i) {
        const HistoryEntry &later = history.at(i);
        if (later.state == HistoryState::Undone)
            continue;
        try {
            const UndoLogContent laterLog = parseUndoLog(readUndoLog(historyJournalPath(later.id)));
            // A copy leaves its source where it was; only what it sent to the Trash moved.
            const bool copies = later.operation == u"copy"_s;
            for (const UndoRecordPaths &record : laterLog.records) {
                if (copies && !isInTrash(record.moved))
                    continue;
                if (record.mark != UndoMark::Undone && rowAtCurrent().contains(record.original) &&
                    !movedLater.contains(record.original))
                    movedLater.insert(record.original, later.id);
            }
        } catch (const TessalyError &) {
        }
    }

    QList<const QString *> asked;
    asked.reserve(plan.rows.size() * 2);
    for (const UndoPlanRow &row : std::as_const(plan.rows)) {
        if (row.status != UndoStatus::Undone)
            asked << &row.current << &row.restored;
    }
    EntryKinds kinds(asked, files, view);
    // The row whose file stands at path: by the path's text, else by the file's identity
    // (a folder reached by two paths), with the rows' files looked up only when needed.
    std::optional<QHash<FileIdentity, qsizetype>> rowOfFile;
    const auto holderOf = [&](const QString &path) {
        if (const qsizetype row = rowAtCurrent().value(path, -1); row >= 0)
            return row;
        if (!rowOfFile) {
            rowOfFile.emplace();
            for (auto it = rowAtCurrent().cbegin(); it != rowAtCurrent().cend(); ++it) {
                if (const std::optional<FileIdentity> identity =
                        view.identity(it.key().toString(), false))
                    rowOfFile->insert(*identity, it.value());
            }
        }
        const std::optional<FileIdentity> identity = view.identity(path, false);
        return identity ? rowOfFile->value(*identity, -1) : qsizetype(-1);
    };
    const bool copies = plan.batch.operation.isEmpty() || plan.batch.operation == u"copy"_s;
    QList<qsizetype> dependsOn(plan.rows.size(), -1);
    for (qsizetype row = 0; row < plan.rows.size(); ++row) {
        UndoPlanRow &planRow = plan.rows[row];
        if (planRow.status == UndoStatus::Undone)
            continue;
        const qsizetype lastToDo = [&] {
            for (auto it = planRow.records.crbegin(); it != planRow.records.crend(); ++it) {
                if (records.at(*it).mark != UndoMark::Undone)
                    return *it;
            }
            return qsizetype(-1);
        }();
        const bool uncertain = plan.log.lastUncertain && lastToDo == records.size() - 1;
        if (const auto later = movedLater.constFind(planRow.current); later != movedLater.cend()) {
            planRow.status = UndoStatus::Changed;
            planRow.laterBatch = *later;
            continue;
        }
        const bool bareName =
            std::none_of(planRow.restored.cbegin(), planRow.restored.cend(), isPathSeparator);
        const EntryKind current = kinds.at(planRow.current);
        if (current == EntryKind::Folder) {
            planRow.status = UndoStatus::Changed;
            continue;
        }
        if (bareName) {
            planRow.status = UndoStatus::Restore; // reported by the undo
            continue;
        }
        const EntryKind restored = kinds.at(planRow.restored);
        if (current == EntryKind::None) {
            // The batch may never have moved it (killed before its last record took place),
            // or an undo killed just after it brought the file back could not mark it.
            // Or an undo killed within a move to another file system set it aside.
            const bool maybeBack = uncertain ||
                                   (lastToDo == newestToDo && restored == EntryKind::File) ||
                                   kinds.at(setAsidePath(planRow.current)) == EntryKind::File;
            planRow.status = maybeBack ? UndoStatus::Restore : UndoStatus::Gone;
            continue;
        }
        if (restored == EntryKind::None) {
            planRow.status = UndoStatus::Restore;
        } else if (restored == EntryKind::Folder) {
            planRow.status = UndoStatus::Occupied;
        } else if (const qsizetype holder = holderOf(planRow.restored);
                   holder >= 0 && holder != row) {
            // Another file of the batch holds the old name; it leaves first.
            dependsOn[row] = holder;
        } else if (files.sameFile(planRow.restored, planRow.current) ||
                   (copies && !isInTrash(planRow.current))) {
            planRow.status = UndoStatus::Restore; // one file under two names, or a copy
        } else {
            planRow.status = UndoStatus::Occupied;
        }
    }
    // A file whose old name another file of the batch holds is restored only when that
    // one is; a cycle of them (a swap) is restored as a whole.
    for (bool settled = false; !settled;) {
        settled = true;
        for (qsizetype row = 0; row < plan.rows.size(); ++row) {
            const qsizetype holder = dependsOn.at(row);
            if (holder < 0 || plan.rows.at(row).status != UndoStatus::Restore)
                continue;
            const UndoStatus held = plan.rows.at(holder).status;
            if (held != UndoStatus::Restore) {
                plan.rows[row].status = UndoStatus::Occupied;
                settled = false;
            }
        }
    }
    for (const UndoPlanRow &row : std::as_const(plan.rows))
        ++plan.counts[size_t(row.status)];
    return plan;
}

bool sameUndoOutcome(const UndoPlan &a, const UndoPlan &b)
{
    if (a.journal != b.journal || a.rows.size() != b.rows.size())
        return false;
    for (qsizetype i = 0; i < a.rows.size(); ++i) {
        const UndoPlanRow &rowA = a.rows.at(i);
        const UndoPlanRow &rowB = b.rows.at(i);
        if (rowA.status != rowB.status || rowA.current != rowB.current ||
            rowA.restored != rowB.restored)
            return false;
    }
    return true;
}

QString undoPlanQuestion(const UndoPlan &plan)
{
    const qsizetype restore = plan.count(UndoStatus::Restore);
    QString text = translateText(u"Restore %1 files?"_s).arg(QLocale().toString(restore));
    QStringList leftOut;
    for (const UndoStatus status : {UndoStatus::Gone, UndoStatus::Changed, UndoStatus::Occupied}) {
        if (const qsizetype n = plan.count(status))
            leftOut << u"%1 %2"_s.arg(QLocale().toString(n), undoStatusText(status).toLower());
    }
    if (!leftOut.isEmpty()) {
        const qsizetype n = plan.count(UndoStatus::Gone) + plan.count(UndoStatus::Changed) +
                            plan.count(UndoStatus::Occupied);
        text += u' ' + translateText(u"%1 cannot be restored: %2."_s)
                           .arg(QLocale().toString(n), leftOut.join(u", "_s));
    }
    return text;
}

UndoResult carryOutUndo(const UndoPlan &plan, UserMessages &messages, FileOperations &files,
                        const BatchProgress &progress)
{
    if (plan.isEmpty()) {
        messages.information(noUndoLogText());
        return UndoResult::Nothing;
    }
    // Where earlier versions kept an undo's progress. Named by the log's inode, which a
    // later log can be given again, it could be taken for another log's: the marks in
    // the log itself have replaced it.
    ::unlink(encodeFileName(plan.journal + u".undone"_s).constData());
    ::unlink(encodeFileName(undoLogPath() + u".undone"_s).constData());
    std::optional<UndoLogFile> logFile(std::in_place, plan.journal);
    const QList<UndoRecordPaths> &records = plan.log.records;
    const qsizetype count = records.size();

    QList<qsizetype> rowOf(count, -1);
    for (qsizetype row = 0; row < plan.rows.size(); ++row) {
        for (const qsizetype r : plan.rows.at(row).records)
            rowOf[r] = row;
    }
    const auto toDo = [&](qsizetype r) {
        const qsizetype row = rowOf.at(r);
        return row >= 0 && plan.rows.at(row).status == UndoStatus::Restore &&
               records.at(r).mark != UndoMark::Undone;
    };
    qsizetype done = 0;
    qsizetype newest = -1;
    for (qsizetype r = count - 1; r >= 0; --r) {
        if (!toDo(r))
            ++done;
        else if (newest < 0)
            newest = r;
    }

    const FoldersClosedAtEnd closeFolders(files);
    FolderTexts folders;
    QList<bool> notBack(plan.rows.size(), false);
    for (qsizetype i = newest; i >= 0; --i) {
        if (!toDo(i))
            continue;
        const UndoRecordPaths &record = records.at(i);
        if (i < newest && progress.stopRequested && progress.stopRequested()) {
            messages.information(
                translateText(
                    u"Undo stopped after %1 of %2 files. Undo again brings back the rest."_s)
                    .arg(QLocale().toString(done), QLocale().toString(count)));
            return UndoResult::Stopped;
        }
        const bool certain = i < count - 1 || !plan.log.lastUncertain;
        const bool back = (!certain && undoInterruptedMove(record, files)) ||
                          undoRecord(record, certain, i == newest, folders, files);
        logFile->mark(record, back ? UndoMark::Undone : UndoMark::PassedOver);
        ++done;
        if (!back)
            notBack[rowOf.at(i)] = true;
        if (progress.fileDone) {
            const QStringView original = record.original;
            qsizetype nameStart = original.size();
            while (nameStart > 0 && !isPathSeparator(original.at(nameStart - 1)))
                --nameStart;
            progress.fileDone(done, count, original.first(nameStart), original.sliced(nameStart));
        }
    }
    logFile.reset();

    qsizetype restored = 0;
    qsizetype changedLater = 0;
    QString laterBatch;
    for (qsizetype row = 0; row < plan.rows.size(); ++row) {
        const UndoPlanRow &planRow = plan.rows.at(row);
        if (planRow.status == UndoStatus::Undone ||
            (planRow.status == UndoStatus::Restore && !notBack.at(row)))
            ++restored;
        if (!planRow.laterBatch.isEmpty()) {
            ++changedLater;
            if (laterBatch.isEmpty())
                laterBatch = planRow.laterBatch;
        }
    }
    const qsizetype total = plan.rows.size();
    // A batch none of whose files could be restored because something stood in their
    // way stays as it was, so that the next undo tries it again once the way is clear.
    const bool nothingBack = restored == plan.count(UndoStatus::Undone) && restored < total;
    const bool inTheWay = plan.count(UndoStatus::Changed) + plan.count(UndoStatus::Occupied) > 0;
    if (!(nothingBack && inTheWay)) {
        if (!plan.batch.id.isEmpty()) {
            HistoryEntry entry = plan.batch;
            entry.state = restored == total ? HistoryState::Undone : HistoryState::PartlyUndone;
            entry.restored = restored;
            writeHistoryNote(entry);
        }
        // The undo log names the newest batch for people and scripts; once that batch is
        // undone there is nothing left for it to name.
        if (plan.newest)
            ::unlink(encodeFileName(undoLogPath()).constData());
    }

    if (plan.log.unreadable > 0) {
        messages.warning(
            translateText(u"Lines of the undo log that could not be read were passed over: %1."_s)
                .arg(QLocale().toString(plan.log.unreadable)));
    }
    if (restored < total) {
        QString text = translateText(u"%1 of %2 files could not be brought back: their files "
                                     u"are gone or another file has their old name."_s)
                           .arg(QLocale().toString(total - restored), QLocale().toString(total));
        if (changedLater > 0) {
            text += u'\n' +
                    translateText(u"%1 of them were moved again by a later batch: undo %2 first."_s)
                        .arg(QLocale().toString(changedLater), laterBatch);
        }
        messages.warning(text);
        return UndoResult::Partly;
    }
    messages.information(translateText(u"Undo completed for the last rename operation."_s));
    return UndoResult::Done;
}

RedoBatch redoBatchOf(const QString &id)
{
    const std::optional<HistoryEntry> entry = findHistoryEntry(id);
    if (!entry)
        throw TessalyError(translateText(u"No batch %1 in the history."_s).arg(id));
    if (entry->state != HistoryState::Undone && entry->state != HistoryState::PartlyUndone)
        throw TessalyError(translateText(u"Batch %1 is not undone."_s).arg(id));
    const UndoLogContent log = parseUndoLog(readUndoLog(historyJournalPath(id)));
    RedoBatch redo;
    redo.options.pattern = entry->pattern;
    redo.options.batchMode = entry->operation == u"copy"_s   ? BatchMode::CopyToFolder
                             : entry->operation == u"move"_s ? BatchMode::MoveToFolder
                                                             : BatchMode::RenameInPlace;
    redo.options.conflict = entry->conflict >= 0 ? entry->conflict : ConflictMode::Skip;
    QString destination = entry->destination;
    // Each file's way, as the undo plans it: from where it was to where the batch left it.
    for (const QList<qsizetype> &fileRecords : recordsByFile(log.records)) {
        const QString &from = log.records.at(fileRecords.first()).original;
        const QString &to = log.records.at(fileRecords.last()).moved;
        const bool undone = std::all_of(fileRecords.cbegin(), fileRecords.cend(), [&](qsizetype r) {
            return log.records.at(r).mark == UndoMark::Undone;
        });
        // A file the batch sent to the Trash goes there again when its name is taken anew.
        if (!undone || isInTrash(to))
            continue;
        RenameItem item;
        item.folder = folderPart(from);
        item.fileName = from.sliced(item.folder.size());
        const QString toFolder = folderPart(to);
        item.newName = to.sliced(toFolder.size());
        if (destination.isEmpty() && redo.options.batchMode != BatchMode::RenameInPlace)
            destination = toFolder;
        redo.items.append(std::move(item));
    }
    redo.options.destination = destination;
    return redo;
}

void undoLastBatch(UserMessages &messages, FileOperations &files,
                   const std::function<void()> &clearList, const BatchProgress &progress)
{
    if (!files.folderExists(dataFolder())) {
        messages.information(noUndoLogText());
        return;
    }
    UndoLogLock lock(undoLogPath());
    SystemFileSystemView view;
    const UndoPlan plan = planUndo({}, files, view, true);
    const UndoResult result = carryOutUndo(plan, messages, files, progress);
    lock.release();
    if ((result == UndoResult::Done || result == UndoResult::Partly) && clearList)
        clearList();
}
