#include "engine/metadatakeywords.h"
#include "engine/namebuilder.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/testdir.h"

#include <QTest>

#include <atomic>
#include <ctime>

using namespace Qt::StringLiterals;

namespace {

// Values given by the test, one set for every file; counts the reads.
class FakeReader : public MetadataReader
{
public:
    FileMetadata values;
    mutable std::atomic<int> reads = 0;
    mutable MetadataRequest lastRequest;

    FileMetadata read(const QString &, const MetadataRequest &request) const override
    {
        ++reads;
        lastRequest = request;
        return values;
    }
};

FileMetadata sampleValues()
{
    FileMetadata values;
    values.taken = TakenTime{QDate(2025, 7, 14), QTime(18, 3, 22, 450), std::nullopt};
    values.text(MetadataField::Camera) = u"Canon EOS R6"_s;
    values.text(MetadataField::Exposure) = u"1/250"_s;
    values.text(MetadataField::Artist) = u"  The\tArtist\n"_s;
    values.text(MetadataField::Title) = u"{counter} {NAME}"_s;
    values.text(MetadataField::Track) = u"7"_s;
    values.text(MetadataField::Length) = u"3-07"_s;
    values.tags.insert(u"exif.photo.lensmodel"_s, u"RF50mm F1.8 STM"_s);
    return values;
}

} // namespace

class TestMetadataKeywords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void keywordsAndValues_data();
    void keywordsAndValues();
    void takenTimeZones_data();
    void takenTimeZones();
    void readsOnlyWhenAsked();
    void readsOncePerFileState();
    void noReaderGivesEmptyValues();

private:
    std::shared_ptr<FakeReader> m_reader;
    TestDir m_dir;
    const QStringList m_noNames = {}; // the builder keeps a reference
};

void TestMetadataKeywords::initTestCase()
{
    // Two hours east of UTC, no daylight saving.
    qputenv("TZ", "XXX-2");
    tzset();
}

void TestMetadataKeywords::init()
{
    m_reader = std::make_shared<FakeReader>();
    m_reader->values = sampleValues();
    setMetadataReader(m_reader);
}

void TestMetadataKeywords::cleanupTestCase()
{
    setMetadataReader(nullptr);
}

void TestMetadataKeywords::keywordsAndValues_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    QTest::newRow("taken-default-format") << u"{exif:taken}"_s << u"20250714.jpg"_s;
    QTest::newRow("taken-with-format") << u"{exif:taken:yyyy-MM-dd_HH-mm-ss}_{exif:camera}"_s
                                       << u"2025-07-14_18-03-22_Canon EOS R6.jpg"_s;
    QTest::newRow("taken-milliseconds") << u"{exif:taken:hhnnss.zzz}"_s << u"180322.450.jpg"_s;
    QTest::newRow("caseless") << u"{EXIF:Camera} {Audio:ARTIST}"_s
                              << u"Canon EOS R6 The Artist.jpg"_s;
    QTest::newRow("slash-cleaned") << u"{exif:exposure}"_s << u"1_250.jpg"_s;
    QTest::newRow("controls-and-ends") << u"[{audio:artist}]"_s << u"[The Artist].jpg"_s;
    QTest::newRow("value-not-read-as-keyword")
        << u"{audio:title}-{counter}"_s << u"{counter} {NAME}-001.jpg"_s;
    QTest::newRow("track-as-stored") << u"{audio:track}"_s << u"7.jpg"_s;
    QTest::newRow("track-padded") << u"{audio:track:2}"_s << u"07.jpg"_s;
    QTest::newRow("track-digits-clamped")
        << u"{audio:track:0}|{audio:track:12}"_s << u"7_0000000007.jpg"_s;
    QTest::newRow("track-digits-not-a-number") << u"{audio:track:x}"_s << u"007.jpg"_s;
    QTest::newRow("length") << u"{audio:length}"_s << u"3-07.jpg"_s;
    QTest::newRow("tag-key-caseless")
        << u"{exif:EXIF.Photo.LENSMODEL}"_s << u"RF50mm F1.8 STM.jpg"_s;
    QTest::newRow("missing-values-empty")
        << u"a{exif:lens}b{audio:album}c{exif:Xmp.dc.title}"_s << u"abc.jpg"_s;
    QTest::newRow("misspelt-stays")
        << u"{exif:camra}{audio:}{exif:taken:}"_s << u"{exif_camra}{audio_}{exif_taken_}.jpg"_s;
    QTest::newRow("not-a-tag-key")
        << u"{exif:Foo.Bar.Baz}{exif:Exif.Photo}"_s << u"{exif_Foo.Bar.Baz}{exif_Exif.Photo}.jpg"_s;
    QTest::newRow("around-other-keywords") << u"{name}_{exif:camera}_{date:}_{name:1:3}"_s
                                           << u"IMG_0001_Canon EOS R6_{date_}_IMG.jpg"_s;
    QTest::newRow("brace-inside") << u"{exif:{name}}"_s << u"{exif_IMG_0001}.jpg"_s;
}

void TestMetadataKeywords::keywordsAndValues()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);

    const QString path = m_dir.file(u"IMG_0001.jpg"_s);
    RenameOptions options;
    options.pattern = pattern;
    NameBuilder builder(options, m_noNames);
    QCOMPARE(builder.build(makeRenameItem(path), 0), expected);
}

void TestMetadataKeywords::takenTimeZones_data()
{
    QTest::addColumn<int>("offsetMinutes"); // -1 for none
    QTest::addColumn<QString>("expected");

    // 18:03:22 on the camera's clock; this machine is at UTC+2.
    QTest::newRow("no-offset-as-written") << -1 << u"2025-07-14_18-03-22"_s;
    QTest::newRow("same-offset") << 120 << u"2025-07-14_18-03-22"_s;
    QTest::newRow("utc") << 0 << u"2025-07-14_20-03-22"_s;
    QTest::newRow("east-earlier") << 9 * 60 << u"2025-07-14_11-03-22"_s;
    QTest::newRow("west-next-day") << -5 * 60 - 30 << u"2025-07-15_01-33-22"_s;
}

void TestMetadataKeywords::takenTimeZones()
{
    QFETCH(int, offsetMinutes);
    QFETCH(QString, expected);

    m_reader->values.taken = TakenTime{QDate(2025, 7, 14), QTime(18, 3, 22), std::nullopt};
    if (offsetMinutes != -1)
        m_reader->values.taken->utcOffsetSeconds = offsetMinutes * 60;
    const QString path = m_dir.file(u"photo.jpg"_s);
    RenameOptions options;
    options.pattern = u"{exif:taken:yyyy-mm-dd_hh-nn-ss}"_s;
    options.changeExt = true;
    NameBuilder builder(options, m_noNames);
    QCOMPARE(builder.build(makeRenameItem(path), 0), expected);
}

void TestMetadataKeywords::readsOnlyWhenAsked()
{
    const QString path = m_dir.file(u"song.mp3"_s);
    RenameOptions options;
    options.pattern = u"{name}_{date:yyyy}_{imgw}_{exif_camera}_{EXIF}"_s;
    NameBuilder(options, m_noNames).build(makeRenameItem(path), 0);
    QCOMPARE(m_reader->reads.load(), 0);

    options.pattern = u"{audio:artist}{exif:Exif.Image.Make}{exif:taken:yyyy}{audio:track:2}"_s;
    NameBuilder(options, m_noNames).build(makeRenameItem(path), 0);
    QCOMPARE(m_reader->reads.load(), 1);
    const MetadataRequest &asked = m_reader->lastRequest;
    QVERIFY(asked.wants(MetadataField::Artist) && asked.wants(MetadataField::Taken) &&
            asked.wants(MetadataField::Track));
    QVERIFY(!asked.wants(MetadataField::Camera));
    QCOMPARE(asked.tagKeys, QStringList{u"Exif.Image.Make"_s});
    QVERIFY(asked.wantsPhoto() && asked.wantsAudio());
}

void TestMetadataKeywords::readsOncePerFileState()
{
    RenameItems items;
    for (const QString &name : {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s})
        items.append(makeRenameItem(m_dir.file(name, "x")));
    RenameOptions options;
    options.pattern = u"{audio:artist} - {audio:title} ({audio:artist})"_s;
    RecordingMessages messages;

    QVERIFY(previewNames(items, options, {}, messages));
    QCOMPARE(m_reader->reads.load(), 3);
    QCOMPARE(items.at(0).newName, u"The Artist - {counter} {NAME} (The Artist).mp3"_s);

    // A second preview asking no more reads nothing again.
    options.pattern = u"{audio:title}"_s;
    QVERIFY(previewNames(items, options, {}, messages));
    QCOMPARE(m_reader->reads.load(), 3);

    // A file whose content or time changed is read again; so is one asked for more.
    m_dir.file(u"b.mp3"_s, "longer");
    m_dir.file(u"c.mp3"_s, "x", QDateTime::currentDateTimeUtc().addSecs(-3600));
    QVERIFY(previewNames(items, options, {}, messages));
    QCOMPARE(m_reader->reads.load(), 5);
    options.pattern = u"{audio:album}"_s;
    QVERIFY(previewNames(items, options, {}, messages));
    QCOMPARE(m_reader->reads.load(), 8);
    QVERIFY(m_reader->lastRequest.wants(MetadataField::Title));
    QVERIFY(m_reader->lastRequest.wants(MetadataField::Album));

    // A file that is gone gives empty values without asking the reader.
    QVERIFY(QFile::remove(items.at(0).originalPath()));
    QVERIFY(previewNames(items, options, {}, messages));
    QCOMPARE(m_reader->reads.load(), 8);
    QCOMPARE(items.at(0).newName, u".mp3"_s);
}

void TestMetadataKeywords::noReaderGivesEmptyValues()
{
    setMetadataReader(nullptr);
    RenameOptions options;
    options.pattern = u"{exif:camera}x{audio:track:2}"_s;
    QCOMPARE(NameBuilder(options, m_noNames).build(makeRenameItem(m_dir.file(u"a.jpg"_s)), 0),
             u"x.jpg"_s);
}

QTEST_GUILESS_MAIN(TestMetadataKeywords)
#include "tst_metadatakeywords.moc"
