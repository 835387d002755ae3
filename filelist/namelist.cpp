#include "filelist/namelist.h"

#include "engine/renameoptions.h"
#include "filelist/textfiles.h"
#include "text/textlines.h"

QStringList parseNameList(const QString &text)
{
    QStringList names;
    for (const QString &line : splitTextLines(text)) {
        const qsizetype comma = line.indexOf(u',');
        names.append(trimCharacter(trimControl(comma >= 0 ? line.left(comma) : line), u'"'));
    }
    return names;
}

QStringList loadNameList(const QString &path)
{
    return parseNameList(readUtf8TextFile(path));
}
