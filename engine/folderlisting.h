#pragma once

#include <QList>
#include <QString>

// What a folder holds (links are entries of their own, not what they point to). The
// names are kept in two texts, each name followed by a NUL character, so that a folder
// of a million files costs two allocations rather than a million.
struct FolderListing
{
    QString files; // everything that is not a folder
    QString folders;
    int maxNameBytes = 255; // the longest name the file system takes, in bytes
    // The inode of each file in files, in the same order, where the system gives them
    // (empty otherwise): a batch knows by them that a file is where it went.
    QList<quint64> fileInodes;

    void addFile(const QString &name) { files.append(name).append(QChar(0)); }
    void addFile(const QString &name, quint64 inode)
    {
        addFile(name);
        fileInodes.append(inode);
    }
    void addFolder(const QString &name) { folders.append(name).append(QChar(0)); }
};

// Calls visit with each name of a listing text.
template <typename Visit>
void forEachListedName(QStringView text, Visit visit)
{
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(QChar(0), start);
        if (end < 0)
            end = text.size();
        visit(text.mid(start, end - start));
        start = end + 1;
    }
}
