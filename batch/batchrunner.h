#pragma once

#include "fileoperations.h"
#include "renameitem.h"
#include "renameoptions.h"

#include <functional>

class UserMessages;

// Called after a rename or move brought the item at index up to date; oldPath is where
// the file was before.
using ItemMovedHandler = std::function<void(qsizetype index, const QString &oldPath)>;

// Carries out the NewName of every item in list order by the batch mode, the conflict
// rule and the touch switch of options, recording each operation in the undo log
// before doing it. Shows its own messages; the first failing operation throws
// TessalyError, and everything done until then stays done and recorded.
void RunBatch(TRenameItems &items, const RenameOptions &options, UserMessages &messages,
              FileOperations &files, const ItemMovedHandler &itemMoved = {});

// Sets the file's last-write time to now when options ask for it; silent.
void TouchModifiedTime(const QString &path, const RenameOptions &options, FileOperations &files);
