#pragma once

#include "renameitem.h"

#include <QString>

// Replaces the keywords that carry a format or a range ({date:...}, {name:1:8}) and
// the picture-size keywords. Runs before the simple keywords.
QString ExpandFormattedKeywords(const QString &text, const TRenameItem &item);
