#include "cli/clicommand.h"
#include "filelist/presets.h"
#include "testsupport/testdir.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QProcess>
#include <QScopeGuard>
#include <QBuffer>
#include <QTest>
#include <QTextStream>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void previews_data();
    void previews();
    void foldersAndDuplicates();
    void folderFactsReadWhenAsked_data();
    void folderFactsReadWhenAsked();
    void tsvPrintsFullPaths();
    void failures_data();
    void failures();
    void presetsAndNameLists();
    void everySwitchIsSaved();
    void executesAndUndoes();
    void undoAfterABatchOfNothing();
    void historyUndoAndRedo();
    void namesAnyoneChose();
    void plans_data();
    void plans();
    void stoppedRunsFail_data();
    void stoppedRunsFail();
    void namesThatAreNotUtf8();
    void namesThatAreNotUtf8Edited_data();
    void namesThatAreNotUtf8Edited();

private:
    int run(const QStringList &arguments);

    std::unique_ptr<TestDir> m_dir;
    QString m_savedCurrent;
    QString m_out;
    QString m_err;
};

void TestCli::init()
{
    m_dir = std::make_unique<TestDir>();
    m_dir->file(u"a.txt"_s);
    m_dir->file(u"b.txt"_s);
    m_dir->file(u"a-b 12.txt"_s, "1234");
    m_dir->file(u"sub/c.txt"_s);
    m_dir->file(u"sub/deep/d.txt"_s);
    m_savedCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
}

void TestCli::cleanup()
{
    QDir::setCurrent(m_savedCurrent);
    m_dir.reset();
}

int TestCli::run(const QStringList &arguments)
{
    m_err.clear();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QTextStream err(&m_err);
    const int status = runCliCommand(QStringList{u"tessaly-cli"_s} + arguments, out, err);
    err.flush();
    m_out = QString::fromUtf8(out.data());
    return status;
}

void TestCli::previews_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("counter-and-upper")
        << QStringList{u"--pattern"_s, u"{counter}_{name}"_s, u"--case"_s, u"upper"_s, u"a.txt"_s,
                       u"b.txt"_s}
        << u"a.txt -> 001_A.txt\nb.txt -> 002_B.txt\n"_s;
    QTest::newRow("argument-order-is-list-order")
        << QStringList{u"--pattern={counter}"_s, u"b.txt"_s, u"a.txt"_s}
        << u"b.txt -> 001.txt\na.txt -> 002.txt\n"_s;
    QTest::newRow("empty-pattern")
        << QStringList{u"--pattern"_s, u""_s, u"a.txt"_s} << u"a.txt -> .txt\n"_s;
    QTest::newRow("empty-new-ext-removes")
        << QStringList{u"--new-ext"_s, u""_s, u"a.txt"_s} << u"a.txt -> a\n"_s;
    QTest::newRow("new-ext") << QStringList{u"--new-ext"_s, u" md"_s, u"a.txt"_s}
                             << u"a.txt -> a.md\n"_s;
    QTest::newRow("value-starting-with-dash")
        << QStringList{u"--find"_s, u"-"_s, u"--replace"_s, u"--"_s, u"a-b 12.txt"_s}
        << u"a-b 12.txt -> a--b 12.txt\n"_s;
    QTest::newRow("regex-and-title")
        << QStringList{u"--regex"_s, u"--find"_s, u"(\\d+)"_s, u"--replace"_s,
                       u"x$1"_s,     u"--case"_s, u"Title"_s,  u"a-b 12.txt"_s}
        << u"a-b 12.txt -> A-B X12.txt\n"_s;
    QTest::newRow("name-operations")
        << QStringList{u"--remove-first=2"_s, u"--remove-last=1"_s, u"--insert-text=#"_s,
                       u"--insert-pos=50"_s,  u"--pad-numbers=4"_s, u"a-b 12.txt"_s}
        << u"a-b 12.txt -> b 0001#.txt\n"_s;
    QTest::newRow("range-chars-spaces-markers")
        << QStringList{u"--remove-from= 1 "_s, u"--remove-till=1"_s, u"--remove-chars=2"_s,
                       u"--collapse-spaces"_s, u"--trim-from=1"_s,   u"--trim-until=-"_s,
                       u"a-b 12.txt"_s}
        << u"a-b 12.txt -> b .txt\n"_s;
    QTest::newRow("numbers-read-as-settings")
        << QStringList{u"--pattern={counter}"_s, u"--counter-start=abc"_s, u"--digits=20"_s,
                       u"a.txt"_s}
        << u"a.txt -> 0000000001.txt\n"_s;
    QTest::newRow("size-keyword") << QStringList{u"--pattern={size}"_s, u"a-b 12.txt"_s}
                                  << u"a-b 12.txt -> 4.txt\n"_s;
}

void TestCli::previews()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QCOMPARE(run(arguments), 0);
    QCOMPARE(m_out, expected);
    QCOMPARE(m_err, QString());
}

void TestCli::foldersAndDuplicates()
{
    QCOMPARE(run({u"sub"_s, u"sub/c.txt"_s, u"./sub/../sub/c.txt"_s}), 0);
    QCOMPARE(m_out, u"c.txt -> c.txt\n"_s);

    QCOMPARE(run({u"--recursive"_s, u"sub"_s}), 0);
    QStringList lines = m_out.split(u'\n', Qt::SkipEmptyParts);
    std::sort(lines.begin(), lines.end());
    QCOMPARE(lines, (QStringList{u"c.txt -> c.txt"_s, u"d.txt -> d.txt"_s}));
}

// A folder's files are listed without their sizes and times, which are read only when
// the names need them, also when a file's own name brings the keyword in.
void TestCli::folderFactsReadWhenAsked_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("size") << u"{name}-{size}"_s << u"x{size}.txt -> x3-3.txt\n"_s;
    QTest::newRow("keyword-from-the-name") << u"{name}"_s << u"x{size}.txt -> x3.txt\n"_s;
    QTest::newRow("modified") << u"{modified:yyyy}_{modified}"_s
                              << u"x{size}.txt -> 2001_20010203.txt\n"_s;
}

void TestCli::folderFactsReadWhenAsked()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    m_dir->file(u"facts/x{size}.txt"_s, "123", QDateTime(QDate(2001, 2, 3), QTime(12, 0)));
    QCOMPARE(run({u"--pattern"_s, pattern, u"facts"_s}), 0);
    QCOMPARE(m_out, expected);
}

void TestCli::tsvPrintsFullPaths()
{
    QCOMPARE(run({u"--tsv"_s, u"--pattern=x"_s, u"a.txt"_s, m_dir->filePath(u"b.txt"_s)}), 0);
    QCOMPARE(m_out, m_dir->filePath(u"a.txt"_s) + u"\tx.txt\n"_s + m_dir->filePath(u"b.txt"_s) +
                        u"\tx.txt\n"_s);
}

void TestCli::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    QTest::newRow("invalid-regex")
        << QStringList{u"--regex"_s, u"--find=(a"_s, u"a.txt"_s} << 1
        << u"Error in regular expression at offset 2: missing closing parenthesis"_s;
    QTest::newRow("nothing-found")
        << QStringList{u"missing.txt"_s} << 1 << u"No files loaded. Add files first."_s;
    QTest::newRow("missing-path-named")
        << QStringList{u"a.txt"_s, u"gone.txt"_s} << 0 << u"no such file or folder: gone.txt"_s;
    QTest::newRow("no-paths") << QStringList{u"--pattern=x"_s} << 2 << u"no file or folder given"_s;
    QTest::newRow("unknown-option")
        << QStringList{u"--bogus"_s, u"a.txt"_s} << 2 << u"Unknown option 'bogus'"_s;
    QTest::newRow("missing-value")
        << QStringList{u"a.txt"_s, u"--find"_s} << 2 << u"Missing value after '--find'"_s;
    QTest::newRow("bad-case") << QStringList{u"--case=caps"_s, u"a.txt"_s} << 2
                              << u"unknown case mode \"caps\""_s;
    QTest::newRow("null-and-json") << QStringList{u"-z"_s, u"--json"_s, u"a.txt"_s} << 2
                                   << u"--null and --json do not go together"_s;
    QTest::newRow("history-with-files")
        << QStringList{u"--history"_s, u"a.txt"_s} << 2 << u"--history takes no files"_s;
    QTest::newRow("redo-with-files")
        << QStringList{u"--redo=x"_s, u"a.txt"_s} << 2 << u"--redo takes no files"_s;
    QTest::newRow("undo-with-files") << QStringList{u"--undo"_s, u"a.txt"_s, u"b.txt"_s} << 2
                                     << u"--undo takes one batch id at most"_s;
}

void TestCli::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QCOMPARE(run(arguments), status);
    QVERIFY2(m_err.contains(message), qPrintable(m_err));
    if (status != 0)
        QCOMPARE(m_out, QString());
    if (status == 2)
        QVERIFY2(m_err.contains(u"--pattern <TEXT>"_s), "bad usage shows the usage text");
}

void TestCli::presetsAndNameLists()
{
    // Options given with --save-preset are kept; given again later they can be overridden.
    QCOMPARE(run({u"--save-preset=p.json"_s, u"--pattern={counter}-{name}"_s, u"--case=upper"_s,
                  u"--regex"_s, u"--find=\\W"_s, u"--replace=+"_s, u"a-b 12.txt"_s}),
             0);
    QCOMPARE(m_out, u"a-b 12.txt -> 001+A+B+12.txt\n"_s);
    QCOMPARE(run({u"--preset=p.json"_s, u"b.txt"_s}), 0);
    QCOMPARE(m_out, u"b.txt -> 001+B.txt\n"_s);
    QCOMPARE(run({u"--preset=p.json"_s, u"--case=lower"_s, u"b.txt"_s}), 0);
    QCOMPARE(m_out, u"b.txt -> 001+b.txt\n"_s);

    m_dir->file(u"names.csv"_s, "first,x\nsecond\n");
    QCOMPARE(run({u"--name-list=names.csv"_s, u"--pattern={list}|{name}"_s, u"a.txt"_s, u"b.txt"_s,
                  u"sub/c.txt"_s}),
             0);
    QCOMPARE(m_out, u"a.txt -> first_first.txt\nb.txt -> second_second.txt\nc.txt -> _c.txt\n"_s);

    QCOMPARE(run({u"--preset=none.json"_s, u"a.txt"_s}), 1);
    QVERIFY2(m_err.startsWith(u"The specified file was not found"_s), qPrintable(m_err));
}

// --save-preset saves the options every other switch gave, wherever it stands.
void TestCli::everySwitchIsSaved()
{
    QStringList arguments{u"--save-preset=all.json"_s};
    RenameOptions expected;
    for (const OptionField &field : renameOptionFields()) {
        if (field.cliSwitch.isEmpty())
            continue;
        const QString name = u"--"_s + field.cliSwitch.toString();
        switch (field.kind) {
        case OptionKind::Text:
            expected.*field.text = u"t_"_s + field.presetKey.toString();
            arguments.append(name + u'=' + expected.*field.text);
            break;
        case OptionKind::Number:
            expected.*field.text = u"7"_s;
            arguments.append(name + u"=7"_s);
            break;
        case OptionKind::Flag:
            expected.*field.flag = true;
            arguments.append(name);
            break;
        case OptionKind::Choice:
            expected.*field.choice = int(field.choiceWords.size() - 1);
            arguments.append(name + u'=' + field.choiceWords.back().toString().toUpper());
            break;
        }
        if (field.switchAlsoSets)
            expected.*field.switchAlsoSets = true;
    }
    arguments.append(u"a.txt"_s);
    QCOMPARE(run(arguments), 0);
    QCOMPARE(loadPresetFile(m_dir->filePath(u"all.json"_s), RenameOptions()), expected);
    // The extension switch turns its check box on.
    QVERIFY(expected.changeExt && expected.newExt == u"t_newExt"_s);
}

void TestCli::executesAndUndoes()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    QCOMPARE(run({u"-x"_s, u"--pattern=n{counter}"_s, u"--mode=copy"_s, u"--destination=out"_s,
                  u"a.txt"_s, u"b.txt"_s}),
             0);
    QVERIFY(QFile::exists(m_dir->filePath(u"out/n001.txt"_s)));
    QVERIFY(QFile::exists(m_dir->filePath(u"a.txt"_s)));
    QCOMPARE(m_err, u"Batch completed. The undo log is in "_s + appData.path() +
                        u"/Quenwick/Tessaly.\n"_s);

    QCOMPARE(run({u"--undo"_s}), 0);
    QVERIFY(!QFile::exists(m_dir->filePath(u"out/n001.txt"_s)));
    QCOMPARE(m_err, u"Undo completed for the last rename operation.\n"_s);

    QCOMPARE(run({u"--execute"_s, u"--pattern=b"_s, u"--conflict=skip"_s, u"a.txt"_s}), 0);
    QVERIFY(QFile::exists(m_dir->filePath(u"a.txt"_s)));
    QCOMPARE(run({u"--execute"_s, u"--mode=move"_s, u"a.txt"_s}), 1);
    QCOMPARE(m_err, u"Please select a destination folder for Copy/Move mode.\n"_s);

    // A failing batch reports the error and exits with 1.
    QFile::remove(m_dir->filePath(u"b.txt"_s));
    QCOMPARE(run({u"-x"_s, u"--pattern=z"_s, u"--mode=move"_s, u"--destination=/proc/none"_s,
                  u"a.txt"_s}),
             1);
    QVERIFY2(m_err.contains(u"The specified path was not found"_s), qPrintable(m_err));
    QCOMPARE(run({u"--undo"_s, u"a.txt"_s}), 1);
    QCOMPARE(m_err, u"No batch a.txt in the history.\n"_s);
    QCOMPARE(run({u"--undo"_s, u"a.txt"_s, u"b.txt"_s}), 2);
    QCOMPARE(run({u"--mode=sideways"_s, u"a.txt"_s}), 2);
}

// A batch that finds nothing to do keeps the previous log: the undo still brings the
// files back. An undo that cannot bring every file back says how many and fails.
void TestCli::undoAfterABatchOfNothing()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_dir->file(u"sub/c.txt"_s, "c");
    const QString sub = m_dir->filePath(u"sub"_s);
    QCOMPARE(run({u"-x"_s, u"--pattern"_s, u"x_{name}"_s, sub}), 0);
    QVERIFY(QFile::exists(m_dir->filePath(u"sub/x_c.txt"_s)));
    QCOMPARE(run({u"-x"_s, sub}), 0);
    QCOMPARE(run({u"--undo"_s}), 0);
    QCOMPARE(m_err, u"Undo completed for the last rename operation.\n"_s);
    QVERIFY(QFile::exists(m_dir->filePath(u"sub/c.txt"_s)));
    QVERIFY(QFile::exists(m_dir->filePath(u"sub/deep/d.txt"_s)));

    QCOMPARE(run({u"-x"_s, u"--pattern"_s, u"y_{name}"_s, sub}), 0);
    QVERIFY(QFile::remove(m_dir->filePath(u"sub/y_c.txt"_s)));
    QCOMPARE(run({u"--undo"_s}), 1);
    QCOMPARE(m_err, u"1 of 1 files could not be brought back: their files are gone or another "
                    u"file has their old name.\n"_s);
    QVERIFY(!QFile::exists(appData.filePath(u"Quenwick/Tessaly/last_rename.csv"_s)));
}

// The history as a script reads it, an undo planned and printed without a change, then
// undone and carried out again, each by the batch's id.
void TestCli::historyUndoAndRedo()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    QCOMPARE(run({u"--history"_s}), 0);
    QCOMPARE(m_out, QString());
    QCOMPARE(run({u"-x"_s, u"--pattern=x_{name}"_s, u"a.txt"_s, u"b.txt"_s}), 0);
    QCOMPARE(
        run({u"-x"_s, u"--pattern=y_{name}"_s, u"--mode=move"_s, u"--destination=out"_s, u"sub"_s}),
        0);

    QCOMPARE(run({u"--history"_s}), 0);
    const QStringList lines = m_out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList newest = lines.at(0).split(u'\t');
    const QStringList oldest = lines.at(1).split(u'\t');
    QCOMPARE(newest.size(), 6);
    QCOMPARE(newest.mid(2), (QStringList{u"move"_s, u"1"_s, u"done"_s, m_dir->filePath(u"sub"_s)}));
    QCOMPARE(oldest.mid(2), (QStringList{u"rename"_s, u"2"_s, u"done"_s, m_dir->path()}));
    QVERIFY(QDateTime::fromString(oldest.at(1), Qt::ISODate).isValid());
    const QString id = oldest.at(0);

    QCOMPARE(run({u"--plan"_s, u"--undo"_s, id}), 0);
    QCOMPARE(m_out, u"%1/x_a.txt\t%1/a.txt\trestore\n%1/x_b.txt\t%1/b.txt\trestore\n"_s.arg(
                        m_dir->path()));
    QVERIFY(QFile::exists(m_dir->filePath(u"x_a.txt"_s)));

    QCOMPARE(run({u"--undo"_s, id}), 0);
    QVERIFY(QFile::exists(m_dir->filePath(u"a.txt"_s)));
    QVERIFY(QFile::exists(m_dir->filePath(u"out/y_c.txt"_s)));
    QCOMPARE(run({u"--redo"_s, u"nothing-here"_s}), 1);
    QCOMPARE(m_err, u"No batch nothing-here in the history.\n"_s);
    QCOMPARE(run({u"--redo"_s, id}), 0);
    QVERIFY(QFile::exists(m_dir->filePath(u"x_b.txt"_s)));
    QCOMPARE(run({u"--history"_s}), 0);
    QCOMPARE(m_out.count(u'\n'), 3);
    QVERIFY(m_out.section(u'\n', 2, 2).startsWith(id + u'\t'));
    QVERIFY(m_out.section(u'\n', 2, 2).contains(u"\tundone\t"_s));

    QCOMPARE(run({u"--undo"_s, id}), 0);
    QCOMPARE(m_err, u"Batch %1 is undone already.\n"_s.arg(id));
    QVERIFY(QFile::exists(m_dir->filePath(u"x_b.txt"_s)));

    // The newest batch not undone is the redo; then the move.
    QCOMPARE(run({u"--undo"_s}), 0);
    QCOMPARE(run({u"--undo"_s}), 0);
    QVERIFY(QFile::exists(m_dir->filePath(u"a.txt"_s)));
    QVERIFY(QFile::exists(m_dir->filePath(u"sub/c.txt"_s)));
    QCOMPARE(run({u"--history"_s, u"a.txt"_s}), 2);
}

// Names chosen by whoever put the files there, through the real tessaly-cli: quoted on a
// terminal, today's bytes into a pipe, their very bytes with --null, and read back whole
// from --json.
void TestCli::namesAnyoneChose()
{
    struct Name
    {
        QByteArray bytes;
        QByteArray onTerminal; // the line printed for it on a terminal
    };
    const QList<Name> names{
        {"esc\x1b[31mred.txt", "'esc'$'\\033''[31mred.txt' -> 'x_esc'$'\\033''[31mred.txt'"},
        {"bel\x07.txt", "'bel'$'\\a''.txt' -> 'x_bel'$'\\a''.txt'"},
        {"new\nline.txt", "'new'$'\\n''line.txt' -> 'x_new'$'\\n''line.txt'"},
        {"tab\there.txt", "'tab'$'\\t''here.txt' -> 'x_tab'$'\\t''here.txt'"},
        {"invoice\xE2\x80\xAE"
         "fdp.exe",
         "'invoice'$'\\342\\200\\256''fdp.exe' -> 'x_invoice'$'\\342\\200\\256''fdp.exe'"},
        {"caf\xE9.txt", "'caf'$'\\351''.txt' -> 'x_caf'$'\\351''.txt'"},
        {"it's \xE2\x80\x8B"
         "plain.txt",
         "it's \xE2\x80\x8B"
         "plain.txt -> x_it's \xE2\x80\x8B"
         "plain.txt"},
    };
    TestDir folder;
    const QByteArray root = QFile::encodeName(folder.path());
    // Qt's own removal cannot name every one of them.
    const auto removeNames = qScopeGuard([&] {
        for (const Name &name : names)
            ::unlink((root + '/' + name.bytes).constData());
    });
    for (const Name &name : names) {
        const int fd = ::open((root + '/' + name.bytes).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    const QString cli = QStringLiteral(TESSALY_CLI);
    const auto runCli = [&](const QStringList &arguments) {
        QProcess process;
        process.start(cli, arguments + QStringList{u"--pattern=x_{name}"_s, folder.path()});
        process.waitForFinished(30000);
        return process.readAllStandardOutput();
    };
    const auto sortedLines = [](const QByteArray &text, char end) {
        QByteArrayList lines = text.split(end);
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        std::sort(lines.begin(), lines.end());
        return lines;
    };

    // On a terminal (script gives the program a pseudo-terminal, which ends lines CR LF).
    if (!QStandardPaths::findExecutable(u"script"_s).isEmpty()) {
        QProcess script;
        script.start(u"script"_s,
                     {u"-qc"_s, u'\'' + cli + u"' --pattern='x_{name}' '"_s + folder.path() + u'\'',
                      u"/dev/null"_s});
        QVERIFY(script.waitForFinished(30000));
        QByteArrayList expected;
        for (const Name &name : names)
            expected.append(name.onTerminal + '\r');
        std::sort(expected.begin(), expected.end());
        QCOMPARE(sortedLines(script.readAllStandardOutput(), '\n'), expected);
    }

    // Into a pipe: as scripts have always read it (not UTF-8: U+FFFD).
    const QByteArray piped = runCli({});
    QVERIFY(piped.contains("esc\x1b[31mred.txt -> x_esc\x1b[31mred.txt\n"));
    QVERIFY(piped.contains("caf\xEF\xBF\xBD.txt -> x_caf\xEF\xBF\xBD.txt\n"));

    // --null: every field ends with NUL, every name its bytes.
    QByteArrayList expected;
    for (const Name &name : names)
        expected << root + '/' + name.bytes << "x_" + name.bytes;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(sortedLines(runCli({u"--null"_s, u"--tsv"_s}), '\0'), expected);

    // --json: each name back byte for byte, from the text or from its base64 bytes.
    QByteArrayList fromJson;
    const QByteArrayList lines = runCli({u"--json"_s}).split('\n');
    for (const QByteArray &line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(u"counts"_s)) {
            QCOMPARE(object.value(u"counts"_s).toObject().value(u"preview"_s).toInt(),
                     names.size());
            QCOMPARE(object.value(u"exit"_s).toInt(), 0);
            continue;
        }
        if (line.isEmpty())
            continue;
        for (const QString &key : {u"source"_s, u"target"_s}) {
            const QString bytesKey = key + u"_bytes"_s;
            fromJson << (object.contains(bytesKey)
                             ? QByteArray::fromBase64(object.value(bytesKey).toString().toLatin1())
                             : object.value(key).toString().toUtf8());
        }
    }
    QByteArrayList expectedPaths;
    for (const Name &name : names)
        expectedPaths << root + '/' + name.bytes << root + "/x_" + name.bytes;
    std::sort(fromJson.begin(), fromJson.end());
    std::sort(expectedPaths.begin(), expectedPaths.end());
    QCOMPARE(fromJson, expectedPaths);
}

void TestCli::plans_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("printed"); // <d> stands for the folder
    QTest::addColumn<QString>("reason");  // the start of stderr

    QTest::newRow("swap") << QStringList{u"--pattern={list}"_s, u"--name-list=names.txt"_s,
                                         u"a.txt"_s, u"b.txt"_s}
                          << 0 << u"<d>/a.txt\t<d>/b.txt\trename\n<d>/b.txt\t<d>/a.txt\trename\n"_s
                          << QString();
    // Renamed, and told: the new name shows as "xexe.pdf".
    QTest::newRow("hidden-characters")
        << QStringList{u"--pattern=x\u202Efdp"_s, u"--new-ext=exe"_s, u"a.txt"_s} << 0
        << u"<d>/a.txt\t<d>/x\u202Efdp.exe\thidden-characters\n"_s << QString();
    QTest::newRow("overwrite-of-a-listed-name")
        << QStringList{u"--pattern=b"_s, u"--conflict=overwrite"_s, u"a.txt"_s, u"b.txt"_s} << 1
        << u"<d>/a.txt\t<d>/b.txt\tduplicate\n<d>/b.txt\t<d>/b.txt\tduplicate\n"_s
        << u"Nothing was renamed. Files that cannot get the names shown: 2"_s;
    QTest::newRow("skip-and-number")
        << QStringList{u"--pattern=b"_s, u"--conflict=skip"_s, u"a.txt"_s} << 0
        << u"<d>/a.txt\t<d>/a.txt\tskip\n"_s << QString();
    QTest::newRow("empty-name") << QStringList{u"--pattern="_s, u"a.txt"_s} << 1
                                << u"<d>/a.txt\t<d>/.txt\tinvalid\n"_s << u"Nothing was renamed."_s;
    QTest::newRow("empty-list") << QStringList{u"sub/deep/none"_s, u"empty"_s} << 1 << QString()
                                << u"tessaly-cli: no such file or folder: sub/deep/none"_s;
}

// --plan shows every row's outcome, and --execute carries out exactly that.
void TestCli::plans()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, printed);
    QFETCH(QString, reason);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    m_dir->file(u"names.txt"_s, "b\na\n");
    m_dir->file(u"a.txt"_s, "aa"); // told apart from b.txt by its size
    m_dir->folder(u"empty"_s);
    const auto tree = [&] {
        QStringList files;
        QDirIterator it(m_dir->path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            file.open(QIODevice::ReadOnly);
            files.append(it.filePath().mid(m_dir->path().size() + 1) + u'=' +
                         QString::number(file.size()));
        }
        files.sort();
        return files;
    };
    const QStringList before = tree();
    printed.replace(u"<d>"_s, m_dir->path());

    QCOMPARE(run(QStringList{u"--plan"_s} + arguments), status);
    QCOMPARE(m_out, printed);
    QVERIFY2(m_err.startsWith(reason), qPrintable(m_err));
    QCOMPARE(tree(), before);

    QCOMPARE(run(QStringList{u"--plan"_s, u"-x"_s} + arguments), status);
    QCOMPARE(m_out, printed);
    for (const QString &line : printed.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList columns = line.split(u'\t');
        if (columns.at(2) == u"rename"_s && columns.at(0).endsWith(u"/a.txt"_s))
            QCOMPARE(QFileInfo(columns.at(1)).size(), 2);
    }
    if (status != 0)
        QCOMPARE(tree(), before);
}

void TestCli::stoppedRunsFail_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("message");

    QTest::newRow("no-destination")
        << QStringList{u"-x"_s, u"--mode=move"_s, u"a.txt"_s} << QByteArray()
        << u"Please select a destination folder for Copy/Move mode.\n"_s;
    QTest::newRow("empty-new-name")
        << QStringList{u"-x"_s, u"--pattern="_s, u"--new-ext="_s, u"a.txt"_s} << QByteArray()
        << u"Nothing was renamed. Files that cannot get the names shown: 1\n\na.txt -> : Invalid "
           u"name\n"_s;
    QTest::newRow("garbage-log")
        << QStringList{u"--undo"_s} << "Original,New\r\nnot a record\r\n\"/x\",\"/y"_ba
        << u"Lines of the undo log that could not be read were passed over: 2.\n"
           "Undo completed for the last rename operation.\n"_s;
}

// A run that stopped short or passed over part of its work ends with status 1.
void TestCli::stoppedRunsFail()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, log);
    QFETCH(QString, message);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    if (!log.isEmpty())
        appData.file(u"Quenwick/Tessaly/last_rename.csv"_s, log);
    QCOMPARE(run(arguments), 1);
    QCOMPARE(m_err, message);
    QVERIFY(QFile::exists(m_dir->filePath(u"a.txt"_s)));
}

namespace {

// The files of a folder by the bytes of their names, with their contents.
QMap<QByteArray, QByteArray> rawFolder(const QByteArray &folder)
{
    QMap<QByteArray, QByteArray> files;
    DIR *dir = ::opendir(folder.constData());
    while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] == '.')
            continue;
        QFile file;
        const int fd = ::open((folder + '/' + entry->d_name).constData(), O_RDONLY);
        file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        files.insert(entry->d_name, file.readAll());
    }
    if (dir)
        ::closedir(dir);
    return files;
}

void writeRaw(const QByteArray &path, const QByteArray &content)
{
    QFile file;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    file.write(content);
}

} // namespace

// Latin-1 names from an old disk: each is listed as itself, shown with a replacement
// mark, repaired by a find and replace of its byte, logged with its exact bytes and
// brought back by the undo. The byte arrives through the real program's arguments.
void TestCli::namesThatAreNotUtf8()
{
    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    const QByteArray folder = QFile::encodeName(m_dir->folder(u"old"_s));
    // Qt's own removal cannot reach these names.
    const auto removeAll = qScopeGuard([&] {
        for (const QByteArray &entry : rawFolder(folder).keys())
            ::unlink((folder + '/' + entry).constData());
    });
    writeRaw(folder + "/caf\xE9.txt", "e-acute");
    writeRaw(folder + "/caf\xE8.txt", "e-grave");
    const auto start = rawFolder(folder);

    QProcess cli;
    cli.start(u"sh"_s,
              {u"-c"_s, u"exec \"$0\" -x --find \"$(printf '\\351')\" --replace \u00E9 \"$1\""_s,
               QStringLiteral(TESSALY_CLI), QString::fromUtf8(folder)});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    QByteArrayList lines = cli.readAllStandardOutput().split('\n');
    std::sort(lines.begin(), lines.end());
    QCOMPARE(lines, (QByteArrayList{"", "caf\xEF\xBF\xBD.txt -> caf\xC3\xA9.txt",
                                    "caf\xEF\xBF\xBD.txt -> caf\xEF\xBF\xBD.txt"}));
    QCOMPARE(rawFolder(folder), (QMap<QByteArray, QByteArray>{{"caf\xC3\xA9.txt", "e-acute"},
                                                              {"caf\xE8.txt", "e-grave"}}));
    QFile log(appData.filePath(u"Quenwick/Tessaly/last_rename.csv"_s));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), "\xEF\xBB\xBFOriginal,New\r\n\"" + folder + "/caf\xE9.txt\",\"" +
                                folder + "/caf\xC3\xA9.txt\"\r\n");

    QCOMPARE(run({u"--undo"_s}), 0);
    QCOMPARE(rawFolder(folder), start);
}

void TestCli::namesThatAreNotUtf8Edited_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("renamed");

    const QByteArray name = "caf\xE9 noir.txt";
    QTest::newRow("upper") << name << "x"_ba << QStringList{u"--case=upper"_s}
                           << "CAF\xE9 NOIR.txt"_ba;
    QTest::newRow("title") << name << "x"_ba << QStringList{u"--case=title"_s}
                           << "Caf\xE9 Noir.txt"_ba;
    QTest::newRow("find-replace") << name << "x"_ba
                                  << QStringList{u"--find=noir"_s, u"--replace=blanc"_s}
                                  << "caf\xE9 blanc.txt"_ba;
    QTest::newRow("regex") << name << "x"_ba
                           << QStringList{u"--regex"_s, u"--find=^(\\w+)"_s, u"--replace=$1e"_s}
                           << "cafe\xE9 noir.txt"_ba;
    QTest::newRow("pattern") << name << "x"_ba << QStringList{u"--pattern={counter}_{name}"_s}
                             << "001_caf\xE9 noir.txt"_ba;
    QTest::newRow("byte-replaced")
        << name << "x"_ba << QStringList{u"--find="_s + QChar(0xDCE9), u"--replace=\u00E9"_s}
        << "caf\xC3\xA9 noir.txt"_ba;
    // A picture header read through the name's bytes.
    const QByteArray png = "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x03\0\0\0\x02"_ba;
    QTest::newRow("picture-size") << "caf\xE9.png"_ba << png
                                  << QStringList{u"--pattern={imgw}x{imgh}_{name}"_s}
                                  << "3x2_caf\xE9.png"_ba;
}

// The operations work on the rest of the name and keep the byte that is not UTF-8.
void TestCli::namesThatAreNotUtf8Edited()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, renamed);

    TestDir appData;
    qputenv("APPDATA", appData.path().toUtf8());
    const QByteArray folder = QFile::encodeName(m_dir->folder(u"old"_s));
    const auto removeAll = qScopeGuard([&] {
        for (const QByteArray &entry : rawFolder(folder).keys())
            ::unlink((folder + '/' + entry).constData());
    });
    writeRaw(folder + '/' + name, content);
    QCOMPARE(run(QStringList{u"-x"_s} + arguments + QStringList{u"old"_s}), 0);
    QCOMPARE(rawFolder(folder).keys(), QByteArrayList{renamed});
    QCOMPARE(run({u"--undo"_s}), 0);
    QCOMPARE(rawFolder(folder).keys(), QByteArrayList{name});
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
