#pragma once

#include "batchrunner.h"
#include "fileoperations.h"

#include <functional>

class UserMessages;

// Moves every file of the last batch back, newest first, then deletes the log, calls
// clearList and reports completion. A failing operation throws; the log then stays,
// so that running the undo again goes on where it stopped. progress hears of every
// record undone and may stop the undo between two records: the log then stays too.
void undoLastBatch(UserMessages &messages, FileOperations &files,
                   const std::function<void()> &clearList = {}, const BatchProgress &progress = {});
