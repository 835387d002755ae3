#include "windowcommandline.h"

#include "asciitext.h"
#include "batchrunner.h"
#include "namebuilder.h"
#include "tessalyerror.h"
#include "textlines.h"
#include "usermessages.h"

using namespace Qt::StringLiterals;

namespace {

// The index of value among words, compared with A-Z taken as a-z; -1 when absent.
int wordIndex(const QString &value, std::initializer_list<QStringView> words)
{
    int index = 0;
    for (QStringView word : words) {
        if (EqualsAsciiCaseless(value, word))
            return index;
        ++index;
    }
    return -1;
}

} // namespace

bool HasSwitch(const QStringList &arguments, const QString &key)
{
    const QString wanted = u'/' + key;
    for (const QString &argument : arguments) {
        if (EqualsAsciiCaseless(argument, wanted))
            return true;
    }
    return false;
}

QString ArgumentValue(const QStringList &arguments, const QString &key, const QString &fallback)
{
    const QString prefix = u'/' + key.toLower() + u'=';
    for (const QString &argument : arguments) {
        if (!argument.toLower().startsWith(prefix))
            continue;
        return TrimCharacter(argument.mid(argument.indexOf(u'=') + 1), u'"');
    }
    return fallback;
}

CommandLineOutcome RunCommandLine(const QStringList &arguments, RenameOptions &options,
                                  TRenameItems &items, const QStringList &importedNames,
                                  UserMessages &messages, FileOperations &files)
{
    if (!HasSwitch(arguments, u"cli"_s))
        return CommandLineOutcome::Inactive;

    options.pattern = ArgumentValue(arguments, u"pattern"_s, options.pattern);
    options.counterStart = ArgumentValue(arguments, u"start"_s, options.counterStart);
    options.digits = ArgumentValue(arguments, u"digits"_s, options.digits);
    const QString caseValue = ArgumentValue(arguments, u"case"_s, QString());
    if (!caseValue.isEmpty())
        options.caseMode = std::max(0, 1 + wordIndex(caseValue, {u"lower", u"upper", u"title"}));
    options.find = ArgumentValue(arguments, u"find"_s, QString());
    options.replace = ArgumentValue(arguments, u"replace"_s, QString());
    options.regex = HasSwitch(arguments, u"regex"_s);
    options.newExt = ArgumentValue(arguments, u"newext"_s, QString());
    options.changeExt = !options.newExt.isEmpty();
    const int conflict =
        wordIndex(ArgumentValue(arguments, u"conflict"_s, QString()), {u"skip", u"overwrite"});
    options.conflict = conflict >= 0 ? conflict : ConflictMode::AutoNumber;

    try {
        PreviewNames(items, options, importedNames, messages);
        if (!HasSwitch(arguments, u"dryrun"_s))
            RunBatch(items, options, messages, files);
    } catch (const TessalyError &error) {
        messages.error(error.message());
        return CommandLineOutcome::Failed;
    }
    return CommandLineOutcome::Quit;
}

bool IsCommandLineKey(const QString &argument)
{
    for (const QString &key : {u"cli"_s, u"regex"_s, u"dryrun"_s}) {
        if (HasSwitch({argument}, key))
            return true;
    }
    for (const QString &key : {u"pattern"_s, u"start"_s, u"digits"_s, u"case"_s, u"find"_s,
                               u"replace"_s, u"newext"_s, u"conflict"_s}) {
        if (argument.toLower().startsWith(u'/' + key + u'='))
            return true;
    }
    return false;
}
