#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// The file operations of a batch and of its undo, with the messages the user sees.
// Every failure throws TessalyError whose text is the message, a line break and the
// path concerned in square brackets. A target that already exists is not a failure:
// move and copy then return false and leave both files alone.
class FileOperations
{
public:
    virtual ~FileOperations() = default;

    // A file (not a folder) is at path; links are followed.
    virtual bool fileExists(const QString &path) = 0;
    virtual bool folderExists(const QString &path) = 0;
    // Creates the folder with its missing parents; false when that fails.
    virtual bool makeFolders(const QString &path) = 0;
    // Moves a file without ever replacing anything at target.
    virtual bool move(const QString &source, const QString &target) = 0;
    // The same with each path given as its folder (ending in a separator) and name, for
    // whoever can move within a folder without joining them. A batch moves through this
    // one: whoever watches moves overrides both.
    virtual bool moveNamed(const QString &sourceFolder, const QString &sourceName,
                           const QString &targetFolder, const QString &targetName)
    {
        return move(sourceFolder + sourceName, targetFolder + targetName);
    }
    // Copies a file to a new target, keeping its last-write time; never replaces.
    virtual bool copy(const QString &source, const QString &target) = 0;
    virtual void remove(const QString &path) = 0;
    // Trashing in two stages, so that the move can be recorded before it happens:
    // chooses the slot in the desktop Trash for the file at path (a link: the link
    // itself) and writes the Trash's note of its origin, moving nothing. The file then
    // goes to the returned absolute path by move (never leaving its file system), or
    // releaseTrash gives the slot back. Empty where the Trash picks its names itself
    // (Windows): moveToTrash is the only way there. Throws when no Trash can take it.
    // By default the desktop's own Trash (batch/trash.h).
    virtual QString reserveTrash(const QString &path);
    // Takes back the Trash's note of trashedPath while no file is there: a reserved
    // slot whose move did not take place, or a file the undo brought back. Does
    // nothing for a path outside a Trash.
    virtual void releaseTrash(const QString &trashedPath);
    // Moves a file (a link: the link itself) to the desktop Trash and returns where it
    // went there; throws, and leaves the file, when the Trash cannot take it. By
    // default reserveTrash, then move, then releaseTrash if the move fails.
    virtual QString moveToTrash(const QString &path);
    // Sets the last-write time to now; failures are silent.
    virtual void touch(const QString &path) = 0;
    // Both paths name one file (the same file through two spellings included).
    virtual bool sameFile(const QString &a, const QString &b) = 0;
    virtual bool sameContent(const QString &a, const QString &b) = 0;
    // Removes what an interrupted copy to target left behind, if anything.
    virtual void discardPartialCopy(const QString &target) = 0;

    enum class EntryKind { None, File, Folder };
    // What stands at path itself: a link counts as a file, whatever it leads to.
    virtual EntryKind entryKind(const QString &path) = 0;
    // The names of the folders directly in folder (links not followed); none when it
    // cannot be read.
    virtual QSet<QString> folderNamesIn(const QString &folder) = 0;
    // Puts back at path the file that an interrupted move to another file system set
    // aside (setAsidePath); false when there is none, or path is taken.
    virtual bool restoreSetAside(const QString &path) = 0;
    // Lets go of anything kept open between operations (a batch calls it when done).
    virtual void closeFolders() {}
};

// Closes what the operations kept open once a batch or an undo is over, however it ends.
class FoldersClosedAtEnd
{
public:
    explicit FoldersClosedAtEnd(FileOperations &files)
        : m_files(files)
    {}
    ~FoldersClosedAtEnd() { m_files.closeFolders(); }
    FoldersClosedAtEnd(const FoldersClosedAtEnd &) = delete;
    FoldersClosedAtEnd &operator=(const FoldersClosedAtEnd &) = delete;

private:
    FileOperations &m_files;
};

// How SystemFileOperations reaches the file system. Native takes this system's own
// calls; the others are the ways of systems without some of them, which tests choose
// so that those ways are built and run on this machine too.
enum class FileSystemCalls {
    Native,
    // No renameat2 that refuses to replace: a hard link refuses instead.
    WithoutRenameNoReplace,
    // Neither that nor hard links (FAT): a look before each rename.
    WithoutHardLinks,
    // Qt's portable file functions only, as on Windows.
    QtOnly,
};

// The operations on the real file system.
class SystemFileOperations : public FileOperations
{
public:
    explicit SystemFileOperations(FileSystemCalls calls = FileSystemCalls::Native)
        : m_calls(calls)
    {}

    bool fileExists(const QString &path) override;
    bool folderExists(const QString &path) override;
    bool makeFolders(const QString &path) override;
    bool move(const QString &source, const QString &target) override;
    bool moveNamed(const QString &sourceFolder, const QString &sourceName,
                   const QString &targetFolder, const QString &targetName) override;
    bool copy(const QString &source, const QString &target) override;
    void remove(const QString &path) override;
    QString moveToTrash(const QString &path) override;
    void touch(const QString &path) override;
    bool sameFile(const QString &a, const QString &b) override;
    bool sameContent(const QString &a, const QString &b) override;
    void discardPartialCopy(const QString &target) override;
    EntryKind entryKind(const QString &path) override;
    QSet<QString> folderNamesIn(const QString &folder) override;
    bool restoreSetAside(const QString &path) override;
    void closeFolders() override;

    ~SystemFileOperations() override { closeFolders(); }
    SystemFileOperations(const SystemFileOperations &) = delete;
    SystemFileOperations &operator=(const SystemFileOperations &) = delete;

private:
    // A rename within one folder goes through the folder kept open here, so that the
    // system does not walk the folder's path twice for every file. The path is looked
    // at again every so many renames, and the folder opened anew when it no longer
    // names the same folder; a rename that fails there is tried again by its paths,
    // which decide what the failure means.
    int openFolder(QStringView folder);
    bool moveWithinFolder(int folderFd, QStringView sourceName, QStringView targetName);

    FileSystemCalls m_calls;
    QString m_openFolderPath;
    QByteArray m_openFolderBytes; // the path as the system takes it
    int m_openFolderFd = -1;
    // Which folder is open, whatever its path names now.
    quint64 m_openFolderDevice = 0;
    quint64 m_openFolderInode = 0;
    int m_usesSinceLook = 0;
    bool m_renameInFolder = true; // false where the file system cannot refuse to replace
};

// Where a copy to target keeps its data until it is complete: a hidden file beside it
// whose short name comes from the target's path, so that it fits beside a name of any
// legal length and an undo finds it again.
QString partialCopyPath(const QString &target);
// Where a move to another file system keeps its source while it copies: a hidden
// name beside the source, made the same way. Until the copy is complete and the
// source gone, one of the two always holds the whole file under a known name.
QString setAsidePath(const QString &source);

// "message\n[path]", the form of every file-operation error.
QString fileErrorText(const QString &message, const QString &path);
// Throws "Invalid characters in path" for a path that this system cannot take: on
// Windows one that holds a control character, a quotation mark, "<", ">", "|", "*"
// or "?"; elsewhere one that holds a NUL, at which the system would end the path.
void checkPathCharacters(const QString &path);
