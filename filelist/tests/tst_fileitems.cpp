#include "batch/filesystemview.h"
#include "filelist/fileitems.h"
#include "testsupport/testdir.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFileItems : public QObject
{
    Q_OBJECT

private slots:
    void readsSizeAndTimes();
    void refusesWhatIsNotAFile();
    void collectsFolderFiles();
    void recursionStopsAtLinkCycles();
    void linksCountAsWhatTheyNameToo();
};

void TestFileItems::readsSizeAndTimes()
{
    TestDir dir;
    const QDateTime modified(QDate(2020, 5, 17), QTime(8, 30, 15), Qt::UTC);
    const QString path = dir.file(u"photo.JPG"_s, "12345", modified);

    const std::optional<RenameItem> item = readRenameItem(path);
    QVERIFY(item);
    QCOMPARE(item->originalPath(), path);
    QCOMPARE(item->originalName(), u"photo"_s);
    QCOMPARE(item->ext(), u".JPG"_s);
    const FileFacts *facts = item->storedFacts();
    QVERIFY(facts);
    QCOMPARE(facts->size, 5);
    QCOMPARE(utcFromFileTime(facts->modifiedUtc), modified);
    QVERIFY(facts->createdUtc > FileTime{});
    QVERIFY(item->newName.isEmpty());
}

void TestFileItems::refusesWhatIsNotAFile()
{
    TestDir dir;
    QVERIFY(!readRenameItem(QString()));
    QVERIFY(!readRenameItem(dir.folder(u"sub"_s)));
    QVERIFY(!readRenameItem(dir.filePath(u"missing.txt"_s)));
}

void TestFileItems::collectsFolderFiles()
{
    TestDir dir;
    const QString top = dir.file(u"root/top.txt"_s);
    const QString hidden = dir.file(u"root/.hidden"_s);
    const QString noExt = dir.file(u"root/README"_s);
    const QString deep = dir.file(u"root/sub/deeper/deep.txt"_s);
    const QString inSub = dir.file(u"root/sub/in-sub.txt"_s);

    QStringList flat = collectFolderFiles(dir.filePath(u"root"_s), false);
    flat.sort();
    QStringList expectedFlat{top, hidden, noExt};
    expectedFlat.sort();
    QCOMPARE(flat, expectedFlat);

    // A trailing separator on the folder gives no doubled separator.
    const QStringList withSlash = collectFolderFiles(dir.filePath(u"root/"_s), false);
    QCOMPARE(withSlash.size(), 3);
    for (const QString &path : withSlash)
        QVERIFY2(!path.contains(u"//"_s), qPrintable(path));

    const QStringList all = collectFolderFiles(dir.filePath(u"root"_s), true);
    QCOMPARE(all.size(), 5);
    // Depth first: the files of sub/deeper come right after or before sub's own files,
    // never separated from them by files of root.
    const qsizetype deepAt = all.indexOf(deep);
    const qsizetype inSubAt = all.indexOf(inSub);
    QVERIFY(deepAt >= 0 && inSubAt >= 0);
    QCOMPARE(std::abs(deepAt - inSubAt), 1);

    QVERIFY(collectFolderFiles(dir.filePath(u"missing"_s), true).isEmpty());
    QVERIFY(collectFolderFiles(top, true).isEmpty());
}

void TestFileItems::recursionStopsAtLinkCycles()
{
    TestDir dir;
    const QString file = dir.file(u"loop/a.txt"_s);
    QVERIFY(QFile::link(dir.filePath(u"loop"_s), dir.filePath(u"loop/again"_s)));
    QCOMPARE(collectFolderFiles(dir.filePath(u"loop"_s), true), QStringList{file});

    // Two folders whose links lead into each other: each is walked once per path into it.
    const QString x = dir.file(u"pair/x/x.txt"_s);
    const QString y = dir.file(u"pair/y/y.txt"_s);
    QVERIFY(QFile::link(dir.filePath(u"pair/y"_s), dir.filePath(u"pair/x/to-y"_s)));
    QVERIFY(QFile::link(dir.filePath(u"pair/x"_s), dir.filePath(u"pair/y/to-x"_s)));
    QStringList pair = collectFolderFiles(dir.filePath(u"pair/x"_s), true);
    pair.sort();
    QCOMPARE(pair, (QStringList{dir.filePath(u"pair/x/to-y/y.txt"_s), x}));
}

void TestFileItems::linksCountAsWhatTheyNameToo()
{
    TestDir dir;
    const QString target = dir.file(u"elsewhere/t.txt"_s);
    const QString real = dir.file(u"top/real.txt"_s);
    QVERIFY(QFile::link(dir.filePath(u"elsewhere"_s), dir.filePath(u"top/folder-link"_s)));
    QVERIFY(QFile::link(target, dir.filePath(u"top/file-link.txt"_s)));
    QVERIFY(QFile::link(dir.filePath(u"nowhere"_s), dir.filePath(u"top/broken"_s)));

    // A link to a folder is a folder: left out of a flat walk, entered by a deep one.
    QStringList flat = collectFolderFiles(dir.filePath(u"top"_s), false);
    flat.sort();
    QCOMPARE(flat, (QStringList{dir.filePath(u"top/broken"_s), dir.filePath(u"top/file-link.txt"_s),
                                real}));
    QVERIFY(collectFolderFiles(dir.filePath(u"top"_s), true)
                .contains(dir.filePath(u"top/folder-link/t.txt"_s)));
    // Reading follows links; a broken one names nothing.
    QVERIFY(readRenameItem(dir.filePath(u"top/file-link.txt"_s)));
    QVERIFY(!readRenameItem(dir.filePath(u"top/broken"_s)));

    // The names a flat walk hands to a plan are those the plan's own read finds: links
    // are entries of their own there, and hidden names count.
    dir.folder(u"top/sub"_s);
    dir.file(u"top/.hidden"_s);
    std::optional<FolderListing> listing;
    collectFolderItems(dir.filePath(u"top"_s), false, false, &listing);
    const std::optional<FolderListing> read =
        SystemFileSystemView().listFolder(dir.filePath(u"top"_s));
    QVERIFY(listing && read);
    const auto names = [](const QString &text) {
        QStringList list = text.split(QChar(0), Qt::SkipEmptyParts);
        list.sort();
        return list;
    };
    QCOMPARE(names(listing->files), names(read->files));
    QCOMPARE(names(listing->folders), names(read->folders));
    QCOMPARE(names(listing->folders), QStringList{u"sub"_s});
    QCOMPARE(listing->maxNameBytes, read->maxNameBytes);
}

QTEST_GUILESS_MAIN(TestFileItems)
#include "tst_fileitems.moc"
