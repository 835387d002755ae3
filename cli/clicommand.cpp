#include "clicommand.h"

#include "batchrunner.h"
#include "fileitems.h"
#include "filenamecodec.h"
#include "namelist.h"
#include "naturalorder.h"
#include "presets.h"
#include "renameplan.h"
#include "metadatakeywords.h"
#include "namebuilder.h"
#include "tessalyerror.h"
#include "translation.h"
#include "undo.h"
#include "usermessages.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class StreamMessages : public UserMessages
{
public:
    explicit StreamMessages(QTextStream &err)
        : m_err(err)
    {}

    void information(const QString &text) override { m_err << text << Qt::endl; }
    void warning(const QString &text) override
    {
        m_warned = true;
        m_err << text << Qt::endl;
    }
    bool confirm(const QString &text) override
    {
        m_err << text << Qt::endl;
        return true;
    }
    void error(const QString &text) override { m_err << text << Qt::endl; }

    // A batch or undo warns only when it stopped short or passed over something.
    bool warned() const { return m_warned; }

private:
    QTextStream &m_err;
    bool m_warned = false;
};

// An option that takes a text value and writes it into one setting.
struct TextSetting
{
    QCommandLineOption option;
    QString RenameOptions::*field;
};

struct Flag
{
    QCommandLineOption option;
    bool RenameOptions::*field;
};

// One line on a terminal that says how far a batch is, for batches that take longer
// than a second; nothing when stderr is a file or a pipe.
class TerminalProgress
{
public:
    explicit TerminalProgress(QTextStream &err)
        : m_err(err)
        , m_shown(::isatty(STDERR_FILENO) == 1)
    {
        m_clock.start();
    }
    ~TerminalProgress()
    {
        if (m_written)
            m_err << u"\r\x1b[K"_s << Qt::flush; // the line goes before the messages
    }

    BatchProgress batchProgress()
    {
        BatchProgress progress;
        if (!m_shown)
            return progress;
        progress.fileDone = [this](qsizetype done, qsizetype total, const QString &path) {
            if (done == total && std::exchange(m_written, false)) {
                m_err << u"\r\x1b[K"_s << Qt::flush; // gone before the closing message
                return;
            }
            if (m_clock.elapsed() < 1000 || (m_lastWrite.isValid() && m_lastWrite.elapsed() < 100))
                return;
            m_lastWrite.start();
            m_written = true;
            m_err << u"\r\x1b[K%1 of %2  %3"_s.arg(done).arg(total).arg(FileNamePart(path))
                  << Qt::flush;
        };
        return progress;
    }

private:
    QTextStream &m_err;
    const bool m_shown;
    bool m_written = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastWrite;
};

} // namespace

int RunCliCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    QString keywords = u"Keywords from inside the files (empty when a file lacks the value):"_s;
    for (const KeywordHelpLine &line : MetadataKeywordHelp())
        keywords += u"\n  "_s + line.keywords + u"\n      "_s + line.sentence;
    parser.setApplicationDescription(
        u"Previews new names for files, as the Tessaly window does; with --execute,\n"
        "carries them out (and --undo takes the last batch back).\n"
        "Number options are read as the window reads them: text that is not a number\n"
        "gives the setting's default.\n"
        "Exit status: 0 done, 1 failed, 2 bad usage.\n\n"_s +
        keywords);
    const QCommandLineOption helpOption({u"h"_s, u"help"_s}, u"Shows this help."_s);
    const QCommandLineOption versionOption({u"v"_s, u"version"_s}, u"Shows the version."_s);
    parser.addOption(helpOption);
    parser.addOption(versionOption);

    const auto text = [](const QString &name, const QString &description,
                         const QString &valueName = u"TEXT"_s) {
        return QCommandLineOption(name, description, valueName);
    };
    const QList<TextSetting> textSettings{
        {text(u"find"_s, u"Text to find in the new name."_s), &RenameOptions::find},
        {text(u"replace"_s, u"Replacement for the found text."_s), &RenameOptions::replace},
        {text(u"pattern"_s, u"Pattern of the new name (default {name})."_s),
         &RenameOptions::pattern},
        {text(u"counter-start"_s, u"First value of {counter} (default 1)."_s, u"N"_s),
         &RenameOptions::counterStart},
        {text(u"digits"_s, u"Digits of {counter}, 1 to 10 (default 3)."_s, u"N"_s),
         &RenameOptions::digits},
        {text(u"insert-text"_s, u"Text to insert into the name."_s), &RenameOptions::insertText},
        {text(u"insert-pos"_s, u"Position of the inserted text (default 1)."_s, u"N"_s),
         &RenameOptions::insertPos},
        {text(u"remove-first"_s, u"Characters to remove from the start."_s, u"N"_s),
         &RenameOptions::removeFirst},
        {text(u"remove-last"_s, u"Characters to remove from the end."_s, u"N"_s),
         &RenameOptions::removeLast},
        {text(u"remove-from"_s, u"First position of a range to remove."_s, u"N"_s),
         &RenameOptions::removeFromPos},
        {text(u"remove-till"_s, u"Last position of a range to remove."_s, u"N"_s),
         &RenameOptions::removeTillPos},
        {text(u"remove-chars"_s, u"Characters to remove wherever they occur."_s),
         &RenameOptions::charactersToRemove},
        {text(u"trim-from"_s, u"Cut the name from the first occurrence of TEXT on."_s),
         &RenameOptions::cropBefore},
        {text(u"trim-until"_s, u"Cut the name up to and including the first TEXT."_s),
         &RenameOptions::cropAfter},
        {text(u"pad-numbers"_s, u"Pad numbers in the name with zeros to N digits."_s, u"N"_s),
         &RenameOptions::padNumbers},
    };
    const QList<Flag> flags{
        {QCommandLineOption(u"regex"_s, u"Find is a regular expression."_s), &RenameOptions::regex},
        {QCommandLineOption(u"collapse-spaces"_s, u"Collapse runs of spaces to one."_s),
         &RenameOptions::collapseDoubleSpaces},
    };
    const QCommandLineOption caseOption(
        u"case"_s, u"Case change: unchanged, lower, upper or title."_s, u"MODE"_s);
    const QCommandLineOption newExtOption(
        u"new-ext"_s, u"Give every file this extension; an empty TEXT removes extensions."_s,
        u"TEXT"_s);
    const QCommandLineOption recursiveOption(u"recursive"_s,
                                             u"Take the files of subfolders of a folder too."_s);
    const QCommandLineOption tsvOption(u"tsv"_s,
                                       u"Print each file's full path, a tab and its new name."_s);
    const QCommandLineOption planOption(
        u"plan"_s,
        u"Print what the batch would do with each file: its path, a tab, the path it will\n"
        "have, a tab and one word: rename, unchanged, numbered, skip, overwrite,\n"
        "duplicate, folder, invalid, missing or no-preview. Exit status 1 when a file\n"
        "keeps the batch from starting."_s);
    const QCommandLineOption executeOption(
        {u"x"_s, u"execute"_s}, u"Carry out the new names (without it, only show them)."_s);
    const QCommandLineOption modeOption(
        u"mode"_s, u"With --execute: rename (in place, the default), copy or move."_s, u"MODE"_s);
    const QCommandLineOption destinationOption(
        u"destination"_s, u"Folder that copy and move put the files into."_s, u"DIR"_s);
    const QCommandLineOption conflictOption(
        u"conflict"_s, u"When a target exists: skip, overwrite or number (the default)."_s,
        u"RULE"_s);
    const QCommandLineOption touchOption(
        u"touch"_s, u"Give every renamed, copied or moved file the current time."_s);
    const QCommandLineOption undoOption(u"undo"_s, u"Undo the last batch, then end."_s);
    const QCommandLineOption presetOption(
        u"preset"_s, u"Start from the options of a preset file; other options change them."_s,
        u"FILE"_s);
    const QCommandLineOption savePresetOption(
        u"save-preset"_s, u"Save the options in effect to a preset file, then go on."_s, u"FILE"_s);
    const QCommandLineOption nameListOption(
        u"name-list"_s, u"Take the names for {list} from a text or CSV file."_s, u"FILE"_s);
    for (const TextSetting &setting : textSettings)
        parser.addOption(setting.option);
    for (const Flag &flag : flags)
        parser.addOption(flag.option);
    parser.addOption(caseOption);
    parser.addOption(newExtOption);
    parser.addOption(recursiveOption);
    parser.addOption(tsvOption);
    parser.addOption(planOption);
    for (const QCommandLineOption *option :
         {&executeOption, &modeOption, &destinationOption, &conflictOption, &touchOption,
          &undoOption, &presetOption, &savePresetOption, &nameListOption})
        parser.addOption(*option);
    parser.addPositionalArgument(u"PATH"_s, u"A file, or a folder whose files are taken."_s,
                                 u"PATH..."_s);

    const auto usageError = [&](const QString &message) {
        err << u"tessaly-cli: "_s << message << Qt::endl << Qt::endl << parser.helpText();
        err.flush();
        return 2;
    };

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out << u"tessaly-cli "_s << QCoreApplication::applicationVersion() << Qt::endl;
        return 0;
    }

    StreamMessages messages(err);
    const auto failed = [&](const TessalyError &error) {
        err << error.message() << Qt::endl;
        return 1;
    };

    RenameOptions options;
    QStringList importedNames;
    try {
        if (parser.isSet(presetOption))
            options = LoadPresetFile(parser.value(presetOption), options);
        if (parser.isSet(nameListOption))
            importedNames = LoadNameList(parser.value(nameListOption));
    } catch (const TessalyError &error) {
        return failed(error);
    }
    for (const TextSetting &setting : textSettings) {
        if (parser.isSet(setting.option))
            options.*setting.field = parser.value(setting.option);
    }
    for (const Flag &flag : flags) {
        if (parser.isSet(flag.option))
            options.*flag.field = true;
    }
    // Reads a word option into one of its indices; -1 when the word is not known.
    const auto choice = [&](const QCommandLineOption &option, const QStringList &words) {
        return int(words.indexOf(parser.value(option).toLower()));
    };
    if (parser.isSet(caseOption)) {
        options.caseMode = choice(caseOption, {u"unchanged"_s, u"lower"_s, u"upper"_s, u"title"_s});
        if (options.caseMode < 0)
            return usageError(u"unknown case mode \"%1\""_s.arg(parser.value(caseOption)));
    }
    if (parser.isSet(modeOption)) {
        options.batchMode = choice(modeOption, {u"rename"_s, u"copy"_s, u"move"_s});
        if (options.batchMode < 0)
            return usageError(u"unknown mode \"%1\""_s.arg(parser.value(modeOption)));
    }
    if (parser.isSet(conflictOption)) {
        options.conflict = choice(conflictOption, {u"skip"_s, u"overwrite"_s, u"number"_s});
        if (options.conflict < 0)
            return usageError(u"unknown conflict rule \"%1\""_s.arg(parser.value(conflictOption)));
    }
    if (parser.isSet(destinationOption))
        options.destination = parser.value(destinationOption);
    if (parser.isSet(touchOption))
        options.touchModifiedNow = true;
    if (parser.isSet(savePresetOption)) {
        try {
            SavePresetFile(parser.value(savePresetOption), options);
        } catch (const TessalyError &error) {
            return failed(error);
        }
    }
    if (parser.isSet(newExtOption)) {
        options.changeExt = true;
        options.newExt = parser.value(newExtOption);
    }
    SystemFileOperations files;
    if (parser.isSet(undoOption)) {
        if (!parser.positionalArguments().isEmpty() || parser.isSet(executeOption))
            return usageError(u"--undo takes no files and no --execute"_s);
        try {
            UndoLastBatch(messages, files);
        } catch (const TessalyError &error) {
            return failed(error);
        }
        return messages.warned() ? 1 : 0;
    }

    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(u"no file or folder given"_s);

    TRenameItems items;
    ListedPaths listed;
    // Files in argument order, each listed once, as the window's file list takes them.
    // A single folder's walk meets each file once: its files need no look-up.
    const bool oneArgument = paths.size() == 1;
    const auto add = [&](TRenameItem item) {
        if (oneArgument || listed.insertIfNew(item.OriginalPath))
            items.append(std::move(item));
    };
    for (const QString &argument : paths) {
        const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(argument));
        if (files.folderExists(path)) {
            // A folder's files in natural order (IMG_2 before IMG_10), as the window
            // lists them, so that {counter} numbers them as people expect. Sizes and
            // times are read only if the names ask for them.
            TRenameItems folderItems =
                CollectFolderItems(path, parser.isSet(recursiveOption), false);
            SortNaturally(folderItems);
            if (oneArgument) {
                items = std::move(folderItems);
                break;
            }
            for (TRenameItem &item : folderItems)
                add(std::move(item));
        } else if (std::optional<TRenameItem> item = ReadRenameItem(path)) {
            add(std::move(*item));
        } else {
            err << u"tessaly-cli: no such file or folder: %1"_s.arg(DisplayFileName(argument))
                << Qt::endl;
        }
    }

    try {
        if (!PreviewNames(items, options, importedNames, messages))
            return 1;
    } catch (const TessalyError &error) {
        return failed(error);
    }

    const bool execute = parser.isSet(executeOption);
    const bool showPlan = parser.isSet(planOption);
    if (!showPlan) {
        const bool tsv = parser.isSet(tsvOption);
        for (const TRenameItem &item : items) {
            if (tsv)
                out << DisplayFileName(item.OriginalPath) << u'\t' << DisplayFileName(item.NewName)
                    << u'\n';
            else
                out << DisplayFileName(FileNamePart(item.OriginalPath)) << u" -> "_s
                    << DisplayFileName(item.NewName) << u'\n';
        }
        out.flush();
        if (!execute)
            return 0;
    }

    const bool toFolder = options.batchMode == BatchMode::CopyToFolder ||
                          options.batchMode == BatchMode::MoveToFolder;
    if (toFolder && TrimControl(options.destination).isEmpty()) {
        messages.warning(
            TranslateText(u"Please select a destination folder for Copy/Move mode."_s));
        return 1;
    }
    SystemFileSystemView view;
    const RenamePlan plan = PlanBatch(items, options, view, true);
    if (showPlan) {
        for (qsizetype i = 0; i < items.size(); ++i) {
            const PlannedRow &row = plan.rows.at(i);
            const QString &source = items.at(i).OriginalPath;
            const QString shown =
                PlanStatusActs(row.status) || !row.target.isEmpty() ? row.target : source;
            out << DisplayFileName(source) << u'\t' << DisplayFileName(shown) << u'\t'
                << PlanStatusWord(row.status) << u'\n';
        }
        out.flush();
    }
    if (plan.blocked()) {
        err << PlanBlockedMessage(items, plan) << Qt::endl;
        return 1;
    }
    if (execute) {
        try {
            TerminalProgress progress(err);
            ExecutePlan(items, plan, options, messages, files, {}, progress.batchProgress());
        } catch (const TessalyError &error) {
            return failed(error);
        }
        return messages.warned() ? 1 : 0;
    }
    return 0;
}
