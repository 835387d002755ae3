#pragma once

#include "batch/fileoperations.h"
#include "engine/renameitem.h"
#include "engine/renameoptions.h"

#include <QStringList>

class UserMessages;

// Whether some argument is "/" + key, with A-Z taken as a-z.
bool hasSwitch(const QStringList &arguments, const QString &key);

// The text after the first "=" of the first argument that, lower-cased, begins with
// "/" + key + "=", without the quotation marks at its ends; fallback when none does.
QString argumentValue(const QStringList &arguments, const QString &key, const QString &fallback);

enum class CommandLineOutcome {
    Inactive, // no /cli: nothing was changed
    Quit,     // done: the program is to end
    Failed,   // an error was shown: the program goes on with the options set
};

// The unattended run: with /cli, sets the options from the arguments (the program's
// own path not included), previews and, unless /dryrun, runs the batch on items.
CommandLineOutcome runCommandLine(const QStringList &arguments, RenameOptions &options,
                                  RenameItems &items, const QStringList &importedNames,
                                  UserMessages &messages, FileOperations &files);

// Whether argument is one of the unattended run's keys in its recognised form (a
// switch such as /cli, or /key=value), which is never taken for a path.
bool isCommandLineKey(const QString &argument);
