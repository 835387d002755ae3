#include "formattedkeywords.h"

QString ExpandFormattedKeywords(const QString &text, const TRenameItem &item)
{
    Q_UNUSED(item);
    // Formatted keywords are not understood yet: every keyword stays as typed.
    return text;
}
