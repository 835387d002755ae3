#include "batch/renameplan.h"

#include "batch/batchpaths.h"
#include "batch/freenames.h"
#include "containers/nameindex.h"
#include "containers/prefetch.h"
#include "engine/hiddencharacters.h"

#include "translation/translation.h"

#include <QDir>
#include <QLocale>

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

qsizetype RenamePlan::actingCount() const
{
    qsizetype acting = 0;
    for (int s = 0; s < PlanStatusCount; ++s) {
        if (planStatusActs(PlanStatus(s)))
            acting += counts[s];
    }
    return acting;
}

bool RenamePlan::blocked() const
{
    for (int s = 0; s < PlanStatusCount; ++s) {
        if (counts[s] > 0 && planStatusBlocks(PlanStatus(s)))
            return true;
    }
    return false;
}

QString RenamePlan::finalPath(const RenameItems &items, qsizetype row) const
{
    return planStatusActs(rows.at(row).status) ? targetPath(items, row)
                                               : items.at(row).originalPath();
}

QString RenamePlan::targetPath(const RenameItems &items, qsizetype row) const
{
    const PlannedRow &planned = rows.at(row);
    if (const auto numbered = numberedTargets.constFind(row); numbered != numberedTargets.cend())
        return *numbered;
    if (planned.folder < 0)
        return QString();
    return folders.at(planned.folder) + items.at(row).newName;
}

namespace {

constexpr qint32 NoRow = -1;
constexpr qint32 ClaimedByNoRow = -2; // a stepping stone
// Who holds a row's target when the plan is made, besides a listed row.
constexpr qint32 NoHolder = -1;
constexpr qint32 HeldByFile = -2; // a file the list does not hold
constexpr qint32 HeldByFolder = -3;

// What the plan knows of one name in a folder: whether something is there now, and
// which rows have it as their source and as their target.
struct Entry
{
    bool exists = false;
    bool isFolder = false;
    quint16 hashTag = 0; // set by NameIndex
    qint32 sourceRow = NoRow;
    qint32 claimRow = NoRow; // the row that ends at this name, or NoRow
};

// A name in a folder of the plan: exactly as written, or folded where the file system
// ignores letter case. The text lives in the items or in the folder's own storage.
struct EntryKey
{
    int folder = -1;
    QStringView name;

    bool operator==(const EntryKey &) const = default;
};

// How far ahead the passes over all rows ask for the slot of a row's name: far enough
// for the memory to arrive, near enough for it to stay.
constexpr qsizetype LookAhead = 12;

// A folder's names; a folder of a million files with as many targets holds two million.
using Names = NameIndex<Entry>;
static_assert(sizeof(Names::Named) == 24);

struct PlanFolder
{
    QString path; // as first met, without a final separator (but "/")
    bool exists = false;
    bool caseless = false;
    int maxNameBytes = 255;
    QString files; // the listed names (see FolderListing), folded where case is ignored
    QString folders;
    QStringList names; // the storage of other names below that are not an item's
    Names entries;
    // The inodes of the listed files by their entries' indexes (a plan for a batch only):
    // the listing's files are the first entries, in their order, while no two of them
    // fold to one name.
    QList<quint64> inodes;

    void addListed()
    {
        // Each name's slot is asked for some names before it is filled.
        QStringView ahead[LookAhead];
        size_t hashes[LookAhead];
        qsizetype pending = 0;
        const auto add = [&](QStringView name, bool isFolder) {
            const size_t hash = Names::hashOf(name);
            entries.prefetchSlot(hash);
            const qsizetype at = pending % LookAhead;
            if (pending >= LookAhead)
                mark(ahead[at], hashes[at], isFolder);
            ahead[at] = name;
            hashes[at] = hash;
            ++pending;
        };
        forEachListedName(files, [&](QStringView name) { add(name, false); });
        for (qsizetype n = std::max<qsizetype>(0, pending - LookAhead); n < pending; ++n)
            mark(ahead[n % LookAhead], hashes[n % LookAhead], false);
        pending = 0;
        forEachListedName(folders, [&](QStringView name) { add(name, true); });
        for (qsizetype n = std::max<qsizetype>(0, pending - LookAhead); n < pending; ++n)
            mark(ahead[n % LookAhead], hashes[n % LookAhead], true);
    }

private:
    void mark(QStringView name, size_t hash, bool isFolder)
    {
        Entry &entry = entries.findOrAdd(name, hash);
        entry.exists = true;
        entry.isFolder = entry.isFolder || isFolder;
    }
};

qsizetype lastSeparator(QStringView path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isPathSeparator(path.at(i)))
            return i;
    }
    return -1;
}

QStringView withoutFinalSeparator(QStringView folder)
{
    while (folder.size() > 1 && isPathSeparator(folder.back()))
        folder.chop(1);
    return folder;
}

// One allocation: the folder (with or without its final separator) and the name.
QString joinPath(QStringView folder, QStringView name)
{
    const bool separated = !folder.isEmpty() && isPathSeparator(folder.back());
    QString path;
    path.reserve(folder.size() + name.size() + 1);
    path.append(folder);
    if (!separated)
        path.append(QDir::separator());
    path.append(name);
    return path;
}

qsizetype utf8Length(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80)
            bytes += 1;
        else if (u < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                 QChar::isLowSurrogate(text.at(i + 1).unicode()))
            bytes += 4, ++i;
        else
            bytes += 3;
    }
    return bytes;
}

// A name that a clean path may end in: not empty, no separator, not "." or "..".
bool isPlainName(QStringView name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    for (QChar c : name) {
        if (isPathSeparator(c))
            return false;
    }
    return true;
}

// "photo.jpg" has a name part, ".jpg" and "" have none.
bool hasNamePart(QStringView fileName)
{
    return fileName.lastIndexOf(u'.') != 0 && !fileName.isEmpty();
}

// What the plan keeps of one row while it decides (the status itself is the plan's
// PlannedRow): 12 bytes, as a plan of a million rows keeps a million of them.
struct RowRecord
{
    qint32 sourceFolderText = -1; // index into Planner::m_folderTexts
    // What claimTargets found at the row's target (NoHolder, HeldByFile, HeldByFolder
    // or the listed row whose file it is); from findHolders on, that row or NoHolder,
    // and from settleHeldNames on only where the row waits for that row (a file that
    // moves away first, a listed file a copy replaces).
    qint32 holder = NoHolder;
    bool pending = false;     // still to be decided
    bool needsNumber = false; // its name is taken; numberRows gives it the first free one
    bool caseOnly = false;    // only the letter case changes where case does not count
};
static_assert(sizeof(RowRecord) == 12);

// Decides each row's status in passes over all rows. Each status has one rule, a named
// function that says when a row gets it:
//   NoPreview                  invalidStatus
//   Invalid                    isInvalid, invalidStatus (a name's own check: validName)
//   Missing                    ruleForSource
//   Skip                       ruleForSource (a file listed twice), ruleForTakenName
//   Unchanged                  isUnchanged
//   Duplicate                  markDuplicates
//   Overwrite, Folder          ruleForTakenName (applied by takeByRule)
//   Numbered                   ruleForTakenName, then isInvalid for the number found
//   Rename, HiddenCharacters   ruleForFreeName
// The passes apply them in turn:
//   readRows       each row's source and new name (ruleForSource, isInvalid)
//   claimTargets   the file itself at its target (isUnchanged, case-only changes,
//                  ruleForTakenName), then every other target in list order
//                  (markDuplicates, ruleForTakenName)
//   findHolders    who holds a target now: a folder, a file outside the list, another
//                  name of the same file (ruleForTakenName)
//   settleHeldNames names held by listed files that stay (ruleForTakenName)
//   numberRows     the first free number (isUnchanged, isInvalid), then ruleForFreeName
//                  for the rows still pending
//   orderSteps     the order of the steps: chains from their free end, cycles and
//                  case-only changes through a stepping stone
class Planner
{
public:
    Planner(const RenameItems &items, const RenameOptions &options, FileSystemView &view,
            bool previewed, PlanPurpose purpose)
        : m_items(items)
        , m_options(options)
        , m_view(view)
        , m_previewed(previewed)
        , m_purpose(purpose)
        , m_copying(options.batchMode == BatchMode::CopyToFolder)
        , m_toFolder(options.batchMode == BatchMode::CopyToFolder ||
                     options.batchMode == BatchMode::MoveToFolder)
    {}

    RenamePlan run();

private:
    // What holds a row's target name: another row's target, a file (listed or not), a
    // folder, the row's own file under that very name (moved or copied into its own
    // folder), or the row's file under another name of it (a hard link).
    enum class Holder : quint8 { Row, File, Folder, OwnFile, SameFile };

    int folderFor(QStringView path);
    void probeCase(PlanFolder &folder);
    EntryKey key(int folder, QStringView name);
    // The folders (indexes into m_folders) of a row's source and target.
    int sourceFolder(qsizetype row) const
    {
        return m_folderOfText.at(m_rows[size_t(row)].sourceFolderText);
    }
    int targetFolder(qsizetype row) const { return m_toFolder ? m_destination : sourceFolder(row); }
    EntryKey sourceKey(qsizetype row) const
    {
        return {sourceFolder(row), keyName(m_foldedSourceNames, row, sourceName(row))};
    }
    EntryKey targetKey(qsizetype row) const
    {
        return {targetFolder(row), keyName(m_foldedTargetNames, row, m_items.at(row).newName)};
    }
    static QStringView keyName(const QList<QStringView> &folded, qsizetype row, QStringView name)
    {
        return folded.isEmpty() || folded.at(row).isNull() ? name : folded.at(row);
    }
    // Keeps a row's name in one of the lists above where it is not the plain name (a
    // folded name, a part of a clean path); the list is sized on first use.
    void keepKeyName(QList<QStringView> &names, qsizetype row, QStringView keyName,
                     QStringView name)
    {
        if (keyName.data() == name.data() && keyName.size() == name.size())
            return;
        if (names.isEmpty())
            names.resize(m_items.size());
        names[row] = keyName;
    }
    Entry *find(const EntryKey &key, size_t hash)
    {
        return m_folders[key.folder].entries.find(key.name, hash);
    }
    Entry &findOrAdd(const EntryKey &key, size_t hash)
    {
        return m_folders[key.folder].entries.findOrAdd(key.name, hash);
    }
    // The row's source name: the item's own, or a part of its clean path.
    QStringView sourceName(qsizetype row) const
    {
        return keyName(m_cleanSourceNames, row, m_items.at(row).fileName);
    }
    // The row's absolute, clean path.
    QString sourcePath(qsizetype row) const
    {
        return joinPath(m_folderTexts.at(m_rows[size_t(row)].sourceFolderText), sourceName(row));
    }
    // The folder text the row's file goes to: its own folder, or the destination.
    int targetFolderText(qsizetype row) const
    {
        return m_toFolder ? m_destinationText : m_rows[size_t(row)].sourceFolderText;
    }
    // The path the row's file gets under name.
    QString targetPath(qsizetype row, QStringView name) const
    {
        return joinPath(m_folderTexts.at(targetFolderText(row)), name);
    }
    // The row's source name as a text of its own: the item's, shared, where it is that.
    QString sourceNameText(qsizetype row) const
    {
        const QStringView name = sourceName(row);
        const QString &own = m_items.at(row).fileName;
        return name.data() == own.constData() && name.size() == own.size() ? own : name.toString();
    }
    // The name the row's file ends under: its new name, or the numbered one.
    QString targetName(qsizetype row) const
    {
        const PlannedRow &planned = m_plan.rows.at(row);
        const auto numbered = m_plan.numberedTargets.constFind(row);
        if (numbered == m_plan.numberedTargets.cend())
            return m_items.at(row).newName;
        return numbered->sliced(m_folderTexts.at(planned.folder).size());
    }
    bool isInvalid(qsizetype row, QStringView name, int folder, bool ownName) const;
    PlanStatus invalidStatus(qsizetype row) const;
    bool validName(qsizetype row, QStringView name, int folder) const;
    QString freeName(int folder, const QString &fileName, bool temporary, qsizetype row,
                     bool *own = nullptr);
    static void claimFreeName(PlanFolder &folder, QString keyText, size_t hash, qsizetype row);
    bool isUnchanged(qsizetype row, bool ownNumberedName) const;
    PlanStatus ruleForTakenName(Holder holder) const;
    void takeByRule(qsizetype row, Holder holder);
    void markDuplicates(qsizetype row, qint32 claim);
    void readRows();
    void releaseListings();
    void claimTargets();
    void findHolders();
    void settleHeldNames();
    void numberRows();
    void orderSteps();
    void emitRow(qsizetype row);

    const RenameItems &m_items;
    const RenameOptions &m_options;
    FileSystemView &m_view;
    const bool m_previewed;
    const PlanPurpose m_purpose;
    const bool m_copying;
    const bool m_toFolder;

    RenamePlan m_plan;
    QList<PlanFolder> m_folders;
    QHash<QString, int> m_folderByPath;
    QHash<FileIdentity, int> m_folderByIdentity;
    int m_destination = -1;
    int m_destinationText = -1; // index into m_folderTexts
    QStringList m_folderTexts;  // the sources' folders, absolute and clean, "/" at the end
    QList<int> m_folderOfText;  // for each of them, its index into m_folders
    // The folder text of the previous row, as the item held it and as cleaned: most rows
    // share it.
    QString m_lastItemFolder;
    bool m_lastItemFolderUsable = false;
    int m_lastFolderText = -1;
    int m_lastFolder = -1;

    // Per row, one record each; rows that are decided early keep the defaults.
    std::vector<RowRecord> m_rows;
    // The rows' names where they are not the plain name, in lists that stay empty until
    // a row needs one (most plans never do): the names in m_cleanSources of rows whose
    // listed path was not clean, and the source and target names as folded where a
    // folder ignores case.
    QList<QStringView> m_cleanSourceNames;
    QStringList m_cleanSources; // sources whose listed path was not clean
    QList<QStringView> m_foldedSourceNames;
    QList<QStringView> m_foldedTargetNames;
    QList<QString> m_temporary; // the name of a cycle's or a case-only change's stepping stone
    FreeNames m_freeNames;      // numbered names and stepping stones, by folder index
};

int Planner::folderFor(QStringView path)
{
    const QString folder = withoutFinalSeparator(path).toString();
    if (const auto it = m_folderByPath.constFind(folder); it != m_folderByPath.cend())
        return *it;
    const std::optional<FileIdentity> identity = m_view.identity(folder, true);
    if (identity) {
        if (const auto it = m_folderByIdentity.constFind(*identity);
            it != m_folderByIdentity.cend()) {
            m_folderByPath.insert(folder, *it);
            return *it;
        }
    }
    const int index = int(m_folders.size());
    m_folders.append(PlanFolder());
    PlanFolder &planFolder = m_folders.back();
    planFolder.path = folder;
    if (std::optional<FolderListing> listing = m_view.listFolder(folder)) {
        planFolder.exists = true;
        planFolder.maxNameBytes = listing->maxNameBytes;
        planFolder.files = std::move(listing->files);
        planFolder.folders = std::move(listing->folders);
        if (m_purpose == PlanPurpose::Batch)
            planFolder.inodes = std::move(listing->fileInodes);
        // Room for as many new names again: renaming a folder's files adds about that many.
        const qsizetype listed =
            planFolder.files.count(QChar(0)) + planFolder.folders.count(QChar(0));
        planFolder.entries.reserve(2 * listed);
        planFolder.addListed();
        probeCase(planFolder);
    }
    m_folderByPath.insert(folder, index);
    if (identity)
        m_folderByIdentity.insert(*identity, index);
    return index;
}

// A folder ignores letter case when a name it holds is found again with its letters
// swapped. One look per folder; a folder without such a name is taken as exact. The
// names of a folder that ignores case are kept folded.
void Planner::probeCase(PlanFolder &folder)
{
    int tries = 0;
    for (auto it = folder.entries.named().cbegin();
         it != folder.entries.named().cend() && tries < 4; ++it) {
        const QString name = it->name().toString();
        QString swapped = name.toUpper();
        if (swapped == name)
            swapped = name.toLower();
        if (swapped == name || folder.entries.find(swapped, Names::hashOf(swapped)))
            continue;
        ++tries;
        const std::optional<FileIdentity> original =
            m_view.identity(joinPath(folder.path, name), false);
        if (!original)
            continue; // gone meanwhile: ask another name
        folder.caseless = m_view.identity(joinPath(folder.path, swapped), false) == original;
        break;
    }
    if (folder.caseless) {
        folder.inodes.clear(); // names that fold together share an entry
        folder.entries.clear();
        folder.files = folder.files.toCaseFolded();
        folder.folders = folder.folders.toCaseFolded();
        folder.addListed();
    }
}

EntryKey Planner::key(int folder, QStringView name)
{
    PlanFolder &planFolder = m_folders[folder];
    if (!planFolder.caseless)
        return EntryKey{folder, name};
    planFolder.names.append(name.toString().toCaseFolded());
    return EntryKey{folder, planFolder.names.back()};
}

// A row is Invalid when it cannot get the name shown: it has no new name (NoPreview
// instead while the list was never previewed, as then no row has one), its path made
// absolute and clean names no file in a folder, or the name it would get, new or
// numbered, is new to its file and one its target folder cannot hold (validName). A
// name the file has already exists, whatever it holds, so it is not checked.
inline bool Planner::isInvalid(qsizetype row, QStringView name, int folder, bool ownName) const
{
    return !ownName && !validName(row, name, folder);
}

inline PlanStatus Planner::invalidStatus(qsizetype row) const
{
    return m_items.at(row).newName.isEmpty() && !m_previewed ? PlanStatus::NoPreview
                                                             : PlanStatus::Invalid;
}

bool Planner::validName(qsizetype row, QStringView name, int folder) const
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    // One pass: no forbidden character (NUL among them), no separator, and where the
    // last dot is.
    qsizetype lastDot = -1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name.at(i).unicode();
        if (u < 0x20 || u == u'"' || u == u'<' || u == u'>' || u == u'|' || u == u'/')
            return false;
#ifdef Q_OS_WIN
        if (u == u'\\')
            return false;
#endif
        if (u == u'.')
            lastDot = i;
    }
    const int maxBytes = m_folders.at(folder).maxNameBytes;
    if (name.size() * 3 > maxBytes && utf8Length(name) > maxBytes)
        return false;
    // Only an extension left ("photo.jpg" to ".jpg"): the name is gone and the file
    // would be hidden. A file that was such a name already may keep one.
    return lastDot != 0 || !hasNamePart(sourceName(row));
}

// The first "base (n)ext" (or, for a temporary name, ".tessaly-n") that nothing in the
// folder holds and no row claims, or, when own is asked, that is row's own present name
// (then *own is set); claimed here for row.
QString Planner::freeName(int folder, const QString &fileName, bool temporary, qsizetype row,
                          bool *own)
{
    PlanFolder &planFolder = m_folders[folder];
    const QString &series = planFolder.path; // one text per folder of the plan
    QString keyText;
    size_t hash = 0;
    const auto taken = [&](const QString &candidate) {
        keyText = planFolder.caseless ? candidate.toCaseFolded() : candidate;
        hash = Names::hashOf(keyText);
        const Entry *entry = planFolder.entries.find(keyText, hash);
        if (!entry)
            return false;
        if (own && entry->sourceRow == row) {
            *own = true;
            return false;
        }
        return entry->exists || entry->claimRow != NoRow;
    };
    if (temporary) {
        QString stone = m_freeNames.steppingStone(series, taken);
        claimFreeName(planFolder, std::move(keyText), hash, row);
        return stone;
    }
    QString base;
    QString ext;
    splitFileName(fileName, &base, &ext);
    // The search resumes past the numbers found taken or handed out before, which its
    // own name may be among: then every number below that name's is taken, so the file
    // keeps it.
    if (own && sourceFolder(row) == folder) {
        const QString foldedBase = planFolder.caseless ? base.toCaseFolded() : base;
        const QString foldedExt = planFolder.caseless ? ext.toCaseFolded() : ext;
        const qint64 n = FreeNames::numberIn(sourceKey(row).name, foldedBase, foldedExt);
        if (n > 0 && n < m_freeNames.numberedResumesAt(series, base, ext)) {
            QString candidate = FreeNames::numberedName(base, n, ext);
            if (!taken(candidate) && *own)
                return candidate;
        }
    }
    // A row's own name is taken for every other row, as FreeNames counts it from now on.
    QString candidate = m_freeNames.numbered(series, base, ext, taken);
    if (own && *own)
        return candidate;
    claimFreeName(planFolder, std::move(keyText), hash, row);
    return candidate;
}

void Planner::claimFreeName(PlanFolder &folder, QString keyText, size_t hash, qsizetype row)
{
    folder.names.append(std::move(keyText));
    folder.entries.findOrAdd(folder.names.back(), hash).claimRow =
        row == NoRow ? ClaimedByNoRow : qint32(row);
}

// A row is Unchanged when its file already has the name it would get: renamed in place
// (its target and source name fold to one), its present name is exactly the new one,
// while a change of letter case alone is a rename; numbered, the first free number is
// the one its name has now (freeName reports it as the row's own name).
inline bool Planner::isUnchanged(qsizetype row, bool ownNumberedName) const
{
    if (ownNumberedName)
        return true;
    return m_options.batchMode == BatchMode::RenameInPlace &&
           sourceName(row) == m_items.at(row).newName;
}

// A row is Missing when its folder holds no file under its name (nothing, or a folder),
// and Skip when an earlier row already has that file through another path: one file
// gets one new name. Rename means the source is the row's own.
inline PlanStatus ruleForSource(const Entry *entry)
{
    if (!entry || !entry->exists || entry->isFolder)
        return PlanStatus::Missing;
    if (entry->sourceRow != NoRow)
        return PlanStatus::Skip;
    return PlanStatus::Rename;
}

// A row whose new name nobody holds is a Rename, or HiddenCharacters where the name
// holds characters a reader cannot see (those block the batch).
inline PlanStatus ruleForFreeName(QStringView newName)
{
    return holdsHiddenCharacters(newName) ? PlanStatus::HiddenCharacters : PlanStatus::Rename;
}

// What a row whose target name is taken becomes. The conflict rule decides: Skip keeps
// the file where it is; Overwrite replaces what holds the name, except a folder (Folder,
// which blocks) and the file itself (replacing a file by itself destroys it, so it is
// Skip); Auto-number gives it a number later (Numbered here, which numberRows settles).
// Another name of the same file (a hard link) has the name already: Skip, whatever the
// rule.
inline PlanStatus Planner::ruleForTakenName(Holder holder) const
{
    if (holder == Holder::SameFile)
        return PlanStatus::Skip;
    switch (m_options.conflict) {
    case ConflictMode::Overwrite:
        return holder == Holder::Folder    ? PlanStatus::Folder
               : holder == Holder::OwnFile ? PlanStatus::Skip
                                           : PlanStatus::Overwrite;
    case ConflictMode::AutoNumber:
        return PlanStatus::Numbered;
    default:
        return PlanStatus::Skip;
    }
}

void Planner::takeByRule(qsizetype row, Holder holder)
{
    m_rows[size_t(row)].pending = false;
    const PlanStatus status = ruleForTakenName(holder);
    if (status == PlanStatus::Numbered)
        m_rows[size_t(row)].needsNumber = true;
    else
        m_plan.rows[row].status = status;
}

// Under Overwrite a row that wants a name another row ends at would destroy that row's
// file: both rows are Duplicate and block the batch. A stepping stone's claim (no row)
// blocks only the row that came second.
void Planner::markDuplicates(qsizetype row, qint32 claim)
{
    m_plan.rows[row].status = PlanStatus::Duplicate;
    m_rows[size_t(row)].pending = false;
    if (claim >= 0) {
        m_plan.rows[claim].status = PlanStatus::Duplicate;
        m_rows[size_t(claim)].pending = false;
    }
}

void Planner::readRows()
{
    const qsizetype count = m_items.size();
    m_plan.rows.resize(count);
    m_rows.resize(size_t(count));

    if (m_toFolder) {
        m_plan.destination =
            QDir::cleanPath(QDir::current().absoluteFilePath(trimControl(m_options.destination)));
        m_destination = folderFor(m_plan.destination);
        m_destinationText = int(m_folderTexts.size());
        m_folderTexts.append(joinPath(m_plan.destination, QString()));
        m_folderOfText.append(m_destination);
    }
    // Each row's name is looked up in the folder of the row before (most rows share
    // it). What the look-up reads is asked for in stages, each reading only what the one
    // before asked for: the name's characters, its slot, the entry the slot names, the
    // entry's characters. A listing's order scatters all of them in memory.
    size_t nameHashes[LookAhead];
    const auto lookAhead = [&](qsizetype row) {
        if (row + LookAhead < count)
            prefetch(m_items.at(row + LookAhead).fileName.constData());
        const Names *entries = m_lastFolder >= 0 ? &m_folders.at(m_lastFolder).entries : nullptr;
        if (row < count) {
            const size_t hash = Names::hashOf(m_items.at(row).fileName);
            nameHashes[row % LookAhead] = hash;
            if (entries)
                entries->prefetchSlot(hash);
        }
        if (entries && row - LookAhead / 2 < count && row >= LookAhead / 2)
            entries->prefetchNamed(nameHashes[(row - LookAhead / 2) % LookAhead]);
        if (entries && row - 3 * LookAhead / 4 < count && row >= 3 * LookAhead / 4)
            entries->prefetchNamedText(nameHashes[(row - 3 * LookAhead / 4) % LookAhead]);
    };
    for (qsizetype i = 0; i < LookAhead; ++i)
        lookAhead(i);
    for (qsizetype i = 0; i < count; ++i) {
        const size_t itemNameHash = nameHashes[i % LookAhead];
        lookAhead(i + LookAhead);
        const RenameItem &item = m_items.at(i);
        PlannedRow &planned = m_plan.rows[i];
        if (item.newName.isEmpty()) {
            planned.status = invalidStatus(i);
            continue;
        }
        // The log holds absolute, clean paths only, so the plan works with those. A row
        // of the previous row's folder with a plain name needs only its name looked at.
        QStringView name;
        const bool sameFolder = m_lastItemFolderUsable && isPlainName(item.fileName) &&
                                (item.folder.constData() == m_lastItemFolder.constData() ||
                                 item.folder == m_lastItemFolder);
        if (sameFolder) {
            name = item.fileName;
        } else {
            const QString &source =
                m_cleanSources.emplace_back(absoluteCleanPath(item.originalPath()));
            const qsizetype separator = lastSeparator(source);
            if (separator < 0) {
                planned.status = invalidStatus(i);
                continue;
            }
            const QStringView folderText = QStringView(source).first(separator + 1);
            if (m_lastFolderText < 0 || folderText != m_folderTexts.at(m_lastFolderText)) {
                m_lastFolderText = int(m_folderTexts.size());
                m_folderTexts.append(folderText.toString());
                m_lastFolder = folderFor(folderText);
                m_folderOfText.append(m_lastFolder);
            }
            m_lastItemFolder = item.folder;
            m_lastItemFolderUsable = isPlainName(item.fileName);
            name = QStringView(source).sliced(separator + 1);
        }
        m_rows[size_t(i)].sourceFolderText = m_lastFolderText;
        keepKeyName(m_cleanSourceNames, i, name, item.fileName);
        const int sourceFolder = m_lastFolder;
        const EntryKey sourceKey = key(sourceFolder, name);
        const bool itemName = sourceKey.name.data() == item.fileName.constData() &&
                              sourceKey.name.size() == item.fileName.size();
        Entry *sourceEntry =
            find(sourceKey, itemName ? itemNameHash : Names::hashOf(sourceKey.name));
        if (const PlanStatus status = ruleForSource(sourceEntry); status != PlanStatus::Rename) {
            planned.status = status;
            continue;
        }
        sourceEntry->sourceRow = qint32(i);
        keepKeyName(m_foldedSourceNames, i, sourceKey.name, name);
        if (const QList<quint64> &inodes = m_folders.at(sourceFolder).inodes; !inodes.isEmpty()) {
            const size_t at = m_folders.at(sourceFolder).entries.indexOf(*sourceEntry);
            if (at < size_t(inodes.size())) {
                if (m_plan.sourceInodes.isEmpty())
                    m_plan.sourceInodes.resize(count);
                m_plan.sourceInodes[i] = inodes.at(qsizetype(at));
            }
        }

        const int targetFolder = m_toFolder ? m_destination : sourceFolder;
        planned.folder = targetFolderText(i);
        // A name the file has already exists, whatever it holds; only a new one is checked.
        const bool ownName = targetFolder == sourceFolder && item.newName == name;
        if (isInvalid(i, item.newName, targetFolder, ownName)) {
            planned.status = invalidStatus(i);
            continue;
        }
        keepKeyName(m_foldedTargetNames, i, key(targetFolder, item.newName).name, item.newName);
        m_rows[size_t(i)].pending = true;
    }
}

// Once every row has found its source, a folder's entries for the rows' files read the
// rows' own texts and the few other names move into a text of their own, so that the
// listing, as large as all the folder's names together, can go before the targets come.
// Where case is ignored the entries read folded texts, which stay.
void Planner::releaseListings()
{
    for (PlanFolder &folder : m_folders) {
        if (folder.caseless || (folder.files.isEmpty() && folder.folders.isEmpty()))
            continue;
        // Whether characters lie in the listing (pointers into different blocks compare
        // by std::less alone).
        const auto within = [](const QChar *characters, const QString &text) {
            const std::less<const QChar *> before;
            return !before(characters, text.constData()) &&
                   before(characters, text.constData() + text.size());
        };
        const auto listed = [&](const QChar *characters) {
            return within(characters, folder.files) || within(characters, folder.folders);
        };
        std::vector<Names::Named> &named = folder.entries.namedToMove();
        qsizetype otherLength = 0;
        for (const Names::Named &entry : named) {
            if (entry.value.sourceRow < 0 && listed(entry.characters))
                otherLength += entry.length;
        }
        QString others;
        others.reserve(otherLength); // filled below without moving
        for (Names::Named &entry : named) {
            if (!listed(entry.characters))
                continue;
            if (entry.value.sourceRow >= 0) {
                entry.characters = sourceName(entry.value.sourceRow).data();
            } else {
                const qsizetype at = others.size();
                others.append(entry.characters, entry.length);
                entry.characters = others.constData() + at;
            }
        }
        folder.files = QString();
        folder.folders = QString();
        folder.names.append(std::move(others));
    }
}

// The file itself at its target: unchanged in place, or, when only the letter case
// changes where case does not count, a rename through a stepping stone. Then every
// other target is claimed in list order; a later row wanting a claimed name is a
// duplicate, settled by the conflict rule.
void Planner::claimTargets()
{
    const qsizetype count = m_items.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (!m_rows[size_t(i)].pending || targetKey(i) != sourceKey(i))
            continue;
        PlannedRow &planned = m_plan.rows[i];
        if (m_options.batchMode == BatchMode::RenameInPlace) {
            if (isUnchanged(i, false)) {
                planned.status = PlanStatus::Unchanged;
                m_rows[size_t(i)].pending = false;
            } else {
                m_rows[size_t(i)].caseOnly = true;
            }
            const EntryKey target = targetKey(i);
            findOrAdd(target, Names::hashOf(target.name)).claimRow = qint32(i);
        } else {
            // Moved or copied into its own folder under its own name: the name is held,
            // by the file itself.
            takeByRule(i, Holder::OwnFile);
            // A file that stays where it is keeps its name from every other row, as an
            // unchanged one does: under Overwrite two rows then end at one name.
            if (planned.status == PlanStatus::Skip) {
                const EntryKey target = targetKey(i);
                findOrAdd(target, Names::hashOf(target.name)).claimRow = qint32(i);
            }
        }
    }
    // The targets' hashes some rows ahead, whose slots are asked for then, and the
    // entries those slots name some rows later.
    size_t targetHashes[LookAhead];
    const auto lookAhead = [&](qsizetype row) {
        if (row < count && m_rows[size_t(row)].pending) {
            const EntryKey target = targetKey(row);
            targetHashes[row % LookAhead] = Names::hashOf(target.name);
            m_folders.at(target.folder).entries.prefetchSlot(targetHashes[row % LookAhead]);
        }
        const qsizetype nearer = row - LookAhead / 2;
        if (nearer >= 0 && nearer < count && m_rows[size_t(nearer)].pending) {
            m_folders.at(targetFolder(nearer))
                .entries.prefetchNamed(targetHashes[nearer % LookAhead]);
        }
    };
    for (qsizetype i = 0; i < LookAhead; ++i)
        lookAhead(i);
    for (qsizetype i = 0; i < count; ++i) {
        const size_t targetHash = targetHashes[i % LookAhead];
        lookAhead(i + LookAhead);
        if (!m_rows[size_t(i)].pending || m_rows[size_t(i)].caseOnly)
            continue;
        Entry &entry = findOrAdd(targetKey(i), targetHash);
        const qint32 claim = entry.claimRow;
        if (claim == NoRow) {
            entry.claimRow = qint32(i);
            // What is there now, for findHolders.
            m_rows[size_t(i)].holder = !entry.exists              ? NoHolder
                                       : entry.isFolder           ? HeldByFolder
                                       : entry.sourceRow != NoRow ? entry.sourceRow
                                                                  : HeldByFile;
            continue;
        }
        if (m_options.conflict == ConflictMode::Overwrite)
            markDuplicates(i, claim);
        else
            takeByRule(i, Holder::Row);
    }
}

// Who holds each claimed name now: nobody, a listed file (which may move away first),
// or something outside the list.
void Planner::findHolders()
{
    const qsizetype count = m_items.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (!m_rows[size_t(i)].pending || m_rows[size_t(i)].caseOnly)
            continue;
        const qint32 held = std::exchange(m_rows[size_t(i)].holder, NoHolder);
        if (held == NoHolder)
            continue;
        if (held == HeldByFolder) {
            takeByRule(i, Holder::Folder);
            continue;
        }
        if (held >= 0) {
            m_rows[size_t(i)].holder = held;
            continue;
        }
        // Another name of the same file (a hard link): it has the name already.
        const std::optional<FileIdentity> target =
            m_view.identity(targetPath(i, m_items.at(i).newName), false);
        const bool sameFile = target && target == m_view.identity(sourcePath(i), false);
        takeByRule(i, sameFile ? Holder::SameFile : Holder::File);
    }
}

// A name held by a listed file is free when that file moves away; when it stays (it is
// copied, skipped, unchanged or blocked), the conflict rule decides, and under Skip
// that may keep yet another file in place.
void Planner::settleHeldNames()
{
    const qsizetype count = m_items.size();
    const auto leaves = [&](qsizetype row) {
        return !m_copying && (m_rows[size_t(row)].pending || m_rows[size_t(row)].needsNumber ||
                              m_plan.rows[row].status == PlanStatus::Overwrite);
    };
    QHash<qsizetype, QList<qsizetype>> waiters;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_rows[size_t(i)].pending && m_rows[size_t(i)].holder >= 0)
            waiters[m_rows[size_t(i)].holder].append(i);
    }
    QList<qsizetype> staying;
    for (auto it = waiters.cbegin(); it != waiters.cend(); ++it) {
        if (!leaves(it.key()))
            staying.append(it.key());
    }
    while (!staying.isEmpty()) {
        const qsizetype holder = staying.takeLast();
        for (qsizetype row : waiters.value(holder)) {
            if (!m_rows[size_t(row)].pending || m_rows[size_t(row)].holder != holder)
                continue;
            // A copy replacing a listed source still waits for that source to be copied.
            if (!m_copying)
                m_rows[size_t(row)].holder = -1;
            takeByRule(row, Holder::File);
            if (!leaves(row) && waiters.contains(row))
                staying.append(row);
        }
    }
}

void Planner::numberRows()
{
    const qsizetype count = m_items.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (!m_rows[size_t(i)].needsNumber)
            continue;
        PlannedRow &planned = m_plan.rows[i];
        const int folder = targetFolder(i);
        // A file already named "photo (1).jpg" keeps that name rather than moving on.
        bool own = false;
        const QString name =
            freeName(folder, m_items.at(i).newName, false, i, m_copying ? nullptr : &own);
        if (isUnchanged(i, own)) {
            planned.status = PlanStatus::Unchanged;
            continue;
        }
        m_plan.numberedTargets.insert(i, targetPath(i, name));
        planned.status =
            isInvalid(i, name, folder, false) ? invalidStatus(i) : PlanStatus::Numbered;
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (m_rows[size_t(i)].pending) {
            m_plan.rows[i].status = ruleForFreeName(m_items.at(i).newName);
        }
        ++m_plan.counts[size_t(m_plan.rows[i].status)];
    }
}

void Planner::emitRow(qsizetype row)
{
    const PlannedRow &planned = m_plan.rows.at(row);
    const PlanStep::Kind kind = m_copying ? PlanStep::Copy : PlanStep::Move;
    const int sourceFolder = m_rows[size_t(row)].sourceFolderText;
    const QString name = targetName(row);
    if (planned.status == PlanStatus::Overwrite)
        m_plan.steps.append({PlanStep::Trash, false, false, planned.folder, -1, row, name, {}});
    if (!m_temporary.isEmpty() && !m_temporary.at(row).isEmpty()) {
        // The stone is the batch's own file, a copy included: it moves on.
        m_plan.steps.append({PlanStep::Move, true, true, sourceFolder, planned.folder, row,
                             m_temporary.at(row), name});
        return;
    }
    m_plan.steps.append(
        {kind, true, false, sourceFolder, planned.folder, row, sourceNameText(row), name});
}

// Each row whose target is the file of another row that acts waits for that one: a
// moved file must have left the name, a copied one must have been copied before the
// Trash takes it. The waits form chains, which run from their free end, and cycles,
// which one file leaves (or is copied) for a stepping stone first and enters its target
// from last.
void Planner::orderSteps()
{
    const qsizetype count = m_items.size();
    const auto acts = [&](qsizetype row) { return planStatusActs(m_plan.rows.at(row).status); };
    // The row whose file must be gone from, or copied out of, row's target first.
    const auto waitsFor = [&](qsizetype row) -> qsizetype {
        if (m_copying && m_plan.rows.at(row).status != PlanStatus::Overwrite)
            return -1; // a numbered copy leaves the listed file in peace
        const qsizetype holder = m_rows[size_t(row)].holder;
        return holder >= 0 && acts(holder) ? holder : -1;
    };
    const auto stepStone = [&](qsizetype row) {
        if (m_temporary.isEmpty())
            m_temporary.resize(count);
        m_temporary[row] = freeName(sourceFolder(row), QString(), true, NoRow);
        const int folder = m_rows[size_t(row)].sourceFolderText;
        m_plan.steps.append({m_copying ? PlanStep::Copy : PlanStep::Move, false, false, folder,
                             folder, row, sourceNameText(row), m_temporary[row]});
    };
    m_plan.steps.reserve(m_plan.actingCount() + m_plan.count(PlanStatus::Overwrite));
    QList<quint8> state(count, 0); // 0 waiting, 1 on the current path, 2 scheduled
    QList<qsizetype> path;
    for (qsizetype i = 0; i < count; ++i) {
        // A step shares the item's name, whose text a listing's order scatters.
        if (i + LookAhead < count)
            prefetchText(m_items.at(i + LookAhead).fileName);
        if (!acts(i) || state[i] != 0)
            continue;
        if (m_rows[size_t(i)].caseOnly) {
            stepStone(i);
            emitRow(i);
            state[i] = 2;
            continue;
        }
        path.clear();
        qsizetype k = i;
        while (k >= 0 && state[k] == 0) {
            state[k] = 1;
            path.append(k);
            k = waitsFor(k);
        }
        if (k >= 0 && state[k] == 1) {
            // A cycle: only its first row can have started the path, since every name
            // is wanted by one row at most.
            stepStone(path.front());
            for (qsizetype p = path.size() - 1; p >= 1; --p)
                emitRow(path.at(p));
            emitRow(path.front());
        } else {
            for (qsizetype p = path.size() - 1; p >= 0; --p)
                emitRow(path.at(p));
        }
        for (qsizetype row : path)
            state[row] = 2;
    }
}

RenamePlan Planner::run()
{
    readRows();
    releaseListings();
    claimTargets();
    findHolders();
    settleHeldNames();
    numberRows();
    if (!m_plan.blocked() && m_purpose == PlanPurpose::Batch)
        orderSteps();
    m_plan.folders = std::move(m_folderTexts);
    return std::move(m_plan);
}

} // namespace

RenamePlan planBatch(const RenameItems &items, const RenameOptions &options, FileSystemView &view,
                     bool previewed, PlanPurpose purpose)
{
    RenamePlan plan = Planner(items, options, view, previewed, purpose).run();
    plan.purpose = purpose;
    return plan;
}

QString planBlockedMessage(const RenameItems &items, const RenamePlan &plan)
{
    if (plan.count(PlanStatus::NoPreview) > 0)
        return translateText(u"Please build preview first (click \"Preview Result\" button)."_s);
    qsizetype blocked = 0;
    QStringList lines;
    for (qsizetype i = 0; i < plan.rows.size(); ++i) {
        const PlannedRow &row = plan.rows.at(i);
        if (!planStatusBlocks(row.status))
            continue;
        if (++blocked <= 5) {
            lines.append(u"%1 -> %2: %3"_s.arg(fileNamePart(items.at(i).originalPath()),
                                               items.at(i).newName, planStatusText(row.status)));
        }
    }
    if (blocked > 5)
        lines.append(u"..."_s);
    return translateText(u"Nothing was renamed. Files that cannot get the names shown: %1"_s)
               .arg(QLocale().toString(blocked)) +
           u"\n\n"_s + lines.join(u'\n');
}

QString planSummary(const RenamePlan &plan)
{
    QStringList parts;
    for (int s = 1; s < PlanStatusCount; ++s) {
        if (plan.counts[s] > 0)
            parts.append(
                u"%1: %2"_s.arg(planStatusText(PlanStatus(s)), QLocale().toString(plan.counts[s])));
    }
    return parts.join(u", "_s);
}
