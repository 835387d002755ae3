#include "batch/batchpaths.h"
#include "controller/windowcommandline.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/testdir.h"

#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

using OptionsEdit = std::function<void(RenameOptions &)>;
Q_DECLARE_METATYPE(OptionsEdit)

namespace {
const QString noFiles = u"No files loaded. Add files first."_s;
// Names the data folder of the row, which is made when the row runs.
const QString completed = u"<completed>"_s;
} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void runs_data();
    void runs();
    void switchesAndValues();
    void failureKeepsTheProgramRunning();
    void keysAreTold_data();
    void keysAreTold();

private:
    std::unique_ptr<TestDir> m_appData;
};

void TestCommandLine::init()
{
    m_appData = std::make_unique<TestDir>();
    qputenv("APPDATA", m_appData->path().toUtf8());
}

void TestCommandLine::runs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<OptionsEdit>("expected");

    const OptionsEdit cliDefaults = [](RenameOptions &o) {
        // Absent keys that reset: find, replace, regex, newext, conflict.
        o.find.clear();
        o.replace.clear();
        o.regex = false;
        o.changeExt = false;
        o.newExt.clear();
        o.conflict = ConflictMode::AutoNumber;
    };
    const auto with = [cliDefaults](OptionsEdit edit) {
        return OptionsEdit([cliDefaults, edit](RenameOptions &o) {
            cliDefaults(o);
            edit(o);
        });
    };
    const int quit = int(CommandLineOutcome::Quit);

    QTest::newRow("no-cli") << QStringList{u"/pattern=x"_s, u"/dryrun"_s, u"-cli"_s}
                            << int(CommandLineOutcome::Inactive) << QStringList()
                            << OptionsEdit([](RenameOptions &) {});
    QTest::newRow("cli-alone") << QStringList{u"/cli"_s} << quit << QStringList{noFiles, completed}
                               << cliDefaults;
    QTest::newRow("dry-run") << QStringList{u"/cli"_s, u"/dryrun"_s} << quit << QStringList{noFiles}
                             << cliDefaults;
    QTest::newRow("any-case-switch")
        << QStringList{u"/Cli"_s, u"/DRYRUN"_s} << quit << QStringList{noFiles} << cliDefaults;
    QTest::newRow("switch-with-value-is-off")
        << QStringList{u"/cli=1"_s} << int(CommandLineOutcome::Inactive) << QStringList()
        << OptionsEdit([](RenameOptions &) {});
    QTest::newRow("pattern") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/Pattern={name}_{counter}"_s}
                             << quit << QStringList{noFiles}
                             << with([](auto &o) { o.pattern = u"{name}_{counter}"_s; });
    QTest::newRow("value-after-first-equals")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"/pattern=a=b"_s} << quit << QStringList{noFiles}
        << with([](auto &o) { o.pattern = u"a=b"_s; });
    QTest::newRow("quotes-stripped")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"/find=\"\"a b\""_s} << quit
        << QStringList{noFiles} << with([](auto &o) { o.find = u"a b"_s; });
    QTest::newRow("leading-space-kept")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"/replace= x"_s} << quit << QStringList{noFiles}
        << with([](auto &o) { o.replace = u" x"_s; });
    QTest::newRow("numbers-as-text")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"/start=abc"_s, u"/digits=20"_s} << quit
        << QStringList{noFiles} << with([](auto &o) {
               o.counterStart = u"abc"_s;
               o.digits = u"20"_s;
           });
    QTest::newRow("case-upper") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/case=UPPER"_s} << quit
                                << QStringList{noFiles}
                                << with([](auto &o) { o.caseMode = CaseMode::Upper; });
    QTest::newRow("case-unknown") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/case=caps"_s} << quit
                                  << QStringList{noFiles}
                                  << with([](auto &o) { o.caseMode = CaseMode::Unchanged; });
    QTest::newRow("case-empty-keeps") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/case="_s} << quit
                                      << QStringList{noFiles} << cliDefaults;
    QTest::newRow("conflict-skip")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"/conflict=Skip"_s} << quit << QStringList{noFiles}
        << with([](auto &o) { o.conflict = ConflictMode::Skip; });
    QTest::newRow("conflict-number") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/conflict=number"_s}
                                     << quit << QStringList{noFiles} << cliDefaults;
    QTest::newRow("new-ext") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/newext=jpg"_s} << quit
                             << QStringList{noFiles} << with([](auto &o) {
                                    o.changeExt = true;
                                    o.newExt = u"jpg"_s;
                                });
    QTest::newRow("new-ext-empty") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/newext="_s} << quit
                                   << QStringList{noFiles} << cliDefaults;
    QTest::newRow("regex-with-value-is-off") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/regex=1"_s}
                                             << quit << QStringList{noFiles} << cliDefaults;
    QTest::newRow("regex") << QStringList{u"/cli"_s, u"/dryrun"_s, u"/regex"_s} << quit
                           << QStringList{noFiles} << with([](auto &o) { o.regex = true; });
    QTest::newRow("first-value-counts")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"/find=a"_s, u"/find=b"_s} << quit
        << QStringList{noFiles} << with([](auto &o) { o.find = u"a"_s; });
    QTest::newRow("hyphen-keys-ignored")
        << QStringList{u"/cli"_s, u"/dryrun"_s, u"--find=a"_s, u"-find=b"_s} << quit
        << QStringList{noFiles} << cliDefaults;
}

void TestCommandLine::runs()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QStringList, messages);
    QFETCH(OptionsEdit, expected);

    // Start from options that differ from every value the keys may set.
    RenameOptions options;
    options.find = u"f"_s;
    options.replace = u"r"_s;
    options.regex = true;
    options.changeExt = true;
    options.newExt = u"png"_s;
    options.conflict = ConflictMode::Overwrite;
    options.caseMode = CaseMode::Title;
    RenameOptions wanted = options;
    expected(wanted);

    RenameItems items;
    RecordingMessages recorder;
    SystemFileOperations files;
    QCOMPARE(int(runCommandLine(arguments, options, items, {}, recorder, files)), outcome);
    messages.replaceInStrings(completed, batchCompletedText());
    QCOMPARE(recorder.texts(), messages);
    QCOMPARE(options, wanted);
    // With an empty list no log is written, nor one removed.
    QVERIFY(!QFile::exists(undoLogPath()));
}

void TestCommandLine::switchesAndValues()
{
    const QStringList arguments{u"/Find=x"_s, u"/KEY"_s, u"/İ=dotted"_s};
    QVERIFY(hasSwitch(arguments, u"key"_s));
    QVERIFY(!hasSwitch(arguments, u"find"_s));
    QCOMPARE(argumentValue(arguments, u"find"_s, u"d"_s), u"x"_s);
    QCOMPARE(argumentValue(arguments, u"none"_s, u"d"_s), u"d"_s);
    QCOMPARE(argumentValue({u"/a=\"\""_s}, u"a"_s, u"d"_s), QString());
}

void TestCommandLine::failureKeepsTheProgramRunning()
{
    TestDir dir;
    RenameItems items{makeRenameItem(dir.file(u"a.txt"_s))};
    RenameOptions options;
    RecordingMessages recorder;
    SystemFileOperations files;
    const QStringList arguments{u"/cli"_s, u"/regex"_s, u"/find=(a"_s};
    QCOMPARE(runCommandLine(arguments, options, items, {}, recorder, files),
             CommandLineOutcome::Failed);
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.front().kind, u"error"_s);
    QVERIFY(recorder.entries.front().text.startsWith(u"Error in regular expression at offset 2"_s));
    QCOMPARE(options.find, u"(a"_s);

    // With a list, the unattended run renames.
    const QStringList rename{u"/cli"_s, u"/pattern=b"_s};
    QCOMPARE(runCommandLine(rename, options, items, {}, recorder, files), CommandLineOutcome::Quit);
    QVERIFY(QFile::exists(dir.filePath(u"b.txt"_s)));
    QVERIFY(QFile::exists(undoLogPath()));

    // An empty new name is an invalid name, as tessaly-cli says, not a missing preview.
    recorder.entries.clear();
    QCOMPARE(runCommandLine({u"/cli"_s, u"/pattern="_s}, options, items, {}, recorder, files),
             CommandLineOutcome::Quit);
    QCOMPARE(recorder.entries.size(), 1);
    QVERIFY2(recorder.entries.front().text.endsWith(u"b.txt -> .txt: Invalid name"_s),
             qPrintable(recorder.entries.front().text));
    QVERIFY(QFile::exists(dir.filePath(u"b.txt"_s)));
}

void TestCommandLine::keysAreTold_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("key");

    QTest::newRow("cli") << u"/cli"_s << true;
    QTest::newRow("switch-any-case") << u"/DryRun"_s << true;
    QTest::newRow("valued") << u"/Pattern={name}"_s << true;
    QTest::newRow("valued-empty") << u"/newext="_s << true;
    QTest::newRow("unknown-switch") << u"/verbose"_s << false;
    QTest::newRow("valued-key-without-value") << u"/find"_s << false;
    QTest::newRow("switch-with-value") << u"/regex=1"_s << false;
    QTest::newRow("absolute-path") << u"/home/ann/cli"_s << false;
    QTest::newRow("path-below-a-key-name") << u"/cli/a.txt"_s << false;
    QTest::newRow("relative-path") << u"pattern=x"_s << false;
}

// What the window's start takes for a path and what it leaves to the unattended run.
void TestCommandLine::keysAreTold()
{
    QFETCH(QString, argument);
    QFETCH(bool, key);
    QCOMPARE(isCommandLineKey(argument), key);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_windowcommandline.moc"
