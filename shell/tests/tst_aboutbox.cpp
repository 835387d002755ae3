#include "optionsdialog/optionsdialog.h"
#include "shell/aboutbox.h"
#include "shell/mainwindow.h"
#include "shell/messageboxes.h"
#include "shell/startup.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/recordingshell.h"
#include "testsupport/usegerman.h"
#include "testsupport/windowtests.h"
#include "translation/translation.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

// The catalogue the program ships, as it reads it beside itself.
TranslationCatalogue shippedCatalogue()
{
    QFile file(QStringLiteral(TESSALY_CATALOGUE));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", TESSALY_CATALOGUE);
    const std::optional<TranslationCatalogue> catalogue =
        parseCatalogue(QString::fromUtf8(file.readAll()));
    if (!catalogue)
        qFatal("%s is no catalogue", TESSALY_CATALOGUE);
    return *catalogue;
}

qsizetype languageColumn(const TranslationCatalogue &catalogue, const QString &code)
{
    for (qsizetype c = 0; c < catalogue.languageCount(); ++c) {
        if (catalogue.code(c) == code)
            return c;
    }
    return -1;
}

} // namespace

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void aboutText_data();
    void aboutText();
    void patternHelp_data();
    void patternHelp();
    void patternHelpRightToLeft();
    void mainWindowShowsBoth();
    void patternHelpFitsTheScreen();
};

void TestAboutBox::initTestCase()
{
    dropSizeHintMessages();
    // The program's own look, so that the screenshot shows what a user sees.
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    applyApplicationFont(*app);
    RecordingMessages messages;
    QVERIFY(applyVisualStyle(*app, messages));
}

void TestAboutBox::cleanup()
{
    setTranslationState({}, 0, u"en"_s);
    applyLanguageToQt();
}

void TestAboutBox::aboutText_data()
{
    QTest::addColumn<bool>("german");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("english") << false
                             << QStringList{
                                    u"Tessaly"_s,
                                    u"Version: 2.3"_s,
                                    u""_s,
                                    u"Website: tessaly.org"_s,
                                    u""_s,
                                    u"This software is provided \"as is\", without warranty of "
                                    u"any kind."_s,
                                    u"You use it at your own risk."_s,
                                    u"The author is not liable for lost data or any other "
                                    u"damage caused by its use."_s,
                                    u"Keep a backup of important files before you rename them."_s,
                                    u""_s,
                                    u"© 2031 Quenwick. All rights reserved."_s,
                                };
    QTest::newRow("german")
        << true
        << QStringList{
               u"Tessaly"_s,
               u"Version: 2.3"_s,
               u""_s,
               u"Webseite: tessaly.org"_s,
               u""_s,
               u"Diese Software wird ohne jede Gewährleistung bereitgestellt."_s,
               u"Sie benutzen sie auf eigene Gefahr."_s,
               u"Der Autor haftet nicht für verlorene Daten oder andere "
               u"Schäden durch ihre Benutzung."_s,
               u"Sichern Sie wichtige Dateien, bevor Sie sie umbenennen."_s,
               u""_s,
               u"© 2031 Quenwick. Alle Rechte vorbehalten."_s,
           };
}

void TestAboutBox::aboutText()
{
    QFETCH(bool, german);
    QFETCH(QStringList, lines);

    if (german)
        useGerman({
            {u"Website:"_s, u"Webseite:"_s},
            {u"This software is provided \"as is\", without warranty of any kind."_s,
             u"Diese Software wird ohne jede Gewährleistung bereitgestellt."_s},
            {u"You use it at your own risk."_s, u"Sie benutzen sie auf eigene Gefahr."_s},
            {u"The author is not liable for lost data or any other damage caused by its use."_s,
             u"Der Autor haftet nicht für verlorene Daten oder andere Schäden durch ihre "
             u"Benutzung."_s},
            {u"Keep a backup of important files before you rename them."_s,
             u"Sichern Sie wichtige Dateien, bevor Sie sie umbenennen."_s},
            {u"All rights reserved."_s, u"Alle Rechte vorbehalten."_s},
            {u"Tessaly"_s, u"Tessalie"_s},
        });
    const QString text = ::aboutText(2031);
    QVERIFY(!text.endsWith(u'\n'));
    QCOMPARE(text.split(u"\r\n"_s), lines);
}

void TestAboutBox::patternHelp_data()
{
    QTest::addColumn<QString>("code");
    QTest::newRow("english") << u"en"_s;
    QTest::newRow("german") << u"de"_s;
    QTest::newRow("japanese") << u"jp"_s;
}

// Each line of the help is an example, shown as it is, or a sentence of the catalogue in
// the current language after the keywords it explains: no English sentence left
// untranslated, no text the catalogue lacks, and keywords never translated.
void TestAboutBox::patternHelp()
{
    QFETCH(QString, code);
    TranslationCatalogue catalogue = shippedCatalogue();
    const QStringList &sources = catalogue.columns.front();
    setTranslationState(catalogue, 0, u"en"_s);
    const QStringList english = patternHelpText().split(u"\r\n"_s);
    const qsizetype column = languageColumn(catalogue, code);
    QVERIFY(column >= 0);
    setTranslationState(catalogue, int(column), code);
    const QString text = patternHelpText();
    QVERIFY(!text.endsWith(u'\n'));
    const QStringList lines = text.split(u"\r\n"_s);
    QCOMPARE(lines.size(), english.size());

    static const QRegularExpression example(uR"(^\S*\{\S+\}\S*$)"_s);
    static const QRegularExpression keywords(uR"(^\{.*? - )"_s);
    QStringList fixedParts;
    for (qsizetype i = 0; i < english.size(); ++i) {
        const QString &line = english.at(i);
        // The sentence is the whole line, or what follows the keywords it explains.
        const QRegularExpressionMatch explained = keywords.match(line);
        const QString fixed =
            sources.indexOf(line) < 2 && explained.hasMatch() ? explained.captured() : QString();
        const qsizetype record = sources.indexOf(line.mid(fixed.size()));
        if (record < 2) { // records 0 and 1 are the languages' names and codes
            QVERIFY2(line.isEmpty() || example.match(line).hasMatch(),
                     qPrintable(u"not in the catalogue: "_s + line));
            QCOMPARE(lines.at(i), line);
            fixedParts.append(line);
        } else {
            QCOMPARE(lines.at(i), fixed + catalogue.entry(column, record));
            fixedParts.append(fixed);
        }
    }

    // A catalogue that also translated the keywords and examples changes none of them.
    fixedParts.removeAll(QString());
    for (qsizetype c = 0; c < catalogue.languageCount(); ++c)
        catalogue.columns[c] += c == 0 ? fixedParts : QStringList(fixedParts.size(), u"X"_s);
    setTranslationState(catalogue, int(column), code);
    QCOMPARE(patternHelpText(), text);
}

void TestAboutBox::patternHelpRightToLeft()
{
    const QString length = u"playing time in minutes and seconds (3-07)"_s;
    TranslationCatalogue catalogue;
    catalogue.columns = {
        {u"English"_s, u"en"_s, length, u"file name after string replacement"_s},
        {u"العربية"_s, u"ar"_s, u"مدة التشغيل بالدقائق والثواني (3-07)"_s,
         u"اسم الملف بعد الاستبدال"_s},
    };
    const qsizetype englishLines = patternHelpText().split(u"\r\n"_s).size();
    setTranslationState(catalogue, 1, u"ar"_s);
    applyLanguageToQt();
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::RightToLeft);

    const QStringList lines = patternHelpText().split(u"\r\n"_s);
    QCOMPARE(lines.size(), englishLines);
    // Every line starts right to left, so that all stand at the right edge.
    for (const QString &line : lines)
        QVERIFY2(line.isEmpty() || line.isRightToLeft(), qPrintable(line));
    const QChar lri(0x2066);
    const QChar pdi(0x2069);
    const QString rlm(QChar(0x200F));
    QVERIFY(lines.contains(rlm + lri + u"{counter}_{name}"_s + pdi));
    QVERIFY(lines.contains(rlm + lri + u"{name}"_s + pdi + u" - اسم الملف بعد الاستبدال"_s));

    // Laid out as the box lays it out, the example reads 3-07, left to right, between the
    // Arabic words.
    const QString *lengthLine = nullptr;
    for (const QString &line : lines) {
        if (line.contains(u"{audio:length}"_s))
            lengthLine = &line;
    }
    QVERIFY(lengthLine);
    QTextLayout layout(*lengthLine, QApplication::font());
    QTextOption option;
    option.setTextDirection(Qt::RightToLeft);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine().setLineWidth(2000);
    layout.endLayout();
    const qsizetype three = lengthLine->indexOf(u"3-07"_s);
    QVERIFY(three > 0);
    QVERIFY(lengthLine->at(three - 1) == lri);
    const QTextLine line = layout.lineAt(0);
    // Between "3" and "-", then between "0" and "7": left to right.
    QVERIFY2(line.cursorToX(int(three + 1)) < line.cursorToX(int(three + 3)),
             "3 stands right of 07");

    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    const auto help = makeMessageBox(QMessageBox::Information, patternHelpText(), QMessageBox::Ok);
    help->show();
    QVERIFY(QTest::qWaitForWindowExposed(help.get()));
    QVERIFY(help->grab().save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/pattern-help-arabic.png")));
}

void TestAboutBox::mainWindowShowsBoth()
{
    RecordingMessages messages;
    RecordingShell shell;
    OptionsDialog settings;
    MainWindow form(settings, messages, shell);

    const int yearBefore = QDate::currentDate().year();
    form.findChild<QAbstractButton *>(u"aboutToolButton"_s)->click();
    form.findChild<QAction *>(u"aboutAction"_s)->trigger();
    form.findChild<QAbstractButton *>(u"patternHelpButton"_s)->click();
    const int yearAfter = QDate::currentDate().year();

    QCOMPARE(messages.entries.size(), 3);
    for (const RecordingMessages::Entry &entry : std::as_const(messages.entries))
        QCOMPARE(entry.kind, u"info"_s);
    // The year comes from the clock at the click.
    const QString about = messages.entries.at(0).text;
    QVERIFY2(about == ::aboutText(yearBefore) || about == ::aboutText(yearAfter),
             qPrintable(about));
    QCOMPARE(messages.entries.at(1).text, about);
    QCOMPARE(messages.entries.at(2).text, patternHelpText());
}

// On any screen, the scaled one of its second run included, the help box shows its OK
// button, and all of its text, scrolled where the screen is too low for it.
void TestAboutBox::patternHelpFitsTheScreen()
{
    const auto help = makeMessageBox(QMessageBox::Information, patternHelpText(), QMessageBox::Ok);
    help->show();
    QVERIFY(QTest::qWaitForWindowExposed(help.get()));
    const QRect available = help->screen()->availableGeometry();
    QVERIFY2(available.contains(help->frameGeometry()),
             qPrintable(u"%1x%2 on %3x%4"_s.arg(help->frameGeometry().width())
                            .arg(help->frameGeometry().height())
                            .arg(available.width())
                            .arg(available.height())));
    QAbstractButton *ok = help->button(QMessageBox::Ok);
    QVERIFY(help->rect().contains(QRect(ok->mapTo(help.get(), QPoint(0, 0)), ok->size())));
    auto *label = help->findChild<QLabel *>(u"qt_msgbox_label"_s);
    QVERIFY(label);
    QTRY_VERIFY(label->height() >= label->heightForWidth(label->width()));
    auto *scroll = help->findChild<QScrollArea *>();
    if (available.height() < 600) {
        QVERIFY(scroll && scroll->widget() == label);
        // As wide as its lines and as high as the screen allows, less the frame.
        QCOMPARE(label->width(), scroll->viewport()->width());
        QVERIFY(label->width() >=
                label->fontMetrics().horizontalAdvance(u"{modified:yyyy-MM-dd_HH-mm-ss}"_s));
        QVERIFY(help->height() >= available.height() - 40);
    }
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    const QString shot = QStringLiteral(TESSALY_SCREENSHOT_DIR "/pattern-help-") +
                         QString::number(available.width()) + u'x' +
                         QString::number(available.height()) + u".png"_s;
    QVERIFY(help->grab().save(shot));
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
