#pragma once

#include <QTextStream>

// Adds count files of a fresh folder through the main window and previews them.
void fileListBench(QTextStream &out, int count, int rounds);

// One line of the window's figures for count files, measured in this process from its
// start: add + preview time (best of rounds), the list's bytes per file beyond the
// names' own characters, and the process's peak resident memory.
void windowFigures(QTextStream &out, int count, int rounds);
