#include "namelist.h"

#include "renameoptions.h"
#include "textfiles.h"
#include "textlines.h"

QStringList ParseNameList(const QString &text)
{
    QStringList names;
    for (const QString &line : SplitTextLines(text)) {
        const qsizetype comma = line.indexOf(u',');
        names.append(TrimCharacter(TrimControl(comma >= 0 ? line.left(comma) : line), u'"'));
    }
    return names;
}

QStringList LoadNameList(const QString &path)
{
    return ParseNameList(ReadUtf8TextFile(path));
}
