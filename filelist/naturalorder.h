#pragma once

#include "engine/renameitem.h"

#include <QCollator>

// The order people expect of file names: letters as the user's language sorts them,
// and runs of digits by their value (IMG_2 before IMG_10). Under the C locale, which
// knows no language, English rules stand in.
QCollator naturalCollator();

// Sorts items by folder, then by file name, both in natural order; stable, so that
// names the collator takes as equal keep their order. Folders the collator takes as
// equal stay apart, in the order they first appear.
void sortNaturally(RenameItems &items);
// The same by the collator given (naturalCollator() or one for another language).
void sortNaturally(RenameItems &items, const QCollator &collator);
