#pragma once

#include "shell/shellservices.h"

#include <QList>
#include <QStringList>

// Answers the file and folder choosers from queues (cancel when a queue is empty),
// records what was asked and the addresses and files it is to open, and opens nothing:
// a test must never start a program. For the tests of the shell, which link it.
class RecordingShell : public ShellServices
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
    bool openAddress(const QString &address) override
    {
        addresses.append(address);
        return browserFound;
    }
    void startFile(const QString &path) override { started.append(path); }

    // The answers, taken in order.
    QList<QStringList> files;
    QStringList openFiles;
    QStringList saveFiles;
    QStringList folders;
    // Whether openAddress finds a browser.
    bool browserFound = true;
    // What was asked and done.
    QStringList suffixes;
    QStringList titles;
    QStringList filters;
    QStringList starts;
    QStringList addresses;
    QStringList started;
};
