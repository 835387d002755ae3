#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class UserMessages;

// What the main window asks of the desktop: file and folder choosers and opening an
// address in the browser. Tests put answers in its place, since a modal dialog would
// wait for a person.
class ShellServices
{
public:
    virtual ~ShellServices() = default;

    // The chosen existing files in the order the dialog gives them; empty on cancel.
    // filter is "Text|mask", as in "All files (*.*)|*.*". A folder chosen with the
    // dialog's Open button comes back as a choice, not opened.
    virtual QStringList chooseFiles(QWidget *parent, const QString &title,
                                    const QString &filter) = 0;
    // One chosen file, which need not exist yet; empty on cancel.
    virtual QString chooseOpenFile(QWidget *parent, const QString &filter) = 0;
    // The file to write, with defaultSuffix added to a name typed without one; an
    // existing file is replaced without asking. Empty on cancel.
    virtual QString chooseSaveFile(QWidget *parent, const QString &filter,
                                   const QString &defaultSuffix) = 0;
    // The chosen folder, starting at start when that exists; empty on cancel.
    virtual QString chooseFolder(QWidget *parent, const QString &title, const QString &start) = 0;
    // Opens address in the default browser; false when no browser could be started.
    virtual bool openAddress(const QString &address) = 0;
    // Starts a file with the desktop's default action (the downloaded installer) and
    // does not wait for it; failures are not reported.
    virtual void startFile(const QString &path) = 0;
};

// The real choosers and browser. Each kind of chooser starts in the folder it was left
// in last time, kept in the user's settings.
class DesktopShell : public ShellServices
{
public:
    QStringList chooseFiles(QWidget *parent, const QString &title, const QString &filter) override;
    QString chooseOpenFile(QWidget *parent, const QString &filter) override;
    QString chooseSaveFile(QWidget *parent, const QString &filter,
                           const QString &defaultSuffix) override;
    QString chooseFolder(QWidget *parent, const QString &title, const QString &start) override;
    bool openAddress(const QString &address) override;
    void startFile(const QString &path) override;
};

// Opens address in the browser; when none starts, a warning shows the address, which is
// still of use to copy.
void openAddressOrShowIt(ShellServices &shell, UserMessages &messages, const QString &address);

// A "Text|mask|Text|mask" filter as Qt's file dialog takes it. "*.*" means every
// file, also one without a dot in its name, so it becomes "*".
QString qtFileFilter(const QString &filter);
