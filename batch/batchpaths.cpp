#include "batch/batchpaths.h"

#include "engine/renameitem.h"
#include "engine/tessalyerror.h"
#include "translation/translation.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

bool isAbsoluteName(const QString &name)
{
#ifdef Q_OS_WIN
    return (name.size() >= 2 && name.at(1) == u':') || name.startsWith(u'\\') ||
           name.startsWith(u'/');
#else
    return name.startsWith(u'/');
#endif
}

bool endsWithSeparator(const QString &folder)
{
#ifdef Q_OS_WIN
    if (folder.endsWith(u':'))
        return true;
#endif
    return isPathSeparator(folder.back());
}

void checkPart(const QString &part)
{
    for (QChar c : part) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == u'"' || u == u'<' || u == u'>' || u == u'|')
            throw TessalyError(fileErrorText(u"Invalid characters in path"_s, part));
    }
}

} // namespace

QString combinePath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (name.isEmpty())
        return folder;
    checkPart(folder);
    checkPart(name);
    if (isAbsoluteName(name))
        return name;
    if (endsWithSeparator(folder))
        return folder + name;
    return folder + QDir::separator() + name;
}

QString absoluteCleanPath(const QString &path)
{
    // Paths from the file list are clean already: looked over once, they are kept.
    const qsizetype n = path.size();
    const QChar *c = path.constData();
    bool clean = n > 0 && c[0] == u'/' && (n == 1 || c[n - 1] != u'/');
    for (qsizetype i = 0; clean && i + 1 < n; ++i) {
        if (c[i] != u'/')
            continue;
        // What follows a separator: not another one, not "." or ".." as a whole part.
        const qsizetype rest = n - i - 1;
        const bool dot = c[i + 1] == u'.';
        const bool dotDot = dot && rest >= 2 && c[i + 2] == u'.';
        clean = c[i + 1] != u'/' && !(dot && (rest == 1 || c[i + 2] == u'/')) &&
                !(dotDot && (rest == 2 || c[i + 3] == u'/'));
    }
    return clean ? path : QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QString dataFolder()
{
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Quenwick is the maker: its data folder, with this program's folder inside.
    return combinePath(base, u"Quenwick"_s + QDir::separator() + u"Tessaly"_s);
}

QString undoLogPath()
{
    return combinePath(dataFolder(), u"last_rename.csv"_s);
}

QString batchCompletedText()
{
#ifdef Q_OS_WIN
    return translateText(u"Batch completed. A CSV log has been saved in AppData."_s);
#else
    return translateText(u"Batch completed. The undo log is in %1."_s)
        .arg(QDir::toNativeSeparators(dataFolder()));
#endif
}

QString noUndoLogText()
{
#ifdef Q_OS_WIN
    return translateText(u"No undo log found in AppData."_s);
#else
    return translateText(u"No undo log found in %1."_s).arg(QDir::toNativeSeparators(dataFolder()));
#endif
}
