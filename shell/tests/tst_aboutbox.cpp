#include "shell/aboutbox.h"
#include "shell/messageboxes.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/recordingshell.h"
#include "shell/startup.h"
#include "translation/translation.h"
#include "testsupport/usegerman.h"
#include "shell/mainwindow.h"
#include "optionsdialog/optionsdialog.h"
#include "testsupport/windowtests.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

const QStringList englishPatternHelp{
    u"Pattern defines how the new file name will be built."_s,
    u""_s,
    u"You can combine plain text with keywords in braces."_s,
    u"Examples:"_s,
    u"{counter}_{name}"_s,
    u"yourprefix_{name}"_s,
    u"{name}_{imgw}x{imgh}"_s,
    u""_s,
    u"Supported keywords:"_s,
    u"{name} - file name after string replacement"_s,
    u"{ext} - original file extension without dot"_s,
    u"{counter} - auto-increment number"_s,
    u"{date} - current date"_s,
    u"{time} - current time"_s,
    u"{created} - file creation date"_s,
    u"{modified} - file modification date"_s,
    u"{parent}/{folder} - parent folder name"_s,
    u"{size} - file size in bytes"_s,
    u"{list} - imported name list entry"_s,
    u"{imgw}/{imgh} - image width/height when available"_s,
    u"{counter} and {list} follow the list from top to bottom, in the order shown."_s,
    u""_s,
    u"Formatting examples:"_s,
    u"{date:yyyy-MM-dd}"_s,
    u"{created:yyyyMMdd}"_s,
    u"{modified:yyyy-MM-dd_HH-mm-ss}"_s,
    u"{name:1:8} - substring of the original name"_s,
    u""_s,
    u"Keywords from inside the files (empty when a file lacks the value):"_s,
    u"{exif:taken}, {exif:taken:yyyy-MM-dd_HH-mm-ss} - when the photo was taken"_s,
    u"{exif:camera} - camera make and model"_s,
    u"{exif:lens}, {exif:iso}, {exif:fnumber}, {exif:exposure}, {exif:focal} - lens and exposure settings"_s,
    u"{exif:width}/{exif:height} - photo width/height as it is shown"_s,
    u"{exif:Exif.Photo.LensModel} - any Exif, IPTC or XMP key"_s,
    u"{audio:artist}, {audio:albumartist}, {audio:album}, {audio:title} - artist, album artist, album and title"_s,
    u"{audio:track}, {audio:track:2}, {audio:disc} - track number (padded to 2 digits) and disc number"_s,
    u"{audio:year}, {audio:genre} - year and genre"_s,
    u"{audio:length} - playing time in minutes and seconds (3-07)"_s,
};

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
    void screenshot();
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
    QTest::addColumn<bool>("german");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("english") << false << englishPatternHelp;
    // Only the sentences change; keyword names and examples stay as they are.
    QStringList german = englishPatternHelp;
    german[8] = u"Unterstützte Schlüsselwörter:"_s;
    german[9] = u"{name} - Dateiname nach dem Ersetzen"_s;
    german[26] = u"{name:1:8} - Teil des ursprünglichen Namens"_s;
    QTest::newRow("german") << true << german;
}

void TestAboutBox::patternHelp()
{
    QFETCH(bool, german);
    QFETCH(QStringList, lines);

    if (german)
        useGerman({{u"Supported keywords:"_s, u"Unterstützte Schlüsselwörter:"_s},
                   {u"file name after string replacement"_s, u"Dateiname nach dem Ersetzen"_s},
                   {u"substring of the original name"_s, u"Teil des ursprünglichen Namens"_s},
                   {u"{name} - "_s, u"{Name} - "_s}});
    const QString text = patternHelpText();
    QVERIFY(!text.endsWith(u'\n'));
    QCOMPARE(text.split(u"\r\n"_s), lines);
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
    setTranslationState(catalogue, 1, u"ar"_s);
    applyLanguageToQt();
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::RightToLeft);

    const QStringList lines = patternHelpText().split(u"\r\n"_s);
    QCOMPARE(lines.size(), englishPatternHelp.size());
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

void TestAboutBox::screenshot()
{
    QDir().mkpath(QStringLiteral(TESSALY_SCREENSHOT_DIR));
    // The box as the program's messages show it, grabbed without waiting for a click.
    QMessageBox about(QMessageBox::Information, ApplicationTitle, ::aboutText(), QMessageBox::Ok);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QString aboutShot = QStringLiteral(TESSALY_SCREENSHOT_DIR "/about-box.png");
    QVERIFY(about.grab().save(aboutShot));

    QMessageBox help(QMessageBox::Information, ApplicationTitle, patternHelpText(),
                     QMessageBox::Ok);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const QString helpShot = QStringLiteral(TESSALY_SCREENSHOT_DIR "/pattern-help.png");
    QVERIFY(help.grab().save(helpShot));
    qInfo("screenshots: %s, %s", qPrintable(aboutShot), qPrintable(helpShot));
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
