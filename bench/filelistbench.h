#pragma once

#include <QTextStream>

// Adds count files of a fresh folder through the main window and previews them.
void fileListBench(QTextStream &out, int count, int rounds);
