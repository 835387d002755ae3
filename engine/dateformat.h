#pragma once

#include "engine/renameitem.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

// The regional settings that date-time formats are written with.
struct LocaleFormat
{
    QString dateSeparator; // written for "/"; empty when the locale has none
    QString timeSeparator; // written for ":"; empty when the locale has none
    // Formats in the date-time format language below.
    QString shortDateFormat;
    QString longDateFormat;
    QString shortTimeFormat;
    QString longTimeFormat;
    QStringList shortMonthNames; // twelve, January first
    QStringList longMonthNames;
    QStringList shortDayNames; // seven, Sunday first
    QStringList longDayNames;
    QString amString;
    QString pmString;
    QStringList eraNames; // before the common era, then the common era

    static LocaleFormat fromLocale(const QLocale &locale);
    // The user's regional settings, read once.
    static const LocaleFormat &system();
};

// Turns a Qt date or time format ("dd.MM.yyyy", "h:mm AP") into the format language.
QString formatFromQtFormat(const QString &qtFormat, const QString &dateSeparator,
                           const QString &timeSeparator);

// Writes a local moment by a format such as "yyyy-mm-dd hh:nn:ss": specifiers are
// runs of one letter in either case (y, m, d, h, n, s, z, t, c, g, e, aaa, am/pm,
// a/p, ampm), "m" after "h" means minutes, quoted text is copied, "/" and ":" are
// the locale's separators and everything else is copied. An empty format is "c".
QString formatDateTimeText(const QString &format, const LocalMoment &moment,
                           const LocaleFormat &locale);
QString formatDateTimeText(const QString &format, const QDateTime &localMoment,
                           const LocaleFormat &locale);
