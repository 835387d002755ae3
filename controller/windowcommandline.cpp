#include "controller/windowcommandline.h"

#include "batch/batchrunner.h"
#include "batch/renamejob.h"
#include "engine/asciitext.h"
#include "engine/namebuilder.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "text/textlines.h"

#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace {

// The index of value among words, compared with A-Z taken as a-z; -1 when absent.
int wordIndex(const QString &value, std::initializer_list<QStringView> words)
{
    int index = 0;
    for (QStringView word : words) {
        if (equalsAsciiCaseless(value, word))
            return index;
        ++index;
    }
    return -1;
}

} // namespace

bool hasSwitch(const QStringList &arguments, const QString &key)
{
    const QString wanted = u'/' + key;
    for (const QString &argument : arguments) {
        if (equalsAsciiCaseless(argument, wanted))
            return true;
    }
    return false;
}

QString argumentValue(const QStringList &arguments, const QString &key, const QString &fallback)
{
    const QString prefix = u'/' + key.toLower() + u'=';
    for (const QString &argument : arguments) {
        if (!argument.toLower().startsWith(prefix))
            continue;
        return trimCharacter(argument.mid(argument.indexOf(u'=') + 1), u'"');
    }
    return fallback;
}

CommandLineOutcome runCommandLine(const QStringList &arguments, RenameOptions &options,
                                  RenameItems &items, const QStringList &importedNames,
                                  UserMessages &messages, FileOperations &files)
{
    if (!hasSwitch(arguments, u"cli"_s))
        return CommandLineOutcome::Inactive;

    options.pattern = argumentValue(arguments, u"pattern"_s, options.pattern);
    options.counterStart = argumentValue(arguments, u"start"_s, options.counterStart);
    options.digits = argumentValue(arguments, u"digits"_s, options.digits);
    const QString caseValue = argumentValue(arguments, u"case"_s, QString());
    if (!caseValue.isEmpty())
        options.caseMode = std::max(0, 1 + wordIndex(caseValue, {u"lower", u"upper", u"title"}));
    options.find = argumentValue(arguments, u"find"_s, QString());
    options.replace = argumentValue(arguments, u"replace"_s, QString());
    options.regex = hasSwitch(arguments, u"regex"_s);
    options.newExt = argumentValue(arguments, u"newext"_s, QString());
    options.changeExt = !options.newExt.isEmpty();
    const int conflict =
        wordIndex(argumentValue(arguments, u"conflict"_s, QString()), {u"skip", u"overwrite"});
    options.conflict = conflict >= 0 ? conflict : ConflictMode::AutoNumber;

    try {
        if (hasSwitch(arguments, u"dryrun"_s)) {
            previewNames(items, options, importedNames, messages);
        } else {
            RenameJob job(std::move(items), options, messages);
            job.setPreviewFirst(importedNames);
            job.setFileOperations(&files);
            const auto giveBack = qScopeGuard([&] { items = std::move(job.items()); });
            job.run();
        }
    } catch (const TessalyError &error) {
        messages.error(error.message());
        return CommandLineOutcome::Failed;
    }
    return CommandLineOutcome::Quit;
}

bool isCommandLineKey(const QString &argument)
{
    for (const QString &key : {u"cli"_s, u"regex"_s, u"dryrun"_s}) {
        if (hasSwitch({argument}, key))
            return true;
    }
    for (const QString &key : {u"pattern"_s, u"start"_s, u"digits"_s, u"case"_s, u"find"_s,
                               u"replace"_s, u"newext"_s, u"conflict"_s}) {
        if (argument.toLower().startsWith(u'/' + key + u'='))
            return true;
    }
    return false;
}
