#pragma once

#include "containers/pathindex.h"
#include "engine/planstatus.h"
#include "engine/renameitem.h"
#include "filelist/fileitems.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QStringList>

#include <functional>

// The rename list and its rows in one: row i shows item i, so the two cannot drift
// apart. New items are appended at the end; rows are removed by index, moved, sorted
// and cleared. Every command changes the rows in one step (one insertion, one removal
// per run of neighbouring rows or one reset, one layout change for a move or a sort),
// so a view repaints once.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        OriginalNameColumn,
        NewNameColumn,
        FolderColumn,
        SizeColumn,
        StatusColumn, // what the batch will do, for rows that are not plain renames
        ColumnCount
    };
    // The PlanStatus of a row as an int, or nothing before a plan.
    static constexpr int PlanStatusRole = Qt::UserRole + 1;

    explicit FileListModel(QObject *parent = nullptr);

    // The listed files in the order the list shows them.
    const RenameItems &items() const { return m_items; }
    int count() const { return int(m_items.size()); }

    // Whether some item's path equals path (A-Z folded on Windows only).
    bool isListed(const QString &path) const;

    // Adds each path that names an existing file not yet listed, in order, and returns
    // how many were added. If an error ends the loop, the files read before it stay
    // listed and the error goes on to the caller.
    int addFiles(const QStringList &paths);
    bool addFile(const QString &path) { return addFiles(QStringList{path}) > 0; }
    // Adds the files of folder (and of its subfolders when asked), all collected first.
    int addFolderFiles(const QString &folder, bool includeSubfolders);
    // Adds the items whose paths are not yet listed, in order.
    int addItems(RenameItems items);

    // Removes the items at the given rows (any order, duplicates allowed).
    void removeRowsAt(QList<int> rows);
    void clear();

    // Lets edit change the new names (a preview); the view is told afterwards, also
    // when edit throws.
    void updateNewNames(const std::function<void(RenameItems &)> &edit);
    // Lets edit change any field of the items (a batch moving files), but not their
    // number; the path index and the view are brought up to date afterwards, also when
    // edit throws.
    void updateItems(const std::function<void(RenameItems &)> &edit);

    // What a plan says of the rows, in the list's own terms, so that the list needs
    // nothing of how plans are made: each row's status, and the file name a numbered
    // row will really get.
    struct PlanOutcome
    {
        QList<PlanStatus> statuses;        // one per row
        QHash<int, QString> numberedNames; // row -> its numbered file name
    };
    // Shows a plan made for the current items: each row's status, and in the preview
    // column the name each file will really have (a numbered one, say). Any change of
    // the rows or of the items takes it away again, since it would no longer be true.
    void setPlan(const PlanOutcome &plan);
    // Puts the rows in the order of a column: names and folders in natural order (see
    // naturalCollator), sizes by value, statuses by kind; descending reverses it.
    // Views keep their selection; the plan goes, since {counter} follows the order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Moves the given rows one place up (step -1) or down (step 1), each past its
    // neighbour that is not moved; nothing moves when a row is at that end already.
    void moveRowsBy(QList<int> rows, int step);
    // Moves the given rows, in the list's order, to stand together before row before
    // (count() for the end), as dragging them there does.
    void moveRowsTo(QList<int> rows, int before);
    void clearPlan();
    bool hasPlan() const { return !m_statuses.isEmpty(); }
    // The options give no names (an invalid regular expression): the names of an earlier
    // preview no longer follow from them, so every row loses its new name and shows the
    // failure in its status until the next names arrive (updateNewNames).
    void showPreviewFailure(const QString &message);
    QString previewFailure() const { return m_previewFailure; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Rows dragged within the list travel as their numbers, marked with the list they
    // belong to; they land between two rows, and the drop moves them (rows are never
    // removed by a drag: the model offers no removeRows).
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // The header text of a column, translated.
    static QString columnHeader(int column);
    // A size as the list shows it, with a unit and one decimal ("4.2 MB"); empty for a
    // size that could not be read (-1).
    static QString formatSize(qint64 size, const QLocale &locale = QLocale());
    // The exact size, its digits grouped by the locale's thousands separator, and the
    // locale's word for bytes ("1,234,567 bytes"); empty for -1.
    static QString formatExactSize(qint64 size, const QLocale &locale = QLocale());

signals:
    // Rows were dragged to another place.
    void rowsDragged();

private:
    // The rows a drag from this list carries; empty for any other drag.
    QList<int> draggedRows(const QMimeData *data) const;
    void appendItems(RenameItems &pending);
    // order[new row] = old row.
    void reorder(const QList<qsizetype> &order);
    void reindex();
    // Whether item's path is listed, among the rows and the pending items that follow
    // them.
    bool isListed(const RenameItem &item, const RenameItems &pending) const;
    // The same; if not, it is listed now as the next pending one.
    bool listIfNew(const RenameItem &item, const RenameItems &pending);

    RenameItems m_items;
    PathIndex m_listed;
    QList<PlanStatus> m_statuses;     // per row, while a plan is shown
    QHash<int, QString> m_finalNames; // row -> its file name afterwards, where not NewName
    QString m_previewFailure;         // why the options gave no names, while they give none
    QLocale m_locale;
};
