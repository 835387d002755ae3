#include "clicommand.h"

#include "batchpaths.h"
#include "batchrunner.h"
#include "fileitems.h"
#include "filenamecodec.h"
#include "namelist.h"
#include "naturalorder.h"
#include "presets.h"
#include "renamejob.h"
#include "renameplan.h"
#include "metadatakeywords.h"
#include "namebuilder.h"
#include "tessalyerror.h"
#include "translation.h"
#include "history.h"
#include "undo.h"
#include "undolog.h"
#include "usermessages.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

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

// One line on a terminal that says how far a batch or an undo is, when it takes longer
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
        progress.fileDone = [this](qsizetype done, qsizetype total, QStringView, QStringView name) {
            if (done == total && std::exchange(m_written, false)) {
                m_err << u"\r\x1b[K"_s << Qt::flush; // gone before the closing message
                return;
            }
            if (m_clock.elapsed() < 1000 || (m_lastWrite.isValid() && m_lastWrite.elapsed() < 100))
                return;
            m_lastWrite.start();
            m_written = true;
            m_err << u"\r\x1b[K%1 of %2  %3"_s.arg(done).arg(total).arg(name) << Qt::flush;
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

int runCliCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    QString keywords = u"Keywords from inside the files (empty when a file lacks the value):"_s;
    for (const KeywordHelpLine &line : metadataKeywordHelp())
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

    // A switch for every option that has one, as the option table describes it.
    QList<std::pair<const OptionField *, QCommandLineOption>> optionSwitches;
    for (const OptionField &field : renameOptionFields()) {
        if (field.cliSwitch.isEmpty())
            continue;
        QCommandLineOption option(field.cliSwitch.toString(), field.cliHelp.toString());
        if (field.kind != OptionKind::Flag)
            option.setValueName(field.cliValueName.toString());
        optionSwitches.append({&field, option});
    }
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
    const QCommandLineOption undoOption(
        u"undo"_s,
        u"Undo the newest batch not undone yet, or the batch whose id is given\n"
        "(tessaly-cli --undo ID), then end. With --plan, print what the undo would do\n"
        "with each file: its path now, a tab, the path it gets back, a tab and one word:\n"
        "restore, undone, gone, changed or occupied; nothing changes. Exit status 1 when\n"
        "a file could not be restored."_s);
    const QCommandLineOption redoOption(
        u"redo"_s, u"Carry out an undone batch again (planned as any batch), then end."_s, u"ID"_s);
    const QCommandLineOption historyOption(
        u"history"_s,
        u"Print the batches on record, newest first: id, time, operation, files, state\n"
        "and first folder, separated by tabs."_s);
    const QCommandLineOption skipBlockedOption(
        u"skip-blocked"_s,
        u"Leave out the files that keep the batch from starting (an invalid or duplicate\n"
        "name, a folder in the way) and carry out the rest."_s);
    const QCommandLineOption presetOption(
        u"preset"_s, u"Start from the options of a preset file; other options change them."_s,
        u"FILE"_s);
    const QCommandLineOption savePresetOption(
        u"save-preset"_s, u"Save the options in effect to a preset file, then go on."_s, u"FILE"_s);
    const QCommandLineOption nameListOption(
        u"name-list"_s, u"Take the names for {list} from a text or CSV file."_s, u"FILE"_s);
    for (const auto &[field, option] : optionSwitches)
        parser.addOption(option);
    for (const QCommandLineOption *option :
         {&tsvOption, &planOption, &executeOption, &undoOption, &redoOption, &historyOption,
          &skipBlockedOption, &presetOption, &savePresetOption, &nameListOption})
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
            options = loadPresetFile(parser.value(presetOption), options);
        if (parser.isSet(nameListOption))
            importedNames = loadNameList(parser.value(nameListOption));
    } catch (const TessalyError &error) {
        return failed(error);
    }
    // The switches change the options of the preset, if any, before anything else
    // reads them.
    for (const auto &[field, option] : optionSwitches) {
        if (!parser.isSet(option))
            continue;
        switch (field->kind) {
        case OptionKind::Text:
        case OptionKind::Number:
            options.*field->text = parser.value(option);
            break;
        case OptionKind::Flag:
            options.*field->flag = true;
            break;
        case OptionKind::Choice: {
            const QString word = parser.value(option);
            const QString lowered = word.toLower();
            const auto known = std::find(field->choiceWords.cbegin(), field->choiceWords.cend(),
                                         QStringView(lowered));
            if (known == field->choiceWords.cend())
                return usageError(u"unknown %1 \"%2\""_s.arg(field->choiceName, word));
            options.*field->choice = int(known - field->choiceWords.cbegin());
            break;
        }
        }
        if (field->switchAlsoSets)
            options.*field->switchAlsoSets = true;
    }
    if (parser.isSet(savePresetOption)) {
        try {
            savePresetFile(parser.value(savePresetOption), options);
        } catch (const TessalyError &error) {
            return failed(error);
        }
    }
    SystemFileOperations files;
    const bool showPlan = parser.isSet(planOption);
    if (parser.isSet(historyOption)) {
        if (!parser.positionalArguments().isEmpty() || parser.isSet(executeOption) ||
            parser.isSet(undoOption) || parser.isSet(redoOption))
            return usageError(u"--history takes no files, no --execute, --undo or --redo"_s);
        for (const HistoryEntry &entry : readHistory()) {
            out << entry.id << u'\t' << entry.time.toString(Qt::ISODate) << u'\t' << entry.operation
                << u'\t' << entry.files << u'\t' << historyStateWord(entry.state) << u'\t'
                << displayFileName(entry.folder) << u'\n';
        }
        out.flush();
        return 0;
    }
    if (parser.isSet(undoOption)) {
        if (parser.positionalArguments().size() > 1 || parser.isSet(executeOption) ||
            parser.isSet(redoOption))
            return usageError(u"--undo takes one batch id at most, no files and no --execute"_s);
        TerminalProgress progress(err);
        RenameJob undo(messages);
        undo.setUndoBatch(parser.positionalArguments().value(0));
        undo.setExecute(!showPlan);
        undo.setProgress(progress.batchProgress());
        if (showPlan) {
            undo.setUndoPlanShown([&out](const UndoPlan &plan) {
                for (const UndoPlanRow &row : plan.rows) {
                    out << displayFileName(row.current) << u'\t' << displayFileName(row.restored)
                        << u'\t' << undoStatusWord(row.status);
                    if (!row.laterBatch.isEmpty())
                        out << u' ' << row.laterBatch;
                    out << u'\n';
                }
                out.flush();
            });
        }
        const RenameJob::Result result = undo.exec();
        if (showPlan) {
            const UndoPlan &plan = undo.undoPlan();
            return result == RenameJob::Result::Done &&
                           plan.count(UndoStatus::Restore) + plan.count(UndoStatus::Undone) ==
                               plan.rows.size()
                       ? 0
                       : 1;
        }
        return result == RenameJob::Result::Done && !messages.warned() ? 0 : 1;
    }

    const bool redo = parser.isSet(redoOption);
    const QStringList paths = parser.positionalArguments();
    if (redo && !paths.isEmpty())
        return usageError(u"--redo takes no files"_s);
    if (!redo && paths.isEmpty())
        return usageError(u"no file or folder given"_s);

    const bool execute = parser.isSet(executeOption) || (redo && !showPlan);
    // A batch holds the undo log's lock from before it reads the files: the names printed
    // and the plan are then made from what the batch will find.
    std::optional<UndoLogLock> lock;
    if (execute) {
        try {
            lock.emplace(undoLogPath(), true);
        } catch (const TessalyError &error) {
            return failed(error);
        }
    }
    ListedFileSystemView view;
    RenameItems items;
    if (redo) {
        try {
            RedoBatch batch = redoBatchOf(parser.value(redoOption));
            items = std::move(batch.items);
            options = std::move(batch.options);
        } catch (const TessalyError &error) {
            return failed(error);
        }
    }
    ListedPaths listed;
    // Files in argument order, each listed once, as the window's file list takes them.
    // A single folder's walk meets each file once: its files need no look-up.
    const bool oneArgument = paths.size() == 1;
    const auto add = [&](RenameItem item) {
        if (oneArgument || listed.insertIfNew(item))
            items.append(std::move(item));
    };
    for (const QString &argument : paths) {
        const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(argument));
        if (files.folderExists(path)) {
            // A folder's files in natural order (IMG_2 before IMG_10), as the window
            // lists them, so that {counter} numbers them as people expect. Sizes and
            // times are read only if the names ask for them.
            // The plan takes the folder's names from this same read.
            std::optional<FolderListing> listing;
            RenameItems folderItems =
                collectFolderItems(path, options.includeSubfolders, false,
                                   oneArgument && (execute || showPlan) ? &listing : nullptr);
            if (listing)
                view.provide(path, std::move(*listing));
            sortNaturally(folderItems);
            if (oneArgument) {
                items = std::move(folderItems);
                break;
            }
            for (RenameItem &item : folderItems)
                add(std::move(item));
        } else if (std::optional<RenameItem> item = readRenameItem(path)) {
            add(std::move(*item));
        } else {
            err << u"tessaly-cli: no such file or folder: %1"_s.arg(displayFileName(argument))
                << Qt::endl;
        }
    }

    try {
        if (!redo && !previewNames(items, options, importedNames, messages))
            return 1;
    } catch (const TessalyError &error) {
        return failed(error);
    }

    if (!showPlan) {
        const bool tsv = parser.isSet(tsvOption);
        for (const RenameItem &item : items) {
            if (tsv)
                out << displayFileName(item.originalPath()) << u'\t'
                    << displayFileName(item.newName) << u'\n';
            else
                out << displayFileName(item.fileName) << u" -> "_s << displayFileName(item.newName)
                    << u'\n';
        }
        out.flush();
        if (!execute)
            return 0;
    }

    // The plan is made, shown and carried out by the same job, under the undo log's lock
    // when it is to be carried out, so that what is printed is what happens.
    RenameJob job(std::move(items), options, messages);
    job.setExecute(execute);
    job.setSkipBlocked(parser.isSet(skipBlockedOption));
    job.setFileSystemView(&view);
    job.setFileOperations(&files);
    if (redo)
        job.setRedoOf(parser.value(redoOption));
    if (lock)
        job.setHeldLock(&*lock);
    if (showPlan) {
        job.setPlanShown([&out](const RenameItems &planned, const RenamePlan &plan) {
            for (qsizetype i = 0; i < planned.size(); ++i) {
                const PlannedRow &row = plan.rows.at(i);
                const QString &source = planned.at(i).originalPath();
                // Rows that would act or that are blocked show the path they ask for.
                const bool asked = row.status == PlanStatus::Duplicate ||
                                   row.status == PlanStatus::Folder ||
                                   row.status == PlanStatus::Invalid;
                const QString shown = planStatusActs(row.status) || (asked && row.folder >= 0)
                                          ? plan.targetPath(planned, i)
                                          : source;
                out << displayFileName(source) << u'\t' << displayFileName(shown) << u'\t'
                    << planStatusWord(row.status) << u'\n';
            }
            out.flush();
        });
    }
    TerminalProgress progress(err);
    if (execute)
        job.setProgress(progress.batchProgress());
    const RenameJob::Result result = job.exec();
    return result == RenameJob::Result::Done && !messages.warned() ? 0 : 1;
}
