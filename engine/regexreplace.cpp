#include "engine/regexreplace.h"

#include "engine/tessalyerror.h"
#include "translation/translation.h"

#include <QHash>
#include <QList>

#include <pcre2.h>

#include <algorithm>
#include <variant>

namespace {

// No file system takes a name this long, while templates such as $_$_ can double the
// text with every match: past this length the replacement stops with an error
// instead of exhausting the memory.
constexpr qsizetype maxTextLength = 32767;

[[noreturn]] void failTooLong()
{
    throw TessalyError(translateText(QStringLiteral("The new name is longer than %1 characters."))
                           .arg(maxTextLength));
}

// The template is parsed once into pieces; expanding a match only walks them.
struct Literal
{
    QString text;
};
struct Group
{
    int number;
};
struct NamedGroup
{
    QList<int> numbers; // several when the pattern allows duplicate names
};
struct TextBefore
{};
struct TextAfter
{};
struct WholeText
{};
struct CaseGroup
{
    char16_t mode; // 'F', 'I', 'L' or 'U'
    int number;
};
using Piece = std::variant<Literal, Group, NamedGroup, TextBefore, TextAfter, WholeText, CaseGroup>;

QString pcreMessage(int code)
{
    PCRE2_UCHAR16 buffer[256];
    const int length = pcre2_get_error_message_16(code, buffer, std::size(buffer));
    if (length < 0)
        return QString::number(code);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(buffer), length);
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isValidGroupName(QStringView name)
{
    if (name.isEmpty() || isAsciiDigit(name.front()))
        return false;
    for (QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_'))
            return false;
    }
    return true;
}

bool isAllDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

// Characters after which a word starts for the \I template case change.
bool startsWordAfter(QChar c)
{
    const char16_t u = c.unicode();
    if (u <= 0x26)
        return true;
    switch (u) {
    case u'(':
    case u'*':
    case u'+':
    case u',':
    case u'-':
    case u'.':
    case u'<':
    case u'?':
    case u'[':
    case u'{':
    case 0x00B7:
        return true;
    default:
        return false;
    }
}

QString capitalizeWords(const QString &group)
{
    const QString lower = group.toLower();
    QString result;
    result.reserve(lower.size());
    bool wordStart = true;
    for (qsizetype i = 0; i < lower.size(); ++i) {
        const QChar c = lower.at(i);
        if (startsWordAfter(c)) {
            result.append(c);
            wordStart = true;
        } else if (wordStart && c == u'\'') {
            // An apostrophe opening a word stays; the letter after it is capitalised.
            result.append(c);
        } else if (wordStart) {
            qsizetype width = 1;
            if (c.isHighSurrogate() && i + 1 < lower.size() && lower.at(i + 1).isLowSurrogate())
                width = 2;
            result.append(lower.sliced(i, width).toUpper());
            i += width - 1;
            wordStart = false;
        } else {
            result.append(c);
        }
    }
    return result;
}

QString changeCase(char16_t mode, const QString &group)
{
    switch (mode) {
    case u'F': {
        if (group.isEmpty())
            return group;
        QChar first = group.front();
        if (first.unicode() >= u'a' && first.unicode() <= u'z')
            first = QChar(char16_t(first.unicode() - u'a' + u'A'));
        return first + group.mid(1).toLower();
    }
    case u'I':
        return capitalizeWords(group);
    case u'L':
        return group.toLower();
    default:
        return group.toUpper();
    }
}

} // namespace

struct RegexReplacer::Impl
{
    pcre2_code_16 *code = nullptr;
    pcre2_match_data_16 *matchData = nullptr;
    int captureCount = 0;
    QHash<QString, QList<int>> groupsByName;
    QList<Piece> pieces;

    ~Impl()
    {
        pcre2_match_data_free_16(matchData);
        pcre2_code_free_16(code);
    }

    void compile(const QString &typed)
    {
        // "\u202E" as JavaScript, Python and Java write a character, which PCRE2 reads
        // only as "\x{202E}": the way people remove a direction control from names.
        QList<qsizetype> widenedAt; // where each "\u" was, in the pattern compiled
        const QString pattern = [&] {
            QString out;
            out.reserve(typed.size());
            for (qsizetype i = 0; i < typed.size(); ++i) {
                const QChar c = typed.at(i);
                if (c != u'\\' || i + 1 >= typed.size()) {
                    out += c;
                    continue;
                }
                const QChar next = typed.at(i + 1);
                if (next == u'Q') {
                    // Quoted text, up to "\E", is taken as it is.
                    const qsizetype end = typed.indexOf(QStringLiteral("\\E"), i + 2);
                    const qsizetype stop = end < 0 ? typed.size() : end + 2;
                    out += typed.sliced(i, stop - i);
                    i = stop - 1;
                    continue;
                }
                const auto isHex = [](QChar h) {
                    const char16_t u = h.unicode();
                    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') ||
                           (u >= u'A' && u <= u'F');
                };
                const bool unicode =
                    next == u'u' && i + 5 < typed.size() &&
                    std::all_of(typed.cbegin() + i + 2, typed.cbegin() + i + 6, isHex);
                if (unicode) {
                    widenedAt.append(out.size());
                    out += QStringLiteral("\\x{") + typed.sliced(i + 2, 4) + u'}';
                    i += 5;
                    continue;
                }
                out += c;
                out += next; // an escaped character, a backslash included, as it is
                ++i;
            }
            return out;
        }();
        pcre2_compile_context_16 *context = pcre2_compile_context_create_16(nullptr);
        pcre2_set_newline_16(context, PCRE2_NEWLINE_ANY);
        int errorCode = 0;
        PCRE2_SIZE errorOffset = 0;
        // UTF so that a surrogate pair is one character; invalid UTF-16 in a name
        // must not make matching fail. No UCP: \d and \w stay ASCII.
        code = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.utf16()), pattern.size(),
                                PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &errorCode, &errorOffset,
                                context);
        pcre2_compile_context_free_16(context);
        if (!code) {
            // The offset in the pattern as typed: each "\u" was widened by two.
            qulonglong typedOffset = errorOffset;
            for (const qsizetype at : widenedAt) {
                if (qsizetype(errorOffset) > at)
                    typedOffset -= std::min<qulonglong>(2, qulonglong(errorOffset) - at);
            }
            throw TessalyError(
                translateText(QStringLiteral("Error in regular expression at offset %1: %2"))
                    .arg(typedOffset)
                    .arg(pcreMessage(errorCode)));
        }
        pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE); // falls back to the interpreter
        matchData = pcre2_match_data_create_from_pattern_16(code, nullptr);
        uint32_t count = 0;
        pcre2_pattern_info_16(code, PCRE2_INFO_CAPTURECOUNT, &count);
        captureCount = int(count);
        readNameTable();
    }

    void readNameTable()
    {
        uint32_t nameCount = 0;
        uint32_t entrySize = 0;
        PCRE2_SPTR16 table = nullptr;
        pcre2_pattern_info_16(code, PCRE2_INFO_NAMECOUNT, &nameCount);
        pcre2_pattern_info_16(code, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
        pcre2_pattern_info_16(code, PCRE2_INFO_NAMETABLE, &table);
        for (uint32_t i = 0; i < nameCount; ++i) {
            const PCRE2_SPTR16 entry = table + i * entrySize;
            const auto *name = reinterpret_cast<const char16_t *>(entry + 1);
            groupsByName[QString::fromUtf16(name)].append(int(entry[0]));
        }
    }

    // Reads a group number of one digit, or two when the pattern has that many groups.
    int readGroupNumber(const QString &templ, qsizetype &i) const
    {
        int number = templ.at(i).unicode() - u'0';
        if (i + 1 < templ.size() && isAsciiDigit(templ.at(i + 1))) {
            const int twoDigits = number * 10 + (templ.at(i + 1).unicode() - u'0');
            if (twoDigits <= captureCount) {
                ++i;
                number = twoDigits;
            }
        }
        ++i;
        return number;
    }

    void addGroupReference(QStringView reference)
    {
        if (isAllDigits(reference)) {
            bool ok = false;
            const int number = reference.toInt(&ok);
            pieces.append(Group{ok ? number : -1});
        } else {
            pieces.append(NamedGroup{groupsByName.value(reference.toString())});
        }
    }

    void parseTemplate(const QString &templ)
    {
        QString literal;
        const auto flush = [&]() {
            if (!literal.isEmpty()) {
                pieces.append(Literal{literal});
                literal.clear();
            }
        };
        const qsizetype n = templ.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = templ.at(i);
            if ((c != u'$' && c != u'\\') || i + 1 >= n) {
                literal.append(c);
                ++i;
                continue;
            }
            const QChar next = templ.at(i + 1);
            const bool dollar = c == u'$';
            if (isAsciiDigit(next)) {
                flush();
                ++i;
                pieces.append(Group{readGroupNumber(templ, i)});
                continue;
            }
            const auto addSpecial = [&](Piece piece) {
                flush();
                pieces.append(std::move(piece));
                i += 2;
            };
            if (next == u'&') {
                addSpecial(Group{0});
                continue;
            }
            if (next == u'+') {
                addSpecial(Group{captureCount});
                continue;
            }
            if (next == u'`') {
                addSpecial(TextBefore{});
                continue;
            }
            if (next == u'\'') {
                addSpecial(TextAfter{});
                continue;
            }
            if (next == u'_' && dollar) {
                addSpecial(WholeText{});
                continue;
            }
            if (next == u'$' && dollar) {
                literal.append(u'$');
                i += 2;
                continue;
            }
            if (!dollar && (next == u'$' || next == u'\\')) {
                literal.append(next);
                i += 2;
                continue;
            }
            if (dollar && next == u'{') {
                const qsizetype close = templ.indexOf(u'}', i + 2);
                const QStringView inside =
                    close < 0 ? QStringView() : QStringView(templ).sliced(i + 2, close - i - 2);
                if (isAllDigits(inside) || isValidGroupName(inside)) {
                    flush();
                    addGroupReference(inside);
                    i = close + 1;
                    continue;
                }
            }
            if (!dollar && next == u'g' && i + 2 < n && templ.at(i + 2) == u'<') {
                const qsizetype close = templ.indexOf(u'>', i + 3);
                const QStringView inside =
                    close < 0 ? QStringView() : QStringView(templ).sliced(i + 3, close - i - 3);
                if (isAllDigits(inside) || isValidGroupName(inside)) {
                    flush();
                    addGroupReference(inside);
                    i = close + 1;
                    continue;
                }
            }
            if (!dollar && i + 2 < n && isAsciiDigit(templ.at(i + 2))) {
                const char16_t mode = next.toUpper().unicode();
                if (mode == u'F' || mode == u'I' || mode == u'L' || mode == u'U') {
                    flush();
                    pieces.append(CaseGroup{mode, templ.at(i + 2).unicode() - u'0'});
                    i += 3;
                    continue;
                }
            }
            // Anything else stands for itself.
            literal.append(c);
            ++i;
        }
        flush();
    }

    QStringView group(const QString &subject, const PCRE2_SIZE *ovector, int pairs,
                      int number) const
    {
        if (number < 0 || number >= pairs || ovector[2 * number] == PCRE2_UNSET)
            return QStringView();
        const auto start = qsizetype(ovector[2 * number]);
        return QStringView(subject).sliced(start, qsizetype(ovector[2 * number + 1]) - start);
    }

    QString expand(const QString &subject, const PCRE2_SIZE *ovector, int pairs) const
    {
        QString result;
        const auto start = qsizetype(ovector[0]);
        const auto end = qsizetype(ovector[1]);
        for (const Piece &piece : pieces) {
            if (result.size() > maxTextLength)
                failTooLong();
            if (const auto *literal = std::get_if<Literal>(&piece)) {
                result += literal->text;
            } else if (const auto *g = std::get_if<Group>(&piece)) {
                result += group(subject, ovector, pairs, g->number);
            } else if (const auto *named = std::get_if<NamedGroup>(&piece)) {
                for (int number : named->numbers) {
                    if (number < pairs && ovector[2 * number] != PCRE2_UNSET) {
                        result += group(subject, ovector, pairs, number);
                        break;
                    }
                }
            } else if (std::holds_alternative<TextBefore>(piece)) {
                result += QStringView(subject).first(start);
            } else if (std::holds_alternative<TextAfter>(piece)) {
                result += QStringView(subject).sliced(end);
            } else if (std::holds_alternative<WholeText>(piece)) {
                result += subject;
            } else if (const auto *cased = std::get_if<CaseGroup>(&piece)) {
                result += changeCase(cased->mode,
                                     group(subject, ovector, pairs, cased->number).toString());
            }
        }
        return result;
    }
};

RegexReplacer::RegexReplacer(const QString &pattern, const QString &replacementTemplate)
    : d(std::make_unique<Impl>())
{
    d->compile(pattern);
    d->parseTemplate(replacementTemplate);
}

RegexReplacer::~RegexReplacer() = default;

QString RegexReplacer::replaceAll(const QString &text)
{
    // The text is changed as the pass goes, so that $` and $_ see the earlier
    // replacements of the same pass.
    QString current = text;
    qsizetype position = 0;
    while (position <= current.size()) {
        const int rc =
            pcre2_match_16(d->code, reinterpret_cast<PCRE2_SPTR16>(current.utf16()), current.size(),
                           position, PCRE2_NOTEMPTY, d->matchData, nullptr);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0) {
            throw TessalyError(
                translateText(QStringLiteral("Error in regular expression at offset %1: %2"))
                    .arg(position)
                    .arg(pcreMessage(rc)));
        }
        const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer_16(d->matchData);
        const int pairs = rc == 0 ? int(pcre2_get_ovector_count_16(d->matchData)) : rc;
        const auto start = qsizetype(ovector[0]);
        const auto end = qsizetype(ovector[1]);
        if (end <= start) {
            // \K can still report an empty match; it is never taken.
            position = std::max(start, end) + 1;
            continue;
        }
        const QString replacement = d->expand(current, ovector, pairs);
        if (current.size() - (end - start) + replacement.size() > maxTextLength)
            failTooLong();
        current.replace(start, end - start, replacement);
        position = start + replacement.size();
    }
    return current;
}
