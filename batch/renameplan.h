#pragma once

#include "batch/filesystemview.h"
#include "engine/planstatus.h"
#include "engine/renameitem.h"
#include "engine/renameoptions.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// Eight bytes, as a plan made to show a list has one per row of the list.
struct PlannedRow
{
    int folder = -1; // where the row's file goes: an index into RenamePlan::folders
    PlanStatus status = PlanStatus::Rename;
};

// One operation of the batch, in the order they run. Its paths are a folder of the
// plan's (RenamePlan::folders) and a name: the names are the items' own texts, shared,
// so a plan of a million steps makes no path of its own.
struct PlanStep
{
    enum Kind : quint8 {
        Move,  // from -> to, never replacing anything at to
        Copy,  // from -> to, never replacing anything at to
        Trash, // the file at from goes to the desktop Trash
    };
    Kind kind = Move;
    bool last = false;      // the row's file is at its final path after this step
    bool fromStone = false; // from is the stepping stone the row's file went to first
    int fromFolder = -1;
    int toFolder = -1; // -1 for Trash
    qsizetype row = 0;
    QString fromName;
    QString toName;
};
Q_DECLARE_TYPEINFO(PlanStep, Q_RELOCATABLE_TYPE);

// What a plan is made for: a batch needs its steps; showing the outcome of each row
// needs only each row's status and the numbered names, and a plan of a million rows is
// much smaller without steps and targets.
enum class PlanPurpose : quint8 { Batch, Showing };

struct RenamePlan
{
    QList<PlannedRow> rows; // one per item, in list order
    QList<PlanStep> steps;  // none in a plan made for showing
    PlanPurpose purpose = PlanPurpose::Batch;
    std::array<qsizetype, PlanStatusCount> counts{};
    QString destination; // the folder copies and moves go into, empty for renames
    // The folders of the rows and steps: absolute, clean, each with its final separator.
    QStringList folders;
    // The final paths of the rows that were numbered, whose name differs from their
    // new name (RenamePlan::targetPath gives every row's).
    QHash<qsizetype, QString> numberedTargets;
    // Each row's file as the plan found it, by its inode in its folder (0: not known); in
    // a plan for a batch where the system gives inodes, else empty.
    QList<quint64> sourceInodes;

    qsizetype count(PlanStatus status) const { return counts[size_t(status)]; }
    // The rows whose file ends under a new path (planStatusActs).
    qsizetype actingCount() const;
    // Whether any row keeps the batch from starting.
    bool blocked() const;
    // The path a row will have afterwards: its target, or its source when left alone.
    QString finalPath(const RenameItems &items, qsizetype row) const;
    // Where a row that acts puts its file: the numbered path, or its folder and new name.
    QString targetPath(const RenameItems &items, qsizetype row) const;
    QString fromPath(const PlanStep &step) const
    {
        return folders.at(step.fromFolder) + step.fromName;
    }
    QString toPath(const PlanStep &step) const
    {
        return step.toFolder < 0 ? QString() : folders.at(step.toFolder) + step.toName;
    }
};

// Decides every row's outcome for carrying out the items' NewName with options: the
// final target (after numbering) and one status, and the order of the operations
// so that names held by other listed files are free when their turn comes (chains
// run from their free end, cycles and swaps through a temporary name in the same
// folder). Files are told apart by identity, never by the text of their paths.
// Reads folders through view and changes nothing. previewed says that every NewName
// comes from a preview, so that an empty one is an empty name rather than a missing
// preview.
RenamePlan planBatch(const RenameItems &items, const RenameOptions &options, FileSystemView &view,
                     bool previewed = false, PlanPurpose purpose = PlanPurpose::Batch);

// Why a blocked plan cannot run, for people: "Please build preview first ..." when a
// row has no preview, else how many rows are blocked and the first few of them.
QString planBlockedMessage(const RenameItems &items, const RenamePlan &plan);

// "No change: 2, Duplicate name: 3": how many rows have each status other than Rename,
// in the order of PlanStatus, with the translated status names and the locale's
// digits; empty when every row is a rename.
QString planSummary(const RenamePlan &plan);
