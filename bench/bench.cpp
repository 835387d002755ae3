// Measures how many items per second the preview names. Each scenario runs several
// times on the same synthetic list; the best run is reported.

#include "namebuilder.h"
#include "usermessages.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

class SilentMessages : public UserMessages
{
public:
    void information(const QString &) override {}
    void warning(const QString &) override {}
    bool confirm(const QString &) override { return true; }
    void error(const QString &) override {}
};

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
        items.append(item);
    }
    return items;
}

struct Scenario
{
    const char *name;
    std::function<void(RenameOptions &)> edit;
};

} // namespace

int main(int argc, char *argv[])
{
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
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
    };

    QTextStream out(stdout);
    out << "Preview of " << count << " items, best of " << rounds << " runs\n";
    SilentMessages messages;
    for (const Scenario &scenario : scenarios) {
        RenameOptions options;
        scenario.edit(options);
        qint64 bestNs = std::numeric_limits<qint64>::max();
        QString sample;
        for (int round = 0; round < rounds; ++round) {
            TRenameItems items = syntheticItems(count);
            QElapsedTimer timer;
            timer.start();
            PreviewNames(items, options, {}, messages);
            bestNs = std::min(bestNs, timer.nsecsElapsed());
            sample = items.at(1).OriginalName + items.at(1).Ext + u" -> "_s + items.at(1).NewName;
        }
        const double perSecond = double(count) / (double(bestNs) / 1e9);
        out << qSetFieldWidth(44) << Qt::left << scenario.name << qSetFieldWidth(0)
            << QString::number(perSecond / 1e6, 'f', 2) << " million items/s   (" << sample
            << ")\n";
        out.flush();
    }
    return 0;
}
