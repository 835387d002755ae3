#pragma once

#include "filelistmodel.h"
#include "renamecontroller.h"
#include "renameoptions.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class ShellServices;
class TFormSettings;
class UserMessages;

namespace Ui {
class TFormMain;
}

// The main window: the option controls, the file list and every command of the
// program. The options live in the controls (and in the options dialog) and are read
// into a RenameOptions value at the moment a command needs them.
class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    // arguments are the program's own, without its path: /cli runs one batch unattended.
    TFormMain(TFormSettings &formSettings, UserMessages &messages, ShellServices &shell,
              QWidget *parent = nullptr, const QStringList &arguments = ProgramArguments());
    ~TFormMain() override;

    RenameController &controller() { return m_controller; }
    // The rename list and the rows of lvFiles, in one model.
    FileListModel &fileList() { return m_files; }
    const TRenameItems &FRenameItems() const { return m_files.items(); }
    // The names imported for {list}; entry i pairs with item i.
    QStringList &FImportedNameList() { return m_importedNameList; }

    // Every option, from the controls of this window and of the options dialog.
    RenameOptions ReadRenameOptions() const;
    // Sets the controls of every option. The new-extension box brings its edit along;
    // the operation list does not touch the destination controls.
    void WriteRenameOptions(const RenameOptions &options);
    // Whether the command-line mode has asked the program to end.
    bool QuitRequested() const { return m_quitRequested; }
    static QStringList ProgramArguments();
    // The arguments that name existing files or folders, as absolute paths in their
    // order; the unattended run's keys and everything else are left out.
    static QStringList StartPaths(const QStringList &arguments);

    TFormSettings &FormSettings() { return m_formSettings; }
    UserMessages &Messages() { return m_messages; }

    // The file list operations.
    void AddFile(const QString &path);
    void AddFolder(const QString &folder, bool includeSubfolders, bool runPreview);
    bool IsListed(const QString &path) const { return m_files.IsListed(path); }
    void UpdateFileCount();
    // What a drop of these paths does: folders (walked as "Include subfolders" says)
    // and files are added in order, paths that name nothing are skipped.
    void DropPaths(const QStringList &paths);

    // Runs a command: an error it raises becomes an error message, and the program goes
    // on with the window.
    void RunCommand(const std::function<void()> &command);

    QString StatusText() const;
    // What the plan shown in the list counts besides plain renames ("Numbered: 2").
    QString PlanSummaryText() const;
    // The list's client width, scroll bar excluded, that the columns share.
    int ListClientWidth() const;
    void ResizeListColumns();
    // Sets the captions that depend on the interface language.
    void ApplyTranslatedCaptions();

    // Commands, named after their controls.
    void btnAddClick();
    void btnAddFolderClick();
    void btnRemoveClick();
    void miRemoveSelectedClick();
    void Clearlist1Click();
    void btnClearClick();
    void btnPreviewClick();
    void btnRenameClick();
    void btnUndoClick();
    void btnSavePresetClick();
    void btnLoadPresetClick();
    void btnLoadNameListClick();
    void SpeedButton1Click();
    void SpeedButton4Click();
    void Button1Click();
    void Button2Click();
    void cbBatchModeChange();
    void chkNewExtClick();
    void ShowSettings1Click();
    void utorial1Click();
    void ContactUs1Click();
    void lbHomepageURLClick();
    void Exit1Click();
    void LanguageMenuItemClick(QAction *item);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate(const QStringList &arguments);
    void RunCommandLine(const QStringList &arguments);
    void BuildLanguageMenu();
    void FormResize();
    void connectCommands();
    // The window's layouts: the options panel's columns and what the list keeps.
    void layOutWindow();
    // The designed size, or less on a smaller screen, centred on the screen.
    void placeOnScreen();
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
    void Preview();
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

    std::unique_ptr<Ui::TFormMain> ui;
    TFormSettings &m_formSettings;
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
    QWidget *m_progressRow = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    QTimer *m_progressDelay = nullptr; // short work shows no progress at all
    QTimer *m_previewDelay = nullptr;  // one preview after a burst of changes
    bool m_closeWhenIdle = false;
    RenameOptions m_renameOptions;  // of the Rename being planned
    int m_nameColumnWidths[2] = {}; // original, new
    bool m_fittingColumns = false;  // widths set by the window, not dragged
};
