#pragma once

#include "shellservices.h"

#include <QStringList>

// Records the addresses and files it is asked to open, and opens nothing: a test must
// never start a program.
class RecordingShell : public ShellServices
{
public:
    QStringList chooseFiles(QWidget *, const QString &, const QString &) override { return {}; }
    QString chooseOpenFile(QWidget *, const QString &) override { return {}; }
    QString chooseSaveFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString chooseFolder(QWidget *, const QString &, const QString &) override { return {}; }
    void openAddress(const QString &address) override { addresses.append(address); }
    void startFile(const QString &path) override { started.append(path); }

    QStringList addresses;
    QStringList started;
};
