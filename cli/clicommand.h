#pragma once

#include <QStringList>

class QTextStream;

// The whole of tessaly-cli: arguments in (the program name first), results on out,
// messages on err; returns the exit status (0 done, 1 failed, 2 bad usage).
int runCliCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);
