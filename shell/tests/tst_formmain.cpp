#include "batchpaths.h"
#include "translation.h"
#include "recordingmessages.h"
#include "shellservices.h"
#include "startup.h"
#include "testdir.h"
#include "unitmain.h"
#include "usettings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSemaphore>
#include <QSettings>
#include <QStandardPaths>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Moves one file per permit, so that a test holds a batch in the middle without waiting
// on the clock.
class GatedFileOperations : public SystemFileOperations
{
public:
    bool move(const QString &source, const QString &target) override
    {
        m_permits.acquire();
        return SystemFileOperations::move(source, target);
    }
    void release(int files) { m_permits.release(files); }

private:
    QSemaphore m_permits;
};

// Answers the file and folder choosers from queues and records what was asked.
class FakeShell : public ShellServices
{
public:
    QStringList chooseFiles(QWidget *, const QString &title, const QString &filter) override
    {
        titles.append(title);
        filters.append(filter);
        return files.isEmpty() ? QStringList() : files.takeFirst();
    }
    QString chooseOpenFile(QWidget *, const QString &filter) override
    {
        filters.append(filter);
        return openFiles.isEmpty() ? QString() : openFiles.takeFirst();
    }
    QString chooseSaveFile(QWidget *, const QString &filter, const QString &suffix) override
    {
        filters.append(filter);
        suffixes.append(suffix);
        return saveFiles.isEmpty() ? QString() : saveFiles.takeFirst();
    }
    QString chooseFolder(QWidget *, const QString &title, const QString &start) override
    {
        titles.append(title);
        starts.append(start);
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    void openAddress(const QString &address) override { addresses.append(address); }
    void startFile(const QString &path) override { started.append(path); }

    QList<QStringList> files;
    QStringList openFiles;
    QStringList saveFiles;
    QStringList suffixes;
    QStringList folders;
    QStringList titles;
    QStringList filters;
    QStringList starts;
    QStringList addresses;
    QStringList started;
};

} // namespace

class TestFormMain : public QObject
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
    void newExtensionFollowsItsCheckBox();
    void onlyTheUserChangesDestinationControls();
    void destinationPicker();
    void optionsPanelHidesAndReturns();
    void folderColumnTakesTheRest_data();
    void folderColumnTakesTheRest();
    void resizeUndoesDraggedWidths();
    void optionsDialogKeepsValues();
    void visualStyle();
    void helpLinksAndExit();
    void renameAndUndo();
    void renameNeedsFilesAndYes();
    void presetsRoundTripThroughControls();
    void nameListFeedsThePreview();
    void languageSwitch();
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
    void screenshots();

private:
    template <typename T>
    T *child(const char *name) const
    {
        T *found = m_form->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QTableView *list() const { return child<QTableView>("lvFiles"); }
    QString cell(int row, int column) const
    {
        return list()->model()->index(row, column).data().toString();
    }
    QStringList listedPaths() const
    {
        QStringList paths;
        for (const TRenameItem &item : m_form->FRenameItems())
            paths.append(item.OriginalPath);
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

    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<RecordingMessages> m_messages;
    std::unique_ptr<FakeShell> m_shell;
    std::unique_ptr<TFormSettings> m_settings;
    std::unique_ptr<TFormMain> m_form;
};

void TestFormMain::initTestCase()
{
    // The offscreen platform cannot pass size hints to a window manager and says so for
    // every window; that says nothing about this program.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.contains(u"propagateSizeHints"_s))
                previous(type, context, message);
        });
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    ApplyApplicationFont(*app);
    RecordingMessages messages;
    QVERIFY(ApplyVisualStyle(*app, messages));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The language choice goes to a settings file of the tests' own.
    QStandardPaths::setTestModeEnabled(true);
}

void TestFormMain::init()
{
    // Each test starts as a first start would, wherever an earlier window was left.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s).remove(u"Window"_s);
    m_dir = std::make_unique<TestDir>();
    m_messages = std::make_unique<RecordingMessages>();
    m_shell = std::make_unique<FakeShell>();
    m_settings = std::make_unique<TFormSettings>();
    QCOMPARE(m_settings->objectName(), u"FormSettings"_s);
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestFormMain::cleanup()
{
    SetTranslationState({}, 0, QString());
    ApplyLanguageToQt();
    m_form.reset();
    m_settings.reset();
    m_shell.reset();
    m_messages.reset();
    m_dir.reset();
}

void TestFormMain::drop(const QStringList &paths)
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

void TestFormMain::waitUntilIdle()
{
    // The files are read on the controller's thread; the window answers meanwhile.
    QTRY_VERIFY(!m_form->controller().isBusy());
}

void TestFormMain::chooseLanguage(const QString &code)
{
    for (QAction *item : child<QMenu>("mmLanguage")->actions()) {
        if (CurrentCatalogue().code(item->data().toInt()) == code) {
            item->trigger();
            return;
        }
    }
    QFAIL(qPrintable(u"no language "_s + code));
}

void TestFormMain::startWith(const QStringList &arguments)
{
    QStringList resolved;
    for (const QString &argument : arguments)
        resolved.append(argument.startsWith(u'@') ? m_dir->filePath(argument.mid(1)) : argument);
    m_form.reset();
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell, nullptr, resolved);
}

void TestFormMain::selectRows(const QList<int> &rows)
{
    list()->clearSelection();
    for (int row : rows)
        list()->selectionModel()->select(list()->model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TestFormMain::startsEmptyWithInitialOptions()
{
    QCOMPARE(m_form->windowTitle(), u"Tessaly 2.3"_s);
    QCOMPARE(m_form->StatusText(), u"  Add the files"_s);
    QCOMPARE(list()->model()->rowCount(), 0);
    QCOMPARE(m_form->ReadRenameOptions(), RenameOptions());
    for (const char *hidden : {"btnClear", "btnLoadNameList"})
        QVERIFY2(child<QPushButton>(hidden)->isHidden(), hidden);
    QVERIFY(!child<QPushButton>("btnAddFolder")->isHidden());
    QVERIFY(!child<QCheckBox>("chkIncludeSubfolders")->isHidden());

    QHeaderView *header = list()->horizontalHeader();
    const QStringList headers{u"Original Name"_s, u"New Name (preview)"_s, u"Folder"_s, u"Size"_s};
    for (int column = 0; column < headers.size(); ++column)
        QCOMPARE(list()->model()->headerData(column, Qt::Horizontal).toString(),
                 headers.at(column));
    QCOMPARE(header->sectionSize(0), 280);
    QCOMPARE(header->sectionSize(1), 280);
    QCOMPARE(header->sectionSize(3), 90);
    QVERIFY(list()->showGrid());
    QCOMPARE(list()->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list()->editTriggers(), QAbstractItemView::NoEditTriggers);

    QVERIFY(!m_form->windowIcon().pixmap(32, 32).isNull());
    // Every toolbar icon comes from the resources.
    for (QToolButton *button : child<QWidget>("Panel1")->findChildren<QToolButton *>())
        QVERIFY2(!button->icon().pixmap(40, 40).isNull(), qPrintable(button->objectName()));
}

void TestFormMain::addsFilesFromTheDialog()
{
    const QString a = m_dir->file(u"a.txt"_s, QByteArray(1234567, 'x'));
    const QString b = m_dir->file(u"README"_s);
    const QString folder = m_dir->folder(u"sub"_s);
    m_shell->files = {{a, b, a, m_dir->filePath(u"missing.txt"_s), folder}, {}};

    child<QToolButton>("btnAdd")->click();
    waitUntilIdle();
    QCOMPARE(m_shell->titles, QStringList{u"Select files to add"_s});
    QCOMPARE(m_shell->filters, QStringList{u"All files (*.*)|*.*"_s});
    QCOMPARE(listedPaths(), (QStringList{a, b}));
    QCOMPARE(m_form->StatusText(), u"Files: 2"_s);
    QCOMPARE(cell(0, 0), u"a.txt"_s);
    QCOMPARE(cell(0, 2), QDir::toNativeSeparators(m_dir->path()) + QDir::separator());
    QCOMPARE(cell(0, 3), u"1,234,567"_s);
    QCOMPARE(cell(1, 0), u"README"_s);
    QVERIFY(m_messages->entries.isEmpty());

    // A cancelled dialog changes nothing, the status text included; so does the menu.
    m_form->ApplyTranslatedCaptions();
    child<QAction>("AddFiles1")->trigger();
    QCOMPARE(m_form->StatusText(), u"  Add the files"_s);
    QCOMPARE(m_form->FRenameItems().size(), 2);
}

void TestFormMain::addFolderButtonPreviews()
{
    const QString a = m_dir->file(u"pics/a.jpg"_s);
    m_dir->folder(u"empty"_s);
    child<QLineEdit>("edtPattern")->setText(u"x_{name}"_s);
    m_shell->folders = {m_dir->filePath(u"empty"_s), m_dir->filePath(u"pics"_s)};

    // An empty folder adds nothing, and says nothing.
    child<QPushButton>("btnAddFolder")->click();
    waitUntilIdle();
    QCOMPARE(m_form->StatusText(), u"Files: 0"_s);

    child<QPushButton>("btnAddFolder")->click();
    waitUntilIdle();
    QCOMPARE(m_shell->titles.last(), u"Select folder"_s);
    QCOMPARE(listedPaths(), QStringList{a});
    QTRY_COMPARE(cell(0, 1), u"x_a.jpg"_s);
    QVERIFY(m_messages->entries.isEmpty());
    QCOMPARE(m_form->StatusText(), u"Files: 1"_s);
}

void TestFormMain::drops_data()
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

void TestFormMain::drops()
{
    QFETCH(QStringList, dropped);
    QFETCH(bool, includeSubfolders);
    QFETCH(QStringList, expected);

    for (const QString &file :
         {u"top/a.txt"_s, u"top/.hidden"_s, u"top/README"_s, u"top/sub/b.txt"_s, u"n/IMG_10.jpg"_s,
          u"n/img_2.jpg"_s, u"n/IMG_1.jpg"_s})
        m_dir->file(file);
    child<QCheckBox>("chkIncludeSubfolders")->setChecked(includeSubfolders);

    QStringList paths;
    for (const QString &path : dropped)
        paths.append(m_dir->filePath(path));
    drop(paths);

    QStringList listed;
    for (const QString &path : listedPaths())
        listed.append(QDir(m_dir->path()).relativeFilePath(path));
    QCOMPARE(listed, expected);
    QCOMPARE(m_form->StatusText(), u"Files: %1"_s.arg(expected.size()));
    QVERIFY(m_messages->entries.isEmpty());
}

void TestFormMain::dropKeepsLongPathsWhole()
{
    // A path of more than 259 characters whose first 259 characters name another
    // existing file: only the dropped file may be listed.
    const QString folder = m_dir->folder(QString(120, u'f') + u'/' + QString(100, u'g'));
    const int nameLength = 280 - int(folder.size()) - 1;
    const QString longPath = m_dir->file(QDir(m_dir->path()).relativeFilePath(folder) + u'/' +
                                         QString(nameLength - 4, u'n') + u".txt"_s);
    QVERIFY(longPath.size() > 259);
    const QString cut = longPath.left(259);
    QVERIFY(FolderPart(cut) == FolderPart(longPath));
    QFile cutFile(cut);
    QVERIFY(cutFile.open(QIODevice::WriteOnly));
    cutFile.close();

    drop({longPath});
    QCOMPARE(listedPaths(), QStringList{longPath});
}

void TestFormMain::previewFillsNewNames()
{
    const QString a = m_dir->file(u"holiday photo.jpg"_s);
    const QString b = m_dir->file(u"notes.TXT"_s);
    drop({a, b});
    child<QLineEdit>("edtPattern")->setText(u"{counter}_{name}"_s);
    child<QComboBox>("cbCase")->setCurrentIndex(2);
    child<QCheckBox>("chkNewExt")->setChecked(true);
    child<QLineEdit>("edtNewExt")->setText(u" md "_s);
    child<QLineEdit>("edtFind")->setText(u" "_s);
    child<QLineEdit>("edtReplace")->setText(u"-"_s);

    m_form->ApplyTranslatedCaptions();
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(cell(0, 1), u"001_HOLIDAY-PHOTO.md"_s);
    QCOMPARE(cell(1, 1), u"002_NOTES.md"_s);
    // The preview leaves the status text alone.
    QCOMPARE(m_form->StatusText(), u"  Add the files"_s);

    // A file added after the preview shows no new name until the next one.
    const QString c = m_dir->file(u"c.txt"_s);
    drop({c});
    QCOMPARE(cell(2, 1), QString());
    child<QAction>("Preview1")->trigger();
    QCOMPARE(cell(2, 1), u"003_C.md"_s);
    QVERIFY(m_messages->entries.isEmpty());
}

void TestFormMain::renameAndUndo()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    const QString a = m_dir->file(u"a.txt"_s, "a");
    const QString b = m_dir->file(u"b.txt"_s, "b");
    drop({a, b});
    child<QLineEdit>("edtPattern")->setText(u"{counter}-{name}"_s);
    child<QToolButton>("btnPreview")->click();
    child<QToolButton>("btnRename")->click();
    // The batch runs on the controller's thread; the window answers meanwhile.
    QTRY_COMPARE(
        m_messages->texts(),
        (QStringList{u"Proceed to rename files as shown in the preview?\n\nFiles to rename: 2"_s,
                     u"Batch completed. A CSV log has been saved in AppData."_s}));
    QVERIFY(QFile::exists(m_dir->filePath(u"001-a.txt"_s)));
    // The rows follow their files; the index of listed paths too.
    QCOMPARE(cell(0, 0), u"001-a.txt"_s);
    QVERIFY(m_form->IsListed(m_dir->filePath(u"002-b.txt"_s)));
    QVERIFY(!m_form->IsListed(a));

    child<QAction>("Undo1")->trigger();
    QTRY_COMPARE(m_messages->texts().back(), u"Undo completed for the last rename operation."_s);
    QVERIFY(QFile::exists(a) && QFile::exists(b));
    QCOMPARE(m_form->FRenameItems().size(), 0);
    QCOMPARE(m_form->StatusText(), u"Files: 0"_s);
    child<QToolButton>("btnUndo")->click();
    QTRY_COMPARE(m_messages->texts().back(), u"No undo log found in AppData."_s);
}

void TestFormMain::renameNeedsFilesAndYes()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    child<QToolButton>("btnRename")->click();
    QCOMPARE(m_messages->texts(),
             QStringList{u"Nothing to rename. Add files and build a preview first."_s});

    const QString a = m_dir->file(u"a.txt"_s, "a");
    drop({a});
    child<QLineEdit>("edtPattern")->setText(u"b"_s);
    child<QToolButton>("btnPreview")->click();
    m_messages->answers = {false};
    child<QAction>("Rename1")->trigger();
    QVERIFY(QFile::exists(a));
    QVERIFY(!QFile::exists(UndoLogPath()));

    // Rename previews the options as they are, the newest file included, before it asks.
    drop({m_dir->file(u"c.txt"_s)});
    m_messages->answers = {false};
    child<QToolButton>("btnRename")->click();
    QCOMPARE(m_messages->texts().back(),
             u"Proceed to rename files as shown in the preview?\n\nFiles to rename: 2\n"
             u"Numbered: 1"_s);
    QCOMPARE(cell(1, 1), u"b (1).txt"_s);
    QVERIFY(QFile::exists(a));
    QVERIFY(!QFile::exists(m_dir->filePath(u"b.txt"_s)));
}

void TestFormMain::presetsRoundTripThroughControls()
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
    options.cropBefore = u"("_s;
    options.cropAfter = u")"_s;
    options.padNumbers = u"3"_s;
    options.includeSubfolders = true;
    options.batchMode = BatchMode::CopyToFolder;
    options.destination = u"/tmp/out/"_s;
    options.touchModifiedNow = true;
    m_form->WriteRenameOptions(options);
    QCOMPARE(m_form->ReadRenameOptions(), options);
    // Set as a preset sets it, the operation list leaves the destination alone.
    QVERIFY(child<QLineEdit>("edtNewExt")->isEnabled());
    QVERIFY(!child<QLineEdit>("edtDestination")->isEnabled());

    const QString path = m_dir->filePath(u"saved"_s);
    m_shell->saveFiles = {path};
    child<QAction>("SavePreset1")->trigger();
    QCOMPARE(m_shell->suffixes, QStringList{u"json"_s});
    QCOMPARE(m_shell->filters, QStringList{u"Preset JSON|*.json"_s});

    m_form->WriteRenameOptions(RenameOptions());
    m_shell->openFiles = {path};
    child<QAction>("LoadPreset1")->trigger();
    QCOMPARE(m_form->ReadRenameOptions(), options);

    // A failed load changes no control.
    m_shell->openFiles = {m_dir->file(u"latin.json"_s, "{\"find\":\"caf\xE9\"}")};
    child<QToolButton>("btnLoadPreset")->click();
    QCOMPARE(m_form->ReadRenameOptions(), options);
    QCOMPARE(m_messages->texts().back(),
             u"No mapping for the Unicode character exists in the target multi-byte code page"_s);
    // A cancelled dialog changes nothing either.
    child<QToolButton>("btnLoadPreset")->click();
    QCOMPARE(m_form->ReadRenameOptions(), options);
}

void TestFormMain::nameListFeedsThePreview()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    m_shell->openFiles = {m_dir->file(u"names.csv"_s, "\"Ann\",1\nBob\n")};
    m_form->btnLoadNameListClick();
    QCOMPARE(m_form->FImportedNameList(), (QStringList{u"Ann"_s, u"Bob"_s}));
    QCOMPARE(cell(1, 1), u"Bob.txt"_s);
    QCOMPARE(m_shell->filters.back(), u"Name list (*.txt;*.csv)|*.txt;*.csv|All files (*.*)|*.*"_s);

    // Cancelling keeps the names; a failing load leaves none.
    m_form->btnLoadNameListClick();
    QCOMPARE(m_form->FImportedNameList().size(), 2);
    m_shell->openFiles = {m_dir->filePath(u"gone.txt"_s)};
    m_form->RunCommand([this] { m_form->btnLoadNameListClick(); });
    QVERIFY(m_form->FImportedNameList().isEmpty());
    QVERIFY(m_messages->texts().back().startsWith(u"The specified file was not found"_s));
}

void TestFormMain::languageSwitch()
{
    QFile file(QStringLiteral(TESSALY_CATALOGUE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    SetTranslationState(*ParseCatalogue(QString::fromUtf8(file.readAll())), 0, u"en"_s);
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell);
    auto *menu = child<QMenu>("mmLanguage");
    QCOMPARE(menu->actions().size(), 16);
    QVERIFY(menu->actions().front()->isChecked());

    drop({m_dir->file(u"a.txt"_s)});
    child<QComboBox>("cbCase")->setCurrentIndex(CaseMode::Upper);
    chooseLanguage(u"de"_s);
    QAction *german = menu->actions().at(LanguageIndex());
    QCOMPARE(german->text(), u"Deutsch"_s);
    QCOMPARE(child<QLabel>("lblFind")->text(), u"Im Namen suchen:"_s);
    QCOMPARE(child<QToolButton>("btnRename")->toolTip(), u"Dateien umbenennen!"_s);
    QCOMPARE(child<QComboBox>("cbCase")->currentText(), u"GROSSBUCHSTABEN"_s);
    QCOMPARE(list()->model()->headerData(3, Qt::Horizontal).toString(), u"Größe"_s);
    // The status bar asks for files again, whatever the list holds.
    QCOMPARE(m_form->StatusText(), u"  Dateien hinzufügen"_s);
    QVERIFY(german->isChecked() && !menu->actions().front()->isChecked());
    QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s)
                 .value(u"CurrentLanguage"_s)
                 .toString(),
             u"de"_s);

    m_messages->answers = {false};
    child<QToolButton>("btnPreview")->click();
    child<QToolButton>("btnRename")->click();
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
    QCOMPARE(child<QLabel>("lblFind")->text(), u"Find in name:"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), u"&Yes"_s);
}

void TestFormMain::commandLineMode_data()
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
        << QStringList{u"No files loaded. Add files first."_s,
                       u"Batch completed. A CSV log has been saved in AppData."_s}
        << u"{name}"_s;
}

void TestFormMain::commandLineMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, quits);
    QFETCH(QStringList, messages);
    QFETCH(QString, pattern);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_form.reset();
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell, nullptr, arguments);
    QCOMPARE(m_form->QuitRequested(), quits);
    QCOMPARE(m_messages->texts(), messages);
    QCOMPARE(child<QLineEdit>("edtPattern")->text(), pattern);
    if (arguments.contains(u"/regex"_s))
        QVERIFY(m_settings->findChild<QCheckBox *>(u"cbRegex"_s)->isChecked());
}

void TestFormMain::pathsGivenAtStart_data()
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
void TestFormMain::pathsGivenAtStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, listed);

    for (const QString &name : {u"a.txt"_s, u"b.txt"_s, u"Folder/c.txt"_s, u"Folder/sub/e.txt"_s})
        m_dir->file(name);
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    startWith(arguments);
    QDir::setCurrent(previous);

    QStringList expected;
    for (const QString &name : listed)
        expected.append(m_dir->filePath(name));
    QCOMPARE(listedPaths(), expected);
    QCOMPARE(m_form->StatusText(),
             expected.isEmpty() ? u"  Add the files"_s : u"Files: %1"_s.arg(expected.size()));
    QVERIFY(!m_form->QuitRequested());
    QVERIFY(m_messages->entries.isEmpty());
}

void TestFormMain::commandLineModeRunsOnGivenPaths_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("onDisk");

    QTest::newRow("renames")
        << QStringList{u"@b.txt"_s, u"/cli"_s, u"/pattern={counter}_{name}"_s, u"@a.txt"_s}
        << QStringList{u"Batch completed. A CSV log has been saved in AppData."_s}
        << QStringList{u"001_a.txt"_s, u"002_b.txt"_s};
    QTest::newRow("dry-run") << QStringList{u"/cli"_s, u"@a.txt"_s, u"/case=upper"_s, u"/dryrun"_s,
                                            u"@b.txt"_s}
                             << QStringList() << QStringList{u"a.txt"_s, u"b.txt"_s};
}

void TestFormMain::commandLineModeRunsOnGivenPaths()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, onDisk);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_dir->file(u"a.txt"_s);
    m_dir->file(u"b.txt"_s);
    startWith(arguments);
    QVERIFY(m_form->QuitRequested());
    QCOMPARE(m_messages->texts(), messages);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), onDisk);
}

void TestFormMain::previewErrorsBecomeMessages()
{
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(m_messages->entries, (QList<RecordingMessages::Entry>{
                                      {u"info"_s, u"No files loaded. Add files first."_s}}));

    drop({m_dir->file(u"a.txt"_s)});
    m_messages->entries.clear();
    m_settings->findChild<QCheckBox *>(u"cbRegex"_s)->setChecked(true);
    child<QLineEdit>("edtFind")->setText(u"(a"_s);
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(m_messages->entries.size(), 1);
    QCOMPARE(m_messages->entries.first().kind, u"error"_s);
    QVERIFY2(m_messages->entries.first().text.contains(u"missing closing parenthesis"_s),
             qPrintable(m_messages->entries.first().text));
    // The window goes on working.
    child<QLineEdit>("edtFind")->setText(u"(a)"_s);
    child<QLineEdit>("edtReplace")->setText(u"b"_s);
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(cell(0, 1), u"b.txt"_s);
}

void TestFormMain::removeCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("status");

    const QString untouched = u"  Add the files"_s;
    QTest::newRow("remove-selected")
        << u"btnRemove"_s << QList<int>{0, 2} << QStringList{u"b"_s} << u"Files: 1"_s;
    QTest::newRow("remove-nothing-selected")
        << u"btnRemove"_s << QList<int>{} << QStringList{u"a"_s, u"b"_s, u"c"_s} << untouched;
    QTest::newRow("menu-remove-selected")
        << u"RemoveSelected1"_s << QList<int>{1} << QStringList{u"a"_s, u"c"_s} << u"Files: 2"_s;
    QTest::newRow("context-remove-selected")
        << u"miRemoveSelected"_s << QList<int>{0} << QStringList{u"b"_s, u"c"_s} << u"Files: 2"_s;
    // The context menu rewrites the count even when it removes nothing.
    QTest::newRow("context-remove-nothing-selected")
        << u"miRemoveSelected"_s << QList<int>{} << QStringList{u"a"_s, u"b"_s, u"c"_s}
        << u"Files: 3"_s;
    QTest::newRow("clear-list-nothing-selected")
        << u"Clearlist1"_s << QList<int>{} << QStringList{u"a"_s, u"b"_s, u"c"_s} << untouched;
    QTest::newRow("clear-list-one-selected")
        << u"Clearlist1"_s << QList<int>{1} << QStringList{} << u"Files: 0"_s;
    QTest::newRow("hidden-clear") << u"btnClear"_s << QList<int>{} << QStringList{}
                                  << u"Files: 0"_s;
}

void TestFormMain::removeCommands()
{
    QFETCH(QString, command);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, remaining);
    QFETCH(QString, status);

    drop({m_dir->file(u"a"_s), m_dir->file(u"b"_s), m_dir->file(u"c"_s)});
    child<QToolButton>("btnPreview")->click();
    selectRows(selected);
    m_form->ApplyTranslatedCaptions();

    const QByteArray name = command.toLatin1();
    if (auto *action = m_form->findChild<QAction *>(command))
        action->trigger();
    else
        child<QAbstractButton>(name.constData())->click();

    QStringList names;
    for (const TRenameItem &item : m_form->FRenameItems())
        names.append(item.OriginalName);
    QCOMPARE(names, remaining);
    QCOMPARE(list()->model()->rowCount(), remaining.size());
    QCOMPARE(m_form->StatusText(), status);
    // The remaining rows keep the names of the last preview; removed paths can come back.
    for (int row = 0; row < remaining.size(); ++row)
        QCOMPARE(cell(row, 1), remaining.at(row));
    drop({m_dir->filePath(u"a"_s)});
    QVERIFY(m_form->IsListed(m_dir->filePath(u"a"_s)));
}

void TestFormMain::newExtensionFollowsItsCheckBox()
{
    auto *check = child<QCheckBox>("chkNewExt");
    auto *edit = child<QLineEdit>("edtNewExt");
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

void TestFormMain::onlyTheUserChangesDestinationControls()
{
    auto *mode = child<QComboBox>("cbBatchMode");
    const QList<QWidget *> destination{child<QWidget>("lblDestination"),
                                       child<QWidget>("edtDestination"), child<QWidget>("Button2")};
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
    QCOMPARE(m_form->ReadRenameOptions().batchMode, 2);

    mode->setCurrentIndex(0);
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(mode->currentIndex(), 1);
    QVERIFY(enabled(true));
    child<QLineEdit>("edtDestination")->setText(u"/tmp/out"_s);
    QTest::keyClick(mode, Qt::Key_Up);
    QCOMPARE(mode->currentIndex(), 0);
    QVERIFY(enabled(false));
    QCOMPARE(child<QLineEdit>("edtDestination")->text(), u"/tmp/out"_s);
}

void TestFormMain::destinationPicker()
{
    auto *mode = child<QComboBox>("cbBatchMode");
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    auto *edit = child<QLineEdit>("edtDestination");
    edit->setText(m_dir->filePath(u"not-there"_s));
    child<QPushButton>("Button2")->click(); // cancelled
    QCOMPARE(m_shell->starts, QStringList{QDir::currentPath()});
    QCOMPARE(m_shell->titles, QStringList{u"Select destination folder"_s});
    QCOMPARE(edit->text(), m_dir->filePath(u"not-there"_s));

    const QString target = m_dir->folder(u"out"_s);
    edit->setText(target);
    m_shell->folders = {m_dir->path()};
    child<QPushButton>("Button2")->click();
    QCOMPARE(m_shell->starts.last(), target);
    QCOMPARE(edit->text(), m_dir->path());
}

void TestFormMain::optionsPanelHidesAndReturns()
{
    auto *toolbar = child<QWidget>("Panel1");
    auto *panel = child<QWidget>("Panel2");
    auto *toggle = child<QAction>("ShowSettings1");
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

void TestFormMain::folderColumnTakesTheRest_data()
{
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("folderWidth");
    QTest::newRow("narrow") << 900 << 150;
    QTest::newRow("just-below-936") << 935 << 150;
    QTest::newRow("936") << 936 << 150;
    QTest::newRow("937") << 937 << 151;
    QTest::newRow("1000") << 1000 << 214;
    QTest::newRow("wide") << 1800 << 1014;
}

void TestFormMain::folderColumnTakesTheRest()
{
    QFETCH(int, clientWidth);
    QFETCH(int, folderWidth);
    m_form->setMinimumSize(0, 0);
    const int chrome = m_form->width() - m_form->ListClientWidth();
    m_form->resize(clientWidth + chrome, m_form->height());
    QTRY_COMPARE(m_form->ListClientWidth(), clientWidth);
    QCOMPARE(list()->columnWidth(2), folderWidth);
    QCOMPARE(list()->columnWidth(0), 280);
    QCOMPARE(list()->columnWidth(3), 90);
    QCOMPARE(list()->columnWidth(4), 130);
}

void TestFormMain::resizeUndoesDraggedWidths()
{
    list()->horizontalHeader()->resizeSection(0, 100);
    list()->horizontalHeader()->resizeSection(3, 300);
    m_form->resize(m_form->width() + 50, m_form->height());
    QTRY_COMPARE(list()->columnWidth(0), 280);
    QCOMPARE(list()->columnWidth(3), 90);
}

void TestFormMain::optionsDialogKeepsValues()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    child<QLineEdit>("edtPattern")->setText(u"{counter}"_s);
    auto *counterStart = m_settings->findChild<QLineEdit *>(u"edtCounterStart"_s);
    auto *digits = m_settings->findChild<QLineEdit *>(u"edtDigits"_s);
    auto *conflict = m_settings->findChild<QComboBox *>(u"cbConflict"_s);
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
        m_settings->findChild<QPushButton *>(u"Button1"_s)->click();
    });
    child<QToolButton>("SpeedButton1")->click();
    QVERIFY(edited);
    QVERIFY(!m_settings->isVisible());
    QCOMPARE(counterStart->text(), u"5"_s);
    QCOMPARE(digits->text(), u"2"_s);

    child<QToolButton>("btnPreview")->click();
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
    child<QToolButton>("SpeedButton1")->click();
    QVERIFY(seen);
    RenameOptions expected;
    expected.pattern = u"{counter}"_s;
    expected.counterStart = u"5"_s;
    expected.digits = QString();
    expected.conflict = 0;
    QCOMPARE(m_form->ReadRenameOptions(), expected);
    // An emptied digit count is read as 3.
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(cell(0, 1), u"005.txt"_s);
}

void TestFormMain::visualStyle()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    const QString applied = app->styleSheet();
    QVERIFY(applied.contains(u"QTableView"_s));

    RecordingMessages messages;
    QVERIFY(!ApplyVisualStyle(*app, messages, u":/styles/missing.qss"_s));
    QCOMPARE(messages.entries.size(), 1);
    QCOMPARE(messages.entries.first().kind, u"error"_s);
    QVERIFY(messages.entries.first().text.contains(u"Allports"_s));
    QCOMPARE(app->styleSheet(), applied);
}

void TestFormMain::helpLinksAndExit()
{
    child<QAction>("utorial1")->trigger();
    child<QAction>("ContactUs1")->trigger();
    child<QAction>("VisitWebsite1")->trigger();
    QCOMPARE(m_shell->addresses,
             (QStringList{HomepageAddress + u"/redirect/tutorial-vexa.html"_s,
                          HomepageAddress + u"/support.html"_s, HomepageAddress}));
    auto *link = child<QLabel>("lbHomepageURL");
    QCOMPARE(link->text(), HomepageAddress);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(m_shell->addresses.size(), 4);
    // The link sits over the right end of the status bar, 3 pixels below its top.
    auto *bar = child<QStatusBar>("StatusBar1");
    QCOMPARE(link->parentWidget(), bar);
    QCOMPARE(link->geometry(), QRect(bar->width() - 262 - 25, 3, 262, 19));

    child<QAction>("Exit1")->trigger();
    QVERIFY(!m_form->isVisible());
}

// The list shows what the batch will do before anything happens, and a plan that would
// lose a file keeps Rename from starting.
void TestFormMain::planShownInTheList()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_dir->file(u"x.txt"_s, "outside");
    const QStringList listed{m_dir->file(u"a.txt"_s, "a"), m_dir->file(u"b.txt"_s, "b"),
                             m_dir->file(u"x (1).txt"_s, "x1")};
    drop(listed);
    child<QLineEdit>("edtPattern")->setText(u"x"_s);
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(cell(0, 1), u"x (2).txt"_s);
    QCOMPARE(cell(1, 1), u"x (3).txt"_s);
    QCOMPARE(cell(2, 1), u"x (1).txt"_s); // numbered, it would keep its present name
    QCOMPARE(cell(0, 4), u"Numbered"_s);
    QCOMPARE(cell(2, 4), u"No change"_s);
    QCOMPARE(m_form->PlanSummaryText(), u"No change: 1, Numbered: 2"_s);

    // Under Overwrite the three would end as one name: nothing starts.
    m_settings->findChild<QComboBox *>(u"cbConflict"_s)->setCurrentIndex(ConflictMode::Overwrite);
    child<QToolButton>("btnPreview")->click();
    QCOMPARE(cell(0, 4), u"Duplicate name"_s);
    QCOMPARE(m_form->PlanSummaryText(), u"Duplicate name: 3"_s);
    child<QToolButton>("btnRename")->click();
    QVERIFY(m_messages->texts().back().startsWith(
        u"Nothing was renamed. Files that cannot get the names shown: 3"_s));
    QVERIFY(QFile::exists(listed.at(0)) && QFile::exists(listed.at(1)));

    // Adding a file takes the plan away with the preview it belonged to.
    drop({m_dir->file(u"c.txt"_s)});
    QCOMPARE(cell(0, 4), QString());
    QCOMPARE(m_form->PlanSummaryText(), QString());

    m_settings->findChild<QComboBox *>(u"cbConflict"_s)->setCurrentIndex(ConflictMode::AutoNumber);
    child<QToolButton>("btnPreview")->click();
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/plan-in-list.png")));
    child<QToolButton>("btnRename")->click();
    QTRY_COMPARE(m_messages->texts().back(),
                 u"Batch completed. A CSV log has been saved in AppData."_s);
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
void TestFormMain::previewFollowsChanges()
{
    drop({m_dir->file(u"a.txt"_s), m_dir->file(u"b.txt"_s)});
    QTRY_COMPARE(cell(1, 1), u"b.txt"_s);
    child<QLineEdit>("edtPattern")->setText(u"{counter}-{name}"_s);
    QTRY_COMPARE(cell(1, 1), u"002-b.txt"_s);
    child<QComboBox>("cbCase")->setCurrentIndex(CaseMode::Upper);
    QTRY_COMPARE(cell(0, 1), u"001-A.txt"_s);
    drop({m_dir->file(u"c.txt"_s)});
    QTRY_COMPARE(cell(2, 1), u"003-C.txt"_s);

    m_settings->findChild<QCheckBox *>(u"cbRegex"_s)->setChecked(true);
    child<QLineEdit>("edtFind")->setText(u"(a"_s);
    QTRY_VERIFY(m_form->PlanSummaryText().startsWith(u"Error in regular expression"_s));
    QVERIFY(m_messages->entries.isEmpty());
}

// {counter} follows the list as shown: sorted by a header, or rows moved by hand.
void TestFormMain::orderChangesTheCounter()
{
    drop({m_dir->file(u"b.txt"_s, "bb"), m_dir->file(u"c.txt"_s, "c"),
          m_dir->file(u"a.txt"_s, "aaa")});
    child<QLineEdit>("edtPattern")->setText(u"{counter}_{name}"_s);
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
    child<QAction>("miMoveDown")->trigger();
    QCOMPARE(cell(2, 0), u"a.txt"_s);
    child<QAction>("miMoveDown")->trigger(); // at the end already
    QCOMPARE(cell(2, 0), u"a.txt"_s);
}

// The window opens where it was closed, and on a screen even when that place is gone.
void TestFormMain::remembersItsPlace()
{
    const QRect room = m_form->screen()->availableGeometry();
    m_form->setGeometry(QRect(room.topLeft() + QPoint(40, 30), QSize(1100, 690)));
    m_form->close();
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell);
    QCOMPARE(m_form->size(), QSize(1100, 690));

    m_form->move(room.right() + 500, room.bottom() + 500);
    m_form->close();
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell);
    QVERIFY(room.contains(m_form->frameGeometry().topLeft()));
}

// A batch of a few thousand files runs while the window answers, shows how far it is,
// and stops between two files when asked; the log holds exactly the files done.
void TestFormMain::longBatchShowsProgressAndStops()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    GatedFileOperations gate;
    m_form->controller().setFileOperations(&gate);
    QStringList paths;
    for (int i = 0; i < 3000; ++i)
        paths.append(m_dir->file(u"f%1.txt"_s.arg(i, 4, 10, QLatin1Char('0'))));
    drop(paths);
    child<QLineEdit>("edtPattern")->setText(u"x{counter}"_s);
    child<QToolButton>("btnRename")->click();
    QVERIFY(m_form->controller().isBusy());
    QVERIFY(!child<QToolButton>("btnRename")->isEnabled());
    gate.release(400);
    auto *bar = child<QProgressBar>("ProgressBar");
    QTRY_VERIFY(bar->isVisible() && bar->value() > 0);
    QVERIFY(child<QLabel>("ProgressText")->text().contains(u" of 3,000: "_s));
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    QVERIFY(m_form->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/long-batch.png")));

    child<QToolButton>("btnCancelWork")->click();
    gate.release(1000000);
    QTRY_VERIFY(!m_form->controller().isBusy());
    const QString stopped = m_messages->texts().back();
    QVERIFY2(stopped.startsWith(u"Stopped after "_s), qPrintable(stopped));
    const int done = stopped.section(u' ', 2, 2).toInt();
    QVERIFY(done >= 400 && done < 3000);
    QFile log(UndoLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count("\r\n") - 1, done);
    QCOMPARE(QDir(m_dir->path()).entryList({u"x*"_s}, QDir::Files).size(), done);
    QVERIFY(child<QToolButton>("btnRename")->isEnabled());
    QVERIFY(!bar->isVisible());
    m_form->controller().setFileOperations(nullptr);
}

void TestFormMain::screenshots()
{
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    const QStringList names{u"IMG_2041.JPG"_s, u"IMG_2042.JPG"_s, u"holiday  notes.txt"_s,
                            u"Report final v2.pdf"_s, u"track 07.mp3"_s};
    QStringList paths;
    for (int i = 0; i < names.size(); ++i)
        paths.append(
            m_dir->file(u"Photos/"_s + names.at(i), QByteArray(1000 * (i + 1) * (i + 7), 'x')));
    drop(paths);
    child<QLineEdit>("edtPattern")->setText(u"{counter}_{name}"_s);
    child<QComboBox>("cbCase")->setCurrentIndex(3);
    child<QCheckBox>("chkCollapseDoubleSpaces")->setChecked(true);
    child<QToolButton>("btnPreview")->click();
    selectRows({1});
    QApplication::processEvents();

    const QString mainShot = QStringLiteral(TESSALY_SCREENSHOT_DIR "/main-window.png");
    QVERIFY(m_form->grab().save(mainShot));
    m_settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_settings.get()));
    const QString settingsShot = QStringLiteral(TESSALY_SCREENSHOT_DIR "/options-dialog.png");
    QVERIFY(m_settings->grab().save(settingsShot));
    m_settings->hide();
    qInfo("screenshots: %s, %s", qPrintable(mainShot), qPrintable(settingsShot));

    // The window in a right-to-left language and in two other scripts.
    QFile file(QStringLiteral(TESSALY_CATALOGUE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    SetTranslationState(*ParseCatalogue(QString::fromUtf8(file.readAll())), 0, u"en"_s);
    m_form.reset();
    m_form = std::make_unique<TFormMain>(*m_settings, *m_messages, *m_shell);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    drop(paths);
    child<QLineEdit>("edtPattern")->setText(u"{counter}_{name}"_s);
    child<QToolButton>("btnPreview")->click();
    for (const QString &code : {u"ar"_s, u"jp"_s, u"el"_s}) {
        chooseLanguage(code);
        QApplication::processEvents();
        const QString shot =
            QStringLiteral(TESSALY_SCREENSHOT_DIR "/main-window-") + code + u".png"_s;
        QVERIFY(m_form->grab().save(shot));
        qInfo("screenshot: %s", qPrintable(shot));
    }
}

QTEST_MAIN(TestFormMain)
#include "tst_formmain.moc"
