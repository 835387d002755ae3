#include "shell/mainwindow.h"
#include "ui_mainwindow.h"

#include "batch/batchrunner.h"
#include "batch/renameplan.h"
#include "batch/undo.h"
#include "controller/windowcommandline.h"
#include "engine/namebuilder.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "filelist/namelist.h"
#include "filelist/naturalorder.h"
#include "filelist/presets.h"
#include "optionsdialog/digitsonly.h"
#include "optionsdialog/optioncontrols.h"
#include "optionsdialog/optionsdialog.h"
#include "optionsdialog/twolines.h"
#include "shell/aboutbox.h"
#include "shell/colourscheme.h"
#include "shell/historywindow.h"
#include "shell/patternkeywords.h"
#include "shell/shellservices.h"
#include "shell/startup.h"
#include "translation/translation.h"

#include <QAccessible>
#include <QActionGroup>
#include <QIcon>
#include <QBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QScopedValueRollback>
#include <QSettings>
#include <QLineEdit>
#include <QComboBox>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QToolButton>
#include <QTimer>
#include <QShortcut>
#include <QProgressBar>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QSet>
#include <QStyledItemDelegate>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

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

// Colours the new name and the status of rows that are not plain renames; the status
// text says the same for those who cannot tell the colours apart.
class PlanStatusDelegate : public IsolatedTextDelegate
{
public:
    using IsolatedTextDelegate::IsolatedTextDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        IsolatedTextDelegate::initStyleOption(option, index);
        const QVariant status = index.data(FileListModel::PlanStatusRole);
        if (!status.isValid())
            return;
        // The colours of the light or dark set, as the desktop's palette is now.
        const ColourScheme &scheme = currentColourScheme();
        QColor colour;
        switch (PlanStatus(status.toInt())) {
        case PlanStatus::Rename:
            return;
        case PlanStatus::Numbered:
        case PlanStatus::Overwrite:
        case PlanStatus::HiddenCharacters:
            colour = scheme.warningText;
            break;
        case PlanStatus::Unchanged:
        case PlanStatus::Skip:
        case PlanStatus::Missing:
            colour = scheme.mutedText;
            break;
        default: // the statuses that keep the batch from starting
            colour = scheme.errorText;
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
// The link's text ends this far before the end of the status bar.
constexpr int HomepageLinkMargin = 25;
// The window's client area at its default size, below the menu bar, and the options
// panel's height there.
constexpr QSize defaultClientSize(1262, 657);
constexpr int OptionsPanelHeight = 215;
// Room for a window manager's frame and title bar, which are unknown before the
// window is first shown.
constexpr QMargins expectedFrame(8, 32, 8, 8);
// A cell's text stands this far from the cell's edges, both sides together.
constexpr int CellPadding = 16;

// Whether a caption's letters are typed through an input method rather than straight
// from the keyboard, so that a menu key cannot be one of them.
bool isIdeographic(QChar letter)
{
    switch (letter.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
        return true;
    default:
        return false;
    }
}

// The position in text of the letter to use as a menu key: the first free letter that
// starts a word, else the first free letter; -1 when there is none.
qsizetype mnemonicPosition(const QString &text, const QSet<QChar> &used)
{
    for (const bool wordStartsOnly : {true, false}) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (!c.isLetter() || isIdeographic(c) || used.contains(c.toLower()))
                continue;
            if (wordStartsOnly && i > 0 && text.at(i - 1).isLetterOrNumber())
                continue;
            return i;
        }
    }
    return -1;
}

// text with a menu key that is not in used yet (which then holds it too). Captions in
// East Asian scripts carry the key of the English caption in brackets, "ファイル(&F)", as is
// usual there.
QString withMnemonic(const QString &text, const QString &source, QSet<QChar> &used)
{
    QString caption = text;
    caption.replace(u'&', u"&&"_s);
    if (const qsizetype at = mnemonicPosition(text, used); at >= 0) {
        used.insert(text.at(at).toLower());
        return text.left(at).replace(u'&', u"&&"_s) + u'&' + text.mid(at).replace(u'&', u"&&"_s);
    }
    if (const qsizetype at = mnemonicPosition(source, used); at >= 0) {
        used.insert(source.at(at).toLower());
        return caption + u"(&"_s + source.at(at).toUpper() + u')';
    }
    return caption;
}

// A caption as shown, without its menu key ("&&" is a shown ampersand).
QString withoutMnemonic(const QString &caption)
{
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == u'&' && i + 1 < caption.size())
            ++i;
        text.append(caption.at(i));
    }
    return text;
}

// The English caption of a menu or menu item, kept from the form before any translation.
const char *const SourceCaption = "sourceCaption";

QString sourceCaption(const QObject *object, const QString &fallback)
{
    const QVariant source = object->property(SourceCaption);
    return source.isValid() ? source.toString() : fallback;
}

const QStringList &caseItems()
{
    static const QStringList items{translatable(u"Unchanged"), translatable(u"lowercase"),
                                   translatable(u"UPPERCASE"), translatable(u"Title Case")};
    return items;
}

const QStringList &batchModeItems()
{
    static const QStringList items{translatable(u"Rename in place"),
                                   translatable(u"Copy to folder"),
                                   translatable(u"Move to folder")};
    return items;
}

void setItemTexts(QComboBox *box, const QStringList &sourceTexts)
{
    const int selected = box->currentIndex();
    if (box->count() != sourceTexts.size()) {
        box->clear();
        for (const QString &text : sourceTexts)
            box->addItem(translateText(text));
    } else {
        for (int i = 0; i < sourceTexts.size(); ++i)
            box->setItemText(i, translateText(sourceTexts.at(i)));
    }
    box->setCurrentIndex(selected);
}

} // namespace

MainWindow::MainWindow(OptionsDialog &formSettings, UserMessages &messages, ShellServices &shell,
                       QWidget *parent, const QStringList &arguments)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , m_formSettings(formSettings)
    , m_messages(messages)
    , m_shell(shell)
{
    initShellResources();
    ui->setupUi(this);
    setUpWindow(arguments);
}

QStringList MainWindow::programArguments()
{
    return QCoreApplication::arguments().mid(1);
}

MainWindow::~MainWindow() = default;

QStringList MainWindow::startPaths(const QStringList &arguments)
{
    QStringList paths;
    for (const QString &argument : arguments) {
        if (argument.isEmpty() || isCommandLineKey(argument))
            continue;
        const QFileInfo info(argument);
        if (info.exists())
            paths.append(QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath())));
    }
    return paths;
}

void MainWindow::setUpWindow(const QStringList &arguments)
{
    setWindowTitle(ApplicationTitle + u' ' + ApplicationVersion);
    setWindowIcon(applicationIcon());

    // The subfolder choice lives in the File menu beside Add Folder, which keeps the
    // toolbar narrow; the box holds the state that presets carry.
    for (QWidget *hidden : std::initializer_list<QWidget *>{ui->clearButton, ui->loadNameListButton,
                                                            ui->includeSubfoldersCheck})
        hidden->hide();
    ui->includeSubfoldersCheck->setChecked(false);

    ui->caseCombo->clear();
    ui->caseCombo->addItems(caseItems());
    ui->caseCombo->setCurrentIndex(CaseMode::Unchanged);
    ui->newExtensionCheck->setChecked(false);
    ui->newExtensionEdit->setEnabled(false);
    ui->patternEdit->setText(u"{name}"_s);
    new PatternKeywordCompleter(ui->patternEdit);
    ui->operationCombo->clear();
    ui->operationCombo->addItems(batchModeItems());
    ui->operationCombo->setCurrentIndex(BatchMode::RenameInPlace);
    ui->insertPositionEdit->setText(u"1"_s);
    ui->padNumbersEdit->setText(u"0"_s);
    ui->removeFromPositionEdit->setText(u"0"_s);
    ui->removeUntilPositionEdit->setText(u"0"_s);
    ui->removeCharactersEdit->clear();
    ui->collapseSpacesCheck->setChecked(false);
    for (QWidget *destination : std::initializer_list<QWidget *>{
             ui->destinationLabel, ui->destinationEdit, ui->chooseDestinationButton})
        destination->setEnabled(false);

    const std::pair<QLineEdit *, NumberStepper *> numberEdits[] = {
        {ui->insertPositionEdit, ui->insertPositionStepper},
        {ui->removeFirstEdit, ui->removeFirstStepper},
        {ui->removeLastEdit, ui->removeLastStepper},
        {ui->padNumbersEdit, ui->padNumbersStepper},
        {ui->removeFromPositionEdit, ui->removeFromPositionStepper},
        {ui->removeUntilPositionEdit, ui->removeUntilPositionStepper},
    };
    for (const auto &[edit, upDown] : numberEdits) {
        acceptOnlyDigits(edit);
        upDown->setBuddy(edit);
    }
    // Each caption belongs to the field beside it: a screen reader says it with the field.
    const std::pair<QLabel *, QWidget *> buddies[] = {
        {ui->findLabel, ui->findEdit},
        {ui->replaceLabel, ui->replaceEdit},
        {ui->patternLabel, ui->patternEdit},
        {ui->caseLabel, ui->caseCombo},
        {ui->insertTextLabel, ui->insertTextEdit},
        {ui->insertPositionLabel, ui->insertPositionEdit},
        {ui->removeFirstLabel, ui->removeFirstEdit},
        {ui->removeLastLabel, ui->removeLastEdit},
        {ui->removeFromPositionLabel, ui->removeFromPositionEdit},
        {ui->removeUntilPositionLabel, ui->removeUntilPositionEdit},
        {ui->trimFromLabel, ui->trimFromEdit},
        {ui->trimUntilLabel, ui->trimUntilEdit},
        {ui->removeCharactersLabel, ui->removeCharactersEdit},
        {ui->padNumbersLabel, ui->padNumbersEdit},
        {ui->operationLabel, ui->operationCombo},
        {ui->destinationLabel, ui->destinationEdit},
    };
    for (const auto &[label, field] : buddies)
        label->setBuddy(field);

    // The list: one model behind the view, fixed row heights so that long lists stay fast.
    QTableView *list = ui->fileTable;
    list->setModel(&m_files);
    list->setItemDelegate(new IsolatedTextDelegate(list));
    // Tab leaves the list for the next control (the keyboard is never caught in it); the
    // arrows move within it.
    list->setTabKeyNavigation(false);
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    list->horizontalHeader()->setStretchLastSection(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_nameColumnWidths[0] = m_nameColumnWidths[1] = NameColumnWidth;
    list->setColumnWidth(FileListModel::OriginalNameColumn, NameColumnWidth);
    list->setColumnWidth(FileListModel::NewNameColumn, NameColumnWidth);
    list->setColumnWidth(FileListModel::FolderColumn, FolderColumnInitialWidth);
    list->setColumnWidth(FileListModel::SizeColumn, SizeColumnWidth);
    list->setColumnWidth(FileListModel::StatusColumn, StatusColumnWidth);
    // A name column the user drags keeps that width, across a change of the window's
    // width and the next start.
    connect(list->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (!m_fittingColumns && (column == FileListModel::OriginalNameColumn ||
                                          column == FileListModel::NewNameColumn))
                    m_nameColumnWidths[column] = width;
            });
    auto *statusDelegate = new PlanStatusDelegate(list);
    list->setItemDelegateForColumn(FileListModel::NewNameColumn, statusDelegate);
    list->setItemDelegateForColumn(FileListModel::StatusColumn, statusDelegate);

    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(u"fileListMenu"_s);
    m_listMenu->addAction(ui->listRemoveSelectedAction);
    m_listMenu->addAction(ui->listClearAction);
    connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        m_listMenu->popup(ui->fileTable->viewport()->mapToGlobal(at));
    });
    // The menu key and Shift+F10 open it at the current row (keyboardMenuPlace).
    list->installEventFilter(this);

    // The status text and the link over the right end of the status bar.
    m_statusText = new QLabel(ui->statusBar);
    m_statusText->setObjectName(u"statusText"_s);
    ui->statusBar->addWidget(m_statusText);
    m_planSummary = new QLabel(ui->statusBar);
    m_planSummary->setObjectName(u"planSummary"_s);
    // A long summary is cut at the window's edge rather than widening the window.
    m_planSummary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui->statusBar->addWidget(m_planSummary, 1);
    // The summary describes the plan the list shows, and goes with it.
    const auto dropStaleSummary = [this] {
        if (!m_files.hasPlan())
            m_planSummary->clear();
    };
    connect(&m_files, &FileListModel::rowsInserted, this, dropStaleSummary);
    connect(&m_files, &FileListModel::rowsRemoved, this, dropStaleSummary);
    connect(&m_files, &FileListModel::dataChanged, this, dropStaleSummary);
    // The count is the list's, whichever command or work changed it.
    connect(&m_files, &FileListModel::rowsInserted, this, &MainWindow::updateFileCount);
    connect(&m_files, &FileListModel::rowsRemoved, this, &MainWindow::updateFileCount);
    connect(&m_files, &FileListModel::modelReset, this, &MainWindow::updateFileCount);
    buildProgressRow();
    m_homepageLink = new QLabel(ui->statusBar);
    m_homepageLink->setObjectName(u"homepageLink"_s);
    m_homepageLink->setText(HomepageAddress);
    m_homepageLink->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_homepageLink->setCursor(Qt::PointingHandCursor);
    m_homepageLink->setAutoFillBackground(true);
    // Its colours come from the style sheet's light or dark set; its text ends 25 pixels
    // before the end of the bar.
    m_homepageLink->setStyleSheet(u"QLabel { padding: 0 %1px 0 2px; }"_s.arg(HomepageLinkMargin));
    m_homepageLink->installEventFilter(this);
    ui->statusBar->addPermanentWidget(m_homepageLink);
    layOutWindow();

    setAcceptDrops(true);
    buildListCommands();
    connectCommands();
    setUpKeyboard();

    // Paths given to the program (a file manager's "Open with") go in as a drop puts
    // them: on the controller's thread, so that a large folder keeps the window
    // answering; for the unattended run at once, since it works on them.
    const QStringList givenPaths = startPaths(arguments);
    if (!givenPaths.isEmpty()) {
        if (hasSwitch(arguments, u"cli"_s))
            runCommand([this, &givenPaths] { addPathsNow(givenPaths); });
        else
            m_controller.addPaths(givenPaths, ui->includeSubfoldersCheck->isChecked());
    }
    runCommandLine(arguments);
    buildLanguageMenu();
    applyTranslatedCaptions();
    followChanges();
    if (!m_quitRequested)
        schedulePreview();
    placeOnScreen();
    restoreWindowPlace();
}

static QSettings windowSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s);
}

void MainWindow::restoreWindowPlace()
{
    // The name columns as the user last made them; the folder column takes the rest.
    const QStringList widths =
        windowSettings().value(u"Window/nameColumns"_s).toString().split(u',');
    for (int column : {0, 1}) {
        const int width = widths.value(column).toInt();
        if (width >= 30 && width <= 4000)
            m_nameColumnWidths[column] = width;
    }
    fitListColumns();
    const QByteArray geometry = windowSettings().value(u"Window/geometry"_s).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        return;
    // A screen that was there last time may be gone: come back onto the nearest one.
    const QRect frame = frameGeometry();
    QScreen *screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    if (!room.contains(frame.topLeft()) || !room.intersects(frame)) {
        resize(size().boundedTo(room.size()));
        // Centred, but with the title bar on the screen when the window is larger.
        move(room.left() + std::max(0, (room.width() - frame.width()) / 2),
             room.top() + std::max(0, (room.height() - frame.height()) / 2));
    }
}

void MainWindow::saveWindowPlace() const
{
    QSettings settings = windowSettings();
    settings.setValue(u"Window/geometry"_s, saveGeometry());
    settings.setValue(u"Window/nameColumns"_s,
                      u"%1,%2"_s.arg(m_nameColumnWidths[0]).arg(m_nameColumnWidths[1]));
}

void MainWindow::runCommandLine(const QStringList &arguments)
{
    RenameOptions options = readOptions();
    const CommandLineOutcome outcome = m_controller.runCommandLine(arguments, options, m_messages);
    if (outcome == CommandLineOutcome::Inactive)
        return;
    showOptions(options);
    m_quitRequested = outcome == CommandLineOutcome::Quit;
}

void MainWindow::buildLanguageMenu()
{
    const TranslationCatalogue &catalogue = currentCatalogue();
    auto *group = new QActionGroup(ui->languageMenu);
    for (qsizetype column = 0; column < catalogue.languageCount(); ++column) {
        QAction *item = ui->languageMenu->addAction(catalogue.displayName(column));
        item->setCheckable(true);
        item->setChecked(column == languageIndex());
        item->setData(int(column));
        group->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, item] { runCommand([this, item] { chooseLanguage(item); }); });
    }
}

void MainWindow::chooseLanguage(QAction *item)
{
    for (QAction *other : ui->languageMenu->actions())
        other->setChecked(false);
    item->setChecked(true);
    selectLanguage(item->data().toInt());
    applyLanguageToQt();
    applyTranslatedCaptions();
}

void MainWindow::connectCommands()
{
    const auto onClick = [this](QAbstractButton *button, void (MainWindow::*command)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, command] { runCommand([this, command] { (this->*command)(); }); });
    };
    const auto onTrigger = [this](QAction *action, void (MainWindow::*command)()) {
        connect(action, &QAction::triggered, this,
                [this, command] { runCommand([this, command] { (this->*command)(); }); });
    };
    onClick(ui->addFilesToolButton, &MainWindow::addFiles);
    onClick(ui->removeToolButton, &MainWindow::removeSelectedFiles);
    onClick(ui->previewToolButton, &MainWindow::preview);
    onClick(ui->renameToolButton, &MainWindow::rename);
    onClick(ui->undoToolButton, &MainWindow::undoLastBatch);
    onClick(ui->savePresetToolButton, &MainWindow::savePreset);
    onClick(ui->loadPresetToolButton, &MainWindow::loadPreset);
    onClick(ui->clearButton, &MainWindow::clearList);
    onClick(ui->addFolderButton, &MainWindow::chooseFolderToAdd);
    onClick(ui->loadNameListButton, &MainWindow::loadNameList);
    onClick(ui->optionsToolButton, &MainWindow::showOptionsDialog);
    onClick(ui->aboutToolButton, &MainWindow::showAbout);
    onClick(ui->patternHelpButton, &MainWindow::showPatternHelp);
    onClick(ui->chooseDestinationButton, &MainWindow::chooseDestination);
    onTrigger(ui->addFilesAction, &MainWindow::addFiles);
    onTrigger(ui->removeSelectedAction, &MainWindow::removeSelectedFiles);
    onTrigger(ui->savePresetAction, &MainWindow::savePreset);
    onTrigger(ui->loadPresetAction, &MainWindow::loadPreset);
    onTrigger(ui->exitAction, &MainWindow::exitProgram);
    onTrigger(ui->previewAction, &MainWindow::preview);
    onTrigger(ui->renameAction, &MainWindow::rename);
    onTrigger(ui->undoAction, &MainWindow::undoLastBatch);
    onTrigger(ui->showOptionsAction, &MainWindow::showOptionsPanel);
    onTrigger(ui->tutorialAction, &MainWindow::openTutorial);
    onTrigger(ui->contactUsAction, &MainWindow::openSupportPage);
    onTrigger(ui->visitWebsiteAction, &MainWindow::openHomepage);
    onTrigger(ui->aboutAction, &MainWindow::showAbout);
    onTrigger(ui->listRemoveSelectedAction, &MainWindow::removeSelectedFromMenu);
    onTrigger(ui->listClearAction, &MainWindow::clearListFromMenu);
    // Only a choice made by the user changes the destination controls; presets select
    // an operation without touching them.
    connect(ui->operationCombo, &QComboBox::activated, this,
            [this] { runCommand([this] { enableDestination(); }); });
    // The new extension follows its check box however the box gets checked.
    connect(ui->newExtensionCheck, &QCheckBox::toggled, this,
            [this] { runCommand([this] { enableNewExtension(); }); });
}

void MainWindow::runCommand(const std::function<void()> &command)
{
    try {
        command();
    } catch (const TessalyError &error) {
        m_messages.error(error.message());
    } catch (const std::exception &error) {
        m_messages.error(QString::fromLocal8Bit(error.what()));
    }
}

void MainWindow::applyTranslatedCaptions()
{
    const std::pair<QMenu *, QString> menus[] = {
        {ui->fileMenu, translatable(u"File")}, {ui->operationMenu, translatable(u"Operation")},
        {ui->viewMenu, translatable(u"View")}, {ui->languageMenu, translatable(u"Language")},
        {ui->helpMenu, translatable(u"Help")},
    };
    for (const auto &[menu, text] : menus)
        menu->setTitle(translateText(text));
    const std::pair<QAction *, QString> actions[] = {
        {ui->addFilesAction, translatable(u"Add Files...")},
        {m_addFolderAction, translatable(u"Add Folder...")},
        {m_includeSubfoldersAction, translatable(u"Include subfolders")},
        {m_moveUpAction, translatable(u"Move Up")},
        {m_moveDownAction, translatable(u"Move Down")},
        {ui->removeSelectedAction, translatable(u"Remove Selected Items")},
        {m_clearListAction, translatable(u"Clear list")},
        {ui->listClearAction, translatable(u"Clear list")},
        {ui->savePresetAction, translatable(u"Save Preset As...")},
        {ui->loadPresetAction, translatable(u"Load Preset...")},
        {ui->exitAction, translatable(u"Exit")},
        {ui->previewAction, translatable(u"Preview Result")},
        {ui->renameAction, translatable(u"Rename Files!")},
        {ui->undoAction, translatable(u"Undo Last Rename")},
        {m_historyAction, translatable(u"History...")},
        {ui->showOptionsAction, translatable(u"Show Options")},
        {ui->tutorialAction, translatable(u"Tutorial")},
        {ui->contactUsAction, translatable(u"Contact Us")},
        {ui->visitWebsiteAction, translatable(u"Visit Website")},
        {ui->aboutAction, translatable(u"About...")},
    };
    for (const auto &[action, text] : actions)
        action->setText(translateText(text));
    const std::pair<QWidget *, QString> hints[] = {
        {ui->addFilesToolButton, translatable(u"Add Files...")},
        {ui->addFolderButton, translatable(u"Add Folder...")},
        {ui->removeToolButton, translatable(u"Remove Selected Items")},
        {ui->previewToolButton, translatable(u"Preview Result")},
        {ui->renameToolButton, translatable(u"Rename Files!")},
        {ui->undoToolButton, translatable(u"Undo Last Rename")},
        {ui->savePresetToolButton, translatable(u"Save Preset As...")},
        {ui->loadPresetToolButton, translatable(u"Load Preset...")},
        {ui->optionsToolButton, translatable(u"Settings...")},
        {ui->aboutToolButton, translatable(u"About...")},
    };
    for (const auto &[widget, text] : hints) {
        widget->setToolTip(translateText(text));
        // An icon has no text for a screen reader to say: the button is named by its command.
        widget->setAccessibleName(spokenCaption(widget->toolTip()));
    }
    const std::pair<QLabel *, QString> labels[] = {
        {ui->findLabel, translatable(u"Find in name:")},
        {ui->replaceLabel, translatable(u"Replace with:")},
        {ui->patternLabel, translatable(u"Pattern:")},
        {ui->caseLabel, translatable(u"Case:")},
        {ui->insertTextLabel, translatable(u"Insert text")},
        {ui->insertPositionLabel, translatable(u"at position:")},
        {ui->removeFirstLabel, translatable(u"Remove first:")},
        {ui->removeLastLabel, translatable(u"Remove last:")},
        {ui->removeFromPositionLabel, translatable(u"Remove from position")},
        {ui->removeUntilPositionLabel, translatable(u"until position:")},
        // The form's names cross over: trimFromLabel captions trimFromEdit and
        // trimUntilLabel trimUntilEdit; the texts say what each field does.
        {ui->trimFromLabel, translatable(u"Trim from text:")},
        {ui->trimUntilLabel, translatable(u"Trim until text:")},
        {ui->removeCharactersLabel, translatable(u"Remove characters:")},
        {ui->padNumbersLabel, translatable(u"Add leading zeroes to the numbers. Digits count:")},
        {ui->operationLabel, translatable(u"Operation:")},
        {ui->destinationLabel, translatable(u"Destination:")},
    };
    for (const auto &[label, text] : labels)
        label->setText(translateText(text));
    ui->newExtensionCheck->setText(translateText(translatable(u"New extension:")));
    ui->collapseSpacesCheck->setText(translateText(translatable(u"Collapse double spaces")));
    ui->includeSubfoldersCheck->setText(translateText(translatable(u"Include subfolders")));
    setItemTexts(ui->caseCombo, caseItems());
    setItemTexts(ui->operationCombo, batchModeItems());
    emit m_files.headerDataChanged(Qt::Horizontal, 0, FileListModel::ColumnCount - 1);
    // The status bar says again what it said, in the new language.
    updateFileCount();
    if (m_files.hasPlan())
        m_planSummary->setText(planSummary(m_controller.plan()));
    m_cancelWork->setText(translateText(u"Cancel"_s));
    m_cancelWork->setToolTip(translateText(u"Stop after the current file (Esc)"_s));
    // A failure's text is the preview's own: the next preview tells it in the new language.
    if (!m_files.previewFailure().isEmpty())
        schedulePreview();
    if (m_historyWindow)
        m_historyWindow->applyTranslatedCaptions();
    nameControls();
    fitStatusBar();
    alignCaptions();
    setMenuKeys();
    fitListColumns();
}

void MainWindow::fitStatusBar()
{
    // The usual heights, or more for a large desktop font: the texts are never cut.
    const QFontMetrics metrics = ui->statusBar->fontMetrics();
    ui->statusBar->setFixedHeight(std::max(25, metrics.height() + 8));
    const QFontMetrics link = m_homepageLink->fontMetrics();
    m_homepageLink->setFixedSize(
        std::max(HomepageLinkWidth, link.horizontalAdvance(HomepageAddress) + 8) +
            HomepageLinkMargin,
        std::max(HomepageLinkHeight, link.height() + 2));
}

void MainWindow::nameControls()
{
    // Fields are named by their captions, as shown; where a caption only makes sense
    // after the text before it ("at position:"), the name says it whole.
    const std::pair<QWidget *, QString> fields[] = {
        {ui->findEdit, ui->findLabel->text()},
        {ui->replaceEdit, ui->replaceLabel->text()},
        {ui->patternEdit, ui->patternLabel->text()},
        {ui->newExtensionEdit, ui->newExtensionCheck->text()},
        {ui->caseCombo, ui->caseLabel->text()},
        {ui->insertTextEdit, ui->insertTextLabel->text()},
        {ui->insertPositionEdit, translateText(u"Insert text at position"_s)},
        {ui->removeFirstEdit, ui->removeFirstLabel->text()},
        {ui->removeLastEdit, ui->removeLastLabel->text()},
        {ui->removeFromPositionEdit, ui->removeFromPositionLabel->text()},
        {ui->removeUntilPositionEdit, translateText(u"Remove until position"_s)},
        {ui->trimFromEdit, ui->trimFromLabel->text()},
        {ui->trimUntilEdit, ui->trimUntilLabel->text()},
        {ui->removeCharactersEdit, ui->removeCharactersLabel->text()},
        {ui->padNumbersEdit, translateText(u"Pad numbers to digits"_s)},
        {ui->operationCombo, ui->operationLabel->text()},
        {ui->destinationEdit, ui->destinationLabel->text()},
    };
    for (const auto &[field, caption] : fields)
        field->setAccessibleName(spokenCaption(caption));
    // A drop-down list's list of choices is named as the box is.
    for (QComboBox *box : {ui->caseCombo, ui->operationCombo})
        box->view()->setAccessibleName(box->accessibleName());
    // The padding field's caption is a whole sentence: it stays the field's description.
    ui->padNumbersEdit->setAccessibleDescription(spokenCaption(ui->padNumbersLabel->text()));
    ui->patternEdit->setAccessibleDescription(translateText(
        u"Keywords such as {name} and {counter} build the new name; F1 lists them all."_s));
    const std::pair<QLineEdit *, NumberStepper *> steppers[] = {
        {ui->insertPositionEdit, ui->insertPositionStepper},
        {ui->removeFirstEdit, ui->removeFirstStepper},
        {ui->removeLastEdit, ui->removeLastStepper},
        {ui->padNumbersEdit, ui->padNumbersStepper},
        {ui->removeFromPositionEdit, ui->removeFromPositionStepper},
        {ui->removeUntilPositionEdit, ui->removeUntilPositionStepper},
    };
    for (const auto &[edit, stepper] : steppers)
        stepper->setFieldName(edit->accessibleName());
    // Buttons that show a sign, not a word.
    const std::pair<QAbstractButton *, QString> signs[] = {
        {ui->patternHelpButton, translateText(u"Pattern help"_s)},
        {ui->chooseDestinationButton, translateText(u"Select destination folder"_s)},
    };
    for (const auto &[button, name] : signs) {
        button->setAccessibleName(name);
        button->setToolTip(name);
    }
    const QString listName = translateText(u"File list"_s);
    ui->fileTable->setAccessibleName(listName);
    m_listMenu->setAccessibleName(listName);
    m_progressBar->setAccessibleName(translateText(u"Progress"_s));
    for (QMenu *menu :
         {ui->fileMenu, ui->operationMenu, ui->viewMenu, ui->languageMenu, ui->helpMenu})
        menu->setAccessibleName(withoutMnemonic(menu->title()));
}

RenameOptions MainWindow::readOptions() const
{
    RenameOptions options;
    readOptionControls({this, &m_formSettings}, options);
    return options;
}

void MainWindow::showOptions(const RenameOptions &options)
{
    writeOptionControls({this, &m_formSettings}, options);
}

// The file list.

void MainWindow::addFile(const QString &path)
{
    m_files.addFile(path);
}

void MainWindow::addFolder(const QString &folder, bool includeSubfolders, bool runPreview)
{
    if (!QFileInfo(folder).isDir())
        return;
    m_files.addFolderFiles(folder, includeSubfolders);
    if (runPreview)
        preview();
}

void MainWindow::updateFileCount()
{
    // The hint stands only while there is nothing to count.
    if (m_files.count() == 0)
        m_statusText->setText(u"  "_s + translateText(u"Add the files"_s));
    else
        m_statusText->setText(
            translateText(u"Files: %d"_s).replace(u"%d"_s, QLocale().toString(m_files.count())));
}

QString MainWindow::statusText() const
{
    return m_statusText->text();
}

void MainWindow::addPathsNow(const QStringList &paths)
{
    // All files of the drop go in as one insertion, in the order of the dropped paths.
    RenameItems items;
    const bool includeSubfolders = ui->includeSubfoldersCheck->isChecked();
    for (const QString &path : paths) {
        if (path.isEmpty())
            continue;
        if (QFileInfo(path).isDir())
            items.append(collectFolderItems(path, includeSubfolders, false));
        else if (std::optional<RenameItem> item = readRenameItem(path))
            items.append(std::move(*item));
    }
    // The order people expect, so that {counter} numbers IMG_2 before IMG_10.
    sortNaturally(items);
    m_files.addItems(std::move(items));
    updateFileCount();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    // Each path arrives whole, however long: a shortened path could name another file.
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    event->acceptProposedAction();
    m_controller.addPaths(paths, ui->includeSubfoldersCheck->isChecked());
}

void MainWindow::addFiles()
{
    const QStringList paths = m_shell.chooseFiles(this, translateText(u"Select files to add"_s),
                                                  translateText(u"All files (*.*)|*.*"_s));
    if (paths.isEmpty())
        return;
    // A folder chosen there is added with its files, as a dropped one is.
    m_controller.addPaths(paths, ui->includeSubfoldersCheck->isChecked());
}

void MainWindow::chooseFolderToAdd()
{
    const QString folder = m_shell.chooseFolder(this, translateText(u"Select folder"_s), QString());
    if (folder.isEmpty())
        return;
    m_controller.addPaths({folder}, ui->includeSubfoldersCheck->isChecked());
}

void MainWindow::buildListCommands()
{
    // Add Folder sits in the toolbar as an icon beside Add Files.
    ui->addFolderButton->setText(QString());
    ui->addFolderButton->setIcon(QIcon(u":/icons/folder-plus.svg"_s));
    ui->addFolderButton->setIconSize(ui->addFilesToolButton->iconSize());
    ui->addFolderButton->setFlat(true);
    ui->addFolderButton->setFixedSize(ui->addFilesToolButton->minimumSize());
    if (auto *toolbar = qobject_cast<QBoxLayout *>(ui->toolbarPanel->layout())) {
        toolbar->removeWidget(ui->addFolderButton);
        toolbar->insertWidget(toolbar->indexOf(ui->addFilesToolButton) + 1, ui->addFolderButton);
    }
    // Tab follows it there, from Add Files to Remove.
    setTabOrder(ui->addFilesToolButton, ui->addFolderButton);
    setTabOrder(ui->addFolderButton, ui->removeToolButton);

    // English captions first: the menu keys of East Asian captions come from them.
    m_addFolderAction = new QAction(u"Add Folder..."_s, this);
    m_addFolderAction->setObjectName(u"addFolderAction"_s);
    m_addFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    ui->fileMenu->insertAction(ui->removeSelectedAction, m_addFolderAction);
    connect(m_addFolderAction, &QAction::triggered, this,
            [this] { runCommand([this] { chooseFolderToAdd(); }); });
    m_includeSubfoldersAction = new QAction(u"Include subfolders"_s, this);
    m_includeSubfoldersAction->setObjectName(u"includeSubfoldersAction"_s);
    m_includeSubfoldersAction->setCheckable(true);
    ui->fileMenu->insertAction(ui->removeSelectedAction, m_includeSubfoldersAction);
    connect(m_includeSubfoldersAction, &QAction::toggled, ui->includeSubfoldersCheck,
            &QCheckBox::setChecked);
    connect(ui->includeSubfoldersCheck, &QCheckBox::toggled, m_includeSubfoldersAction,
            &QAction::setChecked);

    // Clear list in the File menu too, where a user looks for it with nothing selected.
    m_clearListAction = new QAction(u"Clear list"_s, this);
    m_clearListAction->setObjectName(u"clearListAction"_s);
    const QList<QAction *> fileItems = ui->fileMenu->actions();
    ui->fileMenu->insertAction(fileItems.value(fileItems.indexOf(ui->removeSelectedAction) + 1),
                               m_clearListAction);
    connect(m_clearListAction, &QAction::triggered, this,
            [this] { runCommand([this] { clearListFromMenu(); }); });

    m_moveUpAction = new QAction(u"Move Up"_s, this);
    m_moveUpAction->setObjectName(u"moveUpAction"_s);
    m_moveUpAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    m_moveDownAction = new QAction(u"Move Down"_s, this);
    m_moveDownAction->setObjectName(u"moveDownAction"_s);
    m_moveDownAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    for (QAction *move : {m_moveUpAction, m_moveDownAction}) {
        move->setShortcutContext(Qt::WindowShortcut);
        addAction(move);
        m_listMenu->insertAction(ui->listRemoveSelectedAction, move);
    }
    m_listMenu->insertSeparator(ui->listRemoveSelectedAction);
    connect(m_moveUpAction, &QAction::triggered, this, [this] { moveSelectedRows(-1); });
    connect(m_moveDownAction, &QAction::triggered, this, [this] { moveSelectedRows(1); });

    m_historyAction = new QAction(u"History..."_s, this);
    m_historyAction->setObjectName(u"historyAction"_s);
    m_historyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    ui->operationMenu->addAction(m_historyAction);
    connect(m_historyAction, &QAction::triggered, this,
            [this] { runCommand([this] { showHistory(); }); });

    // A click on a header sorts by that column; a second click on it reverses the order.
    // The header turns its arrow itself; no arrow shows while the list is in the order
    // files were added or moved to.
    QHeaderView *header = ui->fileTable->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                if (column >= 0 && !m_controller.isBusy())
                    m_files.sort(column, order);
            });
    const auto unsorted = [header] { header->setSortIndicator(-1, Qt::AscendingOrder); };
    connect(&m_files, &FileListModel::rowsInserted, this, unsorted);
    connect(&m_files, &FileListModel::rowsDragged, this, unsorted);

    // Selected rows can be dragged to another place in the list.
    QTableView *list = ui->fileTable;
    list->setDragEnabled(true);
    list->setDragDropMode(QAbstractItemView::InternalMove);
    list->setDefaultDropAction(Qt::MoveAction);
    list->setDropIndicatorShown(true);
}

void MainWindow::moveSelectedRows(int step)
{
    if (m_controller.isBusy())
        return;
    m_files.moveRowsBy(selectedRows(), step);
    ui->fileTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

QList<int> MainWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ui->fileTable->selectionModel()->selectedRows())
        rows.append(index.row());
    return rows;
}

void MainWindow::removeSelectedFiles()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty() || m_controller.isBusy())
        return;
    m_files.removeRowsAt(rows);
    updateFileCount();
}

void MainWindow::removeSelectedFromMenu()
{
    if (m_controller.isBusy())
        return;
    m_files.removeRowsAt(selectedRows());
    updateFileCount();
}

void MainWindow::clearListFromMenu()
{
    // A long list took a while to gather: one slip of the mouse should not lose it.
    constexpr int askAbove = 1000;
    if (m_files.count() > askAbove &&
        !m_messages.confirm(translateText(u"Remove all %1 files from the list?"_s)
                                .arg(QLocale().toString(m_files.count()))))
        return;
    clearList();
}

void MainWindow::clearList()
{
    if (m_controller.isBusy())
        return;
    m_files.clear();
    updateFileCount();
}

// Preview and the batch.

void MainWindow::preview()
{
    m_previewDelay->stop();
    if (m_controller.preview(readOptions(), m_messages))
        m_planSummary->setText(planSummary(m_controller.plan()));
}

QString MainWindow::planSummaryText() const
{
    return m_planSummary->text();
}

void MainWindow::rename()
{
    if (m_files.count() == 0) {
        m_messages.information(
            translateText(u"Nothing to rename. Add files and build a preview first."_s));
        return;
    }
    const RenameOptions options = readOptions();
    if (options.batchMode != BatchMode::RenameInPlace &&
        trimControl(options.destination).isEmpty()) {
        m_messages.warning(
            translateText(u"Please select a destination folder for Copy/Move mode."_s));
        return;
    }
    // Always the names of the options as they are now, planned afresh, since files may
    // have changed since the last preview; the list shows both. The planning runs on the
    // work thread: a large list keeps the window answering.
    m_previewDelay->stop();
    m_renameOptions = options;
    m_controller.startPlanning(options);
}

void MainWindow::askToRename(bool planReady)
{
    if (!planReady || m_closeWhenIdle)
        return;
    // A copy: the question waits for the user, and the plan must be the one asked about.
    const RenamePlan plan = m_controller.plan();
    m_planSummary->setText(planSummary(plan));
    hideProgress(); // the question stands alone
    if (plan.blocked()) {
        // The rows in the way can go, and the rest is planned and asked about again.
        if (m_messages.warningWithAction(planBlockedMessage(m_files.items(), plan),
                                         translateText(u"Leave out the blocked rows"_s)))
            leaveOutBlockedRows(plan);
        return;
    }
    const qsizetype acting = plan.actingCount();
    QString question = translateText(u"Proceed to rename files as shown in the preview?"_s) +
                       u"\n\n"_s +
                       translateText(u"Files to rename: %1"_s).arg(QLocale().toString(acting));
    if (const QString summary = planSummary(plan); !summary.isEmpty())
        question += u'\n' + summary;
    if (!m_messages.confirm(question))
        return;
    forgetFieldEdits();
    m_controller.startBatch(plan, m_renameOptions);
}

void MainWindow::forgetFieldEdits()
{
    // The batch took the fields as they are: from now on Ctrl+Z in one of them undoes the
    // batch, not the typing before it. Setting a field's text drops its undo steps.
    for (QLineEdit *edit : findChildren<QLineEdit *>()) {
        if (!edit->isUndoAvailable() && !edit->isRedoAvailable())
            continue;
        const int cursor = edit->cursorPosition();
        edit->setText(edit->text());
        edit->setCursorPosition(cursor);
    }
}

void MainWindow::leaveOutBlockedRows(const RenamePlan &plan)
{
    QList<int> blocked;
    for (qsizetype i = 0; i < plan.rows.size() && i < m_files.count(); ++i) {
        if (planStatusBlocks(plan.rows.at(i).status))
            blocked.append(int(i));
    }
    m_files.removeRowsAt(blocked);
    updateFileCount();
    if (m_files.count() > 0)
        m_controller.startPlanning(m_renameOptions);
}

void MainWindow::undoLastBatch()
{
    m_controller.startUndo(m_messages);
}

void MainWindow::showHistory()
{
    if (!m_historyWindow)
        m_historyWindow = new HistoryWindow(m_controller, m_messages, this);
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

// Work away from this thread.

void MainWindow::buildProgressRow()
{
    m_progressRow = new QWidget(ui->statusBar);
    m_progressRow->setObjectName(u"progressRow"_s);
    auto *row = new QHBoxLayout(m_progressRow);
    row->setContentsMargins(0, 0, 0, 0);
    m_progressBar = new QProgressBar(m_progressRow);
    m_progressBar->setObjectName(u"progressBar"_s);
    m_progressBar->setMaximumWidth(220);
    m_progressBar->setTextVisible(false);
    m_progressText = new QLabel(m_progressRow);
    m_progressText->setObjectName(u"progressText"_s);
    m_progressText->setMinimumWidth(120);
    m_cancelWork = new QToolButton(m_progressRow);
    m_cancelWork->setObjectName(u"cancelWorkButton"_s);
    connect(m_cancelWork, &QToolButton::clicked, this, [this] { m_controller.requestStop(); });
    row->addWidget(m_progressBar);
    row->addWidget(m_progressText, 1);
    row->addWidget(m_cancelWork);
    ui->statusBar->addWidget(m_progressRow, 1);
    m_progressRow->hide();

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_controller.isBusy())
            m_controller.requestStop();
    });
    m_progressDelay = new QTimer(this);
    m_progressDelay->setSingleShot(true);
    m_progressDelay->setInterval(500);
    connect(m_progressDelay, &QTimer::timeout, this, [this] {
        if (!m_controller.isBusy())
            return;
        // The row takes the whole bar, the homepage link's end included.
        m_planSummary->hide();
        m_homepageLink->hide();
        m_progressRow->show();
    });
    connect(&m_controller, &RenameController::busyChanged, this, &MainWindow::workBusyChanged);
    connect(&m_controller, &RenameController::progress, this, &MainWindow::showProgress);
    connect(&m_controller, &RenameController::workFinished, this, &MainWindow::workFinished);
    // A question stands alone, without the progress of the planning before it.
    connect(&m_controller, &RenameController::asking, this, &MainWindow::hideProgress);
    connect(&m_controller, &RenameController::planned, this,
            [this](bool ready) { runCommand([this, ready] { askToRename(ready); }); });
}

void MainWindow::workBusyChanged(bool busy)
{
    // Commands that would change the list or start other work wait; the window, its
    // menus and the list stay usable.
    // The rows are the job's items by their index until it ends: no command adds or
    // removes any meanwhile.
    for (QAction *action : {ui->renameAction, ui->undoAction, ui->previewAction, ui->addFilesAction,
                            ui->removeSelectedAction, ui->listRemoveSelectedAction,
                            ui->listClearAction, m_addFolderAction, m_clearListAction})
        action->setEnabled(!busy);
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->addFilesToolButton, ui->addFolderButton, ui->removeToolButton, ui->clearButton,
             ui->previewToolButton, ui->renameToolButton, ui->undoToolButton,
             ui->loadPresetToolButton, ui->loadNameListButton})
        control->setEnabled(!busy);
    setAcceptDrops(!busy);
    ui->fileTable->setDragEnabled(!busy);
    if (busy) {
        m_progressBar->setRange(0, 0);
        m_progressText->clear();
        m_progressDelay->start();
        return;
    }
    hideProgress();
    if (m_closeWhenIdle)
        close();
}

void MainWindow::hideProgress()
{
    m_progressDelay->stop();
    m_progressRow->hide();
    m_planSummary->show();
    m_homepageLink->show();
}

void MainWindow::showProgress(qsizetype done, qsizetype total, const QString &path)
{
    if (total > 0) {
        // Large counts are scaled into the bar's int range.
        const int scale = total > 1000000 ? int(total / 1000000 + 1) : 1;
        m_progressBar->setRange(0, int(total / scale));
        m_progressBar->setValue(int(done / scale));
        m_progressText->setText(
            translateText(u"%1 of %2: %3"_s)
                .arg(QLocale().toString(done), QLocale().toString(total), fileNamePart(path)));
    } else {
        m_progressBar->setRange(0, 0);
        m_progressText->setText(fileNamePart(path));
    }
    // A screen reader hears the bar move and can read where the work is from the bar.
    m_progressBar->setAccessibleDescription(m_progressText->text());
    QAccessibleValueChangeEvent moved(m_progressBar, m_progressBar->value());
    QAccessible::updateAccessibility(&moved);
}

void MainWindow::workFinished(const QList<PendingMessage> &messages)
{
    updateFileCount();
    // The end of the work is told, not only drawn: the status bar's text changes, and a
    // message box that follows alerts by itself.
    QAccessibleEvent told(m_statusText, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&told);
    for (const PendingMessage &message : messages) {
        switch (message.kind) {
        case PendingMessage::Information:
            m_messages.information(message.text);
            break;
        case PendingMessage::Warning:
            m_messages.warning(message.text);
            break;
        case PendingMessage::Error:
            m_messages.error(message.text);
            break;
        }
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Files are never left half renamed: the running work stops between two files, and
    // the window closes then.
    if (m_controller.isBusy()) {
        m_closeWhenIdle = true;
        m_controller.requestStop();
        event->ignore();
        return;
    }
    saveWindowPlace();
    QMainWindow::closeEvent(event);
}

void MainWindow::followChanges()
{
    m_previewDelay = new QTimer(this);
    m_previewDelay->setSingleShot(true);
    m_previewDelay->setInterval(150);
    connect(m_previewDelay, &QTimer::timeout, this,
            [this] { m_controller.previewInBackground(readOptions()); });
    connect(&m_controller, &RenameController::livePreviewShown, this,
            [this](const QString &summary) { m_planSummary->setText(summary); });
    connect(
        &m_controller, &RenameController::livePreviewFailed, this,
        [this](const QString &message) { m_planSummary->setText(message.section(u'\n', 0, 0)); });
    // What the files are called now, and what the options would do with them next.
    connect(&m_controller, &RenameController::filesMoved, this, &MainWindow::schedulePreview);
    for (QWidget *owner : std::initializer_list<QWidget *>{this, &m_formSettings}) {
        for (QLineEdit *edit : owner->findChildren<QLineEdit *>())
            connect(edit, &QLineEdit::textChanged, this, &MainWindow::schedulePreview);
        for (QComboBox *list : owner->findChildren<QComboBox *>())
            connect(list, &QComboBox::currentIndexChanged, this, &MainWindow::schedulePreview);
        for (QCheckBox *box : owner->findChildren<QCheckBox *>())
            connect(box, &QCheckBox::toggled, this, &MainWindow::schedulePreview);
    }
    connect(&m_files, &FileListModel::rowsInserted, this, &MainWindow::schedulePreview);
    connect(&m_files, &FileListModel::rowsRemoved, this, &MainWindow::schedulePreview);
    connect(&m_files, &FileListModel::layoutChanged, this, &MainWindow::schedulePreview);
}

void MainWindow::schedulePreview()
{
    if (m_previewDelay && m_files.count() > 0)
        m_previewDelay->start();
}

// Preset files: the filter is the same in every language.
static const QString presetFilter = u"Preset JSON|*.json"_s;

void MainWindow::savePreset()
{
    const QString path = m_shell.chooseSaveFile(this, presetFilter, u"json"_s);
    if (path.isEmpty())
        return;
    m_controller.savePreset(path, readOptions());
}

void MainWindow::loadPreset()
{
    const QString path = m_shell.chooseOpenFile(this, presetFilter);
    if (path.isEmpty())
        return;
    // The whole file is read and understood before the first control changes.
    showOptions(m_controller.loadPreset(path, readOptions()));
}

void MainWindow::loadNameList()
{
    const QString path = m_shell.chooseOpenFile(
        this, translateText(u"Name list (*.txt;*.csv)|*.txt;*.csv|All files (*.*)|*.*"_s));
    if (path.isEmpty())
        return;
    m_controller.loadNameList(path);
    preview();
}

void MainWindow::showAbout()
{
    m_messages.information(aboutText());
}

void MainWindow::showPatternHelp()
{
    m_messages.information(patternHelpText());
}

// Controls tied to other controls.

void MainWindow::showOptionsDialog()
{
    m_formSettings.exec();
}

void MainWindow::enableDestination()
{
    const bool toFolder = ui->operationCombo->currentIndex() > BatchMode::RenameInPlace;
    ui->destinationLabel->setEnabled(toFolder);
    ui->destinationEdit->setEnabled(toFolder);
    ui->chooseDestinationButton->setEnabled(toFolder);
}

void MainWindow::enableNewExtension()
{
    ui->newExtensionEdit->setEnabled(ui->newExtensionCheck->isChecked());
}

void MainWindow::chooseDestination()
{
    QString start = ui->destinationEdit->text();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::currentPath();
    const QString folder =
        m_shell.chooseFolder(this, translateText(u"Select destination folder"_s), start);
    if (!folder.isEmpty())
        ui->destinationEdit->setText(folder);
}

void MainWindow::showOptionsPanel()
{
    // The panel keeps its place in the column layout, between the toolbar and the list.
    ui->optionsPanel->setVisible(ui->showOptionsAction->isChecked());
}

void MainWindow::openAddress(const QString &address)
{
    openAddressOrShowIt(m_shell, m_messages, address);
}

void MainWindow::openTutorial()
{
    openAddress(HomepageAddress + TutorialPath);
}

void MainWindow::openSupportPage()
{
    openAddress(HomepageAddress + SupportPath);
}

void MainWindow::openHomepage()
{
    openAddress(HomepageAddress);
}

void MainWindow::exitProgram()
{
    close();
}

// Layout.

void MainWindow::layOutWindow()
{
    ui->optionsPanel->setColumns({{ui->findReplaceGroup, ui->patternGroup},
                                  {ui->insertGroup, ui->removeEndsGroup, ui->removeRangeGroup},
                                  {ui->trimGroup, ui->removeCharactersGroup, ui->padNumbersGroup}});
    // Tab goes from field to field, each brought into view as it takes the focus; the
    // panel itself would be a stop that does nothing.
    ui->optionsPanel->setFocusPolicy(Qt::NoFocus);
    // The default height, and more only where narrow boxes need more lines.
    ui->optionsPanelContents->setMinimumHeight(OptionsPanelHeight);
    for (QComboBox *box : {ui->caseCombo, ui->operationCombo})
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A few rows of the list stay in sight however small the window.
    QTableView *list = ui->fileTable;
    list->setMinimumHeight(list->horizontalHeader()->sizeHint().height() +
                           4 * list->verticalHeader()->defaultSectionSize());
    // The columns follow the list's client width, which a vertical scroll bar narrows.
    list->viewport()->installEventFilter(this);
    // The keys of the list (Delete, the arrows) work as soon as the window opens.
    list->setFocus();
}

void MainWindow::placeOnScreen()
{
    // The default size where the screen has room for it and the window's frame;
    // centred, so that the title bar is always on the screen.
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QMargins frame = expectedFrame;
    const QSize room = available.size().shrunkBy(frame);
    const QSize wanted(defaultClientSize.width(),
                       defaultClientSize.height() + ui->mainMenuBar->sizeHint().height());
    const QSize size = wanted.boundedTo(room).expandedTo(minimumSizeHint());
    resize(size);
    const QSize outer = size.grownBy(frame);
    // move() places the frame's corner.
    move(available.left() + std::max(0, (available.width() - outer.width()) / 2),
         available.top() + std::max(0, (available.height() - outer.height()) / 2));
}

void MainWindow::alignCaptions()
{
    // A word-wrapped caption is kept to two lines, as at the default size.
    for (QLabel *label : {ui->removeFromPositionLabel, ui->padNumbersLabel}) {
        label->setMaximumWidth(QWIDGETSIZE_MAX);
        keepWithinTwoLines(label);
    }
    // Captions that stand above one another in one column of the panel share the widest
    // one's width, so that the edits beside them line up.
    const QList<QList<QWidget *>> columns{
        {ui->findLabel, ui->replaceLabel, ui->newExtensionCheck},
        {ui->removeFirstLabel, ui->removeFromPositionLabel},
        {ui->insertPositionLabel, ui->removeLastLabel, ui->removeUntilPositionLabel},
    };
    for (const QList<QWidget *> &column : columns) {
        int widest = 0;
        for (QWidget *caption : column) {
            if (caption != ui->removeFromPositionLabel)
                caption->setMinimumWidth(0);
            widest = std::max({widest, caption->sizeHint().width(), caption->minimumWidth()});
        }
        for (QWidget *caption : column)
            caption->setMinimumWidth(widest);
    }
    ui->removeFromPositionLabel->setMaximumWidth(ui->removeFromPositionLabel->minimumWidth());
    // A drop-down list shows its longest item whole, in every language.
    for (QComboBox *box : {ui->caseCombo, ui->operationCombo}) {
        box->setMinimumWidth(0);
        box->setMinimumWidth(box->sizeHint().width());
    }
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The desktop's large text: the status bar grows with it.
    if (event->type() == QEvent::FontChange && m_homepageLink)
        fitStatusBar();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    fitListColumns();
}

int MainWindow::listClientWidth() const
{
    return ui->fileTable->viewport()->width();
}

int MainWindow::sizeColumnWidth() const
{
    // The widest size text of each unit in the current language, and the header.
    const QFontMetrics metrics = ui->fileTable->fontMetrics();
    int width = SizeColumnWidth;
    for (const qint64 size : {qint64(999), qint64(999'999), qint64(999'999'999),
                              qint64(999'999'999'999), qint64(999'999'999'999'999)})
        width = std::max(width,
                         metrics.horizontalAdvance(FileListModel::formatSize(size)) + CellPadding);
    return std::max(width,
                    ui->fileTable->horizontalHeader()->sectionSizeHint(FileListModel::SizeColumn));
}

int MainWindow::statusColumnWidth() const
{
    QFont bold = ui->fileTable->font();
    bold.setBold(true); // the statuses that block the batch are shown in bold
    const QFontMetrics metrics(bold);
    int width = StatusColumnWidth;
    for (int status = 0; status < PlanStatusCount; ++status)
        width = std::max(width, metrics.horizontalAdvance(planStatusText(PlanStatus(status))) +
                                    CellPadding);
    return std::max(
        width, ui->fileTable->horizontalHeader()->sectionSizeHint(FileListModel::StatusColumn));
}

void MainWindow::fitListColumns()
{
    QTableView *list = ui->fileTable;
    if (m_files.columnCount() < FileListModel::ColumnCount)
        return;
    const QScopedValueRollback fitting(m_fittingColumns, true);
    list->setColumnWidth(FileListModel::OriginalNameColumn, m_nameColumnWidths[0]);
    list->setColumnWidth(FileListModel::NewNameColumn, m_nameColumnWidths[1]);
    list->setColumnWidth(FileListModel::SizeColumn, sizeColumnWidth());
    list->setColumnWidth(FileListModel::StatusColumn, statusColumnWidth());
    const int taken = list->columnWidth(FileListModel::OriginalNameColumn) +
                      list->columnWidth(FileListModel::NewNameColumn) +
                      list->columnWidth(FileListModel::SizeColumn) +
                      list->columnWidth(FileListModel::StatusColumn);
    list->setColumnWidth(FileListModel::FolderColumn,
                         std::max(listClientWidth() - taken - 6, FolderColumnMinimum));
}

QPoint MainWindow::keyboardMenuPlace() const
{
    // Beside the current row's name, where the eye (and a magnifier) already is; the
    // list's corner when no row is current.
    const QTableView *list = ui->fileTable;
    const QRect row = list->visualRect(list->currentIndex());
    const QPoint at = row.isValid() && list->viewport()->rect().intersects(row)
                          ? row.bottomLeft() + QPoint(row.height(), 0)
                          : QPoint(0, 0);
    return list->viewport()->mapToGlobal(at);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->fileTable) {
        // The platform turns the menu key into a context menu event at the mouse pointer,
        // which may be anywhere; Shift+F10 it does not turn into anything.
        const bool menuKey =
            event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
        const auto *key =
            event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event) : nullptr;
        const bool shiftF10 =
            key && key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (menuKey || shiftF10) {
            m_listMenu->popup(keyboardMenuPlace());
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        // A field takes Ctrl+Z to itself (its ShortcutOverride); with nothing to undo
        // there, the key means the window's Undo.
        auto *edit = qobject_cast<QLineEdit *>(watched);
        if (edit && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Undo) &&
            !edit->isUndoAvailable()) {
            if (ui->undoAction->isEnabled())
                ui->undoAction->trigger();
            return true;
        }
    }
    if (watched == ui->fileTable->viewport() && event->type() == QEvent::Resize) {
        // A change of the list's height alone (the options panel) keeps dragged widths.
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->size().width() != resize->oldSize().width())
            fitListColumns();
    } else if (watched == m_homepageLink) {
        if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
            QFont font = m_homepageLink->font();
            font.setUnderline(event->type() == QEvent::Enter);
            m_homepageLink->setFont(font);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            runCommand([this] { openHomepage(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The keyboard.

void MainWindow::setUpKeyboard()
{
    const std::pair<QAction *, QList<QKeySequence>> keys[] = {
        {ui->addFilesAction, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {ui->removeSelectedAction, {QKeySequence(Qt::Key_Delete)}},
        {ui->previewAction, {QKeySequence(Qt::Key_F5)}},
        {ui->renameAction,
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
        {ui->undoAction, {QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {ui->savePresetAction, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {ui->loadPresetAction, {QKeySequence(Qt::CTRL | Qt::Key_L)}},
    };
    // A text field keeps its own Delete and Ctrl+Z: there they edit the text. Ctrl+Z
    // undoes the batch from a field that has no typing to undo (eventFilter).
    for (const auto &[action, sequences] : keys)
        action->setShortcuts(sequences);
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->installEventFilter(this);

    auto *patternHelp = new QAction(this);
    patternHelp->setObjectName(u"patternHelpAction"_s);
    patternHelp->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(patternHelp);
    connect(patternHelp, &QAction::triggered, this,
            [this] { runCommand([this] { showPatternHelp(); }); });

    // Enter in an option field previews, as the Preview command does.
    for (QLineEdit *edit : ui->optionsPanelContents->findChildren<QLineEdit *>())
        connect(edit, &QLineEdit::returnPressed, ui->previewAction, &QAction::trigger);
    connect(ui->destinationEdit, &QLineEdit::returnPressed, ui->previewAction, &QAction::trigger);
    connect(&m_formSettings, &OptionsDialog::previewRequested, ui->previewAction,
            &QAction::trigger);

    // The English captions, from which the menu keys of East Asian captions come.
    for (QMenu *menu :
         {ui->fileMenu, ui->operationMenu, ui->viewMenu, ui->languageMenu, ui->helpMenu})
        menu->setProperty(SourceCaption, menu->title());
    for (QMenu *menu : {ui->fileMenu, ui->operationMenu, ui->viewMenu, ui->helpMenu, m_listMenu}) {
        for (QAction *action : menu->actions()) {
            if (!action->menu())
                action->setProperty(SourceCaption, action->text());
        }
    }
}

void MainWindow::setMenuKeys()
{
    // Alt and a letter of each menu's title opens it; a letter then chooses an item. The
    // letters follow the captions of the language shown, so none is fixed here.
    QSet<QChar> titleKeys;
    for (QMenu *menu : {ui->fileMenu, ui->operationMenu, ui->viewMenu, ui->helpMenu}) {
        const QString title = withoutMnemonic(menu->title());
        menu->setTitle(withMnemonic(title, sourceCaption(menu, title), titleKeys));
    }
    for (QMenu *menu : {ui->fileMenu, ui->operationMenu, ui->viewMenu, ui->helpMenu, m_listMenu}) {
        QSet<QChar> itemKeys;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            if (QMenu *submenu = action->menu()) {
                const QString title = withoutMnemonic(submenu->title());
                submenu->setTitle(withMnemonic(title, sourceCaption(submenu, title), itemKeys));
                continue;
            }
            // Untranslated captions (the list's menu) may carry their key already.
            const QString text = withoutMnemonic(action->text());
            action->setText(withMnemonic(text, sourceCaption(action, text), itemKeys));
        }
    }
}
