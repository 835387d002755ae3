#include "cli/clicommand.h"

#include "batch/batchpaths.h"
#include "batch/batchrunner.h"
#include "batch/history.h"
#include "batch/renamejob.h"
#include "batch/renameplan.h"
#include "batch/undo.h"
#include "batch/undolog.h"
#include "cli/recordwriter.h"
#include "containers/pathindex.h"
#include "engine/filenamecodec.h"
#include "engine/metadatakeywords.h"
#include "engine/namebuilder.h"
#include "engine/tessalyerror.h"
#include "engine/usermessages.h"
#include "filelist/fileitems.h"
#include "filelist/namelist.h"
#include "filelist/naturalorder.h"
#include "filelist/presets.h"
#include "translation/translation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTextStream>

#include <algorithm>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Messages on stderr; on a terminal, what a name inside them could make it do is shown
// as escapes.
class StreamMessages : public UserMessages
{
public:
    explicit StreamMessages(QTextStream &err)
        : m_err(err)
        , m_terminal(::isatty(STDERR_FILENO) == 1)
    {}

    void information(const QString &text) override { write(text); }
    void warning(const QString &text) override
    {
        m_warned = true;
        write(text);
    }
    bool confirm(const QString &text) override
    {
        write(text);
        return true;
    }
    void error(const QString &text) override { write(text); }
    void write(const QString &text)
    {
        m_err << (m_terminal ? terminalSafeText(text) : text) << Qt::endl;
    }

    // A batch or undo warns only when it stopped short or passed over something.
    bool warned() const { return m_warned; }

private:
    QTextStream &m_err;
    const bool m_terminal;
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
            m_err << u"\r\x1b[K%1 of %2  %3"_s.arg(done).arg(total).arg(terminalSafeText(name))
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

namespace {

using Field = RecordWriter::Field;

Field nameField(QLatin1StringView key, const QString &name)
{
    return {key, name, Field::Name};
}

Field textField(QLatin1StringView key, const QString &text)
{
    return {key, text, Field::Text};
}

Field numberField(QLatin1StringView key, qsizetype number)
{
    return {key, QString::number(number), Field::Number};
}

// The last line of --json: how many rows of each status, the exit status and the batch.
QByteArray jsonSummary(const QMap<QString, qsizetype> &counts, int exitStatus,
                       const QString &batch = {})
{
    QJsonObject countObject;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        countObject.insert(it.key(), double(it.value()));
    QJsonObject summary{{u"counts"_s, countObject}, {u"exit"_s, exitStatus}};
    if (!batch.isEmpty())
        summary.insert(u"batch"_s, batch);
    return QJsonDocument(summary).toJson(QJsonDocument::Compact);
}

} // namespace

int runCliCommand(const QStringList &arguments, QIODevice &out, QTextStream &err,
                  bool outIsTerminal)
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
        "Exit status: 0 done; 1 blocked, failed or done in part (a file left out, a\n"
        "batch stopped, an undo that could not restore every file); 2 bad usage (an\n"
        "unknown option, a missing value, options that do not go together).\n\n"_s +
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
        "duplicate, folder, invalid, missing, no-preview or hidden-characters (renamed;\n"
        "the new name holds characters that show as nothing or reorder the text). Exit\n"
        "status 1 when a file keeps the batch from starting."_s);
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
    const QCommandLineOption nullOption(
        {u"z"_s, u"null"_s},
        u"End every field of the names, --tsv, --plan and --history with a NUL byte\n"
        "instead of a tab or a line end, with names as their very bytes (for xargs -0)."_s);
    const QCommandLineOption jsonOption(
        u"json"_s,
        u"Write JSON Lines: one object per file (source, target, status, error) or per\n"
        "batch of --history, then one summary object (counts, exit, batch). A name that\n"
        "is not UTF-8 is also given as source_bytes/target_bytes, base64."_s);
    const QCommandLineOption nameListOption(
        u"name-list"_s, u"Take the names for {list} from a text or CSV file."_s, u"FILE"_s);
    for (const auto &[field, option] : optionSwitches)
        parser.addOption(option);
    for (const QCommandLineOption *option :
         {&tsvOption, &planOption, &executeOption, &undoOption, &redoOption, &historyOption,
          &skipBlockedOption, &presetOption, &savePresetOption, &nameListOption, &nullOption,
          &jsonOption})
        parser.addOption(*option);
    parser.addPositionalArgument(u"PATH"_s, u"A file, or a folder whose files are taken."_s,
                                 u"PATH..."_s);

    const auto usageError = [&](const QString &message) {
        err << u"tessaly-cli: "_s
            << (::isatty(STDERR_FILENO) == 1 ? terminalSafeText(message) : message) << Qt::endl
            << Qt::endl
            << parser.helpText();
        err.flush();
        return 2;
    };

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        out.write(parser.helpText().toUtf8());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out.write((u"tessaly-cli "_s + QCoreApplication::applicationVersion() + u'\n').toUtf8());
        return 0;
    }
    if (parser.isSet(nullOption) && parser.isSet(jsonOption))
        return usageError(u"--null and --json do not go together"_s);
    const bool json = parser.isSet(jsonOption);
    RecordWriter writer(out, json                       ? RecordWriter::Form::Json
                             : parser.isSet(nullOption) ? RecordWriter::Form::Null
                             : outIsTerminal            ? RecordWriter::Form::Terminal
                                                        : RecordWriter::Form::Text);

    StreamMessages messages(err);
    const auto failed = [&](const TessalyError &error) {
        messages.write(error.message());
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
        QMap<QString, qsizetype> counts;
        for (const HistoryEntry &entry : readHistory()) {
            const QString state = historyStateWord(entry.state);
            writer.write({textField("id"_L1, entry.id),
                          textField("time"_L1, entry.time.toString(Qt::ISODate)),
                          textField("operation"_L1, entry.operation),
                          numberField("files"_L1, entry.files),
                          textField("state"_L1, state),
                          nameField("folder"_L1, entry.folder),
                          {"pattern"_L1, entry.pattern, Field::Text, true},
                          {"redo_of"_L1, entry.redoOf, Field::Text, true}});
            ++counts[state];
        }
        if (json)
            writer.writeJsonLine(jsonSummary(counts, 0));
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
        const auto writeRows = [&](const UndoPlan &plan, bool carriedOut) {
            for (const UndoPlanRow &row : plan.rows) {
                QString error;
                // A file to restore that is not back: the undo's message says why.
                if (carriedOut && row.status == UndoStatus::Restore &&
                    files.entryKind(row.restored) == FileOperations::EntryKind::None)
                    error = u"not restored"_s;
                writer.write({nameField("source"_L1, row.current),
                              nameField("target"_L1, row.restored),
                              textField("status"_L1, undoStatusWord(row.status)),
                              {"later_batch"_L1, row.laterBatch, Field::Text, true},
                              {"error"_L1, error, Field::Text, true}});
            }
        };
        if (showPlan)
            undo.setUndoPlanShown([&](const UndoPlan &plan) { writeRows(plan, false); });
        const RenameJob::Result result = undo.exec();
        const UndoPlan &plan = undo.undoPlan();
        int status = 0;
        if (showPlan) {
            status = result == RenameJob::Result::Done &&
                             plan.count(UndoStatus::Restore) + plan.count(UndoStatus::Undone) ==
                                 plan.rows.size()
                         ? 0
                         : 1;
        } else {
            status = result == RenameJob::Result::Done && !messages.warned() ? 0 : 1;
            if (json)
                writeRows(plan, true);
        }
        if (json) {
            QMap<QString, qsizetype> counts;
            for (const UndoPlanRow &row : plan.rows)
                ++counts[undoStatusWord(row.status)];
            writer.writeJsonLine(jsonSummary(counts, status, plan.batch.id));
        }
        return status;
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
    // Files in argument order, each listed once, as the window's file list takes them.
    // A single folder's walk meets each file once: its files need no look-up.
    PathIndex listed;
    const auto itemAt = [&](qsizetype row) -> const RenameItem & { return items.at(row); };
    const bool oneArgument = paths.size() == 1;
    const auto add = [&](RenameItem item) {
        if (oneArgument || listed.insertIfNew(items.size(), item, itemAt))
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
            messages.write(
                u"tessaly-cli: no such file or folder: %1"_s.arg(displayFileName(argument)));
        }
    }

    try {
        if (!redo && !previewNames(items, options, importedNames, messages))
            return 1;
    } catch (const TessalyError &error) {
        return failed(error);
    }

    if (!showPlan && !(json && execute)) {
        const bool tsv = parser.isSet(tsvOption);
        for (const RenameItem &item : items) {
            if (json) {
                writer.write({nameField("source"_L1, item.originalPath()),
                              nameField("target"_L1, item.folder + item.newName)});
            } else if (tsv) {
                writer.write({nameField("source"_L1, item.originalPath()),
                              nameField("target"_L1, item.newName)});
            } else {
                writer.write(
                    {nameField("source"_L1, item.fileName), nameField("target"_L1, item.newName)},
                    u" -> ");
            }
        }
        if (json && !execute)
            writer.writeJsonLine(jsonSummary({{u"preview"_s, items.size()}}, 0));
        writer.flush();
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
    // Each row as planned: its path, the path it asks for, its status (--json -x reports
    // them once the batch has ended).
    struct PlannedPaths
    {
        QString source;
        QString target;
        PlanStatus status;
    };
    QList<PlannedPaths> planned;
    QMap<QString, qsizetype> counts;
    const bool reportAfter = json && execute;
    if (showPlan || reportAfter) {
        job.setPlanShown([&](const RenameItems &plannedItems, const RenamePlan &plan) {
            for (qsizetype i = 0; i < plannedItems.size(); ++i) {
                const PlannedRow &row = plan.rows.at(i);
                const QString source = plannedItems.at(i).originalPath();
                // Rows that would act or that are blocked show the path they ask for.
                const bool asked = row.status == PlanStatus::Duplicate ||
                                   row.status == PlanStatus::Folder ||
                                   row.status == PlanStatus::Invalid;
                const QString shown = planStatusActs(row.status) || (asked && row.folder >= 0)
                                          ? plan.targetPath(plannedItems, i)
                                          : source;
                ++counts[planStatusWord(row.status)];
                if (reportAfter) {
                    planned.append({source, shown, row.status});
                    continue;
                }
                writer.write({nameField("source"_L1, source), nameField("target"_L1, shown),
                              textField("status"_L1, planStatusWord(row.status))});
            }
            writer.flush();
        });
    }
    TerminalProgress progress(err);
    if (execute)
        job.setProgress(progress.batchProgress());
    const RenameJob::Result result = job.exec();
    const int status = result == RenameJob::Result::Done && !messages.warned() ? 0 : 1;
    if (reportAfter) {
        const bool copying = options.batchMode == BatchMode::CopyToFolder;
        const bool carriedOut =
            result != RenameJob::Result::Blocked && result != RenameJob::Result::Refused;
        for (qsizetype i = 0; i < planned.size(); ++i) {
            const PlannedPaths &row = planned.at(i);
            QString error;
            if (planStatusActs(row.status) && carriedOut) {
                // The file is where the plan meant it to be, or the messages say why not.
                const bool done =
                    copying ? files.entryKind(row.target) != FileOperations::EntryKind::None
                            : job.items().at(i).originalPath() == row.target;
                if (!done)
                    error = u"not done"_s;
            } else if (planStatusActs(row.status)) {
                error = u"not started"_s;
            }
            writer.write({nameField("source"_L1, row.source),
                          nameField("target"_L1, row.target),
                          textField("status"_L1, planStatusWord(row.status)),
                          {"error"_L1, error, Field::Text, true}});
        }
        writer.writeJsonLine(jsonSummary(counts, status, job.outcome().batchId));
    } else if (json && showPlan) {
        writer.writeJsonLine(jsonSummary(counts, status));
    }
    return status;
}
