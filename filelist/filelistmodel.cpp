#include "filelist/filelistmodel.h"

#include "engine/hiddencharacters.h"

#include "engine/filenamecodec.h"
#include "filelist/naturalorder.h"
#include "translation/translation.h"

#include <QCollatorSortKey>
#include <QCoreApplication>
#include <QMimeData>
#include <numeric>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

FileListModel::FileListModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

bool FileListModel::isListed(const QString &path) const
{
    return isListed(makeRenameItem(path), RenameItems());
}

bool FileListModel::isListed(const RenameItem &item, const RenameItems &pending) const
{
    const qsizetype listed = m_items.size();
    return m_listed.find(item.folder, item.fileName, [&](qsizetype row) -> const RenameItem & {
        return row < listed ? m_items.at(row) : pending.at(row - listed);
    }) >= 0;
}

bool FileListModel::listIfNew(const RenameItem &item, const RenameItems &pending)
{
    if (isListed(item, pending))
        return false;
    m_listed.insert(m_items.size() + pending.size(), item);
    return true;
}

int FileListModel::addFiles(const QStringList &paths)
{
    RenameItems pending;
    pending.reserve(paths.size());
    try {
        for (const QString &path : paths) {
            if (path.isEmpty() || isListed(makeRenameItem(path), pending))
                continue;
            std::optional<RenameItem> item = readRenameItem(path);
            if (!item || !listIfNew(*item, pending))
                continue;
            // Files chosen together mostly share a folder: its text is kept once.
            if (!pending.isEmpty() && pending.back().folder == item->folder)
                item->folder = pending.back().folder;
            pending.append(std::move(*item));
        }
    } catch (...) {
        appendItems(pending);
        throw;
    }
    const int added = int(pending.size());
    appendItems(pending);
    return added;
}

int FileListModel::addFolderFiles(const QString &folder, bool includeSubfolders)
{
    // Sizes are read when a row is shown (or sorted by size), not for every file here.
    return addItems(collectFolderItems(folder, includeSubfolders, false));
}

int FileListModel::addItems(RenameItems items)
{
    m_listed.reserve(items.size());
    qsizetype kept = 0;
    const qsizetype listed = m_items.size();
    const auto itemAt = [&](qsizetype row) -> const RenameItem & {
        return row < listed ? m_items.at(row) : items.at(row - listed);
    };
    for (qsizetype i = 0; i < items.size(); ++i) {
        // Rows past kept are still to be looked at, so the new row is listed as kept.
        if (items.at(i).fileName.isEmpty() ||
            !m_listed.insertIfNew(listed + kept, items.at(i), itemAt))
            continue;
        if (kept != i)
            items[kept] = std::move(items[i]);
        ++kept;
    }
    items.resize(kept);
    appendItems(items);
    return int(kept);
}

void FileListModel::appendItems(RenameItems &pending)
{
    if (pending.isEmpty())
        return;
    clearPlan();
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + int(pending.size()) - 1);
    if (m_items.isEmpty())
        m_items = std::move(pending);
    else
        m_items.append(std::move(pending));
    endInsertRows();
    pending.clear();
}

void FileListModel::removeRowsAt(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int row) { return row < 0 || row >= count(); }),
               rows.end());
    if (rows.isEmpty())
        return;
    clearPlan();

    // Runs of neighbouring rows, from the last one up so that lower indices stay valid.
    QList<std::pair<int, int>> runs;
    for (int row : rows) {
        if (!runs.isEmpty() && runs.last().second + 1 == row)
            runs.last().second = row;
        else
            runs.append({row, row});
    }
    QList<int> newRowOf(m_items.size());
    int next = 0;
    for (qsizetype row = 0, removed = 0; row < m_items.size(); ++row) {
        if (removed < rows.size() && rows.at(removed) == row) {
            newRowOf[row] = -1;
            ++removed;
        } else {
            newRowOf[row] = next++;
        }
    }
    m_listed.renumber(newRowOf);

    // Many scattered runs would each move the tail of the list: one pass and one reset
    // is cheaper then.
    constexpr int maxRuns = 64;
    if (runs.size() > maxRuns) {
        beginResetModel();
        qsizetype next = 0;
        qsizetype kept = 0;
        for (qsizetype i = 0; i < m_items.size(); ++i) {
            if (next < rows.size() && rows.at(next) == i) {
                ++next;
                continue;
            }
            if (kept != i)
                m_items[kept] = std::move(m_items[i]);
            ++kept;
        }
        m_items.resize(kept);
        endResetModel();
        return;
    }
    for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
        beginRemoveRows(QModelIndex(), run->first, run->second);
        m_items.remove(run->first, run->second - run->first + 1);
        endRemoveRows();
    }
}

void FileListModel::clear()
{
    if (m_items.isEmpty())
        return;
    clearPlan();
    const qsizetype removed = count();
    beginRemoveRows(QModelIndex(), 0, removed - 1);
    // Assigning an empty list frees the storage, which clear() would keep.
    m_items = RenameItems();
    m_listed.clear();
    m_previewFailure.clear();
    endRemoveRows();
#ifdef __GLIBC__
    // A long list's many small texts leave holes all over the heap, whose pages would
    // stay counted against the program until another list fills them: hand them back.
    if (removed >= 10000)
        malloc_trim(0);
#endif
}

void FileListModel::updateNewNames(const std::function<void(RenameItems &)> &edit)
{
    clearPlan();
    m_previewFailure.clear();
    const auto tell = qScopeGuard([this] {
        if (!m_items.isEmpty())
            emit dataChanged(index(0, NewNameColumn), index(count() - 1, NewNameColumn));
    });
    edit(m_items);
}

void FileListModel::updateItems(const std::function<void(RenameItems &)> &edit)
{
    const qsizetype before = m_items.size();
    clearPlan();
    const auto tell = qScopeGuard([this, before] {
        reindex();
        if (m_items.size() != before) {
            // Not meant to happen; a reset keeps views from reading rows that are gone.
            beginResetModel();
            endResetModel();
        } else if (!m_items.isEmpty()) {
            emit dataChanged(index(0, 0), index(count() - 1, ColumnCount - 1));
        }
    });
    edit(m_items);
}

void FileListModel::setPlan(const PlanOutcome &plan)
{
    if (plan.statuses.size() != m_items.size())
        return;
    m_statuses = plan.statuses;
    m_finalNames.clear();
    for (qsizetype i = 0; i < m_statuses.size(); ++i) {
        if (m_statuses[i] == PlanStatus::Numbered)
            m_finalNames.insert(int(i), plan.numberedNames.value(int(i)));
        else if (m_statuses[i] == PlanStatus::Unchanged &&
                 fileNamePart(m_items.at(i).originalPath()) != m_items.at(i).newName)
            m_finalNames.insert(int(i), fileNamePart(m_items.at(i).originalPath()));
    }
    if (!m_items.isEmpty())
        emit dataChanged(index(0, NewNameColumn), index(count() - 1, StatusColumn));
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (m_items.size() < 2 || column < 0 || column >= ColumnCount)
        return;
    const qsizetype count = m_items.size();
    QList<qsizetype> rows(count);
    std::iota(rows.begin(), rows.end(), 0);
    const auto sortBy = [&](auto less) {
        if (order == Qt::AscendingOrder)
            std::stable_sort(rows.begin(), rows.end(), less);
        else
            std::stable_sort(rows.begin(), rows.end(),
                             [&](qsizetype a, qsizetype b) { return less(b, a); });
    };
    if (column == SizeColumn) {
        QList<qint64> sizes(count);
        for (qsizetype i = 0; i < count; ++i)
            sizes[i] = itemFacts(m_items.at(i)).size;
        sortBy([&](qsizetype a, qsizetype b) { return sizes.at(a) < sizes.at(b); });
    } else if (column == StatusColumn) {
        if (m_statuses.isEmpty())
            return;
        sortBy([&](qsizetype a, qsizetype b) { return m_statuses.at(a) < m_statuses.at(b); });
    } else {
        const QCollator collator = naturalCollator();
        QList<QCollatorSortKey> keys;
        keys.reserve(count);
        for (qsizetype i = 0; i < count; ++i)
            keys.append(collator.sortKey(data(index(int(i), column)).toString()));
        sortBy([&](qsizetype a, qsizetype b) { return keys.at(a).compare(keys.at(b)) < 0; });
    }
    reorder(rows);
}

void FileListModel::moveRowsBy(QList<int> rows, int step)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty() || (step < 0 && rows.front() <= 0) ||
        (step > 0 && rows.back() >= count() - 1) || rows.front() < 0 || rows.back() >= count())
        return;
    QList<qsizetype> order(m_items.size());
    std::iota(order.begin(), order.end(), 0);
    if (step < 0) {
        for (int row : rows)
            std::swap(order[row - 1], order[row]);
    } else {
        for (auto row = rows.crbegin(); row != rows.crend(); ++row)
            std::swap(order[*row], order[*row + 1]);
    }
    reorder(order);
}

void FileListModel::moveRowsTo(QList<int> rows, int before)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty() || rows.front() < 0 || rows.back() >= count() || before < 0 ||
        before > count())
        return;
    QList<bool> moving(m_items.size(), false);
    for (int row : rows)
        moving[row] = true;
    QList<qsizetype> order;
    order.reserve(m_items.size());
    for (qsizetype row = 0; row < before; ++row) {
        if (!moving.at(row))
            order.append(row);
    }
    for (int row : rows)
        order.append(row);
    for (qsizetype row = before; row < m_items.size(); ++row) {
        if (!moving.at(row))
            order.append(row);
    }
    bool same = true;
    for (qsizetype row = 0; row < order.size() && same; ++row)
        same = order.at(row) == row;
    if (!same)
        reorder(order);
}

static const QString rowsMimeType = u"application/x-tessaly-rows"_s;

QStringList FileListModel::mimeTypes() const
{
    return {rowsMimeType};
}

// Which list a drag comes from: this process and this model.
static QByteArray listMark(const FileListModel *model)
{
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
           QByteArray::number(quintptr(model)) + '\n';
}

QMimeData *FileListModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes) {
        if (index.isValid() && index.model() == this)
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QByteArray text = listMark(this);
    for (int row : rows)
        text += QByteArray::number(row) + ' ';
    auto *data = new QMimeData;
    data->setData(rowsMimeType, text);
    return data;
}

QList<int> FileListModel::draggedRows(const QMimeData *data) const
{
    if (!data || !data->hasFormat(rowsMimeType))
        return {};
    const QByteArray text = data->data(rowsMimeType);
    const QByteArray mark = listMark(this);
    if (!text.startsWith(mark))
        return {};
    QList<int> rows;
    for (const QByteArray &number : text.mid(mark.size()).split(' ')) {
        bool ok = false;
        const int row = number.toInt(&ok);
        if (ok && row >= 0 && row < count())
            rows.append(row);
    }
    return rows;
}

bool FileListModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                    const QModelIndex &) const
{
    return action == Qt::MoveAction && !draggedRows(data).isEmpty();
}

bool FileListModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int,
                                 const QModelIndex &parent)
{
    const QList<int> rows = draggedRows(data);
    if (action != Qt::MoveAction || rows.isEmpty())
        return false;
    // Onto a row: before it; past the last row: at the end.
    const int before = parent.isValid() ? parent.row() : row < 0 ? count() : row;
    moveRowsTo(rows, before);
    emit rowsDragged();
    return true;
}

void FileListModel::reorder(const QList<qsizetype> &order)
{
    clearPlan();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> newRowOf(order.size());
    RenameItems reordered;
    reordered.reserve(m_items.size());
    for (qsizetype row = 0; row < order.size(); ++row) {
        newRowOf[order.at(row)] = int(row);
        reordered.append(std::move(m_items[order.at(row)]));
    }
    m_items = std::move(reordered);
    m_listed.renumber(newRowOf);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(this->index(newRowOf.at(index.row()), index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::showPreviewFailure(const QString &message)
{
    clearPlan();
    m_previewFailure = message;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (!m_items.at(i).newName.isEmpty())
            m_items[i].newName.clear();
    }
    if (!m_items.isEmpty())
        emit dataChanged(index(0, NewNameColumn), index(count() - 1, StatusColumn));
}

void FileListModel::clearPlan()
{
    if (m_statuses.isEmpty())
        return;
    m_statuses = QList<PlanStatus>();
    m_finalNames.clear();
    if (!m_items.isEmpty())
        emit dataChanged(index(0, NewNameColumn), index(count() - 1, StatusColumn));
}

void FileListModel::reindex()
{
    m_listed.clear();
    m_listed.reserve(m_items.size());
    for (qsizetype row = 0; row < m_items.size(); ++row)
        m_listed.insert(row, m_items.at(row));
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const RenameItem &item = m_items.at(index.row());
    const bool planned = !m_statuses.isEmpty();
    const PlanStatus status = planned ? m_statuses.at(index.row()) : PlanStatus::Rename;
    if (!m_previewFailure.isEmpty()) {
        // Shown as a row that keeps the batch from starting, which it is.
        if (role == PlanStatusRole)
            return int(PlanStatus::NoPreview);
        if (index.column() == StatusColumn) {
            if (role == Qt::DisplayRole)
                return translateText(u"Error"_s);
            if (role == Qt::ToolTipRole)
                return m_previewFailure;
            return QVariant();
        }
    }
    if (role == PlanStatusRole)
        return planned ? QVariant(int(status)) : QVariant();
    if (index.column() == StatusColumn) {
        if (!planned || status == PlanStatus::Rename)
            return QVariant();
        if (role == Qt::DisplayRole)
            return planStatusText(status);
        if (role == Qt::ToolTipRole)
            return planStatusDescription(status);
        return QVariant();
    }
    // A name can hold characters that show as nothing or turn the text around them
    // ("invoice<U+202E>fdp.exe" shows as "invoiceexe.pdf"): each is shown as a marker, and
    // the tooltip names them.
    const auto shownName = [role](const QString &name) -> QVariant {
        const QString shown = displayFileName(name);
        if (!holdsHiddenCharacters(shown))
            return shown;
        const QString marked = withHiddenCharactersMarked(shown);
        if (role != Qt::ToolTipRole)
            return marked;
        return marked + u'\n' +
               translateText(u"Invisible characters: %1"_s)
                   .arg(hiddenCharactersIn(shown).join(u", "_s));
    };
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case OriginalNameColumn:
            return shownName(fileNamePart(item.originalPath()));
        case NewNameColumn:
            return shownName(m_finalNames.value(index.row(), item.newName));
        case FolderColumn:
            return shownName(folderPart(item.originalPath()));
        case SizeColumn: {
            // Read now for a folder's files, which are listed without it.
            const qint64 size = itemFacts(item).size;
            return role == Qt::ToolTipRole ? formatExactSize(size, m_locale)
                                           : formatSize(size, m_locale);
        }
        }
    } else if (role == Qt::TextAlignmentRole && index.column() == SizeColumn) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return QVariant();
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return columnHeader(section);
    if (orientation == Qt::Horizontal && role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder); // a first click on a header sorts up

    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled; // between rows
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren |
           Qt::ItemIsDragEnabled;
}

QString FileListModel::columnHeader(int column)
{
    switch (column) {
    case OriginalNameColumn:
        return translateText(u"Original Name"_s);
    case NewNameColumn:
        return translateText(u"New Name (preview)"_s);
    case FolderColumn:
        return translateText(u"Folder"_s);
    case SizeColumn:
        return translateText(u"Size"_s);
    case StatusColumn:
        return translateText(u"Status"_s);
    }
    return QString();
}

QString FileListModel::formatSize(qint64 size, const QLocale &locale)
{
    if (size < 0)
        return QString(); // not read, or no file at the row's path
    // Powers of 1000 with their SI names, one decimal, as file managers show them.
    return locale.formattedDataSize(size, 1, QLocale::DataSizeSIFormat);
}

QString FileListModel::formatExactSize(qint64 size, const QLocale &locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    if (size < 0)
        return QString();
    // The locale's word for bytes, as it follows a number of bytes below a kilobyte.
    const QString noBytes = locale.formattedDataSize(0);
    const QString unit = noBytes.mid(locale.toString(0).size()).trimmed();
    return grouped.toString(size) + u' ' + unit;
}
