// Measures how many items per second the preview names, and how fast a large folder
// enters the file list. Each scenario runs several times; the best run is reported.

#include "batchrunner.h"
#include "renameplan.h"
#include "filelistbench.h"
#include "namebuilder.h"
#include "silentmessages.h"
#include "undo.h"
#include "usermessages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

TRenameItems syntheticItems(int count)
{
    static const QStringList stems{u"IMG_"_s, u"holiday photo "_s, u"Report-final v"_s, u"scan"_s,
                                   u"track "_s};
    static const QStringList exts{u".jpg"_s, u".png"_s, u".pdf"_s, u".mp3"_s, u""_s};
    TRenameItems items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name = stems.at(i % stems.size()) + QString::number(i * 7919 % 100000);
        TRenameItem item =
            MakeRenameItem(u"/home/user/pictures/2026/"_s + name + exts.at(i / 3 % exts.size()));
        item.Size = 1000 + i;
        // Creation times spread over three years, across daylight-saving changes.
        item.CreatedUtc = 45000.0 + (i % 1100) + (i % 86400) / 86400.0;
        items.append(item);
    }
    return items;
}

// Previews items once per round and returns the best time in nanoseconds.
qint64 bestPreview(const TRenameItems &source, const RenameOptions &options, int rounds,
                   QString *sample)
{
    SilentMessages messages;
    qint64 bestNs = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        TRenameItems items = source;
        items.detach();
        QElapsedTimer timer;
        timer.start();
        PreviewNames(items, options, {}, messages);
        bestNs = std::min(bestNs, timer.nsecsElapsed());
        const TRenameItem &shown = items.at(1);
        *sample = shown.OriginalName + shown.Ext + u" -> "_s + shown.NewName;
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
    TRenameItems items;
    for (int i = 0; i < 1000; ++i) {
        const QString path = dir.filePath(
            u"photo%1%2"_s.arg(i, 4, 10, QLatin1Char('0')).arg(i % 2 ? u".jpg"_s : u".png"_s));
        QFile::copy(i % 2 ? jpg : png, path);
        items.append(MakeRenameItem(path));
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
        for (const TRenameItem &item : items)
            pixels += QImage(item.OriginalPath).width();
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
                QFile::encodeName(FolderPart(path) + u"r_"_s + FileNamePart(path));
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        }
        bareSeconds = std::min(bareSeconds, seconds(timer));

        TRenameItems items;
        for (const QString &path : makeFiles(root.filePath(prefix + u"batch"_s), count))
            items.append(MakeRenameItem(path));
        RenameOptions options;
        options.pattern = u"{counter}_{name}"_s;
        options.digits = u"6"_s;
        SilentMessages messages;
        SystemFileOperations files;
        PreviewNames(items, options, {}, messages);
        timer.start();
        SystemFileSystemView view;
        const RenamePlan plan = PlanBatch(items, options, view, true);
        planSeconds = std::min(planSeconds, seconds(timer));
        timer.start();
        ExecutePlan(items, plan, options, messages, files);
        batchSeconds = std::min(batchSeconds, seconds(timer));
        timer.start();
        UndoLastBatch(messages, files);
        undoSeconds = std::min(undoSeconds, seconds(timer));
    }

    const auto ratio = [&](double value) { return QString::number(value / bareSeconds, 'f', 2); };
    out << "(f) rename in place " << count << " files: bare renameat2 loop "
        << QString::number(bareSeconds, 'f', 3) << " s, plan "
        << QString::number(planSeconds, 'f', 3) << " s, batch "
        << QString::number(batchSeconds, 'f', 3) << " s (plan + batch "
        << ratio(planSeconds + batchSeconds) << "x), undo " << QString::number(undoSeconds, 'f', 3)
        << " s (" << ratio(undoSeconds) << "x)\n";
    out.flush();
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
    // "f" adds ITEMS files of a folder through the main window.
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : u"abcdefg"_s;
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
    out << "Preview of " << count << " items, best of " << rounds << " runs\n";
    const TRenameItems items = syntheticItems(count);
    for (const Scenario &scenario : scenarios) {
        if (!only.contains(QLatin1Char(scenario.name[1])))
            continue;
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
    if (only.contains(u'g'))
        fileListBench(out, count, 3);
    return 0;
}
