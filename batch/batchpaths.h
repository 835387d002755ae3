#pragma once

#include "batch/fileoperations.h"

#include <QString>

// Joins a folder and a name: the name alone when the folder is empty or the name is
// absolute, the folder alone when the name is empty, else both with one separator.
// When both are given, each is checked first: a control character, a quotation mark,
// "<", ">" or "|" throws "Invalid characters in path" with that part.
QString combinePath(const QString &folder, const QString &name);

// The path made absolute (from the current folder) and clean: no "." or ".." parts,
// no doubled or final separator. The undo log holds only such paths, so that an undo
// run from any folder acts on the files the batch touched.
QString absoluteCleanPath(const QString &path);

// The per-user data folder: APPDATA when set, else the user's data folder, with
// Quenwick/Tessaly below it. Nothing is created or looked up.
QString dataFolder();
QString undoLogPath();

// The message of a batch that carried out its plan, and the undo's when there is no
// log: each names where the log is kept (on Windows the AppData folder everyone knows).
QString batchCompletedText();
QString noUndoLogText();
