// Measures how many items per second the preview names, and how fast a large folder
// enters the file list. Each scenario runs several times; the best run is reported.

#include "batch/batchrunner.h"
#include "batch/filesystemview.h"
#include "batch/history.h"
#include "batch/renameplan.h"
#include "batch/undo.h"
#include "bench/filelistbench.h"
#include "bench/silentmessages.h"
#include "engine/namebuilder.h"
#include "engine/usermessages.h"
#include "filelist/fileitems.h"
#include "filelist/naturalorder.h"
#include "metadata/metadatareaders.h"
#include "metadata/samplefiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <functional>
#include <numeric>
#include <random>

using namespace Qt::StringLiterals;

namespace {

RenameItems syntheticItems(int count)
{
    static const QStringList stems{u"IMG_"_s, u"holiday photo "_s, u"Report-final v"_s, u"scan"_s,
                                   u"track "_s};
    static const QStringList exts{u".jpg"_s, u".png"_s, u".pdf"_s, u".mp3"_s, u""_s};
    RenameItems items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name = stems.at(i % stems.size()) + QString::number(i * 7919 % 100000);
        RenameItem item =
            makeRenameItem(u"/home/user/pictures/2026/"_s + name + exts.at(i / 3 % exts.size()));
        // Creation times spread over three years from March 2023, across daylight-saving
        // changes.
        const qint64 day = 19431 + i % 1100;
        setItemFacts(item,
                     {1000 + i, fileTimeFromUnixMs(day * 86400000 + qint64(i % 86400) * 1000), {}});
        items.append(item);
    }
    return items;
}

// Previews items once per round and returns the best time in nanoseconds.
qint64 bestPreview(const RenameItems &source, const RenameOptions &options, int rounds,
                   QString *sample)
{
    SilentMessages messages;
    qint64 bestNs = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        RenameItems items = source;
        items.detach();
        QElapsedTimer timer;
        timer.start();
        previewNames(items, options, {}, messages);
        bestNs = std::min(bestNs, timer.nsecsElapsed());
        const RenameItem &shown = items.at(1);
        *sample = shown.fileName + u" -> "_s + shown.newName;
    }
    return bestNs;
}

// 1,000 real pictures (half PNG, half JPEG, 1600 x 1200): their sizes read from the
// headers by the preview, against decoding every picture.
void pictureSizes(QTextStream &out, int rounds)
{
    QTemporaryDir dir;
    QImage picture(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 255 / 1600, y * 255 / 1200, (x ^ y) & 0xFF));
    }
    const QString png = dir.filePath(u"model.png"_s);
    const QString jpg = dir.filePath(u"model.jpg"_s);
    picture.save(png);
    picture.save(jpg, "jpg", 90);
    RenameItems items;
    for (int i = 0; i < 1000; ++i) {
        const QString path = dir.filePath(
            u"photo%1%2"_s.arg(i, 4, 10, QLatin1Char('0')).arg(i % 2 ? u".jpg"_s : u".png"_s));
        QFile::copy(i % 2 ? jpg : png, path);
        items.append(makeRenameItem(path));
    }

    RenameOptions options;
    options.pattern = u"{imgw}x{imgh}_{name}"_s;
    QString sample;
    const qint64 headerNs = bestPreview(items, options, rounds, &sample);

    qint64 decodeNs = std::numeric_limits<qint64>::max();
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        qint64 pixels = 0;
        for (const RenameItem &item : items)
            pixels += QImage(item.originalPath()).width();
        decodeNs = std::min(decodeNs, timer.nsecsElapsed());
        if (pixels != 1600 * 1000)
            out << "decoding failed\n";
    }
    out << qSetFieldWidth(44) << Qt::left << "(e) {imgw}x{imgh}_{name}, 1,000 pictures"
        << qSetFieldWidth(0) << QString::number(1000 / (double(headerNs) / 1e9), 'f', 0)
        << " items/s   (" << sample << ")\n";
    out << qSetFieldWidth(44) << Qt::left << "    decoding the same pictures" << qSetFieldWidth(0)
        << QString::number(1000 / (double(decodeNs) / 1e9), 'f', 0) << " pictures/s, headers are "
        << QString::number(double(decodeNs) / double(headerNs), 'f', 0) << "x faster\n";
    out.flush();
}

// Seconds of the best of rounds exiftool runs over a folder, after a first run that
// warms the cache; a negative value when exiftool is not installed.
double exiftoolSeconds(const QString &folder, const QStringList &tags, int rounds)
{
    double best = 1e9;
    for (int round = 0; round <= rounds; ++round) {
        QProcess exiftool;
        QElapsedTimer timer;
        timer.start();
        exiftool.start(u"exiftool"_s,
                       QStringList{u"-fast"_s, u"-q"_s} + tags + QStringList{folder});
        if (!exiftool.waitForFinished(-1) || exiftool.exitStatus() != QProcess::NormalExit ||
            exiftool.error() == QProcess::FailedToStart)
            return -1;
        if (round > 0)
            best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

// Previews items with the metadata cache emptied before each round, so that every
// round reads every file (from the system's warm file cache); files per second.
double metadataFilesPerSecond(const RenameItems &items, const QString &pattern, int rounds,
                              QString *sample)
{
    RenameOptions options;
    options.pattern = pattern;
    SilentMessages messages;
    double best = 0;
    for (int round = 0; round <= rounds; ++round) {
        RenameItems previewed = items;
        clearMetadataCache();
        QElapsedTimer timer;
        timer.start();
        previewNames(previewed, options, {}, messages);
        const double perSecond = items.size() / (double(timer.nsecsElapsed()) / 1e9);
        if (round > 0)
            best = std::max(best, perSecond);
        *sample = previewed.at(1).fileName + u" -> "_s + previewed.at(1).newName;
    }
    return best;
}

// 1,000 camera photos (1600 x 1200 JPEG with a camera's Exif and a thumbnail) and 1,000
// tagged songs (MP3, FLAC and Ogg Vorbis, 20 s each), named by their tags, against
// exiftool reading the same tags from the same folders.
void metadataKeywords(QTextStream &out, int rounds)
{
    installMetadataReader();
    QTemporaryDir dir;
    const QString photos = dir.filePath(u"photos"_s);
    const QString music = dir.filePath(u"music"_s);
    QDir().mkpath(photos);
    QDir().mkpath(music);
    const QString model = dir.filePath(u"model.jpg"_s);
    const SampleTags camera{
        {u"Exif.Image.Make"_s, u"Canon"_s},
        {u"Exif.Image.Model"_s, u"Canon EOS R6"_s},
        {u"Exif.Image.Orientation"_s, u"1"_s},
        {u"Exif.Image.XResolution"_s, u"72/1"_s},
        {u"Exif.Image.YResolution"_s, u"72/1"_s},
        {u"Exif.Image.Software"_s, u"Firmware Version 1.8.1"_s},
        {u"Exif.Image.Artist"_s, u"Ann Example"_s},
        {u"Exif.Image.Copyright"_s, u"Ann Example"_s},
        {u"Exif.Photo.ExposureTime"_s, u"1/250"_s},
        {u"Exif.Photo.FNumber"_s, u"28/10"_s},
        {u"Exif.Photo.ExposureProgram"_s, u"3"_s},
        {u"Exif.Photo.ISOSpeedRatings"_s, u"400"_s},
        {u"Exif.Photo.OffsetTimeOriginal"_s, u"+02:00"_s},
        {u"Exif.Photo.SubSecTimeOriginal"_s, u"45"_s},
        {u"Exif.Photo.ShutterSpeedValue"_s, u"8/1"_s},
        {u"Exif.Photo.ApertureValue"_s, u"3/1"_s},
        {u"Exif.Photo.ExposureBiasValue"_s, u"0/1"_s},
        {u"Exif.Photo.MeteringMode"_s, u"5"_s},
        {u"Exif.Photo.Flash"_s, u"16"_s},
        {u"Exif.Photo.FocalLength"_s, u"105/1"_s},
        {u"Exif.Photo.ColorSpace"_s, u"1"_s},
        {u"Exif.Photo.PixelXDimension"_s, u"1600"_s},
        {u"Exif.Photo.PixelYDimension"_s, u"1200"_s},
        {u"Exif.Photo.BodySerialNumber"_s, u"012345678901"_s},
        {u"Exif.Photo.LensModel"_s, u"RF24-105mm F4 L IS USM"_s},
        {u"Exif.Photo.LensSerialNumber"_s, u"0000c1234"_s},
        {u"Exif.GPSInfo.GPSVersionID"_s, u"2 3 0 0"_s},
        {u"Exif.GPSInfo.GPSLatitudeRef"_s, u"N"_s},
        {u"Exif.GPSInfo.GPSLatitude"_s, u"46/1 57/1 1234/100"_s},
        {u"Exif.GPSInfo.GPSLongitudeRef"_s, u"E"_s},
        {u"Exif.GPSInfo.GPSLongitude"_s, u"7/1 26/1 4321/100"_s},
        {u"Xmp.xmp.Rating"_s, u"3"_s},
    };
    if (!writeSampleJpeg(model, QSize(1600, 1200), camera, true)) {
        out << "(h) could not write the sample photos\n";
        return;
    }
    QFile modelFile(model);
    modelFile.open(QIODevice::ReadOnly);
    const QByteArray modelBytes = modelFile.readAll();
    RenameItems photoItems;
    for (int i = 0; i < 1000; ++i) {
        const QString path = photos + u"/IMG_%1.JPG"_s.arg(i + 1, 4, 10, QLatin1Char('0'));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(modelBytes);
        file.close();
        const QDateTime taken = QDateTime(QDate(2025, 7, 14), QTime(9, 0)).addSecs(i * 37);
        writePhotoTags(
            path, {{u"Exif.Photo.DateTimeOriginal"_s, taken.toString(u"yyyy:MM:dd HH:mm:ss"_s)},
                   {u"Exif.Photo.DateTimeDigitized"_s, taken.toString(u"yyyy:MM:dd HH:mm:ss"_s)}});
        photoItems.append(makeRenameItem(path));
    }
    RenameItems songItems;
    for (int i = 0; i < 1000; ++i) {
        const QString ext = QStringList{u"mp3"_s, u"flac"_s, u"ogg"_s}.at(i % 3);
        const QString path = music + u"/track%1.%2"_s.arg(i + 1, 4, 10, QLatin1Char('0')).arg(ext);
        const bool written = ext == u"mp3"_s    ? writeSilentMp3(path, 20)
                             : ext == u"flac"_s ? writeSilentFlac(path, 20)
                                                : writeSilentOgg(path, 20);
        if (!written || !writeAudioTags(path, {{u"ARTIST"_s, u"Artist %1"_s.arg(i % 40)},
                                               {u"TITLE"_s, u"Song number %1"_s.arg(i)},
                                               {u"ALBUM"_s, u"Album %1"_s.arg(i / 12)},
                                               {u"TRACKNUMBER"_s, u"%1/12"_s.arg(i % 12 + 1)},
                                               {u"DATE"_s, u"2019"_s},
                                               {u"GENRE"_s, u"Jazz"_s}})) {
            out << "(h) could not write the sample songs\n";
            return;
        }
        songItems.append(makeRenameItem(path));
    }

    // exiftool's own start (Perl and its modules) counts, as a user running it pays it;
    // the rate without it is shown beside.
    QDir().mkpath(dir.filePath(u"empty"_s));
    const double exiftoolStart = exiftoolSeconds(dir.filePath(u"empty"_s), {}, 3);
    const auto report = [&](const char *label, double ours, const QString &sample,
                            const char *exiftoolLabel, double theirSeconds) {
        out << qSetFieldWidth(50) << Qt::left << label << qSetFieldWidth(0)
            << QString::number(ours, 'f', 0) << " files/s   (" << sample << ")\n";
        out << qSetFieldWidth(50) << Qt::left << exiftoolLabel << qSetFieldWidth(0);
        if (theirSeconds > 0) {
            const double theirs = 1000 / theirSeconds;
            out << QString::number(theirs, 'f', 0) << " files/s ("
                << QString::number(1000 / std::max(theirSeconds - exiftoolStart, 1e-9), 'f', 0)
                << " without its start), Tessaly is " << QString::number(ours / theirs, 'f', 1)
                << "x faster\n";
        } else {
            out << "exiftool is not installed (scripts/bench installs it)\n";
        }
        out.flush();
    };
    QString sample;
    const double photosPerSecond = metadataFilesPerSecond(
        photoItems, u"{exif:taken:yyyy-MM-dd_HH-mm-ss}_{name}"_s, rounds, &sample);
    report("(h) {exif:taken:...}_{name}, 1,000 photos", photosPerSecond, sample,
           "    exiftool -fast -DateTimeOriginal",
           exiftoolSeconds(photos, {u"-DateTimeOriginal"_s}, 3));
    const double songsPerSecond =
        metadataFilesPerSecond(songItems, u"{audio:artist} - {audio:title}"_s, rounds, &sample);
    report("(h) {audio:artist} - {audio:title}, 1,000 songs", songsPerSecond, sample,
           "    exiftool -fast -Artist -Title",
           exiftoolSeconds(music, {u"-Artist"_s, u"-Title"_s}, 3));

    // A second preview of the same files reads nothing again.
    RenameOptions options;
    options.pattern = u"{exif:taken:yyyy-MM-dd_HH-mm-ss}_{name}"_s;
    SilentMessages messages;
    RenameItems again = photoItems;
    previewNames(again, options, {}, messages);
    QElapsedTimer timer;
    timer.start();
    previewNames(again, options, {}, messages);
    out << qSetFieldWidth(50) << Qt::left << "    the same photos previewed again"
        << qSetFieldWidth(0) << QString::number(1000 / (double(timer.nsecsElapsed()) / 1e9), 'f', 0)
        << " files/s (values kept while size and time stay)\n";
    out.flush();
}

// A folder of count one-byte files under root; returns their paths.
QStringList makeFiles(const QString &folder, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString path = folder + u"/file %1.dat"_s.arg(i);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
        ::write(fd, "x", 1);
        ::close(fd);
        paths.append(path);
    }
    return paths;
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// Renames count files in place and undoes it, against a bare loop of renameat2 calls
// over as many files, on /dev/shm; best of three rounds, each on fresh folders.
void batchAndUndo(QTextStream &out, int count)
{
    QTemporaryDir root(u"/dev/shm/tessaly-bench-XXXXXX"_s);
    qputenv("APPDATA", root.filePath(u"appdata"_s).toUtf8());
    double bareSeconds = 1e9;
    double planSeconds = 1e9;
    double batchSeconds = 1e9;
    double undoSeconds = 1e9;
    for (int round = 0; round < 3; ++round) {
        const QString prefix = u"%1-"_s.arg(round);
        const QStringList bare = makeFiles(root.filePath(prefix + u"bare"_s), count);
        QElapsedTimer timer;
        timer.start();
        for (const QString &path : bare) {
            const QByteArray from = QFile::encodeName(path);
            const QByteArray to =
                QFile::encodeName(folderPart(path) + u"r_"_s + fileNamePart(path));
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        }
        bareSeconds = std::min(bareSeconds, seconds(timer));

        RenameItems items;
        for (const QString &path : makeFiles(root.filePath(prefix + u"batch"_s), count))
            items.append(makeRenameItem(path));
        RenameOptions options;
        options.pattern = u"{counter}_{name}"_s;
        options.digits = u"6"_s;
        SilentMessages messages;
        SystemFileOperations files;
        previewNames(items, options, {}, messages);
        timer.start();
        SystemFileSystemView view;
        const RenamePlan plan = planBatch(items, options, view, true);
        planSeconds = std::min(planSeconds, seconds(timer));
        timer.start();
        executePlan(items, plan, options, messages, files);
        batchSeconds = std::min(batchSeconds, seconds(timer));
        timer.start();
        undoLastBatch(messages, files);
        undoSeconds = std::min(undoSeconds, seconds(timer));
    }

    const auto ratio = [&](double value) { return QString::number(value / bareSeconds, 'f', 2); };
    out << "(f) rename in place " << count << " files: bare renameat2 loop "
        << QString::number(bareSeconds, 'f', 3) << " s, plan "
        << QString::number(planSeconds, 'f', 3) << " s, batch "
        << QString::number(batchSeconds, 'f', 3) << " s (plan + batch "
        << ratio(planSeconds + batchSeconds) << "x), undo planned and carried out "
        << QString::number(undoSeconds, 'f', 3) << " s (" << ratio(undoSeconds) << "x, "
        << QString::number(undoSeconds / (planSeconds + batchSeconds), 'f', 2)
        << "x plan + batch)\n";
    out.flush();
}

// The history as people open it: batches of ten files on /dev/shm, then the time to
// list them (best of rounds), and to plan the undo of the oldest one, which reads every
// later batch's journal.
void historyFigures(QTextStream &out, int batches, int rounds)
{
    QTemporaryDir root(u"/dev/shm/tessaly-bench-XXXXXX"_s);
    qputenv("APPDATA", root.filePath(u"appdata"_s).toUtf8());
    SilentMessages messages;
    SystemFileOperations files;
    for (int i = 0; i < batches; ++i) {
        RenameItems items;
        for (const QString &path : makeFiles(root.filePath(u"b%1"_s.arg(i)), 10))
            items.append(makeRenameItem(path));
        RenameOptions options;
        options.pattern = u"r_{name}"_s;
        previewNames(items, options, {}, messages);
        SystemFileSystemView view;
        executePlan(items, planBatch(items, options, view, true), options, messages, files);
    }
    qint64 listNs = std::numeric_limits<qint64>::max();
    qint64 planNs = std::numeric_limits<qint64>::max();
    qsizetype listed = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QList<HistoryEntry> history = readHistory();
        listNs = std::min(listNs, timer.nsecsElapsed());
        listed = history.size();
        timer.start();
        SystemFileSystemView view;
        const UndoPlan plan = planUndo(history.last().id, files, view, false);
        planNs = std::min(planNs, timer.nsecsElapsed());
    }
    out << "(y) history of " << listed << " batches: listed in "
        << QString::number(double(listNs) / 1e6, 'f', 1) << " ms; the oldest one's undo planned in "
        << QString::number(double(planNs) / 1e6, 'f', 1) << " ms\n";
    out.flush();
}

// The plan alone for count files of one folder on /dev/shm, in three shapes: every file
// to a name of its own, pairs that swap names (each pair through a stepping stone), and
// every file to one name under Auto-number (all but one numbered). Best of rounds.
void planShapes(QTextStream &out, int count, int rounds)
{
    QTemporaryDir root(u"/dev/shm/tessaly-bench-XXXXXX"_s);
    RenameItems items;
    for (const QString &path : makeFiles(root.filePath(u"plan"_s), count))
        items.append(makeRenameItem(path));
    struct Shape
    {
        const char *name;
        std::function<void(RenameItems &)> names;
        int conflict;
    };
    const QList<Shape> shapes{
        {"plain renames",
         [](RenameItems &all) {
             for (RenameItem &item : all)
                 item.newName = u"r_"_s + item.fileName;
         },
         ConflictMode::Skip},
        {"swaps (pairs a<->b)",
         [](RenameItems &all) {
             for (qsizetype i = 0; i + 1 < all.size(); i += 2) {
                 all[i].newName = all.at(i + 1).fileName;
                 all[i + 1].newName = all.at(i).fileName;
             }
         },
         ConflictMode::Skip},
        {"one name, Auto-number",
         [](RenameItems &all) {
             for (RenameItem &item : all)
                 item.newName = u"same.dat"_s;
         },
         ConflictMode::AutoNumber},
    };
    double plain = 0;
    for (const Shape &shape : shapes) {
        shape.names(items);
        RenameOptions options;
        options.conflict = shape.conflict;
        double best = 1e9;
        qsizetype steps = 0;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            SystemFileSystemView view;
            const RenamePlan plan = planBatch(items, options, view, true);
            best = std::min(best, seconds(timer));
            steps = plan.steps.size();
        }
        if (plain == 0)
            plain = best;
        out << "(n) plan of " << count << " files in /dev/shm, " << shape.name << ": "
            << QString::number(best, 'f', 3) << " s (" << QString::number(best / plain, 'f', 2)
            << "x), " << steps << " steps\n";
        out.flush();
    }
}

// The stages of tessaly-cli before its first rename, for count files of one folder on
// /dev/shm: listing, natural order, preview and the plan, which takes the folder's
// names from the listing as tessaly-cli does; best of rounds.
void stagesBeforeBatch(QTextStream &out, int count, int rounds, const QString &place)
{
    QTemporaryDir root(place + u"/tessaly-bench-XXXXXX"_s);
    const QString folder = root.filePath(u"photos"_s);
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QByteArray path =
            QFile::encodeName(folder + u"/IMG_%1.jpg"_s.arg(i, 6, 10, QChar(u'0')));
        ::close(::open(path.constData(), O_WRONLY | O_CREAT, 0644));
    }
    RenameOptions options;
    options.pattern = u"2026_{name}"_s;
    SilentMessages messages;
    double best[4] = {1e9, 1e9, 1e9, 1e9};
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        std::optional<FolderListing> listing;
        RenameItems items = collectFolderItems(folder, false, false, &listing);
        best[0] = std::min(best[0], seconds(timer));
        timer.start();
        sortNaturally(items);
        best[1] = std::min(best[1], seconds(timer));
        timer.start();
        previewNames(items, options, {}, messages);
        best[2] = std::min(best[2], seconds(timer));
        timer.start();
        ListedFileSystemView view;
        view.provide(folder, std::move(*listing));
        const RenamePlan plan = planBatch(items, options, view, true);
        best[3] = std::min(best[3], seconds(timer));
    }
    out << "(p) " << count << " files of one folder in " << place
        << ", before the first rename: listing " << QString::number(best[0], 'f', 3)
        << " s, natural order " << QString::number(best[1], 'f', 3) << " s, preview "
        << QString::number(best[2], 'f', 3) << " s, plan " << QString::number(best[3], 'f', 3)
        << " s\n";
    out.flush();
}

// count items named like a camera's pictures (IMG_000123.jpg) in one folder, made one
// after the other as a listing makes them, in the order a directory listing gives them
// (shuffled) or already in order.
RenameItems cameraNames(int count, bool shuffled)
{
    QList<int> numbers(count);
    std::iota(numbers.begin(), numbers.end(), 0);
    if (shuffled)
        std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
    RenameItems items;
    items.reserve(count);
    for (int number : numbers)
        items.append(makeRenameItem(
            u"/home/user/pictures/IMG_%1.jpg"_s.arg(number, 6, 10, QLatin1Char('0'))));
    return items;
}

// count items as a mixed collection holds them: several folders, mixed case, spaces
// and punctuation, leading zeros, and now and then a name with accents or Japanese.
RenameItems mixedNames(int count)
{
    static const QStringList folders{u"/home/user/pictures/"_s, u"/home/user/pictures/2026/"_s,
                                     u"/home/user/Music/Jazz/"_s, u"/home/user/documents/"_s};
    static const QStringList stems{
        u"IMG_"_s, u"img_"_s,   u"DSC0"_s,    u"holiday photo "_s, u"Report-final v"_s,
        u"scan"_s, u"track "_s, u"Track_0"_s, u"notes (copy "_s,   u"a.b.c "_s};
    static const QStringList rare{u"Café "_s, u"Ärger-"_s, u"写真"_s, u"straße "_s};
    static const QStringList exts{u".jpg"_s, u".JPG"_s, u".png"_s, u".pdf"_s, u".mp3"_s, u""_s};
    std::mt19937 random(11);
    RenameItems items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString &stem = random() % 50 == 0 ? rare.at(random() % rare.size())
                                                 : stems.at(random() % stems.size());
        items.append(makeRenameItem(folders.at(random() % folders.size()) + stem +
                                    QString::number(random() % (count * 2)) +
                                    exts.at(random() % exts.size())));
    }
    return items;
}

// sortNaturally on the given items; best of rounds, in seconds.
double bestSort(const RenameItems &source, int rounds)
{
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        RenameItems items = source;
        items.detach();
        QElapsedTimer timer;
        timer.start();
        sortNaturally(items);
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

// Natural order of 100,000 and 1,000,000 names, shuffled and already sorted.
void sortFigures(QTextStream &out, int rounds)
{
    out << "Natural order (sortNaturally), best of " << rounds << " runs\n";
    for (int count : {100000, 1000000}) {
        const auto line = [&](const QString &label, const RenameItems &items) {
            out << qSetFieldWidth(44) << Qt::left << label << qSetFieldWidth(0)
                << QString::number(bestSort(items, rounds) * 1000, 'f', 1) << " ms\n";
            out.flush();
        };
        line(u"(s) %1 IMG_000123.jpg, shuffled"_s.arg(count), cameraNames(count, true));
        line(u"(s) %1 IMG_000123.jpg, already sorted"_s.arg(count), cameraNames(count, false));
        line(u"(s) %1 mixed names, 4 folders"_s.arg(count), mixedNames(count));
    }
}

struct Scenario
{
    const char *name;
    std::function<void(RenameOptions &)> edit;
};

} // namespace

int main(int argc, char *argv[])
{
    // tessaly-bench [ITEMS] [SCENARIOS]: SCENARIOS picks some by letter, such as "ad";
    // "s" sorts 100,000 and 1,000,000 names in natural order; "n" times the plan of
    // ITEMS plain renames, swaps and files numbered into one name;
    // "g" adds ITEMS files of a folder through the main window, then gives the window's
    // figures for 10,000 to 1,000,000 files ("w": one such line for ITEMS files).
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : u"abcdefghnsy"_s;
    const int rounds = 5;
    const QList<Scenario> scenarios{
        {"(a) {name}", [](RenameOptions &) {}},
        {"(b) {counter}_{name}, remove/insert/pad",
         [](RenameOptions &o) {
             o.pattern = u"{counter}_{name}"_s;
             o.removeFirst = u"1"_s;
             o.removeLast = u"1"_s;
             o.insertText = u"-x-"_s;
             o.insertPos = u"3"_s;
             o.padNumbers = u"6"_s;
         }},
        {"(c) regex (\\d+) -> x$1, Title Case",
         [](RenameOptions &o) {
             o.regex = true;
             o.find = u"(\\d+)"_s;
             o.replace = u"x$1"_s;
             o.caseMode = CaseMode::Title;
         }},
        {"(d) {created:yyyy-mm-dd_hh-nn-ss}_{name}",
         [](RenameOptions &o) { o.pattern = u"{created:yyyy-mm-dd_hh-nn-ss}_{name}"_s; }},
    };

    QTextStream out(stdout);
    if (only == u"w"_s) {
        windowFigures(out, count, 2);
        return 0;
    }
    // Made only when a scenario previews them, so that they take no room from the
    // window's figures.
    RenameItems items;
    for (const Scenario &scenario : scenarios) {
        if (!only.contains(QLatin1Char(scenario.name[1])))
            continue;
        if (items.isEmpty()) {
            out << "Preview of " << count << " items, best of " << rounds << " runs\n";
            items = syntheticItems(count);
        }
        RenameOptions options;
        scenario.edit(options);
        QString sample;
        const qint64 bestNs = bestPreview(items, options, rounds, &sample);
        const double perSecond = double(count) / (double(bestNs) / 1e9);
        out << qSetFieldWidth(44) << Qt::left << scenario.name << qSetFieldWidth(0)
            << QString::number(perSecond / 1e6, 'f', 2) << " million items/s   (" << sample
            << ")\n";
        out.flush();
    }
    if (only.contains(u'e'))
        pictureSizes(out, rounds);
    if (only.contains(u'f')) {
        batchAndUndo(out, count / 10);
        batchAndUndo(out, count);
    }
    if (only.contains(u'y'))
        historyFigures(out, 100, rounds);
    if (only.contains(u'n'))
        planShapes(out, count, rounds);
    if (only.contains(u'p')) {
        // tmpfs lists a folder in the order its files were made, ext4 in hash order,
        // which scatters the names in memory once they are sorted.
        stagesBeforeBatch(out, count, rounds, u"/dev/shm"_s);
        stagesBeforeBatch(out, count, rounds, QDir::tempPath());
    }
    if (only.contains(u'g')) {
        fileListBench(out, count, 3);
        // Each size in a process of its own, so that its peak memory is its own.
        out << "\nThe window, each size in a fresh process (best of 2 rounds; the list's bytes\n"
               "per file beyond the names' UTF-16 characters, from resident memory)\n"
            << "| files | add + preview | list bytes/file | process peak |\n|---|---|---|---|\n";
        out.flush();
        for (const char *size : {"10000", "100000", "1000000"}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath(),
                        {QString::fromLatin1(size), u"w"_s});
            child.waitForFinished(-1);
            out << child.readAllStandardOutput();
            out.flush();
        }
    }

    if (only.contains(u'h'))
        metadataKeywords(out, rounds);
    if (only.contains(u's'))
        sortFigures(out, rounds);
    return 0;
}
