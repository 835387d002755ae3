#include "engine/hiddencharacters.h"

using namespace Qt::StringLiterals;

namespace {

struct Named
{
    char32_t c;
    const char *name;
};

// Direction controls, zero-width characters, and the control characters people meet.
constexpr Named names[] = {
    {0x202A, "LRE"},  {0x202B, "RLE"}, {0x202C, "PDF"}, {0x202D, "LRO"}, {0x202E, "RLO"},
    {0x2066, "LRI"},  {0x2067, "RLI"}, {0x2068, "FSI"}, {0x2069, "PDI"}, {0x200B, "ZWSP"},
    {0x200C, "ZWNJ"}, {0x200D, "ZWJ"}, {0x2060, "WJ"},  {0xFEFF, "BOM"}, {0x200E, "LRM"},
    {0x200F, "RLM"},  {0x061C, "ALM"}, {0x0009, "TAB"}, {0x000A, "LF"},  {0x000D, "CR"},
    {0x001B, "ESC"},  {0x0007, "BEL"}, {0x0008, "BS"},  {0x007F, "DEL"},
};

template <typename Visit>
void forEachCodePoint(QStringView text, Visit visit)
{
    for (qsizetype i = 0; i < text.size();) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            visit(QChar::surrogateToUcs4(unit, text.at(i + 1)), text.sliced(i, 2));
            i += 2;
            continue;
        }
        visit(char32_t(unit.unicode()), text.sliced(i, 1));
        ++i;
    }
}

} // namespace

bool isHiddenCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || (c >= 0x200B && c <= 0x200F) || c == 0x2060 ||
           c == 0xFEFF || c == 0x061C;
}

bool holdsHiddenCharacters(QStringView text)
{
    // Every hidden character is in the Basic Multilingual Plane and none is a surrogate.
    for (const QChar c : text) {
        if (isHiddenCharacter(c.unicode()))
            return true;
    }
    return false;
}

QString hiddenCharacterName(char32_t c)
{
    for (const Named &named : names) {
        if (named.c == c)
            return QString::fromLatin1(named.name);
    }
    return u"U+"_s + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
}

QString withHiddenCharactersMarked(QStringView text)
{
    if (!holdsHiddenCharacters(text))
        return text.toString();
    QString marked;
    marked.reserve(text.size() + 8);
    forEachCodePoint(text, [&](char32_t c, QStringView character) {
        if (isHiddenCharacter(c))
            marked += u'\u27E8' + hiddenCharacterName(c) + u'\u27E9';
        else
            marked += character;
    });
    return marked;
}

QStringList hiddenCharactersIn(QStringView text)
{
    QStringList found;
    forEachCodePoint(text, [&](char32_t c, QStringView) {
        if (!isHiddenCharacter(c))
            return;
        const QString name = hiddenCharacterName(c);
        if (!found.contains(name))
            found.append(name);
    });
    return found;
}
