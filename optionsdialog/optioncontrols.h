#pragma once

#include "engine/renameoptions.h"

#include <initializer_list>

class QWidget;

// The options shown by the controls among the children of owners (the main window and
// the options dialog), found by the object names in renameOptionFields(): line edits
// for texts and numbers, check boxes for flags, drop-down lists for choices. Options
// without a control there keep their values.
void readOptionControls(std::initializer_list<const QWidget *> owners, RenameOptions &options);
void writeOptionControls(std::initializer_list<QWidget *> owners, const RenameOptions &options);
