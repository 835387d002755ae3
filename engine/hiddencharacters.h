#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Characters that a file name can hold and that show as nothing (zero-width characters,
// control characters) or that reorder the text around them (direction controls): a
// name such as "invoice<U+202E>fdp.exe" shows as "invoiceexe.pdf". Anyone who can put a
// file in a folder chooses its name, so such characters are made visible.
bool isHiddenCharacter(char32_t c);
bool holdsHiddenCharacters(QStringView text);
// The short name of a hidden character: "RLO", "ZWSP", "ESC", "TAB", else "U+0007".
QString hiddenCharacterName(char32_t c);
// The text with each hidden character shown as a marker: "invoice⟨RLO⟩fdp.exe".
QString withHiddenCharactersMarked(QStringView text);
// The distinct hidden characters of text, by name, in the order they first appear.
QStringList hiddenCharactersIn(QStringView text);
