#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <functional>

struct RenamePlan;

// A row the batch carried out, as the system reported it, by the plan's steps that moved
// its file first and last (one step for most rows): its file is to be found under the
// last step's target name in that step's folder, and no longer as the same file under
// the first step's source name in that step's folder. Eight bytes a row: a batch of a
// million rows records one per row while it runs.
struct DoneRow
{
    static constexpr quint32 sourceStays = ~0u; // firstStep of a copy: its source is left
    quint32 firstStep = sourceStays;
    quint32 lastStep = 0;
};

struct DoneRows
{
    QList<DoneRow> rows;
    // The name a row's file took where its last step's target was taken meanwhile, by
    // the row's place in rows.
    QHash<qsizetype, QString> otherTargets;
};

// Reads every folder the rows touched once and returns the rows (their places in rows) whose file
// is not where the system said it went: no entry under the target name, or the source name still
// naming the very file at the target (a rename that left both names). A name that
// differs from the source only in letter case is not looked for at the source, since a
// folder that ignores case shows the new name there.
// meanwhile runs on the calling thread while the folders are read on another one (the
// batch ends its log there); what it throws comes out of verifyDoneRows once the
// reading has stopped.
QList<qsizetype> verifyDoneRows(const RenamePlan &plan, const DoneRows &done,
                                const std::function<void()> &meanwhile = {});
