#pragma once

#include "engine/dateformat.h"
#include "engine/renameitem.h"

#include <QString>

// Replaces the keywords that carry a format or a range and the picture sizes, in
// three passes: {date:F}, {time:F}, {created:F}, {modified:F} written by the format F;
// {name:start:length} taken from the original name; {imgw} and {imgh}. Keywords
// match in any case; one that does not fit its form stays as typed.
QString expandFormattedKeywords(const QString &text, const RenameItem &item,
                                const LocaleFormat &locale);
QString expandFormattedKeywords(const QString &text, const RenameItem &item);

// The value of {name:start:length} for a name: start counts from 1, or from the end
// when negative; a negative length is 0.
QString nameRange(const QString &name, const QString &startText, const QString &lengthText);
