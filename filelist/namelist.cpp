#include "namelist.h"

#include "renameoptions.h"
#include "textfiles.h"

QStringList ParseNameList(const QString &text)
{
    QStringList names;
    qsizetype start = 0;
    const auto addLine = [&](qsizetype end) {
        QStringView line = QStringView(text).sliced(start, end - start);
        const qsizetype comma = line.indexOf(u',');
        if (comma >= 0)
            line = line.first(comma);
        QString name = TrimControl(line.toString());
        qsizetype from = 0;
        qsizetype to = name.size();
        while (from < to && name.at(from) == u'"')
            ++from;
        while (to > from && name.at(to - 1) == u'"')
            --to;
        names.append(name.sliced(from, to - from));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        addLine(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        addLine(text.size());
    return names;
}

QStringList LoadNameList(const QString &path)
{
    return ParseNameList(ReadUtf8TextFile(path));
}
