// Adding a large folder through the main window's AddFolder, with the list model shown
// by its view, against a bare POSIX listing of the same folder in the same run.

#include "bench/filelistbench.h"

#include "bench/silentmessages.h"
#include "engine/usermessages.h"
#include "optionsdialog/optionsdialog.h"
#include "shell/mainwindow.h"
#include "shell/shellservices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

class NoShell : public ShellServices
{
public:
    QStringList chooseFiles(QWidget *, const QString &, const QString &) override { return {}; }
    QString chooseOpenFile(QWidget *, const QString &) override { return {}; }
    QString chooseSaveFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString chooseFolder(QWidget *, const QString &, const QString &) override { return {}; }
    bool openAddress(const QString &) override { return true; }
    void startFile(const QString &) override {}
};

// readdir and one lstat per entry, nothing else: the floor for any listing.
qint64 bareListing(const QByteArray &folder, qint64 *files)
{
    QElapsedTimer timer;
    timer.start();
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return -1;
    const int fd = dirfd(dir);
    qint64 count = 0;
    qint64 bytes = 0;
    while (const dirent *entry = readdir(dir)) {
        struct stat st;
        if (entry->d_name[0] == '.' || fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        bytes += st.st_size;
        ++count;
    }
    closedir(dir);
    *files = count + (bytes < 0 ? 1 : 0);
    return timer.nsecsElapsed();
}

qint64 kilobytes(const char *field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Lets the next VmHWM reading start from the memory in use now.
// A command of the window, given as the user gives it.
void click(MainWindow &form, const char *button)
{
    form.findChild<QAbstractButton *>(QString::fromLatin1(button))->click();
}

void resetPeakMemory()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

QString seconds(qint64 ns)
{
    return QString::number(double(ns) / 1e9, 'f', 3) + u" s"_s;
}

// The application the window needs, on the offscreen platform unless another is set.
std::unique_ptr<QApplication> offscreenApplication()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tessaly-bench";
    static char *argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace

void fileListBench(QTextStream &out, int count, int rounds)
{
    const std::unique_ptr<QApplication> app = offscreenApplication();
    const qint64 atStart = kilobytes("VmRSS:");

    const QString base = QDir(u"/dev/shm"_s).exists() ? u"/dev/shm"_s : QDir::tempPath();
    QTemporaryDir dir(base + u"/tessaly-bench-XXXXXX"_s);
    const QString folder = dir.path();
    static const QStringList stems{u"IMG_"_s, u"holiday photo "_s, u"Report-final v"_s, u"scan"_s,
                                   u"track "_s};
    static const QStringList exts{u".jpg"_s, u".png"_s, u".pdf"_s, u".mp3"_s, u""_s};
    for (int i = 0; i < count; ++i) {
        const QString path = folder + u'/' + stems.at(i % stems.size()) + QString::number(i) +
                             exts.at(i / 3 % exts.size());
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            [[maybe_unused]] const auto written = ::write(fd, "x", 1);
            ::close(fd);
        }
    }

    const qint64 afterFiles = kilobytes("VmRSS:");
    SilentMessages messages;
    NoShell shell;
    OptionsDialog settings;
    MainWindow form(settings, messages, shell);
    form.show();
    QApplication::processEvents();
    const QString pattern = u"{counter}_{name}"_s;
    form.findChild<QLineEdit *>(u"patternEdit"_s)->setText(pattern);

    const qint64 before = kilobytes("VmRSS:");
    qint64 bestBare = std::numeric_limits<qint64>::max();
    qint64 bestAdd = bestBare;
    qint64 bestPreview = bestBare;
    qint64 bestBoth = bestBare;
    qint64 peak = 0;
    qint64 listed = 0;
    qint64 bareFiles = 0;
    for (int round = 0; round < rounds; ++round) {
        bestBare = std::min(bestBare, bareListing(QFile::encodeName(folder), &bareFiles));
        click(form, "clearButton");
        QApplication::processEvents();
        resetPeakMemory();

        QElapsedTimer timer;
        timer.start();
        form.addFolder(folder, false, false);
        form.updateFileCount();
        QApplication::processEvents();
        const qint64 added = timer.nsecsElapsed();
        click(form, "previewToolButton");
        QApplication::processEvents();
        const qint64 both = timer.nsecsElapsed();
        peak = std::max(peak, kilobytes("VmHWM:"));
        bestAdd = std::min(bestAdd, added);
        bestPreview = std::min(bestPreview, both - added);
        bestBoth = std::min(bestBoth, both);
        listed = form.fileList().items().size();
    }
    const RenameItem &shown = form.fileList().items().at(1);
    const QString shownName = shown.fileName + u" -> "_s + shown.newName;

    // The same through the window's own commands, as a user meets them: how long the
    // user-interface thread is kept from its events at most (a timer that should tick
    // every millisecond), while the list fills, the live preview follows, and the batch
    // renames every file.
    click(form, "clearButton");
    QApplication::processEvents();
    resetPeakMemory();
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.nsecsElapsed());
        sinceTick.start();
    });
    const auto waitFor = [&](const std::function<bool()> &done) {
        while (!done())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    };
    QElapsedTimer whole;
    whole.start();
    sinceTick.start();
    ticker.start();
    form.controller().addPaths({folder}, false);
    waitFor([&] { return !form.controller().isBusy(); });
    const qint64 addGap = std::exchange(longestGap, 0);
    waitFor([&] { return form.fileList().hasPlan(); });
    const qint64 livePreview = whole.nsecsElapsed();
    const qint64 livePeak = kilobytes("VmHWM:");
    const qint64 previewGap = std::exchange(longestGap, 0);
    click(form, "renameToolButton");
    const qint64 renameStartGap = std::exchange(longestGap, 0);
    waitFor([&] { return !form.controller().isBusy(); });
    ticker.stop();
    const qint64 batchGap = longestGap;
    const qint64 renamed = whole.nsecsElapsed();

    out << "\nFile list: " << count << " files in " << base << ", best of " << rounds << " runs\n";
    out << "  bare readdir + lstat           " << seconds(bestBare) << "  (" << bareFiles
        << " files)\n";
    out << "  AddFolder, list shown          " << seconds(bestAdd) << "  ("
        << QString::number(double(bestAdd) / double(bestBare), 'f', 2) << "x the bare listing, "
        << listed << " items, status \"" << form.statusText() << "\")\n";
    out << "  Preview " << pattern << "     " << seconds(bestPreview) << "  (" << shownName
        << ")\n";
    out << "  add + preview                  " << seconds(bestBoth) << "\n";
    out << "  peak memory                    " << QString::number(double(peak) / 1024.0, 'f', 1)
        << " MB resident (" << QString::number(double(before) / 1024.0, 'f', 1)
        << " MB before adding; " << QString::number(double(peak - before) / 1024.0, 'f', 1)
        << " MB for the list)\n";
    out << "  (resident: " << atStart / 1024 << " MB with the application, " << afterFiles / 1024
        << " MB after making the files)\n";
    const auto ms = [](qint64 ns) { return QString::number(double(ns) / 1e6, 'f', 1) + u" ms"_s; };
    out << "  through the window's commands: add + live preview " << seconds(livePreview)
        << " (peak " << QString::number(double(livePeak) / 1024.0, 'f', 1) << " MB resident)"
        << ", then Rename of every file done at " << seconds(renamed) << "\n";
    out << "  longest stall of the window's thread: adding " << ms(addGap) << ", live preview "
        << ms(previewGap) << ", the Rename click " << ms(renameStartGap)
        << ", planning and the batch " << ms(batchGap) << "\n";
    if (!messages.errors.isEmpty())
        out << "  errors: " << messages.errors.join(u"; "_s) << "\n";
    out.flush();
}

void windowFigures(QTextStream &out, int count, int rounds)
{
    const std::unique_ptr<QApplication> app = offscreenApplication();

    const QString base = QDir(u"/dev/shm"_s).exists() ? u"/dev/shm"_s : QDir::tempPath();
    QTemporaryDir dir(base + u"/tessaly-bench-XXXXXX"_s);
    const QString folder = dir.path();
    qint64 nameBytes = 0; // the names' own characters, as the list holds them (UTF-16)
    for (int i = 0; i < count; ++i) {
        const QString fileName = u"IMG_%1.jpg"_s.arg(i, 7, 10, QLatin1Char('0'));
        nameBytes += 2 * fileName.size();
        const int fd = ::open(QFile::encodeName(folder + u'/' + fileName).constData(),
                              O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            [[maybe_unused]] const auto written = ::write(fd, "x", 1);
            ::close(fd);
        }
    }

    SilentMessages messages;
    NoShell shell;
    OptionsDialog settings;
    MainWindow form(settings, messages, shell);
    form.show();
    form.findChild<QLineEdit *>(u"patternEdit"_s)->setText(u"{counter}_{name}"_s);
    QApplication::processEvents();

    qint64 best = std::numeric_limits<qint64>::max();
    qint64 listKb = 0;
    for (int round = 0; round < rounds; ++round) {
        click(form, "clearButton");
        QApplication::processEvents();
        const qint64 before = kilobytes("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        form.addFolder(folder, false, false);
        form.updateFileCount();
        QApplication::processEvents();
        const qint64 afterAdd = kilobytes("VmRSS:");
        click(form, "previewToolButton");
        QApplication::processEvents();
        best = std::min(best, timer.nsecsElapsed());
        if (round == 0)
            listKb = afterAdd - before;
    }
    const double bytesPerFile = (double(listKb) * 1024.0 - double(nameBytes)) / count;
    out << "| " << QLocale(QLocale::English).toString(count) << " | " << seconds(best) << " | "
        << QString::number(bytesPerFile, 'f', 0) << " | "
        << QString::number(double(kilobytes("VmHWM:")) / 1024.0, 'f', 0) << " MB |";
    if (form.fileList().items().size() != count || !messages.errors.isEmpty())
        out << " (listed " << form.fileList().items().size() << ", "
            << messages.errors.join(u"; "_s) << ")";
    out << "\n";
    out.flush();
}
