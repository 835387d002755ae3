#pragma once

#include <QString>
#include <QStringList>

// The lines of a text: CR LF, a lone LF and a lone CR each end a line, and text after
// the last line end is one more line only when it is not empty.
QStringList splitTextLines(const QString &text);

// The text without every c that stands at its start or its end.
QString trimCharacter(const QString &text, QChar c);
