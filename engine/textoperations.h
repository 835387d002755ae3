#pragma once

#include "engine/renameoptions.h"

#include <QString>
#include <QStringList>

// The options of the name operations, converted once so that a preview of many
// items does not parse the same texts again for each of them.
struct NameOperations
{
    int removeFirst = 0;
    int removeLast = 0;
    int removeFromPos = 0;
    int removeTillPos = 0;
    QString charactersToRemove;
    bool collapseDoubleSpaces = false;
    QString trimFrom;
    QString trimUntil;
    QString insertText;
    int insertPos = 1;
    int padNumbers = 0;

    static NameOperations fromOptions(const RenameOptions &options);
};

// The text that {name} stands for: the chain of operations applied to the original
// name, unless the imported name list holds a non-blank entry for this index.
QString applyNameOperations(QStringView originalName, int index, const NameOperations &operations,
                            const QStringList &importedNames);
QString applyNameOperations(QStringView originalName, int index, const RenameOptions &options,
                            const QStringList &importedNames);

// Removes the 1-based positions from..till, both included; does nothing unless
// 0 < from <= length and till >= from.
QString removeRange(const QString &text, int from, int till);
// Drops every character that occurs in set (exact code units, case-sensitive).
QString removeCharacters(const QString &text, const QString &set);
// Every run of two or more spaces (U+0020 only) becomes one space.
QString collapseSpaces(const QString &text);
// Keeps what stands before the first trimFrom, then what follows the first
// trimUntil; a marker that is empty or absent changes nothing.
QString trimAtMarkers(const QString &text, const QString &trimFrom, const QString &trimUntil);
// Inserts at a 1-based position, clamped to 1..length + 1.
QString insertAt(const QString &text, const QString &insertion, int position);
// Pads every run of ASCII digits with leading zeros to at least width digits.
QString padNumbers(const QString &text, int width);
// Replaces every occurrence of find, left to right, without rescanning replacements.
QString plainReplace(const QString &text, const QString &find, const QString &replace);

// Whether the user's locale maps I and i the Turkish way (dotted and dotless i).
bool localeUsesTurkicCasing();
// Case change by CaseMode. The result always has as many code units as the text:
// each code point is mapped on its own, never expanded (ß stays ß in upper case).
QString applyCase(const QString &text, int mode, bool turkic);
QString applyCase(const QString &text, int mode);
