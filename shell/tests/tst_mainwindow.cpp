#include "batch/batchpaths.h"
#include "batch/renameplan.h"
#include "optionsdialog/optionsdialog.h"
#include "shell/aboutbox.h"
#include "shell/colourscheme.h"
#include "shell/historywindow.h"
#include "shell/mainwindow.h"
#include "shell/messageboxes.h"
#include "shell/optionspanel.h"
#include "shell/shellservices.h"
#include "shell/startup.h"
#include "testsupport/gatedfileoperations.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/recordingshell.h"
#include "testsupport/testdir.h"
#include "testsupport/windowtests.h"
#include "translation/translation.h"

#include <QAccessible>
#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QStandardPaths>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The controls a user reads or works with in a window.
QList<QWidget *> visibleControls(QWidget *window)
{
    QList<QWidget *> controls;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(window) || widget->window() != window)
            continue;
        if (qobject_cast<QLabel *>(widget) || qobject_cast<QLineEdit *>(widget) ||
            qobject_cast<QComboBox *>(widget) || qobject_cast<QAbstractButton *>(widget) ||
            qobject_cast<QTableView *>(widget) || qobject_cast<QGroupBox *>(widget))
            controls.append(widget);
    }
    return controls;
}

// Where a control is cut off by the window or by anything it lies in (a scrolled panel),
// or an empty text when it is whole in sight.
QString hiddenPart(QWidget *control)
{
    const QRect own(QPoint(0, 0), control->size());
    for (QWidget *outer = control->parentWidget(); outer; outer = outer->parentWidget()) {
        const QRect inOuter(control->mapTo(outer, QPoint(0, 0)), control->size());
        if (!outer->rect().contains(inOuter))
            return u"%1 %2,%3 %4x%5 outside %6 %7x%8"_s.arg(control->objectName())
                .arg(inOuter.x())
                .arg(inOuter.y())
                .arg(own.width())
                .arg(own.height())
                .arg(outer->objectName())
                .arg(outer->width())
                .arg(outer->height());
        if (outer->isWindow())
            break;
    }
    return QString();
}

// Why a control's caption is not shown whole, or an empty text when it is.
QString cutCaption(QWidget *control)
{
    const auto cut = [control](const QString &what) {
        return u"%1 (%2x%3): %4"_s.arg(control->objectName())
            .arg(control->width())
            .arg(control->height())
            .arg(what);
    };
    const QSize hint = control->sizeHint();
    if (auto *label = qobject_cast<QLabel *>(control)) {
        if (label->text().isEmpty())
            return QString();
        if (label->wordWrap()) {
            if (label->height() < label->heightForWidth(label->width()))
                return cut(u"needs %1 high"_s.arg(label->heightForWidth(label->width())));
            return QString();
        }
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        if (button->text().isEmpty())
            return QString();
    } else if (auto *group = qobject_cast<QGroupBox *>(control)) {
        if (group->width() < group->minimumSizeHint().width())
            return cut(u"title needs %1 wide"_s.arg(group->minimumSizeHint().width()));
        return QString();
    } else if (!qobject_cast<QComboBox *>(control)) {
        return QString();
    }
    if (control->width() < hint.width() || control->height() < hint.height())
        return cut(u"needs %1x%2"_s.arg(hint.width()).arg(hint.height()));
    return QString();
}

// Whether widget is a part of a list (its header, its corner button), which a screen
// reader meets as the list's cells, or of a part of Qt's own (the menu bar's overflow
// button).
bool isPartOfAnother(const QWidget *widget)
{
    for (const QWidget *outer = widget->parentWidget(); outer; outer = outer->parentWidget()) {
        if (qobject_cast<const QAbstractItemView *>(outer) ||
            outer->objectName().startsWith(u"qt_"_s))
            return true;
    }
    return false;
}

// The controls of window a screen reader would announce without a name: buttons, fields,
// lists, bars, menus and their items, hidden ones too (they show later). Qt's own parts
// are left out, and the parts of lists.
QStringList unnamedControls(QWidget *window)
{
    QStringList unnamed;
    const auto describe = [](QWidget *widget) {
        return QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName();
    };
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        auto *menu = qobject_cast<QMenu *>(widget);
        if (widget->objectName().startsWith(u"qt_"_s) || isPartOfAnother(widget) ||
            (widget->window() != window && !menu))
            continue;
        // The menu bar's overflow menu, Qt's own: it shows the menus' own items.
        if (menu && menu->objectName().isEmpty() && qobject_cast<QMenuBar *>(menu->parentWidget()))
            continue;
        if (!qobject_cast<QAbstractButton *>(widget) && !qobject_cast<QLineEdit *>(widget) &&
            !qobject_cast<QComboBox *>(widget) && !qobject_cast<QAbstractItemView *>(widget) &&
            !qobject_cast<QProgressBar *>(widget) && !menu)
            continue;
        const QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            unnamed.append(describe(widget) + u" in "_s + describe(widget->parentWidget()));
        // A drop-down list's choices are a list of their own, in a window of their own.
        if (auto *box = qobject_cast<QComboBox *>(widget);
            box && QAccessible::queryAccessibleInterface(box->view())
                       ->text(QAccessible::Name)
                       .trimmed()
                       .isEmpty())
            unnamed.append(describe(widget) + u" choices"_s);
        if (!menu)
            continue;
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator() && action->text().trimmed().isEmpty())
                unnamed.append(describe(widget) + u" item "_s + action->objectName());
        }
    }
    return unnamed;
}

// A dark desktop's palette, as a dark theme gives it.
QPalette darkPalette()
{
    QPalette palette;
    const QColor window(0x2d, 0x2f, 0x33);
    const QColor text(0xee, 0xee, 0xee);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xa8));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

// Whether focus changes a control's outer ring of pixels: a focus mark a user can see.
bool ringDiffers(const QImage &before, const QImage &after)
{
    if (before.size() != after.size())
        return true;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const bool ring = x < 2 || y < 2 || x >= before.width() - 2 || y >= before.height() - 2;
            if (ring && before.pixel(x, y) != after.pixel(x, y))
                return true;
        }
    }
    return false;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsEmptyWithInitialOptions();
    void addsFilesFromTheDialog();
    void addFolderButtonPreviews();
    void drops_data();
    void drops();
    void dropKeepsLongPathsWhole();
    void previewFillsNewNames();
    void previewErrorsBecomeMessages();
    void removeCommands_data();
    void removeCommands();
    void clearingALongListAsksFirst();
    void previewFailureClearsNewNames();
    void invisibleCharactersShown();
    void newExtensionFollowsItsCheckBox();
    void onlyTheUserChangesDestinationControls();
    void destinationPicker();
    void optionsPanelHidesAndReturns();
    void folderColumnTakesTheRest_data();
    void folderColumnTakesTheRest();
    void resizeRefitsDraggedWidths();
    void sizeAndStatusStayWhole();
    void defaultLook_data();
    void defaultLook();
    void fitsTheScreen();
    void everyControlReachable();
    void everyLanguageFits_data();
    void everyLanguageFits();
    void shortcuts_data();
    void shortcuts();
    void keysStayWithTextFields();
    void menuKeys();
    void numberFieldsStep_data();
    void numberFieldsStep();
    void focusIsVisible();
    void optionsDialogKeepsValues();
    void visualStyle();
    void helpLinksAndExit();
    void renameAndUndo();
    void historyWindowUndoesAndRedoes();
    void renameNeedsFilesAndYes();
    void blockedRowsLeftOut();
    void presetsRoundTripThroughControls();
    void nameListFeedsThePreview();
    void languageSwitch();
    void statusBarFollowsTheLanguage_data();
    void statusBarFollowsTheLanguage();
    void statusesFollowABatchAndItsUndo();
    void commandLineMode_data();
    void commandLineMode();
    void planShownInTheList();
    void previewFollowsChanges();
    void orderChangesTheCounter();
    void remembersItsPlace();
    void longBatchShowsProgressAndStops();
    void pathsGivenAtStart_data();
    void pathsGivenAtStart();
    void commandLineModeRunsOnGivenPaths_data();
    void commandLineModeRunsOnGivenPaths();
    void dropDownListsShowEveryEntry_data();
    void dropDownListsShowEveryEntry();
    void patternTakesItsRow();
    void checkBoxShowsItsBox_data();
    void checkBoxShowsItsBox();
    void coloursReadable_data();
    void coloursReadable();
    void followsDarkPalette();
    void toolbarIconsStandOut_data();
    void toolbarIconsStandOut();
    void languageNamesHaveFonts();
    void everyControlNamed_data();
    void everyControlNamed();
    void tabOrder();
    void listMenuFromKeyboard_data();
    void listMenuFromKeyboard();
    void progressReadable();
    void followsHighContrastPalette();
    void growsWithLargeText();

private:
    template <typename T>
    T *child(const char *name) const
    {
        return findControl<T>(m_form.get(), name);
    }
    QTableView *list() const { return child<QTableView>("fileTable"); }
    QString cell(int row, int column) const
    {
        return list()->model()->index(row, column).data().toString();
    }
    QStringList listedPaths() const
    {
        QStringList paths;
        for (const RenameItem &item : m_form->fileList().items())
            paths.append(item.originalPath());
        return paths;
    }
    void drop(const QStringList &paths);
    void waitUntilIdle();
    void selectRows(const QList<int> &rows);
    // Chooses the language with this code from View > Language, as a user would.
    void chooseLanguage(const QString &code);
    // A new main window made with these arguments, "@name" standing for name in the
    // test folder.
    void startWith(const QStringList &arguments);
    // The shipped catalogue, and a new window that reads it.
    void startWithCatalogue();
    // Makes the window the active one, so that its keys and focus work.
    void activate();
    // Lets the layouts take in a change of captions or size: each layout that changes
    // asks the one around it in turn.
    static void settle();

    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<RecordingMessages> m_messages;
    std::unique_ptr<RecordingShell> m_shell;
    std::unique_ptr<OptionsDialog> m_settings;
    std::unique_ptr<MainWindow> m_form;
};

void TestMainWindow::initTestCase()
{
    dropSizeHintMessages();
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    applyApplicationFont(*app);
    RecordingMessages messages;
    QVERIFY(applyVisualStyle(*app, messages));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The language choice goes to a settings file of the tests' own.
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainWindow::init()
{
    // Each test starts as a first start would, wherever an earlier window was left.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s).remove(u"Window"_s);
    m_dir = std::make_unique<TestDir>();
    m_messages = std::make_unique<RecordingMessages>();
    m_shell = std::make_unique<RecordingShell>();
    m_settings = std::make_unique<OptionsDialog>();
    QCOMPARE(m_settings->objectName(), u"OptionsDialog"_s);
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestMainWindow::cleanup()
{
    setTranslationState({}, 0, QString());
    applyLanguageToQt();
    m_form.reset();
    m_settings.reset();
    m_shell.reset();
    m_messages.reset();
    m_dir.reset();
}

void TestMainWindow::drop(const QStringList &paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    mime.setUrls(urls);
    const QPoint at = list()->mapTo(m_form.get(), list()->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &enter);
    // A drop goes only where an entering drag was accepted.
    QVERIFY(enter.isAccepted());
    QDropEvent dropEvent(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &dropEvent);
    QVERIFY(dropEvent.isAccepted());
    waitUntilIdle();
}

void TestMainWindow::waitUntilIdle()
{
    // The files are read on the controller's thread; the window answers meanwhile.
    QTRY_VERIFY(!m_form->controller().isBusy());
}

void TestMainWindow::chooseLanguage(const QString &code)
{
    for (QAction *item : child<QMenu>("languageMenu")->actions()) {
        if (currentCatalogue().code(item->data().toInt()) == code) {
            item->trigger();
            return;
        }
    }
    QFAIL(qPrintable(u"no language "_s + code));
}

void TestMainWindow::startWith(const QStringList &arguments)
{
    QStringList resolved;
    for (const QString &argument : arguments)
        resolved.append(argument.startsWith(u'@') ? m_dir->filePath(argument.mid(1)) : argument);
    m_form.reset();
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell, nullptr, resolved);
}

void TestMainWindow::startWithCatalogue()
{
    QFile file(QStringLiteral(TESSALY_CATALOGUE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    setTranslationState(*parseCatalogue(QString::fromUtf8(file.readAll())), 0, u"en"_s);
    m_form.reset();
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestMainWindow::activate()
{
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestMainWindow::settle()
{
    for (int round = 0; round < 8; ++round)
        QApplication::processEvents();
}

void TestMainWindow::selectRows(const QList<int> &rows)
{
    list()->clearSelection();
    for (int row : rows)
        list()->selectionModel()->select(list()->model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TestMainWindow::startsEmptyWithInitialOptions()
{
    QCOMPARE(m_form->windowTitle(), u"Tessaly 2.3"_s);
    QCOMPARE(m_form->statusText(), u"  Add the files"_s);
    QCOMPARE(list()->model()->rowCount(), 0);
    QCOMPARE(m_form->readOptions(), RenameOptions());
    for (const char *hidden : {"clearButton", "loadNameListButton"})
        QVERIFY2(child<QPushButton>(hidden)->isHidden(), hidden);
    QVERIFY(!child<QPushButton>("addFolderButton")->isHidden());
    // The subfolder choice is a menu item, beside Add Folder and in the File menu.
    QVERIFY(child<QAction>("includeSubfoldersAction")->isCheckable());
    child<QAction>("includeSubfoldersAction")->trigger();
    QVERIFY(child<QCheckBox>("includeSubfoldersCheck")->isChecked());
    QVERIFY(m_form->readOptions().includeSubfolders);
    child<QAction>("includeSubfoldersAction")->trigger();

    QHeaderView *header = list()->horizontalHeader();
    const QStringList headers{u"Original Name"_s, u"New Name (preview)"_s, u"Folder"_s, u"Size"_s};
    for (int column = 0; column < headers.size(); ++column)
        QCOMPARE(list()->model()->headerData(column, Qt::Horizontal).toString(),
                 headers.at(column));
    QCOMPARE(header->sectionSize(0), 280);
    QCOMPARE(header->sectionSize(1), 280);
    QVERIFY(header->sectionSize(3) >= 90);
    QVERIFY(list()->showGrid());
    QCOMPARE(list()->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list()->editTriggers(), QAbstractItemView::NoEditTriggers);

    QVERIFY(!m_form->windowIcon().pixmap(32, 32).isNull());
    // Every toolbar icon comes from the resources.
    for (QToolButton *button : child<QWidget>("toolbarPanel")->findChildren<QToolButton *>())
        QVERIFY2(!button->icon().pixmap(40, 40).isNull(), qPrintable(button->objectName()));
}

void TestMainWindow::addsFilesFromTheDialog()
{
    const QString a = m_dir->file(u"a.txt"_s, QByteArray(1234567, 'x'));
    const QString b = m_dir->file(u"README"_s);
    const QString folder = m_dir->folder(u"sub"_s);
    m_shell->files = {{a, b, a, m_dir->filePath(u"missing.txt"_s), folder}, {}};

    child<QToolButton>("addFilesToolButton")->click();
    waitUntilIdle();
    QCOMPARE(m_shell->titles, QStringList{u"Select files to add"_s});
    QCOMPARE(m_shell->filters, QStringList{u"All files (*.*)|*.*"_s});
    QCOMPARE(listedPaths(), (QStringList{a, b}));
    QCOMPARE(m_form->statusText(), u"Files: 2"_s);
    QCOMPARE(cell(0, 0), u"a.txt"_s);
    QCOMPARE(cell(0, 2), QDir::toNativeSeparators(m_dir->path()) + QDir::separator());
    QCOMPARE(cell(0, 3), u"1.2 MB"_s);
    QCOMPARE(cell(1, 0), u"README"_s);
    QVERIFY(m_messages->entries.isEmpty());

    // A cancelled dialog changes nothing, the status text included; so does the menu.
    m_form->applyTranslatedCaptions();
    child<QAction>("addFilesAction")->trigger();
    QCOMPARE(m_form->statusText(), u"Files: 2"_s);
    QCOMPARE(m_form->fileList().items().size(), 2);
}

void TestMainWindow::addFolderButtonPreviews()
{
    const QString a = m_dir->file(u"pics/a.jpg"_s);
    m_dir->folder(u"empty"_s);
    child<QLineEdit>("patternEdit")->setText(u"x_{name}"_s);
    m_shell->folders = {m_dir->filePath(u"empty"_s), m_dir->filePath(u"pics"_s)};

    // An empty folder adds nothing, and says nothing.
    child<QPushButton>("addFolderButton")->click();
    waitUntilIdle();
    QCOMPARE(m_form->statusText(), u"  Add the files"_s);

    child<QPushButton>("addFolderButton")->click();
    waitUntilIdle();
    QCOMPARE(m_shell->titles.last(), u"Select folder"_s);
    QCOMPARE(listedPaths(), QStringList{a});
    QTRY_COMPARE(cell(0, 1), u"x_a.jpg"_s);
    QVERIFY(m_messages->entries.isEmpty());
    QCOMPARE(m_form->statusText(), u"Files: 1"_s);
}

void TestMainWindow::drops_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<bool>("includeSubfolders");
    QTest::addColumn<QStringList>("expected"); // in list order: natural, folder by folder

    const QStringList own{u"top/.hidden"_s, u"top/a.txt"_s, u"top/README"_s};
    QTest::newRow("files") << QStringList{u"top/a.txt"_s, u"top/.hidden"_s} << false
                           << QStringList{u"top/.hidden"_s, u"top/a.txt"_s};
    QTest::newRow("folder-own-files-only") << QStringList{u"top"_s} << false << own;
    QTest::newRow("folder-with-subfolders")
        << QStringList{u"top"_s} << true << own + QStringList{u"top/sub/b.txt"_s};
    QTest::newRow("folder-then-its-file") << QStringList{u"top"_s, u"top/a.txt"_s} << false << own;
    QTest::newRow("file-then-its-folder") << QStringList{u"top/a.txt"_s, u"top"_s} << false << own;
    QTest::newRow("nothing-there")
        << QStringList{u"gone.txt"_s, u"top/a.txt"_s} << false << QStringList{u"top/a.txt"_s};
    // Numbers by their value, letters whatever their case.
    QTest::newRow("natural-order")
        << QStringList{u"n/IMG_10.jpg"_s, u"n/img_2.jpg"_s, u"n/IMG_1.jpg"_s} << false
        << QStringList{u"n/IMG_1.jpg"_s, u"n/img_2.jpg"_s, u"n/IMG_10.jpg"_s};
}

void TestMainWindow::drops()
{
    QFETCH(QStringList, dropped);
    QFETCH(bool, includeSubfolders);
    QFETCH(QStringList, expected);

    for (const QString &file :
         {u"top/a.txt"_s, u"top/.hidden"_s, u"top/README"_s, u"top/sub/b.txt"_s, u"n/IMG_10.jpg"_s,
          u"n/img_2.jpg"_s, u"n/IMG_1.jpg"_s})
        m_dir->file(file);
    child<QCheckBox>("includeSubfoldersCheck")->setChecked(includeSubfolders);

    QStringList paths;
    for (const QString &path : dropped)
        paths.append(m_dir->filePath(path));
    drop(paths);

    QStringList listed;
    for (const QString &path : listedPaths())
        listed.append(QDir(m_dir->path()).relativeFilePath(path));
    QCOMPARE(listed, expected);
    QCOMPARE(m_form->statusText(), u"Files: %1"_s.arg(expected.size()));
    QVERIFY(m_messages->entries.isEmpty());
}

void TestMainWindow::dropKeepsLongPathsWhole()
{
    // A path of more than 259 characters whose first 259 characters name another
    // existing file: only the dropped file may be listed.
    const QString folder = m_dir->folder(QString(120, u'f') + u'/' + QString(100, u'g'));
    const int nameLength = 280 - int(folder.size()) - 1;
    const QString longPath = m_dir->file(QDir(m_dir->path()).relativeFilePath(folder) + u'/' +
                                         QString(nameLength - 4, u'n') + u".txt"_s);
    QVERIFY(longPath.size() > 259);
    const QString cut = longPath.left(259);
    QVERIFY(folderPart(cut) == folderPart(longPath));
    QFile cutFile(cut);
    QVERIFY(cutFile.open(QIODevice::WriteOnly));
    cutFile.close();

    drop({longPath});
    QCOMPARE(listedPaths(), QStringList{longPath});
}

void TestMainWindow::previewFillsNewNames()
{
    const QString a = m_dir->file(u"holiday photo.jpg"_s);
    const QString b = m_dir->file(u"notes.TXT"_s);
    drop({a, b});
    child<QLineEdit>("patternEdit")->setText(u"{counter}_{name}"_s);
    child<QComboBox>("caseCombo")->setCurrentIndex(2);
    child<QCheckBox>("newExtensionCheck")->setChecked(true);
    child<QLineEdit>("newExtensionEdit")->setText(u" md "_s);
    child<QLineEdit>("findEdit")->setText(u" "_s);
    child<QLineEdit>("replaceEdit")->setText(u"-"_s);

    m_form->applyTranslatedCaptions();
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(0, 1), u"001_HOLIDAY-PHOTO.md"_s);
    QCOMPARE(cell(1, 1), u"002_NOTES.md"_s);
    // The status bar counts the files, a change of captions or not.
    QCOMPARE(m_form->statusText(), u"Files: 2"_s);

    // A file added after the preview shows no new name until the next one.
    const QString c = m_dir->file(u"c.txt"_s);
    drop({c});
    QCOMPARE(cell(2, 1), QString());
    child<QAction>("previewAction")->trigger();
    QCOMPARE(cell(2, 1), u"003_C.md"_s);
    QVERIFY(m_messages->entries.isEmpty());
}

void TestMainWindow::renameAndUndo()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    const QString a = m_dir->file(u"a.txt"_s, "a");
    const QString b = m_dir->file(u"b.txt"_s, "b");
    drop({a, b});
    child<QLineEdit>("patternEdit")->setText(u"{counter}-{name}"_s);
    child<QToolButton>("previewToolButton")->click();
    child<QToolButton>("renameToolButton")->click();
    // The batch runs on the controller's thread; the window answers meanwhile.
    QTRY_COMPARE(
        m_messages->texts(),
        (QStringList{u"Proceed to rename files as shown in the preview?\n\nFiles to rename: 2"_s,
                     batchCompletedText()}));
    QVERIFY(QFile::exists(m_dir->filePath(u"001-a.txt"_s)));
    // The rows follow their files; the index of listed paths too.
    QCOMPARE(cell(0, 0), u"001-a.txt"_s);
    QVERIFY(m_form->isListed(m_dir->filePath(u"002-b.txt"_s)));
    QVERIFY(!m_form->isListed(a));

    // Undo asks with its plan first; the rows then show the files under their names again.
    child<QAction>("undoAction")->trigger();
    QTRY_COMPARE(m_messages->texts().back(), u"Undo completed for the last rename operation."_s);
    QCOMPARE(m_messages->texts().at(2), u"Restore 2 files?"_s);
    QVERIFY(QFile::exists(a) && QFile::exists(b));
    QCOMPARE(listedPaths(), (QStringList{a, b}));
    QTRY_COMPARE(cell(0, 1), u"001-a.txt"_s); // what the options would do now
    QCOMPARE(m_form->statusText(), u"Files: 2"_s);
    child<QToolButton>("undoToolButton")->click();
    QTRY_COMPARE(m_messages->texts().back(), noUndoLogText());
}

// The batches on record, newest first; the chosen one's undo plan, its undo and its
// redo, each asked about first.
void TestMainWindow::historyWindowUndoesAndRedoes()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    // The third batch renames the first one's file again.
    const QList<QStringList> batches = {{u"a.txt"_s}, {u"b.txt"_s, u"c.txt"_s}, {u"1_a.txt"_s}};
    for (qsizetype i = 0; i < batches.size(); ++i) {
        child<QPushButton>("clearButton")->click();
        QStringList paths;
        for (const QString &name : batches.at(i)) {
            const QString path = m_dir->filePath(name);
            paths.append(QFile::exists(path) ? path : m_dir->file(name, name.toUtf8()));
        }
        drop(paths);
        child<QLineEdit>("patternEdit")->setText(u"%1_{name}"_s.arg(i + 1));
        child<QToolButton>("renameToolButton")->click();
        QTRY_COMPARE(m_messages->texts().size(), int(2 * (i + 1)));
        waitUntilIdle();
    }
    QVERIFY(QFile::exists(m_dir->filePath(u"2_c.txt"_s)));

    activate();
    QTest::keyClick(list(), Qt::Key_H, Qt::ControlModifier);
    auto *history = m_form->findChild<HistoryWindow *>();
    QVERIFY(history && history->isVisible());
    auto *batchTable = history->findChild<QTableView *>(u"batchTable"_s);
    auto *planTable = history->findChild<QTableView *>(u"undoPlanTable"_s);
    auto *undo = history->findChild<QPushButton *>(u"undoButton"_s);
    auto *redo = history->findChild<QPushButton *>(u"redoButton"_s);
    QVERIFY(batchTable && planTable && undo && redo);
    const auto rows = [](QTableView *table) {
        QStringList texts;
        const QAbstractItemModel *model = table->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 1; column < model->columnCount(); ++column)
                cells.append(model->index(row, column).data().toString());
            texts.append(cells.join(u" | "_s));
        }
        return texts;
    };
    const QString folder = m_dir->path();
    QTRY_COMPARE(history->shownPlan().rows.size(), 1); // the newest batch, chosen first
    QCOMPARE(rows(batchTable), (QStringList{u"Rename in place | 1 | %1 | Done"_s.arg(folder),
                                            u"Rename in place | 2 | %1 | Done"_s.arg(folder),
                                            u"Rename in place | 1 | %1 | Done"_s.arg(folder)}));
    QCOMPARE(undo->accessibleName(), u"Undo"_s);
    // The oldest batch's file was moved on by the newest, which its plan names by its time.
    batchTable->setCurrentIndex(batchTable->model()->index(2, 0));
    QTRY_COMPARE(history->shownPlan().batch.id, history->chosenBatch());
    QCOMPARE(planTable->model()->index(0, 2).data().toString(),
             u"Changed by the batch of "_s + batchTable->model()->index(0, 0).data().toString());
    QVERIFY(!undo->isEnabled());

    batchTable->setCurrentIndex(batchTable->model()->index(1, 0));
    const QString middle = history->chosenBatch();
    QTRY_COMPARE(history->shownPlan().batch.id, middle);
    QCOMPARE(planTable->model()->index(0, 0).data().toString(), m_dir->filePath(u"2_b.txt"_s));
    QCOMPARE(rows(planTable), (QStringList{m_dir->filePath(u"b.txt"_s) + u" | Restore"_s,
                                           m_dir->filePath(u"c.txt"_s) + u" | Restore"_s}));
    QVERIFY(undo->isEnabled() && !redo->isEnabled());

    m_messages->entries.clear();
    undo->click();
    QTRY_COMPARE(
        m_messages->texts(),
        (QStringList{u"Restore 2 files?"_s, u"Undo completed for the last rename operation."_s}));
    QVERIFY(QFile::exists(m_dir->filePath(u"b.txt"_s)) &&
            QFile::exists(m_dir->filePath(u"c.txt"_s)));
    // The list is read again; the undone batch stays chosen, and can be carried out again.
    QTRY_COMPARE(rows(batchTable).value(1), u"Rename in place | 2 | %1 | Undone"_s.arg(folder));
    QCOMPARE(history->chosenBatch(), middle);
    QTRY_VERIFY(redo->isEnabled());
    QTRY_COMPARE(history->shownPlan().batch.id, middle);
    QVERIFY(!undo->isEnabled());
    QVERIFY(history->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/history-window.png")));

    m_messages->entries.clear();
    redo->click();
    QTRY_COMPARE(m_messages->texts().size(), 2);
    QCOMPARE(m_messages->texts().at(0),
             u"Carry out batch %1 again?\n\nFiles to rename: 2"_s.arg(middle));
    QCOMPARE(m_messages->texts().at(1), batchCompletedText());
    QVERIFY(QFile::exists(m_dir->filePath(u"2_b.txt"_s)) &&
            QFile::exists(m_dir->filePath(u"2_c.txt"_s)));
    // The redo is a batch of its own, the newest.
    QTRY_COMPARE(batchTable->model()->rowCount(), 4);
    QCOMPARE(rows(batchTable).value(0), u"Rename in place | 2 | %1 | Done"_s.arg(folder));

    QTest::keyClick(batchTable, Qt::Key_Escape);
    QVERIFY(!history->isVisible());
}

// A blocked plan offers to leave its rows out: they leave the list, and the rest is
// planned and asked about again.
void TestMainWindow::blockedRowsLeftOut()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    const QString a = m_dir->file(u"a.txt"_s, "a");
    const QString b = m_dir->file(u"b.txt"_s, "b");
    const QString c = m_dir->file(u"c.txt"_s, "c");
    drop({a, b, c});
    // b.txt would lose its name part: only its extension would be left.
    child<QLineEdit>("patternEdit")->setText(u"{name}"_s);
    child<QLineEdit>("findEdit")->setText(u"b"_s);
    m_messages->actionAnswers = {true};
    child<QToolButton>("renameToolButton")->click();
    QTRY_COMPARE(m_messages->texts().size(), 3);
    QCOMPARE(m_messages->offeredActions, QStringList{u"Leave out the blocked rows"_s});
    QVERIFY(m_messages->texts().at(0).contains(u"b.txt -> .txt"_s));
    QVERIFY(m_messages->texts().at(1).contains(u"Files to rename: 0"_s));
    QCOMPARE(m_form->fileList().items().size(), 2);
    QVERIFY(QFile::exists(b));
}

void TestMainWindow::renameNeedsFilesAndYes()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    child<QToolButton>("renameToolButton")->click();
    QCOMPARE(m_messages->texts(),
             QStringList{u"Nothing to rename. Add files and build a preview first."_s});

    const QString a = m_dir->file(u"a.txt"_s, "a");
    drop({a});
    child<QLineEdit>("patternEdit")->setText(u"b"_s);
    child<QToolButton>("previewToolButton")->click();
    m_messages->answers = {false};
    child<QAction>("renameAction")->trigger();
    waitUntilIdle(); // Rename plans on the controller's thread, then asks
    QVERIFY(QFile::exists(a));
    QVERIFY(!QFile::exists(undoLogPath()));

    // Rename previews the options as they are, the newest file included, before it asks.
    drop({m_dir->file(u"c.txt"_s)});
    m_messages->answers = {false};
    child<QToolButton>("renameToolButton")->click();
    waitUntilIdle();
    QCOMPARE(m_messages->texts().back(),
             u"Proceed to rename files as shown in the preview?\n\nFiles to rename: 2\n"
             u"Numbered: 1"_s);
    QCOMPARE(cell(1, 1), u"b (1).txt"_s);
    QVERIFY(QFile::exists(a));
    QVERIFY(!QFile::exists(m_dir->filePath(u"b.txt"_s)));
}

void TestMainWindow::presetsRoundTripThroughControls()
{
    RenameOptions options;
    options.find = u"\\d+\"x\""_s;
    options.replace = u"n"_s;
    options.regex = true;
    options.pattern = u"{counter} {name}"_s;
    options.counterStart = u"7"_s;
    options.digits = u"2"_s;
    options.caseMode = CaseMode::Title;
    options.changeExt = true;
    options.newExt = u"jpg"_s;
    options.conflict = ConflictMode::Skip;
    options.insertText = u"ü"_s;
    options.insertPos = u"3"_s;
    options.removeFirst = u"1"_s;
    options.removeLast = u"2"_s;
    options.removeFromPos = u"4"_s;
    options.removeTillPos = u"5"_s;
    options.charactersToRemove = u"_"_s;
    options.collapseDoubleSpaces = true;
    options.trimFrom = u"("_s;
    options.trimUntil = u")"_s;
    options.padNumbers = u"3"_s;
    options.includeSubfolders = true;
    options.batchMode = BatchMode::CopyToFolder;
    options.destination = u"/tmp/out/"_s;
    options.touchModifiedNow = true;
    m_form->showOptions(options);
    QCOMPARE(m_form->readOptions(), options);
    // Set as a preset sets it, the operation list leaves the destination alone.
    QVERIFY(child<QLineEdit>("newExtensionEdit")->isEnabled());
    QVERIFY(!child<QLineEdit>("destinationEdit")->isEnabled());

    const QString path = m_dir->filePath(u"saved"_s);
    m_shell->saveFiles = {path};
    child<QAction>("savePresetAction")->trigger();
    QCOMPARE(m_shell->suffixes, QStringList{u"json"_s});
    QCOMPARE(m_shell->filters, QStringList{u"Preset JSON|*.json"_s});

    m_form->showOptions(RenameOptions());
    m_shell->openFiles = {path};
    child<QAction>("loadPresetAction")->trigger();
    QCOMPARE(m_form->readOptions(), options);

    // A failed load changes no control.
    m_shell->openFiles = {m_dir->file(u"latin.json"_s, "{\"find\":\"caf\xE9\"}")};
    child<QToolButton>("loadPresetToolButton")->click();
    QCOMPARE(m_form->readOptions(), options);
    QCOMPARE(m_messages->texts().back(),
             u"No mapping for the Unicode character exists in the target multi-byte code page"_s);
    // A cancelled dialog changes nothing either.
    child<QToolButton>("loadPresetToolButton")->click();
    QCOMPARE(m_form->readOptions(), options);
}

void TestMainWindow::nameListFeedsThePreview()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    m_shell->openFiles = {m_dir->file(u"names.csv"_s, "\"Ann\",1\nBob\n")};
    child<QPushButton>("loadNameListButton")->click();
    QCOMPARE(m_form->importedNames(), (QStringList{u"Ann"_s, u"Bob"_s}));
    QCOMPARE(cell(1, 1), u"Bob.txt"_s);
    QCOMPARE(m_shell->filters.back(), u"Name list (*.txt;*.csv)|*.txt;*.csv|All files (*.*)|*.*"_s);

    // Cancelling keeps the names; a failing load leaves none.
    child<QPushButton>("loadNameListButton")->click();
    QCOMPARE(m_form->importedNames().size(), 2);
    m_shell->openFiles = {m_dir->filePath(u"gone.txt"_s)};
    child<QPushButton>("loadNameListButton")->click();
    QVERIFY(m_form->importedNames().isEmpty());
    QVERIFY(m_messages->texts().back().startsWith(u"The specified file was not found"_s));
}

void TestMainWindow::languageSwitch()
{
    QFile file(QStringLiteral(TESSALY_CATALOGUE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    setTranslationState(*parseCatalogue(QString::fromUtf8(file.readAll())), 0, u"en"_s);
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell);
    auto *menu = child<QMenu>("languageMenu");
    QCOMPARE(menu->actions().size(), 16);
    QVERIFY(menu->actions().front()->isChecked());

    drop({m_dir->file(u"a.txt"_s)});
    child<QComboBox>("caseCombo")->setCurrentIndex(CaseMode::Upper);
    chooseLanguage(u"de"_s);
    QAction *german = menu->actions().at(languageIndex());
    QCOMPARE(german->text(), u"Deutsch"_s);
    QCOMPARE(child<QLabel>("findLabel")->text(), u"Im Namen suchen:"_s);
    QCOMPARE(child<QToolButton>("renameToolButton")->toolTip(), u"Dateien umbenennen!"_s);
    QCOMPARE(child<QComboBox>("caseCombo")->currentText(), u"GROSSBUCHSTABEN"_s);
    QCOMPARE(list()->model()->headerData(3, Qt::Horizontal).toString(), u"Größe"_s);
    QCOMPARE(m_form->statusText(), u"Dateien: 1"_s);
    QVERIFY(german->isChecked() && !menu->actions().front()->isChecked());
    child<QAction>("historyAction")->trigger(); // an open window follows the language too
    auto *history = m_form->findChild<HistoryWindow *>();
    QCOMPARE(history->windowTitle(), u"Verlauf"_s);
    QCOMPARE(history->findChild<QPushButton *>(u"undoButton"_s)->text(), u"Rückgängig"_s);
    history->close();
    QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s)
                 .value(u"CurrentLanguage"_s)
                 .toString(),
             u"de"_s);

    m_messages->answers = {false};
    child<QToolButton>("previewToolButton")->click();
    child<QToolButton>("renameToolButton")->click();
    waitUntilIdle();
    QVERIFY(m_messages->texts().back().startsWith(
        u"Dateien wie in der Vorschau gezeigt umbenennen?\n\nUmzubenennende Dateien: "_s));
    // Qt's own dialog buttons speak the language too.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Abbrechen"_s);
    QCOMPARE(QApplication::layoutDirection(), Qt::LeftToRight);

    // Arabic runs right to left.
    chooseLanguage(u"ar"_s);
    QCOMPARE(QApplication::layoutDirection(), Qt::RightToLeft);
    QCOMPARE(m_form->layoutDirection(), Qt::RightToLeft);
    QVERIFY(QCoreApplication::translate("QPlatformTheme", "Cancel") != u"Cancel"_s);
    // Qt has no Greek translation; the catalogue answers for the message boxes' buttons.
    chooseLanguage(u"el"_s);
    QCOMPARE(QApplication::layoutDirection(), Qt::LeftToRight);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), u"&Ναι"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), u"OK"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Close"), u"Close"_s);

    menu->actions().front()->trigger();
    QCOMPARE(child<QLabel>("findLabel")->text(), u"Find in name:"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), u"&Yes"_s);
}

void TestMainWindow::statusBarFollowsTheLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::newRow("german") << u"de"_s;
    QTest::newRow("arabic") << u"ar"_s;
}

// Every text of the status bar is said again in the new language, with its counts.
void TestMainWindow::statusBarFollowsTheLanguage()
{
    QFETCH(QString, code);
    startWithCatalogue();
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    QTRY_COMPARE(m_form->planSummaryText(), u"No change: 2"_s);

    chooseLanguage(code);
    const QString files = translateText(u"Files: %d"_s).replace(u"%d"_s, QLocale().toString(2));
    QVERIFY(files != u"Files: 2"_s);
    QCOMPARE(m_form->statusText(), files);
    QCOMPARE(m_form->planSummaryText(),
             planStatusText(PlanStatus::Unchanged) + u": "_s + QLocale().toString(2));
    QCOMPARE(child<QToolButton>("cancelWorkButton")->text(), translateText(u"Cancel"_s));
    settle();
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/status-bar-") + code +
                                u".png"_s));

    chooseLanguage(u"en"_s);
    QCOMPARE(m_form->statusText(), u"Files: 2"_s);
    QCOMPARE(m_form->planSummaryText(), u"No change: 2"_s);
    // The hint stands only while the list is empty, in whichever language.
    child<QAction>("clearListAction")->trigger();
    QCOMPARE(m_form->statusText(), u"  Add the files"_s);
    chooseLanguage(code);
    QCOMPARE(m_form->statusText(), u"  "_s + translateText(u"Add the files"_s));
}

// After a batch and after its undo the rows show what the options would do now, and a
// field that was typed in before the batch gives Ctrl+Z to the batch.
void TestMainWindow::statusesFollowABatchAndItsUndo()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    const QString a = m_dir->file(u"a.txt"_s, "a");
    drop({a, m_dir->file(u"b.txt"_s, "b")});
    child<QLineEdit>("replaceEdit")->setText(u"c"_s);
    activate();
    auto *find = child<QLineEdit>("findEdit");
    find->setFocus();
    QTest::keyClicks(find, u"a"_s);
    QTRY_COMPARE(m_form->planSummaryText(), u"No change: 1"_s);
    QTest::keyClick(find, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(m_messages->texts().size(), 2);
    QCOMPARE(m_messages->texts().back(), batchCompletedText());
    QVERIFY(QFile::exists(m_dir->filePath(u"c.txt"_s)));
    QTRY_COMPARE(cell(0, FileListModel::StatusColumn), u"No change"_s);
    QCOMPARE(cell(1, FileListModel::StatusColumn), u"No change"_s);
    QCOMPARE(m_form->planSummaryText(), u"No change: 2"_s);
    QCOMPARE(m_form->statusText(), u"Files: 2"_s);

    QVERIFY(find->hasFocus());
    QTest::keyClick(find, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(m_messages->texts().size(), 4);
    QCOMPARE(m_messages->texts().at(2), u"Restore 1 files?"_s);
    QCOMPARE(find->text(), u"a"_s);
    QVERIFY(QFile::exists(a));
    QTRY_COMPARE(cell(0, FileListModel::NewNameColumn), u"c.txt"_s);
    QCOMPARE(cell(0, FileListModel::StatusColumn), QString());
    QTRY_COMPARE(m_form->planSummaryText(), u"No change: 1"_s);
}

void TestMainWindow::commandLineMode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("quits");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("no-cli") << QStringList{u"/pattern=x"_s} << false << QStringList()
                            << u"{name}"_s;
    QTest::newRow("dry-run") << QStringList{u"/cli"_s, u"/pattern={counter}_{name}"_s, u"/dryrun"_s}
                             << true << QStringList{u"No files loaded. Add files first."_s}
                             << u"{counter}_{name}"_s;
    // The list is empty at start, so the pattern is never compiled.
    QTest::newRow("batch-on-the-empty-list")
        << QStringList{u"/CLI"_s, u"/regex"_s, u"/find=(a"_s} << true
        << QStringList{u"No files loaded. Add files first."_s, u"<completed>"_s} << u"{name}"_s;
}

void TestMainWindow::commandLineMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, quits);
    QFETCH(QStringList, messages);
    QFETCH(QString, pattern);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_form.reset();
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell, nullptr, arguments);
    QCOMPARE(m_form->quitRequested(), quits);
    messages.replaceInStrings(u"<completed>"_s, batchCompletedText());
    QCOMPARE(m_messages->texts(), messages);
    QCOMPARE(child<QLineEdit>("patternEdit")->text(), pattern);
    if (arguments.contains(u"/regex"_s))
        QVERIFY(m_settings->findChild<QCheckBox *>(u"regexCheck"_s)->isChecked());
}

void TestMainWindow::pathsGivenAtStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("listed"); // relative to the test folder, in list order

    QTest::newRow("files-and-a-folder")
        << QStringList{u"@b.txt"_s, u"@Folder"_s, u"@a.txt"_s, u"@b.txt"_s}
        << QStringList{u"a.txt"_s, u"b.txt"_s, u"Folder/c.txt"_s};
    QTest::newRow("relative-to-the-current-folder")
        << QStringList{u"a.txt"_s, u"./Folder/../b.txt"_s} << QStringList{u"a.txt"_s, u"b.txt"_s};
    QTest::newRow("others-ignored")
        << QStringList{u"@missing.txt"_s, u"--verbose"_s,       u"-x"_s,    u"/pattern=x"_s,
                       QString(),         u"/nowhere/at/all"_s, u"@a.txt"_s}
        << QStringList{u"a.txt"_s};
    QTest::newRow("nothing") << QStringList() << QStringList();
}

// Paths given to the program (a file manager's "Open with", a desktop entry's %F) are
// listed when the window opens, as a drop would list them.
void TestMainWindow::pathsGivenAtStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, listed);

    for (const QString &name : {u"a.txt"_s, u"b.txt"_s, u"Folder/c.txt"_s, u"Folder/sub/e.txt"_s})
        m_dir->file(name);
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    startWith(arguments);
    QDir::setCurrent(previous);
    waitUntilIdle(); // read on the controller's thread, while the window opens

    QStringList expected;
    for (const QString &name : listed)
        expected.append(m_dir->filePath(name));
    QCOMPARE(listedPaths(), expected);
    QCOMPARE(m_form->statusText(),
             expected.isEmpty() ? u"  Add the files"_s : u"Files: %1"_s.arg(expected.size()));
    QVERIFY(!m_form->quitRequested());
    QVERIFY(m_messages->entries.isEmpty());
}

void TestMainWindow::commandLineModeRunsOnGivenPaths_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("onDisk");

    QTest::newRow("renames") << QStringList{u"@b.txt"_s, u"/cli"_s, u"/pattern={counter}_{name}"_s,
                                            u"@a.txt"_s}
                             << QStringList{u"<completed>"_s}
                             << QStringList{u"001_a.txt"_s, u"002_b.txt"_s};
    QTest::newRow("dry-run") << QStringList{u"/cli"_s, u"@a.txt"_s, u"/case=upper"_s, u"/dryrun"_s,
                                            u"@b.txt"_s}
                             << QStringList() << QStringList{u"a.txt"_s, u"b.txt"_s};
}

void TestMainWindow::commandLineModeRunsOnGivenPaths()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, onDisk);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_dir->file(u"a.txt"_s);
    m_dir->file(u"b.txt"_s);
    startWith(arguments);
    QVERIFY(m_form->quitRequested());
    messages.replaceInStrings(u"<completed>"_s, batchCompletedText());
    QCOMPARE(m_messages->texts(), messages);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), onDisk);
}

void TestMainWindow::previewErrorsBecomeMessages()
{
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(m_messages->entries, (QList<RecordingMessages::Entry>{
                                      {u"info"_s, u"No files loaded. Add files first."_s}}));

    drop({m_dir->file(u"a.txt"_s)});
    m_messages->entries.clear();
    m_settings->findChild<QCheckBox *>(u"regexCheck"_s)->setChecked(true);
    child<QLineEdit>("findEdit")->setText(u"(a"_s);
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(m_messages->entries.size(), 1);
    QCOMPARE(m_messages->entries.first().kind, u"error"_s);
    QVERIFY2(m_messages->entries.first().text.contains(u"missing closing parenthesis"_s),
             qPrintable(m_messages->entries.first().text));
    // The window goes on working.
    child<QLineEdit>("findEdit")->setText(u"(a)"_s);
    child<QLineEdit>("replaceEdit")->setText(u"b"_s);
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(0, 1), u"b.txt"_s);
}

void TestMainWindow::removeCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("status");

    const QString empty = u"  Add the files"_s;
    QTest::newRow("remove-selected")
        << u"removeToolButton"_s << QList<int>{0, 2} << QStringList{u"b"_s} << u"Files: 1"_s;
    QTest::newRow("remove-nothing-selected")
        << u"removeToolButton"_s << QList<int>{} << QStringList{u"a"_s, u"b"_s, u"c"_s}
        << u"Files: 3"_s;
    QTest::newRow("menu-remove-selected") << u"removeSelectedAction"_s << QList<int>{1}
                                          << QStringList{u"a"_s, u"c"_s} << u"Files: 2"_s;
    QTest::newRow("context-remove-selected") << u"listRemoveSelectedAction"_s << QList<int>{0}
                                             << QStringList{u"b"_s, u"c"_s} << u"Files: 2"_s;
    QTest::newRow("context-remove-nothing-selected")
        << u"listRemoveSelectedAction"_s << QList<int>{} << QStringList{u"a"_s, u"b"_s, u"c"_s}
        << u"Files: 3"_s;
    // Clear list clears the whole list whatever is selected, from either menu.
    QTest::newRow("clear-list-nothing-selected")
        << u"listClearAction"_s << QList<int>{} << QStringList{} << empty;
    QTest::newRow("clear-list-one-selected")
        << u"listClearAction"_s << QList<int>{1} << QStringList{} << empty;
    QTest::newRow("file-menu-clear-list")
        << u"clearListAction"_s << QList<int>{} << QStringList{} << empty;
    QTest::newRow("hidden-clear") << u"clearButton"_s << QList<int>{} << QStringList{} << empty;
}

void TestMainWindow::removeCommands()
{
    QFETCH(QString, command);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, remaining);
    QFETCH(QString, status);

    drop({m_dir->file(u"a"_s), m_dir->file(u"b"_s), m_dir->file(u"c"_s)});
    child<QToolButton>("previewToolButton")->click();
    selectRows(selected);
    m_form->applyTranslatedCaptions();

    const QByteArray name = command.toLatin1();
    if (auto *action = m_form->findChild<QAction *>(command))
        action->trigger();
    else
        child<QAbstractButton>(name.constData())->click();

    QStringList names;
    for (const RenameItem &item : m_form->fileList().items())
        names.append(item.originalName().toString());
    QCOMPARE(names, remaining);
    QCOMPARE(list()->model()->rowCount(), remaining.size());
    QCOMPARE(m_form->statusText(), status);
    // The remaining rows keep the names of the last preview; removed paths can come back.
    for (int row = 0; row < remaining.size(); ++row)
        QCOMPARE(cell(row, 1), remaining.at(row));
    drop({m_dir->filePath(u"a"_s)});
    QVERIFY(m_form->isListed(m_dir->filePath(u"a"_s)));
}

// Above a thousand rows Clear list asks first; the counts are written as the user's
// locale writes numbers.
void TestMainWindow::clearingALongListAsksFirst()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto english =
        qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
    for (int i = 0; i < 1001; ++i)
        m_dir->file(u"many/f%1.txt"_s.arg(i));
    drop({m_dir->filePath(u"many"_s)});
    QCOMPARE(m_form->statusText(), u"Files: 1.001"_s);
    RenamePlan plan;
    plan.counts[size_t(PlanStatus::Unchanged)] = 100000;
    QCOMPARE(planSummary(plan), u"No change: 100.000"_s);

    m_messages->answers = {false, true};
    child<QAction>("listClearAction")->trigger();
    QCOMPARE(m_messages->entries, (QList<RecordingMessages::Entry>{
                                      {u"confirm"_s, u"Remove all 1.001 files from the list?"_s}}));
    QCOMPARE(m_form->fileList().count(), 1001);
    child<QAction>("clearListAction")->trigger();
    QCOMPARE(m_messages->entries.size(), 2);
    QCOMPARE(m_form->fileList().count(), 0);
    QCOMPARE(m_form->statusText(), u"  Add the files"_s);
}

// Options that give no names take the names of the last preview away from the rows and
// show why on each row, until they give names again.
void TestMainWindow::previewFailureClearsNewNames()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    child<QLineEdit>("patternEdit")->setText(u"{counter}-{name}"_s);
    QTRY_COMPARE(cell(1, 1), u"002-b.txt"_s);
    m_settings->findChild<QCheckBox *>(u"regexCheck"_s)->setChecked(true);
    child<QLineEdit>("findEdit")->setText(u"(a"_s);
    QTRY_COMPARE(cell(1, 1), QString());
    const auto showsFailure = [this](int row) {
        const QModelIndex status = list()->model()->index(row, FileListModel::StatusColumn);
        return cell(row, FileListModel::NewNameColumn).isEmpty() &&
               status.data().toString() == u"Error"_s &&
               status.data(Qt::ToolTipRole).toString().contains(u"missing closing parenthesis"_s);
    };
    QVERIFY(showsFailure(0) && showsFailure(1));
    QVERIFY(m_form->planSummaryText().startsWith(u"Error in regular expression"_s));
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/preview-failure.png")));

    // Preview says so too, and leaves the rows showing it.
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(m_messages->entries.size(), 1);
    QVERIFY(showsFailure(0));

    child<QLineEdit>("findEdit")->setText(u"(x)"_s);
    QTRY_COMPARE(cell(0, 1), u"001-a.txt"_s);
    QCOMPARE(cell(1, 1), u"002-b.txt"_s);
    QCOMPARE(cell(1, FileListModel::StatusColumn), QString());
}

// A name that would show as "invoiceexe.pdf" shows what it holds, and the plan says so
// without keeping the batch from starting.
void TestMainWindow::invisibleCharactersShown()
{
    drop({m_dir->file(u"invoice\u202Efdp.exe"_s), m_dir->file(u"plain.txt"_s)});
    child<QLineEdit>("patternEdit")->setText(u"new_{name}"_s);
    QTRY_COMPARE(cell(0, FileListModel::NewNameColumn), u"new_invoice\u27E8RLO\u27E9fdp.exe"_s);
    QCOMPARE(cell(0, FileListModel::OriginalNameColumn), u"invoice\u27E8RLO\u27E9fdp.exe"_s);
    QTRY_COMPARE(cell(0, FileListModel::StatusColumn), u"Invisible characters"_s);
    QCOMPARE(cell(1, FileListModel::StatusColumn), QString());
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(
        m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/invisible-characters.png")));
}

void TestMainWindow::newExtensionFollowsItsCheckBox()
{
    auto *check = child<QCheckBox>("newExtensionCheck");
    auto *edit = child<QLineEdit>("newExtensionEdit");
    QVERIFY(!edit->isEnabled());
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    QVERIFY(check->isChecked());
    QVERIFY(edit->isEnabled());
    edit->setText(u"bak"_s);
    // Set by a preset or the command line: the same rule.
    check->setChecked(false);
    QVERIFY(!edit->isEnabled());
    QCOMPARE(edit->text(), u"bak"_s);
}

void TestMainWindow::onlyTheUserChangesDestinationControls()
{
    auto *mode = child<QComboBox>("operationCombo");
    const QList<QWidget *> destination{child<QWidget>("destinationLabel"),
                                       child<QWidget>("destinationEdit"),
                                       child<QWidget>("chooseDestinationButton")};
    const auto enabled = [&](bool expected) {
        for (QWidget *control : destination) {
            if (control->isEnabled() != expected)
                return false;
        }
        return true;
    };
    QVERIFY(enabled(false));

    // As a preset does it: the selection changes, the controls do not.
    mode->setCurrentIndex(2);
    QVERIFY(enabled(false));
    QCOMPARE(m_form->readOptions().batchMode, 2);

    mode->setCurrentIndex(0);
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(mode->currentIndex(), 1);
    QVERIFY(enabled(true));
    child<QLineEdit>("destinationEdit")->setText(u"/tmp/out"_s);
    QTest::keyClick(mode, Qt::Key_Up);
    QCOMPARE(mode->currentIndex(), 0);
    QVERIFY(enabled(false));
    QCOMPARE(child<QLineEdit>("destinationEdit")->text(), u"/tmp/out"_s);
}

void TestMainWindow::destinationPicker()
{
    auto *mode = child<QComboBox>("operationCombo");
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    auto *edit = child<QLineEdit>("destinationEdit");
    edit->setText(m_dir->filePath(u"not-there"_s));
    child<QPushButton>("chooseDestinationButton")->click(); // cancelled
    QCOMPARE(m_shell->starts, QStringList{QDir::currentPath()});
    QCOMPARE(m_shell->titles, QStringList{u"Select destination folder"_s});
    QCOMPARE(edit->text(), m_dir->filePath(u"not-there"_s));

    const QString target = m_dir->folder(u"out"_s);
    edit->setText(target);
    m_shell->folders = {m_dir->path()};
    child<QPushButton>("chooseDestinationButton")->click();
    QCOMPARE(m_shell->starts.last(), target);
    QCOMPARE(edit->text(), m_dir->path());
}

void TestMainWindow::optionsPanelHidesAndReturns()
{
    auto *toolbar = child<QWidget>("toolbarPanel");
    auto *panel = child<QWidget>("optionsPanel");
    auto *toggle = child<QAction>("showOptionsAction");
    QVERIFY(toggle->isChecked());
    const int listHeight = list()->height();

    toggle->trigger();
    QVERIFY(!toggle->isChecked());
    QVERIFY(panel->isHidden());
    QTRY_COMPARE(list()->y(), toolbar->geometry().bottom() + 1);
    QCOMPARE(list()->height(), listHeight + panel->height());

    toggle->trigger();
    QVERIFY(toggle->isChecked());
    QVERIFY(panel->isVisible());
    QTRY_COMPARE(panel->y(), toolbar->geometry().bottom() + 1);
    QCOMPARE(list()->y(), panel->geometry().bottom() + 1);
    QCOMPARE(list()->height(), listHeight);
}

void TestMainWindow::folderColumnTakesTheRest_data()
{
    // Client widths from the one at which "Folder" has its least width and the others
    // theirs (936 pixels with the default 90 for "Size").
    QTest::addColumn<int>("beyondLeast");
    QTest::addColumn<int>("folderBeyondLeast");
    QTest::newRow("narrow") << -236 << 0;
    QTest::newRow("just-below") << -1 << 0;
    QTest::newRow("least") << 0 << 0;
    QTest::newRow("one-more") << 1 << 1;
    QTest::newRow("64-more") << 64 << 64;
    QTest::newRow("wide") << 864 << 864;
}

void TestMainWindow::folderColumnTakesTheRest()
{
    QFETCH(int, beyondLeast);
    QFETCH(int, folderBeyondLeast);
    // Size and Status are as wide as their texts need, at least 90 and 130.
    const int sizeWidth = list()->columnWidth(3);
    const int statusWidth = list()->columnWidth(4);
    QVERIFY(sizeWidth >= 90 && statusWidth >= 130);
    const int least = 280 + 280 + sizeWidth + statusWidth + 150 + 6;
    m_form->setMinimumSize(0, 0);
    const int chrome = m_form->width() - m_form->listClientWidth();
    m_form->resize(least + beyondLeast + chrome, m_form->height());
    QTRY_COMPARE(m_form->listClientWidth(), least + beyondLeast);
    QCOMPARE(list()->columnWidth(2), 150 + folderBeyondLeast);
    QCOMPARE(list()->columnWidth(0), 280);
    QCOMPARE(list()->columnWidth(3), sizeWidth);
    QCOMPARE(list()->columnWidth(4), statusWidth);
}

// A resize fits the size and status columns to their contents again; name columns keep
// the width the user dragged them to.
void TestMainWindow::resizeRefitsDraggedWidths()
{
    const int sizeWidth = list()->columnWidth(3);
    list()->horizontalHeader()->resizeSection(0, 100);
    list()->horizontalHeader()->resizeSection(3, 300);
    m_form->resize(m_form->width() + 50, m_form->height());
    QTRY_COMPARE(list()->columnWidth(3), sizeWidth);
    QCOMPARE(list()->columnWidth(0), 100);
}

void TestMainWindow::optionsDialogKeepsValues()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    child<QLineEdit>("patternEdit")->setText(u"{counter}"_s);
    auto *counterStart = m_settings->findChild<QLineEdit *>(u"counterStartEdit"_s);
    auto *digits = m_settings->findChild<QLineEdit *>(u"digitsEdit"_s);
    auto *conflict = m_settings->findChild<QComboBox *>(u"conflictCombo"_s);
    QCOMPARE(conflict->currentIndex(), 2);
    QCOMPARE(conflict->itemText(2), u"Auto-number"_s);

    bool edited = false;
    QTimer::singleShot(0, this, [&] {
        QVERIFY(m_settings->isVisible());
        counterStart->selectAll();
        QTest::keyClicks(counterStart, u"5"_s);
        digits->selectAll();
        QTest::keyClicks(digits, u"x2"_s); // the letter is refused
        conflict->setCurrentIndex(0);
        edited = true;
        m_settings->findChild<QPushButton *>(u"closeButton"_s)->click();
    });
    child<QToolButton>("optionsToolButton")->click();
    QVERIFY(edited);
    QVERIFY(!m_settings->isVisible());
    QCOMPARE(counterStart->text(), u"5"_s);
    QCOMPARE(digits->text(), u"2"_s);

    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(0, 1), u"05.txt"_s);
    QCOMPARE(cell(1, 1), u"06.txt"_s);

    // Reopened and closed by its close box: every value is still there.
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        seen = counterStart->text() == u"5"_s && digits->text() == u"2"_s &&
               conflict->currentIndex() == 0;
        digits->clear();
        m_settings->close();
    });
    child<QToolButton>("optionsToolButton")->click();
    QVERIFY(seen);
    RenameOptions expected;
    expected.pattern = u"{counter}"_s;
    expected.counterStart = u"5"_s;
    expected.digits = QString();
    expected.conflict = 0;
    QCOMPARE(m_form->readOptions(), expected);
    // An emptied digit count is read as 3.
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(0, 1), u"005.txt"_s);
}

void TestMainWindow::visualStyle()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    const QString applied = app->styleSheet();
    QVERIFY(applied.contains(u"QTableView"_s));

    RecordingMessages messages;
    QVERIFY(!applyVisualStyle(*app, messages, u":/styles/missing.qss"_s));
    QCOMPARE(messages.entries.size(), 1);
    QCOMPARE(messages.entries.first().kind, u"error"_s);
    QVERIFY(messages.entries.first().text.contains(u"Allports"_s));
    QCOMPARE(app->styleSheet(), applied);
}

void TestMainWindow::helpLinksAndExit()
{
    child<QAction>("tutorialAction")->trigger();
    child<QAction>("contactUsAction")->trigger();
    child<QAction>("visitWebsiteAction")->trigger();
    QCOMPARE(m_shell->addresses,
             (QStringList{HomepageAddress + u"/redirect/tutorial-vexa.html"_s,
                          HomepageAddress + u"/support.html"_s, HomepageAddress}));
    auto *link = child<QLabel>("homepageLink");
    QCOMPARE(link->text(), HomepageAddress);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(m_shell->addresses.size(), 4);
    QVERIFY(m_messages->entries.isEmpty());
    // Without a browser the address is shown, to be copied.
    m_shell->browserFound = false;
    child<QAction>("contactUsAction")->trigger();
    QCOMPARE(m_messages->entries,
             (QList<RecordingMessages::Entry>{
                 {u"warning"_s, u"No web browser could be started. The address is:\n\n"_s +
                                    HomepageAddress + u"/support.html"_s}}));
    // The link sits at the right end of the status bar, in its middle.
    auto *bar = child<QStatusBar>("statusBar");
    QCOMPARE(link->parentWidget(), bar);
    QCOMPARE(link->size(), QSize(262 + 25, 19));
    QVERIFY(link->geometry().right() >= bar->width() - 4);
    QVERIFY(std::abs(link->geometry().center().y() - bar->rect().center().y()) <= 2);

    child<QAction>("exitAction")->trigger();
    QVERIFY(!m_form->isVisible());
}

// The list shows what the batch will do before anything happens, and a plan that would
// lose a file keeps Rename from starting.
void TestMainWindow::planShownInTheList()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_dir->file(u"x.txt"_s, "outside");
    const QStringList listed{m_dir->file(u"a.txt"_s, "a"), m_dir->file(u"b.txt"_s, "b"),
                             m_dir->file(u"x (1).txt"_s, "x1")};
    drop(listed);
    child<QLineEdit>("patternEdit")->setText(u"x"_s);
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(0, 1), u"x (2).txt"_s);
    QCOMPARE(cell(1, 1), u"x (3).txt"_s);
    QCOMPARE(cell(2, 1), u"x (1).txt"_s); // numbered, it would keep its present name
    QCOMPARE(cell(0, 4), u"Numbered"_s);
    QCOMPARE(cell(2, 4), u"No change"_s);
    QCOMPARE(m_form->planSummaryText(), u"No change: 1, Numbered: 2"_s);

    // Under Overwrite the three would end as one name: nothing starts.
    m_settings->findChild<QComboBox *>(u"conflictCombo"_s)
        ->setCurrentIndex(ConflictMode::Overwrite);
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(0, 4), u"Duplicate name"_s);
    QCOMPARE(m_form->planSummaryText(), u"Duplicate name: 3"_s);
    child<QToolButton>("renameToolButton")->click();
    waitUntilIdle();
    QVERIFY(m_messages->texts().back().startsWith(
        u"Nothing was renamed. Files that cannot get the names shown: 3"_s));
    QVERIFY(QFile::exists(listed.at(0)) && QFile::exists(listed.at(1)));

    // Adding a file takes the plan away with the preview it belonged to.
    drop({m_dir->file(u"c.txt"_s)});
    QCOMPARE(cell(0, 4), QString());
    QCOMPARE(m_form->planSummaryText(), QString());

    m_settings->findChild<QComboBox *>(u"conflictCombo"_s)
        ->setCurrentIndex(ConflictMode::AutoNumber);
    child<QToolButton>("previewToolButton")->click();
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/plan-in-list.png")));
    child<QToolButton>("renameToolButton")->click();
    QTRY_COMPARE(m_messages->texts().back(), batchCompletedText());
    QCOMPARE(m_messages->entries.at(m_messages->entries.size() - 2).text,
             u"Proceed to rename files as shown in the preview?\n\nFiles to rename: 3\n"
             u"No change: 1, Numbered: 3"_s);
    QCOMPARE(cell(0, 0), u"x (2).txt"_s);
    QCOMPARE(cell(2, 0), u"x (1).txt"_s);
    QCOMPARE(cell(3, 0), u"x (4).txt"_s);
    QCOMPARE(cell(3, 4), QString());
}

// The preview column follows every change of an option or of the list, without a
// message when something is not ready, such as a regular expression being typed.
void TestMainWindow::previewFollowsChanges()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    QTRY_COMPARE(cell(1, 1), u"b.txt"_s);
    child<QLineEdit>("patternEdit")->setText(u"{counter}-{name}"_s);
    QTRY_COMPARE(cell(1, 1), u"002-b.txt"_s);
    child<QComboBox>("caseCombo")->setCurrentIndex(CaseMode::Upper);
    QTRY_COMPARE(cell(0, 1), u"001-A.txt"_s);
    drop({m_dir->file(u"c.txt"_s)});
    QTRY_COMPARE(cell(2, 1), u"003-C.txt"_s);

    m_settings->findChild<QCheckBox *>(u"regexCheck"_s)->setChecked(true);
    child<QLineEdit>("findEdit")->setText(u"(a"_s);
    QTRY_VERIFY(m_form->planSummaryText().startsWith(u"Error in regular expression"_s));
    QVERIFY(m_messages->entries.isEmpty());
}

// {counter} follows the list as shown: sorted by a header, or rows moved by hand.
void TestMainWindow::orderChangesTheCounter()
{
    drop({m_dir->file(u"b.txt"_s, "bb"), m_dir->file(u"c.txt"_s, "c"),
          m_dir->file(u"a.txt"_s, "aaa")});
    child<QLineEdit>("patternEdit")->setText(u"{counter}_{name}"_s);
    QTRY_COMPARE(cell(0, 1), u"001_a.txt"_s);

    QHeaderView *header = list()->horizontalHeader();
    const auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    clickHeader(FileListModel::OriginalNameColumn);
    clickHeader(FileListModel::OriginalNameColumn); // again: descending
    QCOMPARE(cell(0, 0), u"c.txt"_s);
    QTRY_COMPARE(cell(0, 1), u"001_c.txt"_s);
    clickHeader(FileListModel::SizeColumn);
    QCOMPARE(cell(0, 0), u"c.txt"_s);
    QCOMPARE(cell(2, 0), u"a.txt"_s);

    selectRows({2});
    QTest::keyClick(list(), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(cell(1, 0), u"a.txt"_s);
    QTRY_COMPARE(cell(1, 1), u"002_a.txt"_s);
    QCOMPARE(list()->selectionModel()->selectedRows().front().row(), 1); // the row moved along
    child<QAction>("moveDownAction")->trigger();
    QCOMPARE(cell(2, 0), u"a.txt"_s);
    child<QAction>("moveDownAction")->trigger(); // at the end already
    QCOMPARE(cell(2, 0), u"a.txt"_s);

    // Dragging rows: what the view hands the model when selected rows are dropped on a
    // row. The rows land before it, in their order; the sort arrow goes.
    clickHeader(FileListModel::OriginalNameColumn);
    QCOMPARE(header->sortIndicatorSection(), int(FileListModel::OriginalNameColumn));
    QAbstractItemModel *model = list()->model();
    std::unique_ptr<QMimeData> dragged(
        model->mimeData({model->index(1, 0), model->index(2, 3), model->index(2, 0)}));
    QVERIFY(model->canDropMimeData(dragged.get(), Qt::MoveAction, -1, -1, model->index(0, 2)));
    QVERIFY(model->dropMimeData(dragged.get(), Qt::MoveAction, -1, -1, model->index(0, 2)));
    QCOMPARE((QStringList{cell(0, 0), cell(1, 0), cell(2, 0)}),
             (QStringList{u"b.txt"_s, u"c.txt"_s, u"a.txt"_s}));
    QCOMPARE(header->sortIndicatorSection(), -1);
    QTRY_COMPARE(cell(2, 1), u"003_a.txt"_s);
    // Past the last row: to the end. Rows of another list are not taken.
    dragged.reset(model->mimeData({model->index(0, 0)}));
    QVERIFY(model->dropMimeData(dragged.get(), Qt::MoveAction, -1, -1, QModelIndex()));
    QCOMPARE(cell(2, 0), u"b.txt"_s);
    FileListModel other;
    dragged.reset(other.mimeData({}));
    QVERIFY(!model->canDropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
}

// The window opens where it was closed, and on a screen even when that place is gone.
void TestMainWindow::remembersItsPlace()
{
    const QRect room = m_form->screen()->availableGeometry();
    m_form->setGeometry(QRect(room.topLeft() + QPoint(40, 30), QSize(1100, 690)));
    m_form->close();
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell);
    QCOMPARE(m_form->size(), QSize(1100, 690));

    m_form->move(room.right() + 500, room.bottom() + 500);
    m_form->close();
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell);
    QVERIFY(room.contains(m_form->frameGeometry().topLeft()));

    // A name column dragged wider keeps its width when the window is made narrower, and
    // at the next start; the folder column takes what is left.
    m_form->show();
    QHeaderView *header = list()->horizontalHeader();
    header->resizeSection(FileListModel::NewNameColumn, 340);
    m_form->resize(m_form->width() - 60, m_form->height());
    QTRY_COMPARE(header->sectionSize(FileListModel::NewNameColumn), 340);
    m_form->close();
    m_form = std::make_unique<MainWindow>(*m_settings, *m_messages, *m_shell);
    m_form->show();
    header = list()->horizontalHeader();
    QCOMPARE(header->sectionSize(FileListModel::NewNameColumn), 340);
    QCOMPARE(header->sectionSize(FileListModel::OriginalNameColumn), 280);
    QVERIFY(header->sectionViewportPosition(FileListModel::StatusColumn) +
                header->sectionSize(FileListModel::StatusColumn) <=
            list()->viewport()->width());
}

// A batch of a few thousand files runs while the window answers, shows how far it is,
// and stops between two files when asked; the log holds exactly the files done.
void TestMainWindow::longBatchShowsProgressAndStops()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    GatedFileOperations gate;
    m_form->controller().setFileOperations(&gate);
    QStringList paths;
    for (int i = 0; i < 3000; ++i)
        paths.append(m_dir->file(u"f%1.txt"_s.arg(i, 4, 10, QLatin1Char('0'))));
    drop(paths);
    child<QLineEdit>("patternEdit")->setText(u"x{counter}"_s);
    child<QToolButton>("renameToolButton")->click();
    QVERIFY(m_form->controller().isBusy());
    QVERIFY(!child<QToolButton>("renameToolButton")->isEnabled());
    // The rows stay the job's while it runs: nothing removes any.
    list()->selectRow(0);
    for (const char *remove :
         {"removeSelectedAction", "listRemoveSelectedAction", "listClearAction"}) {
        auto *action = m_form->findChild<QAction *>(QLatin1StringView(remove));
        QVERIFY2(action && !action->isEnabled(), remove);
        action->trigger();
    }
    QTest::keyClick(list(), Qt::Key_Delete);
    QCOMPARE(list()->model()->rowCount(), 3000);
    gate.release(400);
    auto *bar = child<QProgressBar>("progressBar");
    QTRY_VERIFY(bar->isVisible() && bar->value() > 0);
    QVERIFY(child<QLabel>("progressText")->text().contains(u" of 3,000: "_s));
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/long-batch.png")));

    child<QToolButton>("cancelWorkButton")->click();
    gate.release(1000000);
    QTRY_VERIFY(!m_form->controller().isBusy());
    const QString stopped = m_messages->texts().back();
    QVERIFY2(stopped.startsWith(u"Stopped after "_s), qPrintable(stopped));
    // Both counts as the locale writes them.
    QVERIFY2(stopped.contains(u" of 3,000 files."_s), qPrintable(stopped));
    const int done = QLocale().toInt(stopped.section(u' ', 2, 2));
    QVERIFY(done >= 400 && done < 3000);
    QFile log(undoLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count("\r\n") - 1, done);
    QCOMPARE(QDir(m_dir->path()).entryList({u"x*"_s}, QDir::Files).size(), done);
    QVERIFY(child<QToolButton>("renameToolButton")->isEnabled());
    QVERIFY(!bar->isVisible());
    m_form->controller().setFileOperations(nullptr);
}

void TestMainWindow::sizeAndStatusStayWhole()
{
    // Enough rows for a vertical scroll bar, and a plan that fills the Status column.
    QStringList paths;
    for (int i = 0; i < 60; ++i)
        paths.append(
            m_dir->file(u"f%1.txt"_s.arg(i, 2, 10, QChar(u'0')), QByteArray(i * 997, 'x')));
    drop(paths);
    child<QLineEdit>("patternEdit")->setText(u"x"_s);
    child<QToolButton>("previewToolButton")->click();
    QCOMPARE(cell(1, 4), u"Numbered"_s);
    for (const QSize &size : {m_form->size(), QSize(1024, 700)}) {
        m_form->resize(size);
        QTRY_COMPARE(m_form->size(), size);
        QTRY_VERIFY(list()->verticalScrollBar()->isVisible());
        // Every column ends inside the list's client area: nothing is cut at the right.
        const int last = list()->columnViewportPosition(4) + list()->columnWidth(4);
        QVERIFY2(last <= m_form->listClientWidth(),
                 qPrintable(u"%1 > %2"_s.arg(last).arg(m_form->listClientWidth())));
        QVERIFY(!list()->horizontalScrollBar()->isVisible());
        QFont bold = list()->font();
        bold.setBold(true);
        for (int row = 0; row < paths.size(); ++row) {
            const QModelIndex size = list()->model()->index(row, 3);
            QVERIFY(list()->fontMetrics().horizontalAdvance(size.data().toString()) <
                    list()->columnWidth(3) - 6);
            QVERIFY(QFontMetrics(bold).horizontalAdvance(cell(row, 4)) <
                    list()->columnWidth(4) - 6);
        }
    }
    // The exact size is in the tooltip.
    QCOMPARE(list()->model()->index(59, 3).data(Qt::ToolTipRole).toString(), u"58,823 bytes"_s);
    QCOMPARE(cell(59, 3), u"58.8 kB"_s);
}

void TestMainWindow::defaultLook_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("smallest");
    for (const QString &code : {u"en"_s, u"de"_s, u"ar"_s}) {
        QTest::newRow(qPrintable(code)) << code << false;
        QTest::newRow(qPrintable(code + u"-smallest"_s)) << code << true;
    }
}

// The window as a user sees it rather than where each pixel falls, in English, German
// (the longest captions) and Arabic (right to left), as it opens and at its smallest:
// every control clear of the others and in sight, every caption whole, room to type in
// every field and most of all in the pattern's, the boxes of the options panel in
// straight columns, and a good share of the height for the list.
void TestMainWindow::defaultLook()
{
    QFETCH(QString, code);
    QFETCH(bool, smallest);
    startWithCatalogue();
    chooseLanguage(code);
    if (smallest) {
        m_form->resize(1, 1);
        QTRY_COMPARE(m_form->size(), m_form->minimumSize());
    }
    settle();
    QWidget *window = m_form.get();
    const auto *panel = child<OptionsPanel>("optionsPanel");
    const QRect available = window->screen()->availableGeometry();
    // At the default size the whole window is in sight; smaller, the panel may scroll,
    // and what it hides is brought into view as everyControlReachable checks.
    const bool defaultSize = !smallest && available.width() >= 1400 && available.height() >= 900;
    // The part of a control not hidden by what it lies in.
    const auto shown = [window](QWidget *widget) {
        QRect part(widget->mapTo(window, QPoint(0, 0)), widget->size());
        for (QWidget *outer = widget->parentWidget(); outer && outer != window;
             outer = outer->parentWidget())
            part &= QRect(outer->mapTo(window, QPoint(0, 0)), outer->size());
        return part;
    };
    QStringList faults;
    const QList<QWidget *> controls = visibleControls(window);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        QWidget *control = controls.at(i);
        if (const QString cut = cutCaption(control); !cut.isEmpty())
            faults.append(cut);
        if (defaultSize || !panel->widget()->isAncestorOf(control)) {
            if (const QString hidden = hiddenPart(control); !hidden.isEmpty())
                faults.append(hidden);
        }
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            QWidget *other = controls.at(j);
            if (!control->isAncestorOf(other) && !other->isAncestorOf(control) &&
                shown(control).intersects(shown(other)))
                faults.append(u"%1 overlaps %2"_s.arg(control->objectName(), other->objectName()));
        }
        if (auto *field = qobject_cast<QLineEdit *>(control)) {
            const int least = std::max(field->minimumWidth(), field->minimumSizeHint().width());
            if (field->width() < least)
                faults.append(u"%1 %2 wide, less than %3"_s.arg(field->objectName())
                                  .arg(field->width())
                                  .arg(least));
        }
    }
    // A long pattern fits: at the default size with room to spare, and at any size a
    // typical one whole.
    const auto *pattern = child<QLineEdit>("patternEdit");
    const int typical =
        pattern->fontMetrics().horizontalAdvance(u"{date:yyyy-MM-dd}_{name}_{counter}"_s) + 12;
    const int patternLeast = defaultSize ? 310 : typical;
    qInfo("%s at scale %g: window %dx%d, pattern field %d wide (least %d), list %d of %d high",
          qPrintable(code), window->devicePixelRatioF(), window->width(), window->height(),
          pattern->width(), patternLeast, list()->height(),
          child<QWidget>("centralWidget")->height());
    if (pattern->width() < patternLeast)
        faults.append(
            u"patternEdit %1 wide, less than %2"_s.arg(pattern->width()).arg(patternLeast));
    if (defaultSize && list()->height() < child<QWidget>("centralWidget")->height() / 3)
        faults.append(u"fileTable only %1 high"_s.arg(list()->height()));

    // The boxes of each column share their left and right edges; side by side, the
    // columns start and end level.
    const QList<QList<const char *>> columns{
        {"findReplaceGroup", "patternGroup"},
        {"insertGroup", "removeEndsGroup", "removeRangeGroup"},
        {"trimGroup", "removeCharactersGroup", "padNumbersGroup"},
    };
    const QRect top = child<QWidget>(columns.front().front())->geometry();
    const QRect bottom = child<QWidget>(columns.front().back())->geometry();
    for (const QList<const char *> &column : columns) {
        // Where the columns do not fit side by side, the last one is a row below.
        if (!panel->isWide() && column == columns.back())
            break;
        const QRect first = child<QWidget>(column.front())->geometry();
        for (const char *name : column) {
            const QRect box = child<QWidget>(name)->geometry();
            if (box.left() != first.left() || box.right() != first.right())
                faults.append(u"%1 out of its column"_s.arg(QLatin1String(name)));
        }
        if (first.top() != top.top() ||
            child<QWidget>(column.back())->geometry().bottom() != bottom.bottom())
            faults.append(u"%1 not level with %2"_s.arg(QLatin1String(column.front()),
                                                        QLatin1String(columns.front().front())));
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
}

void TestMainWindow::fitsTheScreen()
{
    // The window as the program opens it, on a screen of 1400 x 900 pixels at this run's
    // scale: whole on the screen with its title bar, centred, at the default size where
    // there is room for it.
    const QRect available = m_form->screen()->availableGeometry();
    const QRect frame = m_form->frameGeometry();
    qInfo("screen %dx%d at scale %g: window %dx%d at %d,%d, at least %dx%d", available.width(),
          available.height(), m_form->devicePixelRatioF(), frame.width(), frame.height(), frame.x(),
          frame.y(), m_form->minimumWidth(), m_form->minimumHeight());
    QVERIFY2(
        available.contains(frame),
        qPrintable(
            u"%1,%2 %3x%4"_s.arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())));
    // Centred as closely as the frame, unknown before the first showing, allows.
    QVERIFY(std::abs((frame.left() - available.left()) - (available.right() - frame.right())) <=
            16);
    QVERIFY(std::abs((frame.top() - available.top()) - (available.bottom() - frame.bottom())) <=
            40);
    const QSize intended(1262, 657 + child<QWidget>("mainMenuBar")->height());
    if (available.width() >= 1400 && available.height() >= 900)
        QCOMPARE(m_form->size(), intended);
    else
        QVERIFY(m_form->width() < intended.width() && m_form->height() < intended.height());
    // Smaller than the screen's free area, frame and all.
    QVERIFY(m_form->minimumSize().width() + 16 <= available.width());
    QVERIFY(m_form->minimumSize().height() + 40 <= available.height());
    QVERIFY(!m_form->minimumSize().isEmpty());
}

void TestMainWindow::everyControlReachable()
{
    // At the window's smallest, every control can be brought into sight: the fields by
    // the keyboard, the rest by scrolling the options panel.
    m_form->resize(1, 1);
    QTRY_COMPARE(m_form->size(), m_form->minimumSize());
    activate();
    auto *panel = child<QScrollArea>("optionsPanel");
    QStringList hidden;
    for (QWidget *control : visibleControls(m_form.get())) {
        if (control->isEnabled() && (control->focusPolicy() & Qt::TabFocus)) {
            control->setFocus(Qt::TabFocusReason);
            QVERIFY(control->hasFocus());
        } else if (panel->widget()->isAncestorOf(control)) {
            panel->ensureWidgetVisible(control, 0, 0);
        }
        QApplication::processEvents();
        if (const QString part = hiddenPart(control); !part.isEmpty())
            hidden.append(part);
    }
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u'\n')));
}

void TestMainWindow::everyLanguageFits_data()
{
    QTest::addColumn<QString>("code");
    for (const QString &code :
         {u"en"_s, u"ar"_s, u"cn"_s, u"cs"_s, u"de"_s, u"el"_s, u"es"_s, u"fr"_s, u"hu"_s, u"it"_s,
          u"jp"_s, u"kr"_s, u"nl"_s, u"pl"_s, u"pt"_s, u"tr"_s})
        QTest::newRow(qPrintable(code)) << code;
}

// In every language, at the default size and at 1024 x 700: every caption whole, every
// control in sight without scrolling; a screenshot of each to look at.
void TestMainWindow::everyLanguageFits()
{
    QFETCH(QString, code);
    startWithCatalogue();
    const QSize opened = m_form->size();
    QCOMPARE(opened, QSize(1262, 657 + child<QWidget>("mainMenuBar")->height()));
    const QStringList names{u"IMG_2041.JPG"_s, u"IMG_2042.JPG"_s, u"holiday  notes.txt"_s,
                            u"Report final v2.pdf"_s, u"track 07.mp3"_s};
    QStringList paths;
    for (int i = 0; i < names.size(); ++i)
        paths.append(m_dir->file(u"Photos/"_s + names.at(i), QByteArray(4000 * i * i, 'x')));
    drop(paths);
    child<QLineEdit>("patternEdit")->setText(u"{counter}_{name}"_s);
    child<QToolButton>("previewToolButton")->click();
    chooseLanguage(code);
    settle();
    const auto problems = [](QWidget *window) {
        QStringList found;
        for (QWidget *control : visibleControls(window)) {
            for (const QString &problem : {cutCaption(control), hiddenPart(control)}) {
                if (!problem.isEmpty())
                    found.append(problem);
            }
        }
        return found.join(u'\n');
    };
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    const QString shots = QStringLiteral(TESSALY_SCREENSHOT_DIR) + u'/';
    QCOMPARE(m_form->size(), opened);
    QVERIFY2(problems(m_form.get()).isEmpty(), qPrintable(problems(m_form.get())));
    QVERIFY(m_form->grab().save(shots + u"main-window-"_s + code + u".png"_s));

    m_settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_settings.get()));
    QVERIFY(m_settings->width() >= 433 && m_settings->height() >= 412);
    QVERIFY2(problems(m_settings.get()).isEmpty(), qPrintable(problems(m_settings.get())));
    QVERIFY(m_settings->grab().save(shots + u"options-dialog-"_s + code + u".png"_s));
    m_settings->hide();

    m_form->resize(1024, 700);
    QTRY_COMPARE(m_form->size(), QSize(1024, 700));
    settle();
    QVERIFY2(problems(m_form.get()).isEmpty(), qPrintable(problems(m_form.get())));
    QVERIFY(m_form->grab().save(shots + u"main-window-1024x700-"_s + code + u".png"_s));

    // Right to left, the layouts mirror the window: captions stand right of their fields.
    const bool rightToLeft = code == u"ar"_s;
    QCOMPARE(m_form->layoutDirection(), rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    QCOMPARE(child<QLabel>("findLabel")->x() > child<QLineEdit>("findEdit")->x(), rightToLeft);
    QCOMPARE(child<QLabel>("operationLabel")->x() > child<QComboBox>("operationCombo")->x(),
             rightToLeft);
    QCOMPARE(child<QWidget>("findReplaceGroup")->x() > child<QWidget>("insertGroup")->x(),
             rightToLeft);

    // Each menu's key letters differ, and every menu and item has one.
    QList<QMenu *> menus;
    QSet<QString> titleKeys;
    for (QAction *action : child<QMenuBar>("mainMenuBar")->actions()) {
        const QString key = QKeySequence::mnemonic(action->text()).toString();
        QVERIFY2(!key.isEmpty() && !titleKeys.contains(key), qPrintable(action->text()));
        titleKeys.insert(key);
        menus.append(action->menu());
    }
    for (QMenu *menu : menus) {
        QSet<QString> keys;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            const QString key = QKeySequence::mnemonic(action->text()).toString();
            QVERIFY2(!key.isEmpty() && !keys.contains(key), qPrintable(action->text()));
            keys.insert(key);
        }
    }
}

void TestMainWindow::shortcuts_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("focus"); // where the key is pressed; the list when empty
    QTest::addColumn<QString>("effect");

    QTest::newRow("add-files") << u"Ctrl+O"_s << QString() << u"add files"_s;
    QTest::newRow("add-folder") << u"Ctrl+Shift+O"_s << QString() << u"add folder"_s;
    QTest::newRow("remove-selected") << u"Del"_s << QString() << u"remove"_s;
    QTest::newRow("preview") << u"F5"_s << QString() << u"preview"_s;
    QTest::newRow("preview-from-a-field") << u"F5"_s << u"insertTextEdit"_s << u"preview"_s;
    QTest::newRow("rename") << u"Ctrl+Return"_s << QString() << u"rename"_s;
    QTest::newRow("rename-keypad-enter") << u"Ctrl+Enter"_s << u"findEdit"_s << u"rename"_s;
    QTest::newRow("undo") << u"Ctrl+Z"_s << QString() << u"undo"_s;
    // A field with nothing of its own to undo passes Ctrl+Z on to the window.
    QTest::newRow("undo-from-an-untouched-field")
        << u"Ctrl+Z"_s << u"destinationEdit"_s << u"undo"_s;
    QTest::newRow("undo-from-a-number-field")
        << u"Ctrl+Z"_s << u"insertPositionEdit"_s << u"undo"_s;
    QTest::newRow("history") << u"Ctrl+H"_s << QString() << u"history"_s;
    QTest::newRow("history-from-a-field") << u"Ctrl+H"_s << u"patternEdit"_s << u"history"_s;
    QTest::newRow("save-preset") << u"Ctrl+S"_s << u"patternEdit"_s << u"save preset"_s;
    QTest::newRow("load-preset") << u"Ctrl+L"_s << QString() << u"load preset"_s;
    QTest::newRow("pattern-help") << u"F1"_s << u"caseCombo"_s << u"pattern help"_s;
    QTest::newRow("enter-in-the-pattern") << u"Return"_s << u"patternEdit"_s << u"preview"_s;
    QTest::newRow("enter-in-a-number-field") << u"Enter"_s << u"removeFirstEdit"_s << u"preview"_s;
    QTest::newRow("enter-in-the-destination")
        << u"Return"_s << u"destinationEdit"_s << u"preview"_s;
    QTest::newRow("enter-in-the-options-dialog")
        << u"Return"_s << u"counterStartEdit"_s << u"preview"_s;
}

void TestMainWindow::shortcuts()
{
    QFETCH(QString, keys);
    QFETCH(QString, focus);
    QFETCH(QString, effect);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s), m_dir->file(u"c.txt"_s)});
    child<QLineEdit>("patternEdit")->setText(u"x_{name}"_s);
    if (effect == u"rename"_s)
        child<QToolButton>("previewToolButton")->click();
    m_messages->answers = {false};
    // The hidden Add Folder button takes its key once it is shown.
    child<QPushButton>("addFolderButton")->show();
    child<QComboBox>("operationCombo")->setCurrentIndex(0);
    child<QLineEdit>("destinationEdit")->setEnabled(true);
    activate();
    QWidget *target = list();
    if (!focus.isEmpty()) {
        target = m_form->findChild<QWidget *>(focus);
        if (!target)
            target = m_settings->findChild<QWidget *>(focus);
        QVERIFY(target);
    }
    if (target->window() == m_settings.get()) {
        m_settings->show();
        m_settings->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_settings.get()));
    }
    target->setFocus();
    selectRows({0});
    QVERIFY(target->hasFocus());

    const QKeyCombination key = QKeySequence::fromString(keys)[0];
    QTest::keyClick(target, key.key(), key.keyboardModifiers());
    m_settings->hide();

    if (effect == u"add files"_s) {
        QCOMPARE(m_shell->titles, QStringList{u"Select files to add"_s});
    } else if (effect == u"add folder"_s) {
        // A button's key clicks it as the mouse would, a moment later.
        QTRY_COMPARE(m_shell->titles, QStringList{u"Select folder"_s});
    } else if (effect == u"remove"_s) {
        QCOMPARE(m_form->fileList().items().size(), 2);
        QCOMPARE(cell(0, 0), u"b.txt"_s);
    } else if (effect == u"preview"_s) {
        QCOMPARE(cell(0, 1), u"x_a.txt"_s);
        QCOMPARE(cell(2, 1), u"x_c.txt"_s);
    } else if (effect == u"rename"_s) {
        QTRY_COMPARE(m_messages->entries.size(), 1);
        QCOMPARE(m_messages->entries.first().kind, u"confirm"_s);
        QVERIFY(QFile::exists(m_dir->filePath(u"a.txt"_s)));
    } else if (effect == u"undo"_s) {
        QTRY_COMPARE(m_messages->texts(), QStringList{noUndoLogText()});
    } else if (effect == u"history"_s) {
        auto *history = m_form->findChild<HistoryWindow *>();
        QVERIFY(history && history->isVisible());
        QVERIFY(m_messages->texts().isEmpty());
    } else if (effect == u"save preset"_s) {
        QCOMPARE(m_shell->suffixes, QStringList{u"json"_s});
    } else if (effect == u"load preset"_s) {
        QCOMPARE(m_shell->filters, QStringList{u"Preset JSON|*.json"_s});
        QVERIFY(m_shell->suffixes.isEmpty());
    } else if (effect == u"pattern help"_s) {
        QCOMPARE(m_messages->texts(), QStringList{patternHelpText()});
    } else {
        QFAIL("unknown effect");
    }
    // Nothing else happened.
    if (effect != u"add files"_s && effect != u"add folder"_s)
        QVERIFY(m_shell->titles.isEmpty());
    if (effect != u"remove"_s)
        QCOMPARE(m_form->fileList().items().size(), 3);
}

void TestMainWindow::keysStayWithTextFields()
{
    // Delete and Ctrl+Z edit the text of a field; they reach the list and the last batch
    // only from elsewhere.
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    selectRows({0});
    activate();
    auto *find = child<QLineEdit>("findEdit");
    find->setFocus();
    QTest::keyClicks(find, u"abc"_s);
    find->setCursorPosition(0);
    QTest::keyClick(find, Qt::Key_Delete);
    QCOMPARE(find->text(), u"bc"_s);
    QTest::keyClick(find, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(find->text(), u"abc"_s);
    QCOMPARE(m_form->fileList().items().size(), 2);
    QVERIFY(m_messages->entries.isEmpty());
}

void TestMainWindow::menuKeys()
{
    // Alt and a letter open a menu; a letter then chooses its item.
    QCOMPARE(child<QMenu>("fileMenu")->title(), u"&File"_s);
    QCOMPARE(child<QAction>("addFilesAction")->text(), u"&Add Files..."_s);
    QCOMPARE(child<QAction>("listClearAction")->text(), u"&Clear list"_s);
    activate();
    QTest::keyClick(m_form.get(), Qt::Key_F, Qt::AltModifier);
    auto *fileMenu = child<QMenu>("fileMenu");
    QTRY_VERIFY(fileMenu->isVisible());
    QTest::keyClick(fileMenu, Qt::Key_A);
    QTRY_VERIFY(!fileMenu->isVisible());
    QCOMPARE(m_shell->titles, QStringList{u"Select files to add"_s});

    // East Asian captions carry the English key in brackets; right to left, Arabic
    // letters; a switch back gives the English keys again.
    startWithCatalogue();
    chooseLanguage(u"jp"_s);
    QCOMPARE(child<QMenu>("fileMenu")->title(), u"ファイル(&F)"_s);
    QCOMPARE(child<QAction>("addFilesAction")->text(),
             translateText(u"Add Files..."_s) + u"(&A)"_s);
    chooseLanguage(u"de"_s);
    QCOMPARE(child<QMenu>("fileMenu")->title(), u"&Datei"_s);
    chooseLanguage(u"en"_s);
    QCOMPARE(child<QMenu>("fileMenu")->title(), u"&File"_s);
    QCOMPARE(child<QAction>("listClearAction")->text(), u"&Clear list"_s);
}

void TestMainWindow::numberFieldsStep_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key"); // Up or Down, or 0 for a click on the up button
    QTest::addColumn<QString>("expected");

    QTest::newRow("up") << u"insertPositionEdit"_s << u"1"_s << int(Qt::Key_Up) << u"2"_s;
    QTest::newRow("down") << u"removeFromPositionEdit"_s << u"7"_s << int(Qt::Key_Down) << u"6"_s;
    QTest::newRow("stops-at-0") << u"removeFirstEdit"_s << u"0"_s << int(Qt::Key_Down) << u"0"_s;
    QTest::newRow("stops-at-100") << u"padNumbersEdit"_s << u"100"_s << int(Qt::Key_Up) << u"100"_s;
    QTest::newRow("above-100-steps-from-100")
        << u"removeUntilPositionEdit"_s << u"250"_s << int(Qt::Key_Down) << u"99"_s;
    QTest::newRow("not-a-number-counts-as-0")
        << u"removeLastEdit"_s << u"x"_s << int(Qt::Key_Up) << u"1"_s;
    QTest::newRow("up-button") << u"insertPositionEdit"_s << u"5"_s << 0 << u"6"_s;
    QTest::newRow("counter-start")
        << u"counterStartEdit"_s << u"999"_s << int(Qt::Key_Up) << u"1000"_s;
    QTest::newRow("counter-start-stops-at-0")
        << u"counterStartEdit"_s << u"0"_s << int(Qt::Key_Down) << u"0"_s;
    QTest::newRow("digits-stop-at-10") << u"digitsEdit"_s << u"10"_s << int(Qt::Key_Up) << u"10"_s;
    QTest::newRow("digits-stop-at-1") << u"digitsEdit"_s << u"1"_s << int(Qt::Key_Down) << u"1"_s;
    QTest::newRow("empty-digits-count-as-3")
        << u"digitsEdit"_s << QString() << int(Qt::Key_Up) << u"4"_s;
}

void TestMainWindow::numberFieldsStep()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(QString, expected);

    auto *edit = m_form->findChild<QLineEdit *>(field);
    if (!edit)
        edit = m_settings->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->setText(text);
    if (key == 0) {
        child<QWidget>("insertPositionStepper")->findChild<QToolButton *>(u"up"_s)->click();
    } else {
        QTest::keyClick(edit, Qt::Key(key));
        // The edit's own undo brings the typed text back.
        QCOMPARE(edit->text(), expected);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(edit->text(), text);
        QTest::keyClick(edit, Qt::Key(key));
    }
    QCOMPARE(edit->text(), expected);
}

void TestMainWindow::focusIsVisible()
{
    // Every control that takes the keyboard focus shows it on its outline.
    activate();
    QStringList unmarked;
    const auto check = [&](QWidget *window) {
        auto *elsewhere = window->findChild<QLineEdit *>();
        for (QWidget *control : visibleControls(window)) {
            if (!control->isEnabled() || !(control->focusPolicy() & Qt::TabFocus))
                continue;
            QWidget *other =
                control == elsewhere ? window->findChildren<QLineEdit *>().at(1) : elsewhere;
            other->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QImage before = control->grab().toImage();
            control->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            if (!control->hasFocus() || !ringDiffers(before, control->grab().toImage()))
                unmarked.append(control->objectName());
        }
    };
    check(m_form.get());
    m_settings->show();
    m_settings->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_settings.get()));
    check(m_settings.get());
    m_settings->hide();
    QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(u", "_s)));
}

void TestMainWindow::dropDownListsShowEveryEntry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("inOptionsDialog");

    QTest::newRow("operation") << u"operationCombo"_s << false;
    QTest::newRow("case") << u"caseCombo"_s << false;
    QTest::newRow("conflict") << u"conflictCombo"_s << true;
}

void TestMainWindow::dropDownListsShowEveryEntry()
{
    QFETCH(QString, name);
    QFETCH(bool, inOptionsDialog);

    QWidget *window = m_form.get();
    if (inOptionsDialog) {
        m_settings->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_settings.get()));
        window = m_settings.get();
    }
    auto *box = window->findChild<QComboBox *>(name);
    QVERIFY(box);
    box->showPopup();
    QAbstractItemView *view = box->view();
    QTRY_VERIFY(view->isVisible());
    QApplication::processEvents();
    QStringList cut;
    for (int row = 0; row < box->count(); ++row) {
        const QRect place = view->visualRect(view->model()->index(row, 0));
        if (place.top() < 0 || place.bottom() > view->viewport()->height() - 1)
            cut.append(box->itemText(row));
    }
    const int scrolled = view->verticalScrollBar()->maximum();
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(view->window()->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/popup-") + name +
                                        u".png"_s));
    box->hidePopup();
    m_settings->hide();
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", "_s)));
    QCOMPARE(scrolled, 0);
}

void TestMainWindow::patternTakesItsRow()
{
    // A long pattern stays in sight: with its caption above it, the field takes the
    // box's whole row, less the help button.
    auto *group = child<QWidget>("patternGroup");
    auto *pattern = child<QLineEdit>("patternEdit");
    auto *caption = child<QWidget>("patternLabel");
    auto *help = child<QWidget>("patternHelpButton");
    const int row = group->contentsRect().width() - group->layout()->contentsMargins().left() -
                    group->layout()->contentsMargins().right();
    QVERIFY2(pattern->width() >= row - help->width() - 12,
             qPrintable(u"%1 of %2"_s.arg(pattern->width()).arg(row)));
    QVERIFY(caption->geometry().bottom() < pattern->geometry().top());
}

void TestMainWindow::checkBoxShowsItsBox_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("checked");

    QTest::newRow("light-off") << false << false;
    QTest::newRow("light-on") << false << true;
    QTest::newRow("dark-off") << true << false;
    QTest::newRow("dark-on") << true << true;
}

void TestMainWindow::checkBoxShowsItsBox()
{
    QFETCH(bool, dark);
    QFETCH(bool, checked);

    const QPalette before = QApplication::palette();
    if (dark)
        QApplication::setPalette(darkPalette());
    auto *box = child<QCheckBox>("includeSubfoldersCheck");
    box->setChecked(checked);
    QApplication::processEvents();
    const QImage shot = box->grab().toImage();
    QApplication::setPalette(before);
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(shot.save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/include-subfolders-") +
                      QString::fromLatin1(QTest::currentDataTag()) + u".png"_s));
    // The box's outline stands out from the strip behind it, on and off alike: the
    // strongest contrast left of the caption.
    const ColourScheme &scheme = dark ? darkColourScheme() : lightColourScheme();
    const qreal ratio = shot.devicePixelRatio();
    const int captionStart =
        int((box->width() - box->fontMetrics().horizontalAdvance(box->text())) * ratio) - 4;
    double strongest = 1;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < captionStart; ++x)
            strongest = std::max(strongest, contrastRatio(shot.pixelColor(x, y), scheme.toolbar));
    }
    QVERIFY2(strongest >= 3, qPrintable(QString::number(strongest)));
}

void TestMainWindow::coloursReadable_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void TestMainWindow::coloursReadable()
{
    // WCAG 2: text at least 4.5:1 against what it stands on, outlines and marks 3:1.
    QFETCH(bool, dark);
    const ColourScheme &s = dark ? darkColourScheme() : lightColourScheme();
    struct Pair
    {
        const char *what;
        QColor front;
        QColor back;
        double least;
    };
    const Pair pairs[] = {
        {"text on window", s.text, s.window, 4.5},
        {"text on toolbar", s.text, s.toolbar, 4.5},
        {"text on menu bar", s.text, s.menuBar, 4.5},
        {"text on menu", s.text, s.menu, 4.5},
        {"text on group", s.text, s.group, 4.5},
        {"text on field", s.text, s.field, 4.5},
        {"text on button", s.text, s.button, 4.5},
        {"text on hover", s.text, s.hover, 4.5},
        {"text on list", s.text, s.listBase, 4.5},
        {"text on alternate row", s.text, s.listAlternate, 4.5},
        {"text on header", s.text, s.header, 4.5},
        {"text on tool tip", s.text, s.toolTip, 4.5},
        {"selected text", s.selectedText, s.accent, 4.5},
        {"group title", s.accentText, s.group, 4.5},
        {"website link", s.accentText, s.window, 4.5},
        {"warning status", s.warningText, s.listBase, 4.5},
        {"warning status, alternate row", s.warningText, s.listAlternate, 4.5},
        {"muted status", s.mutedText, s.listBase, 4.5},
        {"muted status, alternate row", s.mutedText, s.listAlternate, 4.5},
        {"error status", s.errorText, s.listBase, 4.5},
        {"error status, alternate row", s.errorText, s.listAlternate, 4.5},
        {"focus outline on window", s.focus, s.window, 3},
        {"focus outline on group", s.focus, s.group, 3},
        {"focus outline on toolbar", s.focus, s.toolbar, 3},
        {"checked box on toolbar", s.focus, s.toolbar, 3},
        {"box outline on toolbar", s.controlBorder, s.toolbar, 3},
        {"box outline on group", s.controlBorder, s.group, 3},
    };
    QStringList weak;
    for (const Pair &pair : pairs) {
        const double ratio = contrastRatio(pair.front, pair.back);
        if (ratio < pair.least)
            weak.append(u"%1: %2"_s.arg(QLatin1String(pair.what)).arg(ratio, 0, 'f', 2));
    }
    QVERIFY2(weak.isEmpty(), qPrintable(weak.join(u"; "_s)));
}

void TestMainWindow::followsDarkPalette()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s), m_dir->file(u"c.txt"_s)});
    child<QLineEdit>("patternEdit")->setText(u"x"_s); // two rows end as duplicates
    child<QToolButton>("previewToolButton")->click();
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    const QPalette before = QApplication::palette();
    const auto listBackground = [this] {
        const QImage shot = list()->viewport()->grab().toImage();
        return shot.pixelColor(shot.width() - 4, shot.height() - 4);
    };
    QCOMPARE(listBackground(), lightColourScheme().listBase);

    QApplication::setPalette(darkPalette());
    QApplication::processEvents();
    QVERIFY(currentColourScheme().dark);
    QVERIFY(qApp->styleSheet().contains(darkColourScheme().window.name()));
    QCOMPARE(listBackground(), darkColourScheme().listBase);
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/main-window-dark.png")));
    m_settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_settings.get()));
    QVERIFY(
        m_settings->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/options-dialog-dark.png")));
    m_settings->hide();

    // Back to a light desktop, back to the light set.
    QApplication::setPalette(before);
    QApplication::processEvents();
    QCOMPARE(listBackground(), lightColourScheme().listBase);
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/main-window-light.png")));
}

void TestMainWindow::toolbarIconsStandOut_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void TestMainWindow::toolbarIconsStandOut()
{
    // WCAG 2 asks 3:1 of a picture's outline against what it stands on: here the
    // toolbar, in the light set and in the dark. The outline is where the drawing meets
    // the transparent background.
    QFETCH(bool, dark);
    const QPalette before = QApplication::palette();
    const auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });
    if (dark)
        QApplication::setPalette(darkPalette());
    QApplication::processEvents();
    const QColor toolbar = (dark ? darkColourScheme() : lightColourScheme()).toolbar;
    QList<QAbstractButton *> buttons{child<QPushButton>("addFolderButton")};
    for (QToolButton *button : child<QWidget>("toolbarPanel")->findChildren<QToolButton *>())
        buttons.append(button);
    QStringList weak;
    for (const QAbstractButton *button : buttons) {
        const QImage icon = button->icon()
                                .pixmap(button->iconSize(), 1.0)
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32);
        int outline = 0;
        int strong = 0;
        double weakest = 21;
        for (int y = 1; y + 1 < icon.height(); ++y) {
            for (int x = 1; x + 1 < icon.width(); ++x) {
                const QColor colour = icon.pixelColor(x, y);
                if (colour.alpha() < 250)
                    continue;
                bool edge = false;
                for (int dy = -1; dy <= 1 && !edge; ++dy) {
                    for (int dx = -1; dx <= 1 && !edge; ++dx)
                        edge = qAlpha(icon.pixel(x + dx, y + dy)) < 128;
                }
                if (!edge)
                    continue;
                ++outline;
                const double ratio = contrastRatio(colour, toolbar);
                weakest = std::min(weakest, ratio);
                if (ratio >= 3)
                    ++strong;
            }
        }
        // A few blended pixels where two strokes meet may fall short.
        if (outline == 0 || strong < outline * 0.9)
            weak.append(
                u"%1: %2 of %3 outline pixels at 3:1, weakest %4"_s.arg(button->objectName())
                    .arg(strong)
                    .arg(outline)
                    .arg(weakest, 0, 'f', 2));
    }
    QVERIFY2(weak.isEmpty(), qPrintable(weak.join(u'\n')));
}

void TestMainWindow::languageNamesHaveFonts()
{
    // Each language's own name in the Language menu is drawn in a font that has its
    // letters, not as empty boxes.
    startWithCatalogue();
    const QHash<QChar::Script, QFontDatabase::WritingSystem> systems{
        {QChar::Script_Arabic, QFontDatabase::Arabic},
        {QChar::Script_Greek, QFontDatabase::Greek},
        {QChar::Script_Han, QFontDatabase::SimplifiedChinese},
        {QChar::Script_Hiragana, QFontDatabase::Japanese},
        {QChar::Script_Katakana, QFontDatabase::Japanese},
        {QChar::Script_Hangul, QFontDatabase::Korean},
    };
    QStringList missing;
    for (const QAction *item : child<QMenu>("languageMenu")->actions()) {
        for (const QChar letter : item->text()) {
            const auto system = systems.constFind(letter.script());
            if (system != systems.cend() && QFontDatabase::families(*system).isEmpty())
                missing.append(item->text());
        }
    }
    missing.removeDuplicates();
    QVERIFY2(missing.isEmpty(),
             qPrintable(u"no font for "_s + missing.join(u", "_s) + u" (run scripts/setup)"_s));
}

void TestMainWindow::everyControlNamed_data()
{
    QTest::addColumn<QString>("code");
    for (const QString &code : {u"en"_s, u"de"_s, u"ar"_s, u"jp"_s})
        QTest::newRow(qPrintable(code)) << code;
}

// Every control of every window has a name a screen reader can say, in the language
// chosen, also after switching to it.
void TestMainWindow::everyControlNamed()
{
    QFETCH(QString, code);
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    startWithCatalogue();
    chooseLanguage(code);
    child<QAction>("historyAction")->trigger();
    auto *history = m_form->findChild<HistoryWindow *>();
    QVERIFY(history);
    m_settings->applyTranslatedCaptions();
    const auto question = makeMessageBox(QMessageBox::Question, u"?"_s,
                                         QMessageBox::Yes | QMessageBox::No, m_form.get());
    QStringList unnamed;
    for (QWidget *window :
         std::initializer_list<QWidget *>{m_form.get(), m_settings.get(), history, question.get()})
        unnamed += unnamedControls(window);
    history->close();
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));

    // The names follow the language: a step button says its field's caption in it.
    auto *up = child<QWidget>("removeFirstStepper")->findChild<QToolButton *>(u"up"_s);
    const QString expected =
        QHash<QString, QString>{
            {u"en"_s, u"Increase Remove first"_s},
            {u"de"_s, u"Am Anfang entfernen: erhöhen"_s},
            {u"ar"_s, u"زيادة إزالة من البداية"_s},
            {u"jp"_s, u"先頭から削除を増やす"_s},
        }
            .value(code);
    QCOMPARE(up->accessibleName(), expected);
    QCOMPARE(QAccessible::queryAccessibleInterface(child<QLineEdit>("findEdit"))
                 ->text(QAccessible::Name),
             spokenCaption(child<QLabel>("findLabel")->text()));
}

void TestMainWindow::tabOrder()
{
    // Tab goes through the window as it reads: the toolbar left to right, the option
    // fields column by column, the list (and out of it again), the operation; the
    // options dialog top to bottom, Close last.
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    activate();
    const auto tabThrough = [](QWidget *first, qsizetype count) {
        first->setFocus(Qt::TabFocusReason);
        QStringList order{QApplication::focusWidget()->objectName()};
        for (qsizetype i = 1; i < count; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
        }
        return order;
    };
    const QStringList window{
        u"addFilesToolButton"_s,
        u"addFolderButton"_s,
        u"removeToolButton"_s,
        u"previewToolButton"_s,
        u"renameToolButton"_s,
        u"undoToolButton"_s,
        u"savePresetToolButton"_s,
        u"loadPresetToolButton"_s,
        u"optionsToolButton"_s,
        u"aboutToolButton"_s,
        u"findEdit"_s,
        u"replaceEdit"_s,
        u"patternEdit"_s,
        u"patternHelpButton"_s,
        u"newExtensionCheck"_s,
        u"caseCombo"_s,
        u"insertTextEdit"_s,
        u"insertPositionEdit"_s,
        u"removeFirstEdit"_s,
        u"removeLastEdit"_s,
        u"removeFromPositionEdit"_s,
        u"removeUntilPositionEdit"_s,
        u"trimFromEdit"_s,
        u"trimUntilEdit"_s,
        u"removeCharactersEdit"_s,
        u"collapseSpacesCheck"_s,
        u"padNumbersEdit"_s,
        u"fileTable"_s,
        u"operationCombo"_s,
        u"addFilesToolButton"_s,
    };
    QCOMPARE(tabThrough(child<QWidget>("addFilesToolButton"), window.size()), window);

    m_settings->show();
    m_settings->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_settings.get()));
    const QStringList dialog{
        u"counterStartEdit"_s,      u"digitsEdit"_s,  u"conflictCombo"_s,   u"regexCheck"_s,
        u"touchModifiedNowCheck"_s, u"closeButton"_s, u"counterStartEdit"_s};
    QCOMPARE(tabThrough(m_settings->findChild<QWidget *>(u"counterStartEdit"_s), dialog.size()),
             dialog);
    m_settings->hide();
}

void TestMainWindow::listMenuFromKeyboard_data()
{
    QTest::addColumn<bool>("menuKey");
    QTest::newRow("menu key") << true;
    QTest::newRow("shift+f10") << false;
}

// The list's menu opens from the keyboard at the current row, wherever the pointer is.
void TestMainWindow::listMenuFromKeyboard()
{
    QFETCH(bool, menuKey);
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s), m_dir->file(u"c.txt"_s)});
    activate();
    list()->setFocus();
    const QModelIndex current = list()->model()->index(2, 0);
    list()->setCurrentIndex(current);
    auto *menu = m_form->findChild<QMenu *>(u"fileListMenu"_s);
    QVERIFY(!menu->isVisible());
    if (menuKey) {
        // What the platform makes of the menu key: a context menu event at the pointer.
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                list()->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(list(), &event);
    } else {
        QTest::keyClick(list(), Qt::Key_F10, Qt::ShiftModifier);
    }
    QTRY_VERIFY(menu->isVisible());
    const QRect row = list()->visualRect(current);
    const QPoint rowEnd = list()->viewport()->mapToGlobal(row.bottomLeft());
    QVERIFY2(qAbs(menu->pos().y() - rowEnd.y()) <= 2,
             qPrintable(u"menu at %1, row ends at %2"_s.arg(menu->pos().y()).arg(rowEnd.y())));
    // Its items are there from the keyboard too.
    QTest::keyClick(menu, Qt::Key_Escape);
    QTRY_VERIFY(!menu->isVisible());
}

// The progress of work reaches a screen reader, not only the screen: the bar's value
// and where the work is, read through the bar's accessible interface. (The events that
// tell a screen reader of each change need a platform bridge, which the offscreen
// platform lacks; tst_screenreader reads the real window.)
void TestMainWindow::progressReadable()
{
    auto *bar = child<QProgressBar>("progressBar");
    emit m_form->controller().progress(3, 10, m_dir->filePath(u"a.txt"_s));
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(bar);
    QCOMPARE(face->text(QAccessible::Name), u"Progress"_s);
    QCOMPARE(face->text(QAccessible::Description), u"3 of 10: a.txt"_s);
    QCOMPARE(face->valueInterface()->currentValue().toInt(), 3);
    QCOMPARE(face->valueInterface()->maximumValue().toInt(), 10);
}

// A high-contrast desktop keeps its own colours: every text, line and background of the
// window comes from its palette. The usual light and dark palettes keep the window's sets.
void TestMainWindow::followsHighContrastPalette()
{
    QVERIFY(!isHighContrast(QPalette()));
    QVERIFY(!isHighContrast(darkPalette()));
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(u"Fusion"_s));
    QVERIFY(!isHighContrast(fusion->standardPalette()));
    QPalette contrast;
    for (const auto &[role, colour] : {std::pair(QPalette::Window, QColor(Qt::black)),
                                       {QPalette::Base, QColor(Qt::black)},
                                       {QPalette::Button, QColor(Qt::black)},
                                       {QPalette::WindowText, QColor(Qt::yellow)},
                                       {QPalette::Text, QColor(Qt::yellow)},
                                       {QPalette::ButtonText, QColor(Qt::yellow)},
                                       {QPalette::Highlight, QColor(Qt::cyan)},
                                       {QPalette::HighlightedText, QColor(Qt::black)}})
        contrast.setColor(role, colour);
    QVERIFY(isHighContrast(contrast));
    drop({m_dir->file(u"a.txt"_s)});
    const QPalette before = QApplication::palette();
    const auto restore = qScopeGuard([&before] {
        QApplication::setPalette(before);
        QApplication::processEvents();
    });
    QApplication::setPalette(contrast);
    QApplication::processEvents();
    const ColourScheme scheme = currentColourScheme();
    QVERIFY(scheme.highContrast);
    for (const QColor &text :
         {scheme.text, scheme.warningText, scheme.mutedText, scheme.errorText, scheme.accentText})
        QCOMPARE(text, QColor(Qt::yellow));
    QVERIFY(qApp->styleSheet().contains(u"color: #ffff00"_s));
    QVERIFY(!qApp->styleSheet().contains(lightColourScheme().text.name()));
    const QImage shot = list()->viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() - 4, shot.height() - 4), QColor(Qt::black));
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(
        QStringLiteral(TESSALY_SCREENSHOT_DIR "/main-window-high-contrast.png")));
}

// A desktop's large text makes the window's text larger, and the status bar grows with it.
void TestMainWindow::growsWithLargeText()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    const QFont before = QApplication::font();
    const auto restore = qScopeGuard([&before] { QApplication::setFont(before); });
    applyApplicationFont(*app);
    QCOMPARE(QApplication::font().pointSizeF(), 9.0); // at the desktop's usual size
    QFont large = before;
    large.setPointSizeF(18);
    QApplication::setFont(large);
    settle();
    auto *link = child<QLabel>("homepageLink");
    auto *status = child<QLabel>("statusText");
    QVERIFY2(child<QStatusBar>("statusBar")->height() >= status->sizeHint().height(),
             qPrintable(QString::number(child<QStatusBar>("statusBar")->height())));
    QVERIFY(link->height() >= link->fontMetrics().height());
    QVERIFY(link->width() >= link->fontMetrics().horizontalAdvance(link->text()));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
