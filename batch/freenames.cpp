#include "batch/freenames.h"

using namespace Qt::StringLiterals;

QString FreeNames::numberedName(QStringView base, qint64 n, QStringView ext)
{
    const QString number = QString::number(n);
    QString name;
    name.reserve(base.size() + number.size() + 3 + ext.size());
    name.append(base).append(u" ("_s).append(number).append(u')').append(ext);
    return name;
}

QString FreeNames::steppingStoneName(qint64 n)
{
    return u".tessaly-"_s + QString::number(n);
}

qint64 FreeNames::numberIn(QStringView name, QStringView base, QStringView ext)
{
    if (name.size() < base.size() + ext.size() + 4 || !name.startsWith(base) || !name.endsWith(ext))
        return 0;
    const QStringView middle = name.sliced(base.size(), name.size() - base.size() - ext.size());
    if (!middle.startsWith(u" (") || !middle.endsWith(u')'))
        return 0;
    const QStringView digits = middle.sliced(2, middle.size() - 3);
    // QString::number writes no sign, no leading zero and at most 18 digits here.
    if (digits.size() > 18 || digits.front() == u'0')
        return 0;
    qint64 n = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        n = 10 * n + (c.unicode() - u'0');
    }
    return n;
}
