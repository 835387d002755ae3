#include "renameoptions.h"

#include <limits>

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::optional<int> ReadInteger(QStringView text, IntegerDigits digits, QStringView blanks)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && blanks.contains(text.at(i)))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (digits == IntegerDigits::DecimalOrHexadecimal) {
        if (i < n && (text.at(i) == u'$' || text.at(i) == u'x' || text.at(i) == u'X')) {
            base = 16;
            ++i;
        } else if (i + 1 < n && text.at(i) == u'0' &&
                   (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
            base = 16;
            i += 2;
        }
    }
    if (i >= n)
        return std::nullopt;

    constexpr qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    qint64 value = 0;
    for (; i < n; ++i) {
        const int digit = hexDigitValue(text.at(i));
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

int IntOrDefault(const QString &text, int fallback)
{
    return ReadInteger(text).value_or(fallback);
}

QString TrimControl(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}
