#pragma once

#include "controller/renamecontroller.h"
#include "engine/renameoptions.h"
#include "filelist/filelistmodel.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class HistoryWindow;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class QToolButton;
class ShellServices;
class OptionsDialog;
class UserMessages;

namespace Ui {
class MainWindow;
}

// The main window: the option controls, the file list and every command of the
// program. The options live in the controls (and in the options dialog) and are read
// into a RenameOptions value at the moment a command needs them.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // arguments are the program's own, without its path: /cli runs one batch unattended.
    MainWindow(OptionsDialog &formSettings, UserMessages &messages, ShellServices &shell,
               QWidget *parent = nullptr, const QStringList &arguments = programArguments());
    ~MainWindow() override;

    RenameController &controller() { return m_controller; }
    // The rename list and the rows of fileTable, in one model.
    FileListModel &fileList() { return m_files; }
    // The names imported for {list}; entry i pairs with item i.
    QStringList &importedNames() { return m_importedNameList; }

    // Every option, from the controls of this window and of the options dialog.
    RenameOptions readOptions() const;
    // Sets the controls of every option. The new-extension box brings its edit along;
    // the operation list does not touch the destination controls.
    void showOptions(const RenameOptions &options);
    // Whether the command-line mode has asked the program to end.
    bool quitRequested() const { return m_quitRequested; }
    static QStringList programArguments();
    // The arguments that name existing files or folders, as absolute paths in their
    // order; the unattended run's keys and everything else are left out.
    static QStringList startPaths(const QStringList &arguments);

    OptionsDialog &optionsDialog() { return m_formSettings; }
    UserMessages &messages() { return m_messages; }

    // Adds at once, on this thread (the commands add on the controller's thread).
    void addFile(const QString &path);
    void addFolder(const QString &folder, bool includeSubfolders, bool runPreview);
    bool isListed(const QString &path) const { return m_files.isListed(path); }
    void updateFileCount();

    // Runs a command: an error it raises becomes an error message, and the program goes
    // on with the window.
    void runCommand(const std::function<void()> &command);

    QString statusText() const;
    // What the plan shown in the list counts besides plain renames ("Numbered: 2").
    QString planSummaryText() const;
    // The list's client width, scroll bar excluded, that the columns share.
    int listClientWidth() const;
    // The folder column takes what the other columns leave.
    void fitListColumns();
    // Sets the captions that depend on the interface language.
    void applyTranslatedCaptions();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The commands of the buttons, menus and keys (connectCommands).
    void addFiles();
    void chooseFolderToAdd();
    void removeSelectedFiles();
    // The same from a menu, which shows the count of files even when nothing changed.
    void removeSelectedFromMenu();
    // The whole list, whatever is selected; a long list only when the user agrees.
    void clearListFromMenu();
    void clearList();
    // Shows the new names and their plan at once.
    void preview();
    // Plans on the controller's thread, asks, then renames there.
    void rename();
    // Plans the undo of the newest batch not undone on the controller's thread, asks,
    // then undoes it there.
    void undoLastBatch();
    // Opens the window of the batches on record (made when first needed).
    void showHistory();
    // Drops the undo steps of the window's text fields, which a batch has taken in.
    void forgetFieldEdits();
    // Takes the rows that keep plan from starting out of the list, then plans the rest.
    void leaveOutBlockedRows(const RenamePlan &plan);
    void savePreset();
    void loadPreset();
    void loadNameList();
    void showOptionsDialog();
    void showAbout();
    void showPatternHelp();
    void chooseDestination();
    // The destination controls follow the operation the user chose.
    void enableDestination();
    void enableNewExtension();
    void showOptionsPanel();
    // Opens address in the browser, or shows it when there is none.
    void openAddress(const QString &address);
    void openTutorial();
    void openSupportPage();
    void openHomepage();
    void exitProgram();
    void chooseLanguage(QAction *item);

    void setUpWindow(const QStringList &arguments);
    void runCommandLine(const QStringList &arguments);
    // Adds the files given to the program before the unattended run, which works on
    // them: folders walked as "Include subfolders" says, paths naming nothing passed over.
    void addPathsNow(const QStringList &paths);
    void buildLanguageMenu();
    void connectCommands();
    // The window's layouts: the options panel's columns and what the list keeps.
    void layOutWindow();
    // The default size, or less on a smaller screen, centred on the screen.
    void placeOnScreen();
    // Names every control for screen readers in the current language: fields by their
    // captions, icon and sign buttons by their commands.
    void nameControls();
    // The status bar and its link as high as their font needs.
    void fitStatusBar();
    // Lines up the captions of the options panel in the current language and keeps
    // every caption and list item whole.
    void alignCaptions();
    // The widths the Size and Status columns need for their texts in the current
    // language, at least the default ones.
    int sizeColumnWidth() const;
    int statusColumnWidth() const;
    // The command keys, Enter in the option fields, and the English captions behind the
    // menu keys.
    void setUpKeyboard();
    // Gives every menu and menu item a key letter in the current language.
    void setMenuKeys();
    // Work on the controller's thread: the progress row of the status bar, commands that
    // wait, and the messages when it ends.
    void buildProgressRow();
    // Add Folder in the File menu, Move up and down in the list's menu, sorting by a
    // click on a column's header.
    void buildListCommands();
    void moveSelectedRows(int step);
    void workBusyChanged(bool busy);
    void showProgress(qsizetype done, qsizetype total, const QString &path);
    void workFinished(const QList<PendingMessage> &messages);
    // Asks whether to carry out the plan the Rename command made, and starts it.
    void askToRename(bool planReady);
    void hideProgress();
    // Previews again shortly after any option or the list changed.
    void followChanges();
    void schedulePreview();
    // The window's place and size from the last start, kept on a screen that is there.
    void restoreWindowPlace();
    void saveWindowPlace() const;
    QList<int> selectedRows() const;
    // Where the list's menu opens from the keyboard, in global coordinates.
    QPoint keyboardMenuPlace() const;

    std::unique_ptr<Ui::MainWindow> ui;
    OptionsDialog &m_formSettings;
    UserMessages &m_messages;
    ShellServices &m_shell;
    RenameController m_controller;
    FileListModel &m_files = m_controller.fileList();
    QStringList &m_importedNameList = m_controller.importedNames();
    bool m_quitRequested = false;
    QLabel *m_statusText = nullptr;
    QLabel *m_planSummary = nullptr;
    QLabel *m_homepageLink = nullptr;
    QMenu *m_listMenu = nullptr;
    QAction *m_addFolderAction = nullptr;
    QAction *m_includeSubfoldersAction = nullptr;
    QAction *m_moveUpAction = nullptr;
    QAction *m_moveDownAction = nullptr;
    QAction *m_historyAction = nullptr;
    QAction *m_clearListAction = nullptr; // in the File menu, as listClearAction in the list's menu
    HistoryWindow *m_historyWindow = nullptr;
    QWidget *m_progressRow = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    QToolButton *m_cancelWork = nullptr;
    QTimer *m_progressDelay = nullptr; // short work shows no progress at all
    QTimer *m_previewDelay = nullptr;  // one preview after a burst of changes
    bool m_closeWhenIdle = false;
    RenameOptions m_renameOptions;  // of the Rename being planned
    int m_nameColumnWidths[2] = {}; // original, new
    bool m_fittingColumns = false;  // widths set by the window, not dragged
};
