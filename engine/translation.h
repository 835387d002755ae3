#pragma once

#include <QHash>
#include <QString>

// The text to show for an English source text: the current language's translation
// when one is known and not empty, otherwise the text itself. Format strings are
// translated before their arguments are filled in.
QString TranslateText(const QString &text);

// Replaces the table that TranslateText looks in; an empty table means English.
void SetTranslationTable(QHash<QString, QString> table);
