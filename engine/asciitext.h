#pragma once

#include <QLatin1StringView>
#include <QStringView>

// Comparisons in which only the letters A-Z match a-z: keywords, switches and option
// words are ASCII, and no other script's letter may stand in for one of theirs.

inline char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Whether text holds lowerWord (lower-case ASCII) at position at.
inline bool asciiWordAt(QStringView text, qsizetype at, QLatin1StringView lowerWord)
{
    if (at < 0 || at + lowerWord.size() > text.size())
        return false;
    for (qsizetype k = 0; k < lowerWord.size(); ++k) {
        if (asciiLower(text.at(at + k).unicode()) != char16_t(lowerWord.at(k).unicode()))
            return false;
    }
    return true;
}

inline bool equalsAsciiCaseless(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a.at(i).unicode()) != asciiLower(b.at(i).unicode()))
            return false;
    }
    return true;
}
