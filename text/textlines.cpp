#include "text/textlines.h"

QString trimCharacter(const QString &text, QChar c)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == c)
        ++from;
    while (to > from && text.at(to - 1) == c)
        --to;
    return text.sliced(from, to - from);
}

QStringList splitTextLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}
