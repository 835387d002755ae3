#include "engine/dateformat.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Fixed regional settings, so that no result depends on the machine.
LocaleFormat testLocale()
{
    LocaleFormat locale;
    locale.dateSeparator = u"/"_s;
    locale.timeSeparator = u":"_s;
    locale.shortDateFormat = u"m/d/yyyy"_s;
    locale.longDateFormat = u"dddd, mmmm d, yyyy"_s;
    locale.shortTimeFormat = u"h:mm ampm"_s;
    locale.longTimeFormat = u"h:mm:ss ampm"_s;
    locale.shortMonthNames =
        QStringList{u"Jan"_s, u"Feb"_s, u"Mar"_s, u"Apr"_s, u"May"_s, u"Jun"_s,
                    u"Jul"_s, u"Aug"_s, u"Sep"_s, u"Oct"_s, u"Nov"_s, u"Dec"_s};
    locale.longMonthNames = QStringList{
        u"January"_s, u"February"_s, u"March"_s,     u"April"_s,   u"May"_s,      u"June"_s,
        u"July"_s,    u"August"_s,   u"September"_s, u"October"_s, u"November"_s, u"December"_s};
    locale.shortDayNames =
        QStringList{u"Sun"_s, u"Mon"_s, u"Tue"_s, u"Wed"_s, u"Thu"_s, u"Fri"_s, u"Sat"_s};
    locale.longDayNames = QStringList{u"Sunday"_s,   u"Monday"_s, u"Tuesday"_s, u"Wednesday"_s,
                                      u"Thursday"_s, u"Friday"_s, u"Saturday"_s};
    locale.amString = u"AM"_s;
    locale.pmString = u"PM"_s;
    locale.eraNames = QStringList{u"B.C."_s, u"A.D."_s};
    return locale;
}

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

class TestDateFormat : public QObject
{
    Q_OBJECT

private slots:
    void formats_data();
    void formats();
    void separatorsMayBeAbsent();
    void localeFormatsMatchQt_data();
    void localeFormatsMatchQt();
    void translatesQtFormats_data();
    void translatesQtFormats();
    void systemLocaleIsFilled();
};

void TestDateFormat::formats_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("expected");

    const QDateTime monday = at(2026, 3, 9, 14, 5, 7, 9); // Monday 9 March 2026, 14:05:07.009
    const auto row = [&](const char *tag, const QString &format, const QString &expected,
                         const QDateTime &moment = QDateTime()) {
        QTest::newRow(tag) << format << (moment.isValid() ? moment : monday) << expected;
    };

    row("iso-date", u"yyyy-mm-dd"_s, u"2026-03-09"_s);
    row("upper-case-letters", u"YYYY-MM-DD"_s, u"2026-03-09"_s);
    row("two-digit-year", u"yy|y"_s, u"26|26"_s);
    row("long-year", u"yyy|yyyyy"_s, u"2026|2026"_s);
    row("year-below-1000", u"yyyy"_s, u"0987"_s, at(987, 1, 2, 3, 4));
    row("month-numbers", u"m|mm"_s, u"3|03"_s);
    row("month-names", u"mmm|mmmm|mmmmm"_s, u"Mar|March|March"_s);
    row("separate-runs-of-M-and-m", u"Mm"_s, u"33"_s);
    row("day-numbers", u"d|dd"_s, u"9|09"_s);
    row("day-names", u"ddd|dddd|aaa|aaaa"_s, u"Mon|Monday|Mon|Monday"_s);
    row("sunday-first", u"dddd"_s, u"Sunday"_s, at(2026, 3, 8, 0, 0));
    row("short-and-long-date", u"ddddd|dddddd"_s, u"3/9/2026|Monday, March 9, 2026"_s);
    row("other-a-runs-copied", u"a|aa|aaaaa"_s, u"a|aa|aaaaa"_s);
    row("hours-24", u"h|hh|hhh"_s, u"14|14|14"_s);
    row("minutes-after-h", u"hh:mm"_s, u"14:05"_s);
    row("single-m-after-h", u"h:m"_s, u"14:5"_s);
    row("month-again-after-s", u"hh:mm:ss mm"_s, u"14:05:07 03"_s);
    row("month-minute-mix", u"yyyy-MM-dd_HH-mm-ss"_s, u"2026-03-09_14-05-07"_s);
    row("quoted-text-keeps-h-remembered", u"h'x'mm"_s, u"14x05"_s);
    row("minutes-n", u"n|nn|nnn"_s, u"5|05|05"_s);
    row("seconds", u"s|ss"_s, u"7|07"_s);
    row("milliseconds", u"z|zz|zzz|zzzz"_s, u"9|09|009|009"_s);
    row("short-and-long-time", u"t|tt"_s, u"2:05 PM|2:05:07 PM"_s);
    row("c-with-time", u"c"_s, u"3/9/2026 2:05:07 PM"_s);
    row("c-at-midnight", u"c"_s, u"3/9/2026"_s, at(2026, 3, 9, 0, 0));
    row("c-one-millisecond-after-midnight", u"c"_s, u"3/9/2026 12:00:00 AM"_s,
        at(2026, 3, 9, 0, 0, 0, 1));
    row("empty-is-c", QString(), u"3/9/2026 2:05:07 PM"_s);
    row("am-pm", u"h nn am/pm"_s, u"2 05 pm"_s);
    row("am-pm-upper", u"h nn AM/PM"_s, u"2 05 PM"_s);
    row("am-pm-mixed-case", u"h Am/pM"_s, u"2 pM"_s);
    row("a-p", u"h:nn a/p"_s, u"2:05 p"_s);
    row("a-p-upper", u"h A/P"_s, u"2 P"_s);
    row("locale-am-pm", u"h ampm"_s, u"2 PM"_s);
    row("hh-without-am-pm", u"hh"_s, u"14"_s);
    row("half-past-midnight", u"h a/p"_s, u"12 a"_s, at(2026, 3, 9, 0, 30));
    row("midnight-24", u"hh"_s, u"00"_s, at(2026, 3, 9, 0, 30));
    row("noon-is-pm", u"h am/pm"_s, u"12 pm"_s, at(2026, 3, 9, 12, 0));
    row("am-pm-written-before-hour", u"am/pm h"_s, u"pm 2"_s);
    row("further-h-stops-look-ahead", u"h hh am/pm"_s, u"14 02 pm"_s);
    row("quoted-am-pm-does-not-count", u"h 'a/p'"_s, u"14 a/p"_s);
    row("first-a-decides", u"h aaa am/pm"_s, u"14 Mon pm"_s);
    row("single-quotes", u"'at' hh"_s, u"at 14"_s);
    row("double-quotes", u"\"h:m\" hh"_s, u"h:m 14"_s);
    row("unclosed-quote", u"hh 'at yyyy"_s, u"14 at yyyy"_s);
    row("separators", u"yyyy/mm/dd hh:nn"_s, u"2026/03/09 14:05"_s);
    row("era", u"g|gg"_s, u"A.D.|A.D."_s);
    row("era-year", u"e|ee|eee"_s, u"5|05|2005"_s, at(2005, 1, 1, 0, 0));
    row("unknown-letters-and-signs", u"b-x!é"_s, u"b-x!é"_s);
}

void TestDateFormat::formats()
{
    QFETCH(QString, format);
    QFETCH(QDateTime, moment);
    QFETCH(QString, expected);
    QCOMPARE(formatDateTimeText(format, moment, testLocale()), expected);
}

void TestDateFormat::separatorsMayBeAbsent()
{
    LocaleFormat locale = testLocale();
    locale.dateSeparator.clear();
    locale.timeSeparator = u"."_s;
    QCOMPARE(formatDateTimeText(u"yyyy/mm/dd hh:nn"_s, at(2026, 3, 9, 14, 5), locale),
             u"20260309 14.05"_s);
}

// The locale's formats, translated into the format language, write what Qt writes.
void TestDateFormat::localeFormatsMatchQt_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("fr_FR") << QLocale(QLocale::French, QLocale::France);
    QTest::newRow("fi_FI") << QLocale(QLocale::Finnish, QLocale::Finland);
    QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan);
    QTest::newRow("es_ES") << QLocale(QLocale::Spanish, QLocale::Spain);
    QTest::newRow("pt_BR") << QLocale(QLocale::Portuguese, QLocale::Brazil);
}

void TestDateFormat::localeFormatsMatchQt()
{
    QFETCH(QLocale, locale);
    const LocaleFormat format = LocaleFormat::fromLocale(locale);
    for (const QDateTime &moment : {at(2026, 3, 9, 14, 5, 7), at(2026, 12, 31, 9, 0, 59)}) {
        QCOMPARE(formatDateTimeText(u"ddddd"_s, moment, format),
                 locale.toString(moment.date(), QLocale::ShortFormat));
        QCOMPARE(formatDateTimeText(u"dddddd"_s, moment, format),
                 locale.toString(moment.date(), QLocale::LongFormat));
        QCOMPARE(formatDateTimeText(u"t"_s, moment, format),
                 locale.toString(moment.time(), QLocale::ShortFormat));
        QCOMPARE(formatDateTimeText(u"mmmm|dddd|ampm"_s, moment, format),
                 locale.monthName(moment.date().month()) + u'|' +
                     locale.dayName(moment.date().dayOfWeek()) + u'|' +
                     (moment.time().hour() < 12 ? locale.amText() : locale.pmText()));
    }
}

void TestDateFormat::translatesQtFormats_data()
{
    QTest::addColumn<QString>("qtFormat");
    QTest::addColumn<QString>("expected");

    QTest::newRow("us-short-date") << u"M/d/yy"_s << u"m/d/yy"_s;
    QTest::newRow("german-date") << u"dd.MM.yyyy"_s << u"dd/mm/yyyy"_s;
    QTest::newRow("twelve-hour") << u"h:mm AP"_s << u"h:nn ampm"_s;
    QTest::newRow("time-zone-dropped") << u"HH:mm:ss t"_s << u"hh:nn:ss"_s;
    QTest::newRow("quoted-words") << u"d 'de' MMMM"_s << u"d \"d\"\"e\" mmmm"_s;
    QTest::newRow("quote-itself") << u"h''mm"_s << u"h\"'\"nn"_s;
    QTest::newRow("letters-that-are-specifiers-here") << u"yyyy'g'"_s << u"yyyy\"g\""_s;
}

void TestDateFormat::translatesQtFormats()
{
    QFETCH(QString, qtFormat);
    QFETCH(QString, expected);
    const QString separator = qtFormat.contains(u'.') ? u"."_s : u"/"_s;
    QCOMPARE(formatFromQtFormat(qtFormat, separator, u":"_s), expected);
}

void TestDateFormat::systemLocaleIsFilled()
{
    const LocaleFormat &format = LocaleFormat::system();
    QCOMPARE(format.longMonthNames.size(), 12);
    QCOMPARE(format.shortMonthNames.size(), 12);
    QCOMPARE(format.longDayNames.size(), 7);
    QCOMPARE(format.shortDayNames.size(), 7);
    QVERIFY(!format.shortDateFormat.isEmpty());
    QVERIFY(!format.longTimeFormat.isEmpty());
    QVERIFY(!format.longMonthNames.front().isEmpty());
    QVERIFY(!formatDateTimeText(u"c"_s, QDateTime::currentDateTime(), format).isEmpty());
}

QTEST_GUILESS_MAIN(TestDateFormat)
#include "tst_dateformat.moc"
