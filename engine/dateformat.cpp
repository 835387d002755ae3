#include "engine/dateformat.h"

#include "engine/asciitext.h"

#include <QStringView>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

bool isAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Appends value in decimal with leading zeros up to digits digits.
void appendNumber(QString &out, qint64 value, int digits = 1)
{
    if (value < 0) {
        out += u'-';
        value = -value;
    }
    char16_t buffer[24];
    int length = 0;
    do {
        buffer[length++] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int k = length; k < digits; ++k)
        out += u'0';
    while (length > 0)
        out += QChar(buffer[--length]);
}

// Where the format's first punctuation character outside quotes is: the separator
// that the locale puts between the parts of a date or of a time.
QString firstSeparator(const QString &qtFormat)
{
    bool quoted = false;
    for (QChar c : qtFormat) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && !c.isLetterOrNumber() && !c.isSpace())
            return QString(c);
    }
    return QString();
}

class Formatter
{
public:
    Formatter(const LocaleFormat &locale, const QDate &date, const QTime &time, int depth)
        : m_locale(locale)
        , m_date(date)
        , m_time(time)
        , m_depth(depth)
    {}

    QString run(QStringView format)
    {
        m_out.reserve(format.size() + 16);
        if (format.isEmpty())
            format = u"c";
        const qsizetype n = format.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = format.at(i);
            const char16_t u = c.unicode();
            if (u == u'\'' || u == u'"') {
                const qsizetype close = format.indexOf(c, i + 1);
                if (close < 0) {
                    m_out += format.sliced(i + 1);
                    break;
                }
                m_out += format.sliced(i + 1, close - i - 1);
                i = close + 1;
                continue;
            }
            if (u == u'/') {
                m_out += m_locale.dateSeparator;
                ++i;
                continue;
            }
            if (u == u':') {
                m_out += m_locale.timeSeparator;
                ++i;
                continue;
            }
            if (!isAsciiLetter(u)) {
                m_out += c;
                ++i;
                continue;
            }
            if (const qsizetype used = writeAmPm(format, i)) {
                i += used;
                continue;
            }
            qsizetype run = 1;
            while (i + run < n && format.at(i + run) == c)
                ++run;
            char16_t letter = asciiLower(u);
            if (letter == u'm' && m_lastLetter == u'h')
                letter = u'n';
            m_lastLetter = letter;
            writeSpecifier(letter, format.sliced(i, run), format, i + run);
            i += run;
        }
        return m_out;
    }

private:
    bool afternoon() const { return m_time.hour() >= 12; }

    // am/pm, a/p and ampm, recognised in any case; returns the characters used.
    qsizetype writeAmPm(QStringView format, qsizetype at)
    {
        if (asciiLower(format.at(at).unicode()) != u'a')
            return 0;
        qsizetype used = 0;
        if (asciiWordAt(format, at, "am/pm"_L1)) {
            m_out += format.sliced(afternoon() ? at + 3 : at, 2);
            used = 5;
        } else if (asciiWordAt(format, at, "a/p"_L1)) {
            m_out += format.at(afternoon() ? at + 2 : at);
            used = 3;
        } else if (asciiWordAt(format, at, "ampm"_L1)) {
            m_out += afternoon() ? m_locale.pmString : m_locale.amString;
            used = 4;
        } else {
            return 0;
        }
        m_amPmWritten = true;
        m_lastLetter = asciiLower(format.at(at + used - 1).unicode());
        return used;
    }

    // Whether an hour is on the 12-hour clock: an am/pm kind of specifier was already
    // written, or the first a outside quotes before any further h begins one.
    bool twelveHour(QStringView format, qsizetype from) const
    {
        if (m_amPmWritten)
            return true;
        for (qsizetype j = from; j < format.size(); ++j) {
            const char16_t u = format.at(j).unicode();
            if (u == u'\'' || u == u'"') {
                const qsizetype close = format.indexOf(format.at(j), j + 1);
                if (close < 0)
                    return false;
                j = close;
            } else if (u == u'h' || u == u'H') {
                return false;
            } else if (u == u'a' || u == u'A') {
                return asciiWordAt(format, j, "am/pm"_L1) || asciiWordAt(format, j, "a/p"_L1) ||
                       asciiWordAt(format, j, "ampm"_L1);
            }
        }
        return false;
    }

    void nested(const QString &format)
    {
        // Locale formats are expanded one level deep only.
        if (m_depth > 0)
            return;
        m_out += Formatter(m_locale, m_date, m_time, m_depth + 1).run(format);
    }

    static QString listEntry(const QStringList &list, qsizetype index)
    {
        return index >= 0 && index < list.size() ? list.at(index) : QString();
    }

    void writeSpecifier(char16_t letter, QStringView run, QStringView format, qsizetype after)
    {
        const qsizetype count = run.size();
        const int year = m_date.year();
        switch (letter) {
        case u'y':
            if (count <= 2)
                appendNumber(m_out, std::abs(year) % 100, 2);
            else
                appendNumber(m_out, year, 4);
            break;
        case u'm':
            if (count <= 2)
                appendNumber(m_out, m_date.month(), int(count));
            else
                m_out += listEntry(count == 3 ? m_locale.shortMonthNames : m_locale.longMonthNames,
                                   m_date.month() - 1);
            break;
        case u'd':
            if (count <= 2)
                appendNumber(m_out, m_date.day(), int(count));
            else if (count == 3)
                m_out += listEntry(m_locale.shortDayNames, m_date.dayOfWeek() % 7);
            else if (count == 4)
                m_out += listEntry(m_locale.longDayNames, m_date.dayOfWeek() % 7);
            else
                nested(count == 5 ? m_locale.shortDateFormat : m_locale.longDateFormat);
            break;
        case u'a':
            if (count == 3)
                m_out += listEntry(m_locale.shortDayNames, m_date.dayOfWeek() % 7);
            else if (count == 4)
                m_out += listEntry(m_locale.longDayNames, m_date.dayOfWeek() % 7);
            else
                m_out += run;
            break;
        case u'h': {
            int hour = m_time.hour();
            if (twelveHour(format, after)) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            appendNumber(m_out, hour, count == 1 ? 1 : 2);
            break;
        }
        case u'n':
            appendNumber(m_out, m_time.minute(), count == 1 ? 1 : 2);
            break;
        case u's':
            appendNumber(m_out, m_time.second(), count == 1 ? 1 : 2);
            break;
        case u'z':
            appendNumber(m_out, m_time.msec(), count >= 3 ? 3 : int(count));
            break;
        case u't':
            nested(count == 1 ? m_locale.shortTimeFormat : m_locale.longTimeFormat);
            break;
        case u'c':
            if (m_depth > 0)
                break;
            nested(m_locale.shortDateFormat);
            if (m_time != QTime(0, 0)) {
                m_out += u' ';
                nested(m_locale.longTimeFormat);
            }
            break;
        case u'g':
            m_out += listEntry(m_locale.eraNames, year > 0 ? 1 : 0);
            break;
        case u'e': {
            const int eraYear = std::abs(year);
            if (count >= 3)
                appendNumber(m_out, eraYear);
            else
                appendNumber(m_out, eraYear % 100, int(count));
            break;
        }
        default:
            m_out += run;
        }
    }

    const LocaleFormat &m_locale;
    QDate m_date;
    QTime m_time;
    int m_depth;
    QString m_out;
    char16_t m_lastLetter = 0;
    bool m_amPmWritten = false;
};

} // namespace

QString formatFromQtFormat(const QString &qtFormat, const QString &dateSeparator,
                           const QString &timeSeparator)
{
    QString out;
    const auto literal = [&](QChar c) {
        if (!dateSeparator.isEmpty() && c == dateSeparator.front())
            out += u'/';
        else if (!timeSeparator.isEmpty() && c == timeSeparator.front())
            out += u':';
        else if (c == u'\'')
            out += u"\"'\""_s;
        else if (c == u'"')
            out += u"'\"'"_s;
        else if (isAsciiLetter(c.unicode()) || c == u'/' || c == u':')
            out += u'"' + QString(c) + u'"';
        else
            out += c;
    };
    const qsizetype n = qtFormat.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = qtFormat.at(i);
        if (c == u'\'') {
            // Qt quotes literal text in '...' and writes a quote itself as ''.
            if (i + 1 < n && qtFormat.at(i + 1) == u'\'') {
                literal(c);
                i += 2;
                continue;
            }
            qsizetype j = i + 1;
            while (j < n) {
                if (qtFormat.at(j) == u'\'') {
                    if (j + 1 < n && qtFormat.at(j + 1) == u'\'') {
                        out += u"\"'\""_s;
                        j += 2;
                        continue;
                    }
                    break;
                }
                const QChar t = qtFormat.at(j);
                if (t == u'"')
                    out += u"'\"'"_s;
                else
                    out += u'"' + QString(t) + u'"';
                ++j;
            }
            i = j + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && qtFormat.at(i + run) == c)
            ++run;
        switch (c.unicode()) {
        case u'd':
            out += QString(std::min<qsizetype>(run, 4), u'd');
            break;
        case u'M':
            out += QString(std::min<qsizetype>(run, 4), u'm');
            break;
        case u'y':
            out += run <= 2 ? u"yy"_s : u"yyyy"_s;
            break;
        case u'h':
        case u'H':
            out += run == 1 ? u"h"_s : u"hh"_s;
            break;
        case u'm':
            out += run == 1 ? u"n"_s : u"nn"_s;
            break;
        case u's':
            out += run == 1 ? u"s"_s : u"ss"_s;
            break;
        case u'z':
            out += run == 1 ? u"z"_s : u"zzz"_s;
            break;
        case u'a':
        case u'A':
            // "AP", "ap", "A" and "a" all stand for the locale's AM/PM text.
            out += u"ampm"_s;
            run = i + 1 < n && (qtFormat.at(i + 1) == u'p' || qtFormat.at(i + 1) == u'P') ? 2 : 1;
            break;
        case u't':
            break; // the time zone has no specifier of its own
        default:
            for (qsizetype k = 0; k < run; ++k)
                literal(c);
        }
        i += run;
    }
    return out.trimmed();
}

LocaleFormat LocaleFormat::fromLocale(const QLocale &locale)
{
    LocaleFormat format;
    const QString qtShortDate = locale.dateFormat(QLocale::ShortFormat);
    const QString qtShortTime = locale.timeFormat(QLocale::ShortFormat);
    format.dateSeparator = firstSeparator(qtShortDate);
    format.timeSeparator = firstSeparator(qtShortTime);
    const auto translate = [&](const QString &qtFormat) {
        return formatFromQtFormat(qtFormat, format.dateSeparator, format.timeSeparator);
    };
    format.shortDateFormat = translate(qtShortDate);
    format.longDateFormat = translate(locale.dateFormat(QLocale::LongFormat));
    format.shortTimeFormat = translate(qtShortTime);
    format.longTimeFormat = translate(locale.timeFormat(QLocale::LongFormat));
    for (int month = 1; month <= 12; ++month) {
        format.shortMonthNames.append(locale.monthName(month, QLocale::ShortFormat));
        format.longMonthNames.append(locale.monthName(month, QLocale::LongFormat));
    }
    for (int day : {7, 1, 2, 3, 4, 5, 6}) {
        format.shortDayNames.append(locale.dayName(day, QLocale::ShortFormat));
        format.longDayNames.append(locale.dayName(day, QLocale::LongFormat));
    }
    format.amString = locale.amText();
    format.pmString = locale.pmText();
    // Qt knows no era names; these are the Gregorian calendar's.
    format.eraNames = QStringList{u"B.C."_s, u"A.D."_s};
    return format;
}

const LocaleFormat &LocaleFormat::system()
{
    static const LocaleFormat format = fromLocale(QLocale::system());
    return format;
}

QString formatDateTimeText(const QString &format, const LocalMoment &moment,
                           const LocaleFormat &locale)
{
    return Formatter(locale, moment.date, moment.time, 0).run(format);
}

QString formatDateTimeText(const QString &format, const QDateTime &localMoment,
                           const LocaleFormat &locale)
{
    return formatDateTimeText(format, LocalMoment{localMoment.date(), localMoment.time()}, locale);
}
