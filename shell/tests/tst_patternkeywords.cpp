#include "optionsdialog/optionsdialog.h"
#include "shell/mainwindow.h"
#include "shell/patternkeywords.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/recordingshell.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPatternKeywords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void offersKeywords_data();
    void offersKeywords();
    void choosingReplacesTypedPart_data();
    void choosingReplacesTypedPart();
    void mainWindowPatternOffersThem();
};

void TestPatternKeywords::initTestCase()
{
    // The offscreen platform cannot raise the list or give it the keyboard; it shows it.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.contains(u"does not support"_s))
                previous(type, context, message);
        });
}

void TestPatternKeywords::offersKeywords_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("offered"); // empty: no list shown

    QTest::newRow("exif-camera") << u"x_{exif:ca"_s << QStringList{u"{exif:camera}"_s};
    QTest::newRow("caseless") << u"{AUDIO:TR"_s
                              << QStringList{u"{audio:track}"_s, u"{audio:track:2}"_s};
    QTest::newRow("after-closed-keyword") << u"{name}_{cou"_s << QStringList{u"{counter}"_s};
    QTest::newRow("outside-braces") << u"{name}_ca"_s << QStringList{};
    QTest::newRow("nothing-fits") << u"{zzz"_s << QStringList{};
}

void TestPatternKeywords::offersKeywords()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, offered);

    QLineEdit field;
    auto *keywords = new PatternKeywordCompleter(&field);
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    QTest::keyClicks(&field, typed);
    QCompleter *completer = keywords->completer();
    QCOMPARE(completer->popup()->isVisible(), !offered.isEmpty());
    if (offered.isEmpty())
        return;
    QStringList shown;
    for (int row = 0; completer->setCurrentRow(row); ++row)
        shown.append(completer->currentCompletion());
    QCOMPARE(shown, offered);
}

void TestPatternKeywords::choosingReplacesTypedPart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");

    QTest::newRow("at-end") << u"IMG_{exif:ta"_s << 12 << u"{exif:taken}"_s
                            << u"IMG_{exif:taken}"_s;
    QTest::newRow("before-other-keyword")
        << u"{aud_{name}"_s << 4 << u"{audio:artist}"_s << u"{audio:artist}_{name}"_s;
    QTest::newRow("inside-closed-keyword")
        << u"{aud}.x"_s << 4 << u"{audio:artist}"_s << u"{audio:artist}.x"_s;
}

void TestPatternKeywords::choosingReplacesTypedPart()
{
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(QString, chosen);
    QFETCH(QString, expected);

    QLineEdit field;
    auto *keywords = new PatternKeywordCompleter(&field);
    field.setText(text);
    field.setCursorPosition(cursor);
    emit keywords->completer()->activated(chosen);
    QCOMPARE(field.text(), expected);
    QCOMPARE(field.cursorPosition(), int(expected.indexOf(u'}') + 1));
}

void TestPatternKeywords::mainWindowPatternOffersThem()
{
    RecordingMessages messages;
    RecordingShell shell;
    OptionsDialog settings;
    MainWindow form(settings, messages, shell);
    auto *pattern = form.findChild<QLineEdit *>(u"patternEdit"_s);
    QVERIFY(pattern->findChild<PatternKeywordCompleter *>());
}

QTEST_MAIN(TestPatternKeywords)
#include "tst_patternkeywords.moc"
