#pragma once

#include <QStringList>

class QIODevice;
class QTextStream;

// The whole of tessaly-cli: arguments in (the program name first), results on out,
// messages on err; returns the exit status (0 done, 1 blocked, failed or partly done,
// 2 bad usage). outIsTerminal: out is a terminal, where names that could act on it are
// shown quoted.
int runCliCommand(const QStringList &arguments, QIODevice &out, QTextStream &err,
                  bool outIsTerminal = false);
