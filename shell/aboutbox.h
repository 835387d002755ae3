#pragma once

#include <QString>
#include <QStringList>

// The maker named in the About box's rights notice.
inline const QString MakerName = QStringLiteral("Quenwick");

// The About box's text, its lines joined with CR LF, in the current language; year is
// the one the rights notice names.
QString aboutText(int year);
// The same with the year of the local clock now.
QString aboutText();
// The help on the pattern keywords, its lines joined with CR LF, in the current language.
// In a right-to-left layout every line starts right to left, and the keywords and the
// examples in it are left-to-right isolates, so that they keep their order.
QString patternHelpText();

// The English texts that the two boxes pass through translateText.
QStringList aboutAndHelpSourceTexts();
