#include "unitmain.h"
#include "ui_unitmain.h"

#include "aboutbox.h"
#include "batchrunner.h"
#include "commandline.h"
#include "digitsonly.h"
#include "namebuilder.h"
#include "namelist.h"
#include "patternkeywords.h"
#include "presets.h"
#include "renameplan.h"
#include "shellservices.h"
#include "startup.h"
#include "tessalyerror.h"
#include "translation.h"
#include "usermessages.h"
#include "usettings.h"

#include <QActionGroup>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Colours the new name and the status of rows that are not plain renames; the status
// text says the same for those who cannot tell the colours apart.
class PlanStatusDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant status = index.data(FileListModel::PlanStatusRole);
        if (!status.isValid())
            return;
        QColor colour;
        switch (PlanStatus(status.toInt())) {
        case PlanStatus::Rename:
            return;
        case PlanStatus::Numbered:
        case PlanStatus::Overwrite:
            colour = QColor(0x9a, 0x5b, 0x00);
            break;
        case PlanStatus::Unchanged:
        case PlanStatus::Skip:
        case PlanStatus::Missing:
            colour = QColor(0x6b, 0x72, 0x7c);
            break;
        default: // the statuses that keep the batch from starting
            colour = QColor(0xb0, 0x1c, 0x1c);
            option->font.setBold(true);
            break;
        }
        option->palette.setColor(QPalette::Text, colour);
    }
};

constexpr int NameColumnWidth = 280;
constexpr int SizeColumnWidth = 90;
constexpr int StatusColumnWidth = 130;
constexpr int FolderColumnInitialWidth = 360;
constexpr int FolderColumnMinimum = 150;
constexpr int HomepageLinkWidth = 262;
constexpr int HomepageLinkHeight = 19;
// An edit gives room to a longer caption down to this width.
constexpr int MinimumEditWidth = 40;

// Halves go to the even neighbour, as the layout arithmetic expects (12.5 gives 12).
int roundHalfEven(double value)
{
    return int(std::nearbyint(value));
}

const QStringList &caseItems()
{
    static const QStringList items{Translatable(u"Unchanged"), Translatable(u"lowercase"),
                                   Translatable(u"UPPERCASE"), Translatable(u"Title Case")};
    return items;
}

const QStringList &batchModeItems()
{
    static const QStringList items{Translatable(u"Rename in place"),
                                   Translatable(u"Copy to folder"),
                                   Translatable(u"Move to folder")};
    return items;
}

void setItemTexts(QComboBox *box, const QStringList &sourceTexts)
{
    const int selected = box->currentIndex();
    if (box->count() != sourceTexts.size()) {
        box->clear();
        for (const QString &text : sourceTexts)
            box->addItem(TranslateText(text));
    } else {
        for (int i = 0; i < sourceTexts.size(); ++i)
            box->setItemText(i, TranslateText(sourceTexts.at(i)));
    }
    box->setCurrentIndex(selected);
}

// Shows each name and folder in its own direction: in a right-to-left window a Latin
// name would otherwise read in another order ("001_a.txt" as "a.txt_001").
class IsolatedTextDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!option->text.isEmpty())
            option->text = QChar(0x2068) + option->text + QChar(0x2069); // first strong isolate
    }
};

} // namespace

TFormMain::TFormMain(TFormSettings &formSettings, UserMessages &messages, ShellServices &shell,
                     QWidget *parent, const QStringList &arguments)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::TFormMain>())
    , m_formSettings(formSettings)
    , m_messages(messages)
    , m_shell(shell)
{
    InitShellResources();
    ui->setupUi(this);
    FormCreate(arguments);
}

QStringList TFormMain::ProgramArguments()
{
    return QCoreApplication::arguments().mid(1);
}

TFormMain::~TFormMain() = default;

QStringList TFormMain::StartPaths(const QStringList &arguments)
{
    QStringList paths;
    for (const QString &argument : arguments) {
        if (argument.isEmpty() || IsCommandLineKey(argument))
            continue;
        const QFileInfo info(argument);
        if (info.exists())
            paths.append(QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath())));
    }
    return paths;
}

void TFormMain::FormCreate(const QStringList &arguments)
{
    setWindowTitle(ApplicationTitle + u' ' + ApplicationVersion);
    setWindowIcon(ApplicationIcon());

    for (QWidget *hidden : std::initializer_list<QWidget *>{
             ui->btnClear, ui->btnAddFolder, ui->btnLoadNameList, ui->chkIncludeSubfolders})
        hidden->hide();
    ui->chkIncludeSubfolders->setChecked(false);

    // The menu bar is part of the window here; the design's client area is below it.
    resize(1262, 657 + ui->MainMenu1->sizeHint().height());

    ui->cbCase->clear();
    ui->cbCase->addItems(caseItems());
    ui->cbCase->setCurrentIndex(CaseMode::Unchanged);
    ui->chkNewExt->setChecked(false);
    ui->edtNewExt->setEnabled(false);
    ui->edtPattern->setText(u"{name}"_s);
    new PatternKeywordCompleter(ui->edtPattern);
    ui->cbBatchMode->clear();
    ui->cbBatchMode->addItems(batchModeItems());
    ui->cbBatchMode->setCurrentIndex(BatchMode::RenameInPlace);
    ui->edtInsertPos->setText(u"1"_s);
    ui->edtPadNumbers->setText(u"0"_s);
    ui->edtRemoveFromPos->setText(u"0"_s);
    ui->edtRemoveTillPos->setText(u"0"_s);
    ui->edtCharactersToRemove->clear();
    ui->chkCollapseDoubleSpaces->setChecked(false);
    for (QWidget *destination :
         std::initializer_list<QWidget *>{ui->lblDestination, ui->edtDestination, ui->Button2})
        destination->setEnabled(false);

    const std::pair<QLineEdit *, UpDown *> numberEdits[] = {
        {ui->edtInsertPos, ui->UpDown1},     {ui->edtRemoveFirst, ui->UpDown2},
        {ui->edtRemoveLast, ui->UpDown3},    {ui->edtPadNumbers, ui->UpDown4},
        {ui->edtRemoveFromPos, ui->UpDown5}, {ui->edtRemoveTillPos, ui->UpDown6},
    };
    for (const auto &[edit, upDown] : numberEdits) {
        AcceptOnlyDigits(edit);
        upDown->setBuddy(edit);
    }

    // The list: one model behind the view, fixed row heights so that long lists stay fast.
    QTableView *list = ui->lvFiles;
    list->setModel(&m_files);
    list->setItemDelegate(new IsolatedTextDelegate(list));
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    list->horizontalHeader()->setStretchLastSection(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setColumnWidth(FileListModel::OriginalNameColumn, NameColumnWidth);
    list->setColumnWidth(FileListModel::NewNameColumn, NameColumnWidth);
    list->setColumnWidth(FileListModel::FolderColumn, FolderColumnInitialWidth);
    list->setColumnWidth(FileListModel::SizeColumn, SizeColumnWidth);
    list->setColumnWidth(FileListModel::StatusColumn, StatusColumnWidth);
    auto *statusDelegate = new PlanStatusDelegate(list);
    list->setItemDelegateForColumn(FileListModel::NewNameColumn, statusDelegate);
    list->setItemDelegateForColumn(FileListModel::StatusColumn, statusDelegate);

    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(u"pmFiles"_s);
    m_listMenu->addAction(ui->miRemoveSelected);
    m_listMenu->addAction(ui->Clearlist1);
    connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        m_listMenu->popup(ui->lvFiles->viewport()->mapToGlobal(at));
    });

    // The status text and the link over the right end of the status bar.
    m_statusText = new QLabel(ui->StatusBar1);
    m_statusText->setObjectName(u"StatusBar1Text"_s);
    ui->StatusBar1->addWidget(m_statusText);
    m_planSummary = new QLabel(ui->StatusBar1);
    m_planSummary->setObjectName(u"StatusBar1Plan"_s);
    ui->StatusBar1->addWidget(m_planSummary, 1);
    // The summary describes the plan the list shows, and goes with it.
    const auto dropStaleSummary = [this] {
        if (!m_files.hasPlan())
            m_planSummary->clear();
    };
    connect(&m_files, &FileListModel::rowsInserted, this, dropStaleSummary);
    connect(&m_files, &FileListModel::rowsRemoved, this, dropStaleSummary);
    connect(&m_files, &FileListModel::dataChanged, this, dropStaleSummary);
    ui->StatusBar1->setFixedHeight(25);
    m_homepageLink = new QLabel(ui->StatusBar1);
    m_homepageLink->setObjectName(u"lbHomepageURL"_s);
    m_homepageLink->setText(HomepageAddress);
    m_homepageLink->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_homepageLink->setCursor(Qt::PointingHandCursor);
    m_homepageLink->setAutoFillBackground(true);
    // Its own background colour, which the style sheet leaves alone.
    m_homepageLink->setStyleSheet(u"QLabel { background: rgb(231, 233, 238); color: #1d6385; "
                                  u"padding: 0 2px; }"_s);
    m_homepageLink->resize(HomepageLinkWidth, HomepageLinkHeight);
    m_homepageLink->installEventFilter(this);
    // Absolute places do not follow the layout direction by themselves, so they are
    // kept here and mirrored for a right-to-left language.
    for (QWidget *panel : {ui->Panel2, ui->Panel5}) {
        for (QWidget *control : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            m_designPlaces.insert(control, control->geometry());
            if (qobject_cast<QGroupBox *>(control)) {
                for (QWidget *inner : control->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                    m_designPlaces.insert(inner, inner->geometry());
            }
        }
    }
    m_places = m_designPlaces;
    ui->Panel2->installEventFilter(this);
    ui->Panel5->installEventFilter(this);
    list->installEventFilter(this);

    setAcceptDrops(true);
    connectCommands();

    // Paths given to the program (a file manager's "Open with") go in as a drop would
    // put them, before the unattended run, which then works on them.
    const QStringList startPaths = StartPaths(arguments);
    if (!startPaths.isEmpty())
        RunCommand([this, &startPaths] { DropPaths(startPaths); });
    RunCommandLine(arguments);
    BuildLanguageMenu();
    ApplyTranslatedCaptions();
    if (m_files.count() > 0)
        UpdateFileCount();
}

void TFormMain::RunCommandLine(const QStringList &arguments)
{
    RenameOptions options = ReadRenameOptions();
    SystemFileOperations files;
    CommandLineOutcome outcome = CommandLineOutcome::Inactive;
    m_files.UpdateItems([&](TRenameItems &items) {
        outcome =
            ::RunCommandLine(arguments, options, items, m_importedNameList, m_messages, files);
    });
    if (outcome == CommandLineOutcome::Inactive)
        return;
    WriteRenameOptions(options);
    m_quitRequested = outcome == CommandLineOutcome::Quit;
}

void TFormMain::BuildLanguageMenu()
{
    const TranslationCatalogue &catalogue = CurrentCatalogue();
    auto *group = new QActionGroup(ui->mmLanguage);
    for (qsizetype column = 0; column < catalogue.languageCount(); ++column) {
        QAction *item = ui->mmLanguage->addAction(catalogue.displayName(column));
        item->setCheckable(true);
        item->setChecked(column == LanguageIndex());
        item->setData(int(column));
        group->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, item] { RunCommand([this, item] { LanguageMenuItemClick(item); }); });
    }
}

void TFormMain::LanguageMenuItemClick(QAction *item)
{
    for (QAction *other : ui->mmLanguage->actions())
        other->setChecked(false);
    item->setChecked(true);
    SelectLanguage(item->data().toInt());
    ApplyLanguageToQt();
    ApplyTranslatedCaptions();
}

void TFormMain::connectCommands()
{
    const auto onClick = [this](QAbstractButton *button, void (TFormMain::*command)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, command] { RunCommand([this, command] { (this->*command)(); }); });
    };
    const auto onTrigger = [this](QAction *action, void (TFormMain::*command)()) {
        connect(action, &QAction::triggered, this,
                [this, command] { RunCommand([this, command] { (this->*command)(); }); });
    };
    onClick(ui->btnAdd, &TFormMain::btnAddClick);
    onClick(ui->btnRemove, &TFormMain::btnRemoveClick);
    onClick(ui->btnPreview, &TFormMain::btnPreviewClick);
    onClick(ui->btnRename, &TFormMain::btnRenameClick);
    onClick(ui->btnUndo, &TFormMain::btnUndoClick);
    onClick(ui->btnSavePreset, &TFormMain::btnSavePresetClick);
    onClick(ui->btnLoadPreset, &TFormMain::btnLoadPresetClick);
    onClick(ui->btnClear, &TFormMain::btnClearClick);
    onClick(ui->btnAddFolder, &TFormMain::btnAddFolderClick);
    onClick(ui->btnLoadNameList, &TFormMain::btnLoadNameListClick);
    onClick(ui->SpeedButton1, &TFormMain::SpeedButton1Click);
    onClick(ui->SpeedButton4, &TFormMain::SpeedButton4Click);
    onClick(ui->Button1, &TFormMain::Button1Click);
    onClick(ui->Button2, &TFormMain::Button2Click);
    onTrigger(ui->AddFiles1, &TFormMain::btnAddClick);
    onTrigger(ui->RemoveSelected1, &TFormMain::btnRemoveClick);
    onTrigger(ui->SavePreset1, &TFormMain::btnSavePresetClick);
    onTrigger(ui->LoadPreset1, &TFormMain::btnLoadPresetClick);
    onTrigger(ui->Exit1, &TFormMain::Exit1Click);
    onTrigger(ui->Preview1, &TFormMain::btnPreviewClick);
    onTrigger(ui->Rename1, &TFormMain::btnRenameClick);
    onTrigger(ui->Undo1, &TFormMain::btnUndoClick);
    onTrigger(ui->ShowSettings1, &TFormMain::ShowSettings1Click);
    onTrigger(ui->utorial1, &TFormMain::utorial1Click);
    onTrigger(ui->ContactUs1, &TFormMain::ContactUs1Click);
    onTrigger(ui->VisitWebsite1, &TFormMain::lbHomepageURLClick);
    onTrigger(ui->About1, &TFormMain::SpeedButton4Click);
    onTrigger(ui->miRemoveSelected, &TFormMain::miRemoveSelectedClick);
    onTrigger(ui->Clearlist1, &TFormMain::Clearlist1Click);
    // Only a choice made by the user changes the destination controls; presets select
    // an operation without touching them.
    connect(ui->cbBatchMode, &QComboBox::activated, this,
            [this] { RunCommand([this] { cbBatchModeChange(); }); });
    // The new extension follows its check box however the box gets checked.
    connect(ui->chkNewExt, &QCheckBox::toggled, this,
            [this] { RunCommand([this] { chkNewExtClick(); }); });
}

void TFormMain::RunCommand(const std::function<void()> &command)
{
    try {
        command();
    } catch (const TessalyError &error) {
        m_messages.error(error.message());
    } catch (const std::exception &error) {
        m_messages.error(QString::fromLocal8Bit(error.what()));
    }
}

void TFormMain::ApplyTranslatedCaptions()
{
    const std::pair<QMenu *, QString> menus[] = {
        {ui->File1, Translatable(u"File")}, {ui->Operation1, Translatable(u"Operation")},
        {ui->View1, Translatable(u"View")}, {ui->mmLanguage, Translatable(u"Language")},
        {ui->Help1, Translatable(u"Help")},
    };
    for (const auto &[menu, text] : menus)
        menu->setTitle(TranslateText(text));
    const std::pair<QAction *, QString> actions[] = {
        {ui->AddFiles1, Translatable(u"Add Files...")},
        {ui->RemoveSelected1, Translatable(u"Remove Selected Items")},
        {ui->SavePreset1, Translatable(u"Save Preset As...")},
        {ui->LoadPreset1, Translatable(u"Load Preset...")},
        {ui->Exit1, Translatable(u"Exit")},
        {ui->Preview1, Translatable(u"Preview Result")},
        {ui->Rename1, Translatable(u"Rename Files!")},
        {ui->Undo1, Translatable(u"Undo Last Rename")},
        {ui->ShowSettings1, Translatable(u"Show Options")},
        {ui->utorial1, Translatable(u"Tutorial")},
        {ui->ContactUs1, Translatable(u"Contact Us")},
        {ui->VisitWebsite1, Translatable(u"Visit Website")},
        {ui->About1, Translatable(u"About...")},
    };
    for (const auto &[action, text] : actions)
        action->setText(TranslateText(text));
    const std::pair<QWidget *, QString> hints[] = {
        {ui->btnAdd, Translatable(u"Add Files...")},
        {ui->btnRemove, Translatable(u"Remove Selected Items")},
        {ui->btnPreview, Translatable(u"Preview Result")},
        {ui->btnRename, Translatable(u"Rename Files!")},
        {ui->btnUndo, Translatable(u"Undo Last Rename")},
        {ui->btnSavePreset, Translatable(u"Save Preset As...")},
        {ui->btnLoadPreset, Translatable(u"Load Preset...")},
        {ui->SpeedButton1, Translatable(u"Settings...")},
        {ui->SpeedButton4, Translatable(u"About...")},
    };
    for (const auto &[widget, text] : hints)
        widget->setToolTip(TranslateText(text));
    const std::pair<QLabel *, QString> labels[] = {
        {ui->lblFind, Translatable(u"Find in name:")},
        {ui->lblReplace, Translatable(u"Replace with:")},
        {ui->lblPattern, Translatable(u"Pattern:")},
        {ui->lblCase, Translatable(u"Case:")},
        {ui->lblInsertText, Translatable(u"Insert text")},
        {ui->lblInsertPos, Translatable(u"at position:")},
        {ui->lblRemoveFirst, Translatable(u"Remove first:")},
        {ui->lblRemoveLast, Translatable(u"Remove last:")},
        {ui->Label2, Translatable(u"Remove from position")},
        {ui->Label3, Translatable(u"until position:")},
        {ui->lblCropAfter, Translatable(u"Trim from text:")},
        {ui->lblCropBefore, Translatable(u"Trim until text:")},
        {ui->Label4, Translatable(u"Remove characters:")},
        {ui->lblPadNumbers, Translatable(u"Add leading zeroes to the numbers. Digits count:")},
        {ui->Label1, Translatable(u"Operation:")},
        {ui->lblDestination, Translatable(u"Destination:")},
    };
    for (const auto &[label, text] : labels)
        label->setText(TranslateText(text));
    ui->chkNewExt->setText(TranslateText(Translatable(u"New extension:")));
    ui->chkCollapseDoubleSpaces->setText(TranslateText(Translatable(u"Collapse double spaces")));
    setItemTexts(ui->cbCase, caseItems());
    setItemTexts(ui->cbBatchMode, batchModeItems());
    emit m_files.headerDataChanged(Qt::Horizontal, 0, FileListModel::ColumnCount - 1);
    m_statusText->setText(u"  "_s + TranslateText(u"Add the files"_s));
    fitCaptions();
}

RenameOptions TFormMain::ReadRenameOptions() const
{
    RenameOptions options;
    options.find = ui->edtFind->text();
    options.replace = ui->edtReplace->text();
    options.pattern = ui->edtPattern->text();
    options.caseMode = ui->cbCase->currentIndex();
    options.changeExt = ui->chkNewExt->isChecked();
    options.newExt = ui->edtNewExt->text();
    options.insertText = ui->edtInsertText->text();
    options.insertPos = ui->edtInsertPos->text();
    options.removeFirst = ui->edtRemoveFirst->text();
    options.removeLast = ui->edtRemoveLast->text();
    options.removeFromPos = ui->edtRemoveFromPos->text();
    options.removeTillPos = ui->edtRemoveTillPos->text();
    options.charactersToRemove = ui->edtCharactersToRemove->text();
    options.collapseDoubleSpaces = ui->chkCollapseDoubleSpaces->isChecked();
    options.cropBefore = ui->edtCropBefore->text();
    options.cropAfter = ui->edtCropAfter->text();
    options.padNumbers = ui->edtPadNumbers->text();
    options.includeSubfolders = ui->chkIncludeSubfolders->isChecked();
    options.batchMode = ui->cbBatchMode->currentIndex();
    options.destination = ui->edtDestination->text();
    m_formSettings.ReadOptions(options);
    return options;
}

void TFormMain::WriteRenameOptions(const RenameOptions &options)
{
    ui->edtFind->setText(options.find);
    ui->edtReplace->setText(options.replace);
    ui->edtPattern->setText(options.pattern);
    ui->cbCase->setCurrentIndex(options.caseMode);
    ui->chkNewExt->setChecked(options.changeExt);
    ui->edtNewExt->setText(options.newExt);
    ui->edtInsertText->setText(options.insertText);
    ui->edtInsertPos->setText(options.insertPos);
    ui->edtRemoveFirst->setText(options.removeFirst);
    ui->edtRemoveLast->setText(options.removeLast);
    ui->edtRemoveFromPos->setText(options.removeFromPos);
    ui->edtRemoveTillPos->setText(options.removeTillPos);
    ui->edtCharactersToRemove->setText(options.charactersToRemove);
    ui->chkCollapseDoubleSpaces->setChecked(options.collapseDoubleSpaces);
    ui->edtCropBefore->setText(options.cropBefore);
    ui->edtCropAfter->setText(options.cropAfter);
    ui->edtPadNumbers->setText(options.padNumbers);
    ui->chkIncludeSubfolders->setChecked(options.includeSubfolders);
    ui->cbBatchMode->setCurrentIndex(options.batchMode);
    ui->edtDestination->setText(options.destination);
    m_formSettings.WriteOptions(options);
}

// The file list.

void TFormMain::AddFile(const QString &path)
{
    m_files.AddFile(path);
}

void TFormMain::AddFolder(const QString &folder, bool includeSubfolders, bool runPreview)
{
    if (!QFileInfo(folder).isDir())
        return;
    m_files.AddFolderFiles(folder, includeSubfolders);
    if (runPreview)
        Preview();
}

void TFormMain::UpdateFileCount()
{
    m_statusText->setText(
        TranslateText(u"Files: %d"_s).replace(u"%d"_s, QString::number(m_files.count())));
}

QString TFormMain::StatusText() const
{
    return m_statusText->text();
}

void TFormMain::DropPaths(const QStringList &paths)
{
    // All files of the drop go in as one insertion, in the order of the dropped paths.
    TRenameItems items;
    const bool includeSubfolders = ui->chkIncludeSubfolders->isChecked();
    for (const QString &path : paths) {
        if (path.isEmpty())
            continue;
        if (QFileInfo(path).isDir())
            items.append(CollectFolderItems(path, includeSubfolders));
        else if (std::optional<TRenameItem> item = ReadRenameItem(path))
            items.append(std::move(*item));
    }
    m_files.AddItems(std::move(items));
    UpdateFileCount();
}

void TFormMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent *event)
{
    // Each path arrives whole, however long: a shortened path could name another file.
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    event->acceptProposedAction();
    RunCommand([this, &paths] { DropPaths(paths); });
}

void TFormMain::btnAddClick()
{
    const QStringList paths = m_shell.chooseFiles(this, TranslateText(u"Select files to add"_s),
                                                  TranslateText(u"All files (*.*)|*.*"_s));
    if (paths.isEmpty())
        return;
    m_files.AddFiles(paths);
    UpdateFileCount();
}

void TFormMain::btnAddFolderClick()
{
    const QString folder = m_shell.chooseFolder(this, TranslateText(u"Select folder"_s), QString());
    if (folder.isEmpty())
        return;
    AddFolder(folder, ui->chkIncludeSubfolders->isChecked(), true);
    UpdateFileCount();
}

QList<int> TFormMain::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ui->lvFiles->selectionModel()->selectedRows())
        rows.append(index.row());
    return rows;
}

void TFormMain::btnRemoveClick()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    m_files.RemoveRows(rows);
    UpdateFileCount();
}

void TFormMain::miRemoveSelectedClick()
{
    m_files.RemoveRows(selectedRows());
    UpdateFileCount();
}

void TFormMain::Clearlist1Click()
{
    if (!ui->lvFiles->selectionModel()->hasSelection())
        return;
    m_files.Clear();
    UpdateFileCount();
}

void TFormMain::btnClearClick()
{
    m_files.Clear();
    UpdateFileCount();
}

// Preview and the batch.

void TFormMain::Preview()
{
    const RenameOptions options = ReadRenameOptions();
    bool previewed = false;
    m_files.UpdateNewNames([&](TRenameItems &items) {
        previewed = PreviewNames(items, options, m_importedNameList, m_messages);
    });
    if (previewed)
        showPlan(options);
}

void TFormMain::showPlan(const RenameOptions &options)
{
    const bool toFolder = options.batchMode != BatchMode::RenameInPlace;
    if (toFolder && TrimControl(options.destination).isEmpty())
        return; // nowhere to plan for yet
    SystemFileSystemView view;
    const RenamePlan plan = PlanBatch(m_files.items(), options, view, true);
    m_files.setPlan(plan);
    m_planSummary->setText(PlanSummary(plan));
}

QString TFormMain::PlanSummaryText() const
{
    return m_planSummary->text();
}

void TFormMain::btnPreviewClick()
{
    Preview();
}

void TFormMain::btnRenameClick()
{
    if (m_files.count() == 0) {
        m_messages.information(
            TranslateText(u"Nothing to rename. Add files and build a preview first."_s));
        return;
    }
    const RenameOptions options = ReadRenameOptions();
    if (options.batchMode != BatchMode::RenameInPlace &&
        TrimControl(options.destination).isEmpty()) {
        m_messages.warning(
            TranslateText(u"Please select a destination folder for Copy/Move mode."_s));
        return;
    }
    // Planned afresh, since files may have changed since the preview; the list shows it.
    SystemFileSystemView view;
    const RenamePlan plan = PlanBatch(m_files.items(), options, view);
    m_files.setPlan(plan);
    m_planSummary->setText(PlanSummary(plan));
    if (plan.blocked()) {
        m_messages.warning(PlanBlockedMessage(m_files.items(), plan));
        return;
    }
    const qsizetype acting = plan.count(PlanStatus::Rename) + plan.count(PlanStatus::Numbered) +
                             plan.count(PlanStatus::Overwrite);
    QString question = TranslateText(u"Proceed to rename files as shown in the preview?"_s) +
                       u"\n\n"_s + TranslateText(u"Files to rename: %1"_s).arg(acting);
    if (const QString summary = PlanSummary(plan); !summary.isEmpty())
        question += u'\n' + summary;
    if (!m_messages.confirm(question))
        return;
    SystemFileOperations files;
    m_files.UpdateItems(
        [&](TRenameItems &items) { ExecutePlan(items, plan, options, m_messages, files); });
}

void TFormMain::btnUndoClick()
{
    SystemFileOperations files;
    UndoLastBatch(m_messages, files, [this] { btnClearClick(); });
}

// Preset files: the filter is the same in every language.
static const QString presetFilter = u"Preset JSON|*.json"_s;

void TFormMain::btnSavePresetClick()
{
    const QString path = m_shell.chooseSaveFile(this, presetFilter, u"json"_s);
    if (path.isEmpty())
        return;
    SavePresetFile(path, ReadRenameOptions());
}

void TFormMain::btnLoadPresetClick()
{
    const QString path = m_shell.chooseOpenFile(this, presetFilter);
    if (path.isEmpty())
        return;
    // The whole file is read and understood before the first control changes.
    WriteRenameOptions(LoadPresetFile(path, ReadRenameOptions()));
}

void TFormMain::btnLoadNameListClick()
{
    const QString path = m_shell.chooseOpenFile(
        this, TranslateText(u"Name list (*.txt;*.csv)|*.txt;*.csv|All files (*.*)|*.*"_s));
    if (path.isEmpty())
        return;
    m_importedNameList.clear();
    m_importedNameList = LoadNameList(path);
    Preview();
}

void TFormMain::SpeedButton4Click()
{
    m_messages.information(AboutText());
}

void TFormMain::Button1Click()
{
    m_messages.information(PatternHelpText());
}

// Controls tied to other controls.

void TFormMain::SpeedButton1Click()
{
    m_formSettings.exec();
}

void TFormMain::cbBatchModeChange()
{
    const bool toFolder = ui->cbBatchMode->currentIndex() > BatchMode::RenameInPlace;
    ui->lblDestination->setEnabled(toFolder);
    ui->edtDestination->setEnabled(toFolder);
    ui->Button2->setEnabled(toFolder);
}

void TFormMain::chkNewExtClick()
{
    ui->edtNewExt->setEnabled(ui->chkNewExt->isChecked());
}

void TFormMain::Button2Click()
{
    QString start = ui->edtDestination->text();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::currentPath();
    const QString folder =
        m_shell.chooseFolder(this, TranslateText(u"Select destination folder"_s), start);
    if (!folder.isEmpty())
        ui->edtDestination->setText(folder);
}

void TFormMain::ShowSettings1Click()
{
    // The panel keeps its place in the column layout, between the toolbar and the list.
    ui->Panel2->setVisible(ui->ShowSettings1->isChecked());
}

void TFormMain::utorial1Click()
{
    m_shell.openAddress(HomepageAddress + TutorialPath);
}

void TFormMain::ContactUs1Click()
{
    m_shell.openAddress(HomepageAddress + SupportPath);
}

void TFormMain::lbHomepageURLClick()
{
    m_shell.openAddress(HomepageAddress);
}

void TFormMain::Exit1Click()
{
    close();
}

// Layout.

void TFormMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFormMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange) {
        layOutFixedControls();
        FormResize();
    }
}

void TFormMain::FormResize()
{
    // The status bar is always the lowest part of the window here; only the link needs
    // placing, over its right end (its left end, right to left).
    const int barHeight = ui->StatusBar1->height();
    const int fromEdge = ui->StatusBar1->width() - m_homepageLink->width() - 25;
    m_homepageLink->move(layoutDirection() == Qt::RightToLeft ? 25 : fromEdge,
                         barHeight - roundHalfEven(barHeight / 2.0) -
                             roundHalfEven(m_homepageLink->height() / 2.0));
    m_homepageLink->raise();
    ResizeListColumns();
}

int TFormMain::ListClientWidth() const
{
    const QTableView *list = ui->lvFiles;
    int width = list->contentsRect().width();
    if (list->verticalScrollBar()->isVisible())
        width -= list->verticalScrollBar()->width();
    return width;
}

void TFormMain::ResizeListColumns()
{
    QTableView *list = ui->lvFiles;
    if (m_files.columnCount() < FileListModel::ColumnCount)
        return;
    list->setColumnWidth(FileListModel::OriginalNameColumn, NameColumnWidth);
    list->setColumnWidth(FileListModel::NewNameColumn, NameColumnWidth);
    list->setColumnWidth(FileListModel::SizeColumn, SizeColumnWidth);
    list->setColumnWidth(FileListModel::StatusColumn, StatusColumnWidth);
    const int taken = list->columnWidth(FileListModel::OriginalNameColumn) +
                      list->columnWidth(FileListModel::NewNameColumn) +
                      list->columnWidth(FileListModel::SizeColumn) +
                      list->columnWidth(FileListModel::StatusColumn);
    list->setColumnWidth(FileListModel::FolderColumn,
                         std::max(ListClientWidth() - taken - 6, FolderColumnMinimum));
}

void TFormMain::placeFixed(QWidget *control, const QRect &leftToRight) const
{
    QRect place = leftToRight;
    if (layoutDirection() == Qt::RightToLeft)
        place.moveLeft(control->parentWidget()->width() - leftToRight.left() - leftToRight.width());
    control->setGeometry(place);
}

void TFormMain::fitCaptions()
{
    m_places = m_designPlaces;
    const auto isEdit = [](const QWidget *control) {
        return qobject_cast<const QLineEdit *>(control) || qobject_cast<const QComboBox *>(control);
    };
    for (auto it = m_designPlaces.cbegin(); it != m_designPlaces.cend(); ++it) {
        QWidget *caption = it.key();
        const auto *label = qobject_cast<const QLabel *>(caption);
        if (!(label && !label->wordWrap()) && !qobject_cast<const QCheckBox *>(caption))
            continue;
        QRect &place = m_places[caption];
        const int missing = caption->sizeHint().width() - place.width();
        if (missing <= 0)
            continue;
        // The nearest control on each side in the same row.
        QWidget *before = nullptr;
        QWidget *after = nullptr;
        for (auto other = m_designPlaces.cbegin(); other != m_designPlaces.cend(); ++other) {
            const QRect &rect = other.value();
            if (other.key()->parentWidget() != caption->parentWidget() ||
                std::abs(rect.center().y() - place.center().y()) > 12)
                continue;
            if (rect.right() < place.left() &&
                (!before || rect.right() > m_designPlaces.value(before).right()))
                before = other.key();
            if (rect.left() > place.right() &&
                (!after || rect.left() < m_designPlaces.value(after).left()))
                after = other.key();
        }
        const auto spare = [&](QWidget *control) {
            return control && isEdit(control) ? m_places.value(control).width() - MinimumEditWidth
                                              : 0;
        };
        const bool takeBefore = spare(before) > spare(after);
        QWidget *giver = takeBefore ? before : after;
        const int taken = std::min(missing, spare(giver));
        if (taken <= 0)
            continue;
        QRect &given = m_places[giver];
        if (takeBefore) {
            given.setRight(given.right() - taken);
            place.setLeft(place.left() - taken);
        } else {
            given.setLeft(given.left() + taken);
            place.setRight(place.right() + taken);
        }
    }
    layOutFixedControls();
}

void TFormMain::layOutFixedControls()
{
    for (auto it = m_places.cbegin(); it != m_places.cend(); ++it) {
        if (it.key()->parentWidget() != ui->Panel5)
            placeFixed(it.key(), it.value());
    }
    layOutOperationStrip();
}

void TFormMain::layOutOperationStrip()
{
    // The destination edit stretches with the strip; "..." keeps its distance to the
    // right edge.
    const int width = ui->Panel5->width();
    QRect edit = m_places.value(ui->edtDestination);
    edit.setWidth(std::max(width - edit.left() - 86, MinimumEditWidth));
    QRect button = m_places.value(ui->Button2);
    button.moveLeft(std::max(width - 76, edit.right() + 10));
    for (QWidget *control : {ui->Label1, ui->lblDestination})
        placeFixed(control, m_places.value(control));
    placeFixed(ui->cbBatchMode, m_places.value(ui->cbBatchMode));
    placeFixed(ui->edtDestination, edit);
    placeFixed(ui->Button2, button);
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->Panel5 && event->type() == QEvent::Resize) {
        layOutOperationStrip();
    } else if (watched == ui->Panel2 && event->type() == QEvent::Resize) {
        if (layoutDirection() == Qt::RightToLeft)
            layOutFixedControls();
    } else if (watched == ui->lvFiles && event->type() == QEvent::Resize) {
        // The list is laid out after the window's own resize on the first showing; a
        // change of its height alone (the options panel) keeps dragged column widths.
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->size().width() != resize->oldSize().width())
            ResizeListColumns();
    } else if (watched == m_homepageLink) {
        if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
            QFont font = m_homepageLink->font();
            font.setUnderline(event->type() == QEvent::Enter);
            m_homepageLink->setFont(font);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            RunCommand([this] { lbHomepageURLClick(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
