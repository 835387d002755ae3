#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A row the batch carried out, as the system reported it: its file is to be found under
// targetName in the target folder, and no longer as the same file under sourceName in
// its source folder (both folders absolute and clean, with their final separator).
struct DoneRow
{
    qsizetype row = 0;
    int targetFolder = -1; // an index into the folders given to verifyDoneRows
    QString targetName;
    int sourceFolder = -1; // the same; -1 when the source stays where it was (a copy)
    QString sourceName;
};

// Reads every folder the rows touched once and returns the rows (their places in rows) whose file
// is not where the system said it went: no entry under the target name, or the source name still
// naming the very file at the target (a rename that left both names). A name that
// differs from the source only in letter case is not looked for at the source, since a
// folder that ignores case shows the new name there.
QList<qsizetype> verifyDoneRows(const QList<DoneRow> &rows, const QStringList &folders);
