#include "shell/historywindow.h"

#include "batch/fileoperations.h"
#include "batch/filesystemview.h"
#include "controller/renamecontroller.h"
#include "engine/filenamecodec.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "engine/workerthread.h"
#include "translation/translation.h"

#include <QAbstractTableModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// A state as people read it; historyStateWord gives the fixed words for tools.
QString historyStateText(HistoryState state)
{
    switch (state) {
    case HistoryState::Running:
        return translateText(u"Running"_s);
    case HistoryState::Done:
        return translateText(u"Done"_s);
    case HistoryState::Interrupted:
        return translateText(u"Interrupted"_s);
    case HistoryState::Undone:
        return translateText(u"Undone"_s);
    case HistoryState::PartlyUndone:
        return translateText(u"Partly undone"_s);
    }
    return {};
}

// The operation as the main window's operation list names it.
QString operationText(const QString &operation)
{
    if (operation == u"copy"_s)
        return translateText(u"Copy to folder"_s);
    if (operation == u"move"_s)
        return translateText(u"Move to folder"_s);
    return translateText(u"Rename in place"_s);
}

QString timeText(const QDateTime &time)
{
    // With seconds: batches run one after another often fall in the same minute.
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's'))
        format.replace(u"mm"_s, u"mm:ss"_s);
    return locale.toString(time.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(time.time(), format);
}

void setUpTable(QTableView *table)
{
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    // Tab leaves the table for the next control; the arrows move within it.
    table->setTabKeyNavigation(false);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    // Fixed row heights keep a plan of many thousand files fast to show.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
}

} // namespace

class BatchTableModel : public QAbstractTableModel
{
public:
    enum Column { TimeColumn, OperationColumn, FilesColumn, FolderColumn, StateColumn, Count };

    using QAbstractTableModel::QAbstractTableModel;

    const QList<HistoryEntry> &entries() const { return m_entries; }
    void setEntries(QList<HistoryEntry> entries)
    {
        beginResetModel();
        m_entries = std::move(entries);
        endResetModel();
    }
    void retranslate()
    {
        emit headerDataChanged(Qt::Horizontal, 0, Count - 1);
        if (!m_entries.isEmpty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, Count - 1));
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_entries.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : Count;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const HistoryEntry &entry = m_entries.at(index.row());
        if (role == Qt::TextAlignmentRole && index.column() == FilesColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole && index.column() == TimeColumn)
            return entry.id; // the id tessaly-cli and the messages name it by
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        switch (index.column()) {
        case TimeColumn:
            return timeText(entry.time);
        case OperationColumn:
            return operationText(entry.operation);
        case FilesColumn:
            return QLocale().toString(entry.files);
        case FolderColumn:
            return displayFileName(entry.folder);
        case StateColumn:
            return historyStateText(entry.state);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        switch (section) {
        case TimeColumn:
            return translateText(u"Time"_s);
        case OperationColumn:
            return translateText(u"Operation"_s);
        case FilesColumn:
            return translateText(u"Files"_s);
        case FolderColumn:
            return translateText(u"First folder"_s);
        case StateColumn:
            return translateText(u"State"_s);
        }
        return {};
    }

private:
    QList<HistoryEntry> m_entries;
};

class UndoPlanTableModel : public QAbstractTableModel
{
public:
    enum Column { CurrentColumn, RestoredColumn, StatusColumn, Count };

    using QAbstractTableModel::QAbstractTableModel;

    // batchTimes: the shown time of each batch on record, by id, for the rows a later
    // batch changed.
    void setPlan(const UndoPlan *plan, QHash<QString, QString> batchTimes)
    {
        beginResetModel();
        m_plan = plan;
        m_batchTimes = std::move(batchTimes);
        endResetModel();
    }
    void retranslate()
    {
        emit headerDataChanged(Qt::Horizontal, 0, Count - 1);
        if (rowCount() > 0)
            emit dataChanged(index(0, StatusColumn), index(rowCount() - 1, StatusColumn));
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() || !m_plan ? 0 : int(m_plan->rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : Count;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount() ||
            (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const UndoPlanRow &row = m_plan->rows.at(index.row());
        switch (index.column()) {
        case CurrentColumn:
            // A file an earlier undo brought back is where it was before the batch.
            return displayFileName(row.status == UndoStatus::Undone ? row.restored : row.current);
        case RestoredColumn:
            return displayFileName(row.restored);
        case StatusColumn:
            if (!row.laterBatch.isEmpty())
                return translateText(u"Changed by the batch of %1"_s)
                    .arg(m_batchTimes.value(row.laterBatch, row.laterBatch));
            return undoStatusText(row.status);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        switch (section) {
        case CurrentColumn:
            return translateText(u"Now at"_s);
        case RestoredColumn:
            return translateText(u"Restored to"_s);
        case StatusColumn:
            return translateText(u"Status"_s);
        }
        return {};
    }

private:
    const UndoPlan *m_plan = nullptr;
    QHash<QString, QString> m_batchTimes;
};

HistoryWindow::HistoryWindow(RenameController &controller, UserMessages &messages, QWidget *parent)
    : QDialog(parent)
    , m_controller(controller)
    , m_messages(messages)
{
    setObjectName(u"HistoryWindow"_s);
    m_batches = new BatchTableModel(this);
    m_planRows = new UndoPlanTableModel(this);

    m_batchTable = new QTableView(this);
    m_batchTable->setObjectName(u"batchTable"_s);
    m_batchTable->setModel(m_batches);
    setUpTable(m_batchTable);
    QHeaderView *header = m_batchTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(BatchTableModel::FolderColumn, QHeaderView::Stretch);

    m_planLabel = new QLabel(this);
    m_planLabel->setObjectName(u"undoPlanLabel"_s);
    m_planTable = new QTableView(this);
    m_planTable->setObjectName(u"undoPlanTable"_s);
    m_planTable->setModel(m_planRows);
    setUpTable(m_planTable);
    m_planLabel->setBuddy(m_planTable);
    header = m_planTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(UndoPlanTableModel::StatusColumn, QHeaderView::ResizeToContents);

    m_undoButton = new QPushButton(this);
    m_undoButton->setObjectName(u"undoButton"_s);
    m_redoButton = new QPushButton(this);
    m_redoButton->setObjectName(u"redoButton"_s);
    m_closeButton = new QPushButton(this);
    m_closeButton->setObjectName(u"closeButton"_s);
    // Enter undoes the chosen batch, which asks first; Escape closes the window.
    m_undoButton->setDefault(true);
    for (QPushButton *button : {m_redoButton, m_closeButton})
        button->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_undoButton);
    buttons->addWidget(m_redoButton);
    buttons->addWidget(m_closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_batchTable, 2);
    layout->addWidget(m_planLabel);
    layout->addWidget(m_planTable, 3);
    layout->addLayout(buttons);
    setTabOrder(m_batchTable, m_planTable);
    setTabOrder(m_planTable, m_undoButton);
    setTabOrder(m_undoButton, m_redoButton);
    setTabOrder(m_redoButton, m_closeButton);

    connect(m_batchTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::planChosenBatch);
    connect(m_undoButton, &QPushButton::clicked, this, &HistoryWindow::undoChosen);
    connect(m_redoButton, &QPushButton::clicked, this, &HistoryWindow::redoChosen);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_controller, &RenameController::busyChanged, this, [this](bool busy) {
        // A batch, an undo or a redo may have changed the history.
        if (!busy && isVisible())
            refresh();
        else
            enableButtons();
    });

    applyTranslatedCaptions();
    // As large as the screen allows, up to a size that shows a plan's paths.
    QSize size(960, 600);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    enableButtons();
}

HistoryWindow::~HistoryWindow()
{
    if (m_planner) {
        m_planner->wait();
        delete m_planner;
    }
}

void HistoryWindow::applyTranslatedCaptions()
{
    setWindowTitle(translateText(u"History"_s));
    m_planLabel->setText(m_planError.isEmpty()
                             ? translateText(u"What Undo would do with each file:"_s)
                             : m_planError);
    m_undoButton->setText(translateText(u"Undo"_s));
    m_redoButton->setText(translateText(u"Redo"_s));
    m_closeButton->setText(translateText(u"Close"_s));
    // Screen readers name each control by the text a user sees on or above it.
    m_batchTable->setAccessibleName(windowTitle());
    m_planTable->setAccessibleName(translateText(u"What Undo would do with each file:"_s));
    for (QPushButton *button : {m_undoButton, m_redoButton, m_closeButton})
        button->setAccessibleName(button->text());
    m_batches->retranslate();
    m_planRows->retranslate();
}

void HistoryWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        m_controller.isBusy()) {
        m_controller.requestStop();
        return;
    }
    QDialog::keyPressEvent(event);
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refresh();
    m_batchTable->setFocus();
}

QString HistoryWindow::chosenBatch() const
{
    const QModelIndex current = m_batchTable->currentIndex();
    return current.isValid() ? m_batches->entries().at(current.row()).id : QString();
}

void HistoryWindow::refresh()
{
    const QString chosen = chosenBatch();
    QList<HistoryEntry> entries;
    try {
        entries = readHistory();
    } catch (const TessalyError &error) {
        m_messages.error(error.message());
    }
    qsizetype row = entries.isEmpty() ? -1 : 0; // the newest batch, unless one was chosen
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).id == chosen)
            row = i;
    }
    m_batches->setEntries(std::move(entries));
    // A reset chooses nothing: the plan below follows the choice made now.
    if (row >= 0)
        m_batchTable->setCurrentIndex(m_batches->index(int(row), 0));
    else
        planChosenBatch();
}

void HistoryWindow::planChosenBatch()
{
    const QString id = chosenBatch();
    m_plan = {};
    m_planError.clear();
    m_planRows->setPlan(nullptr, {});
    enableButtons();
    if (id.isEmpty())
        return;
    if (m_planner) {
        m_planAgain = true; // the plan being made is for an older choice
        return;
    }
    struct Result
    {
        UndoPlan plan;
        QString error;
    };
    auto result = std::make_shared<Result>();
    m_planner = createWorkerThread(
        this,
        [result, id] {
            try {
                // Without the lock: this plan only shows; an undo plans again under it.
                SystemFileOperations files;
                SystemFileSystemView view;
                result->plan = planUndo(id, files, view, false);
            } catch (const TessalyError &error) {
                result->error = error.message();
            }
        },
        [this, result, id] {
            m_planner->deleteLater();
            m_planner = nullptr;
            if (std::exchange(m_planAgain, false) || id != chosenBatch())
                planChosenBatch();
            else
                showPlan(std::move(result->plan), result->error);
        });
    m_planner->start();
}

void HistoryWindow::showPlan(UndoPlan plan, const QString &error)
{
    m_plan = std::move(plan);
    m_planError = error;
    m_planLabel->setText(error.isEmpty() ? translateText(u"What Undo would do with each file:"_s)
                                         : error);
    QHash<QString, QString> times;
    for (const HistoryEntry &entry : m_batches->entries())
        times.insert(entry.id, timeText(entry.time));
    m_planRows->setPlan(&m_plan, std::move(times));
    enableButtons();
    emit planShown();
}

void HistoryWindow::enableButtons()
{
    const QModelIndex current = m_batchTable->currentIndex();
    const bool idle = !m_controller.isBusy();
    const HistoryEntry *entry =
        current.isValid() ? &m_batches->entries().at(current.row()) : nullptr;
    const bool planned = entry && m_plan.batch.id == entry->id;
    m_undoButton->setEnabled(idle && planned && m_plan.count(UndoStatus::Restore) > 0);
    m_redoButton->setEnabled(
        idle && entry &&
        (entry->state == HistoryState::Undone || entry->state == HistoryState::PartlyUndone));
}

void HistoryWindow::undoChosen()
{
    if (const QString id = chosenBatch(); !id.isEmpty() && !m_controller.isBusy())
        m_controller.startUndo(m_messages, id);
}

void HistoryWindow::redoChosen()
{
    if (const QString id = chosenBatch(); !id.isEmpty() && !m_controller.isBusy())
        m_controller.startRedo(m_messages, id);
}
