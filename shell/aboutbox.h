#pragma once

#include <QString>
#include <QStringList>

// The maker named in the About box's rights notice.
inline const QString MakerName = QStringLiteral("Quenwick");

// The About box's text, its lines joined with CR LF, in the current language; year is
// the one the rights notice names.
QString AboutText(int year);
// The same with the year of the local clock now.
QString AboutText();
// The help on the pattern keywords, its lines joined with CR LF, in the current language.
QString PatternHelpText();

// The English texts that the two boxes pass through TranslateText.
QStringList AboutAndHelpSourceTexts();
