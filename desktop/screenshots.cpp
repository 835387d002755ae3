// Draws the screenshots that show Tessaly to people: the main window and the options
// dialog (the AppStream metadata's pictures), the About box, the pattern help and the
// new-version dialog, each as a user first sees it, into the folder given. The window
// tests save the pictures of what they check themselves; scripts/screenshots runs both.
#include "filelist/filelistmodel.h"
#include "optionsdialog/optionsdialog.h"
#include "shell/aboutbox.h"
#include "shell/mainwindow.h"
#include "shell/messageboxes.h"
#include "shell/newversiondialog.h"
#include "shell/startup.h"
#include "testsupport/recordingmessages.h"
#include "testsupport/recordingshell.h"
#include "testsupport/testdir.h"
#include "update/updateoffer.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

template <typename Control>
Control *child(QWidget *window, const char *name)
{
    auto *control = window->findChild<Control *>(QString::fromLatin1(name));
    if (!control)
        qFatal("no control %s", name);
    return control;
}

void save(QWidget &window, const QString &folder, const QString &name)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("%s was never shown", qPrintable(name));
    QApplication::processEvents();
    const QString path = folder + u'/' + name;
    if (!window.grab().save(path))
        qFatal("cannot write %s", qPrintable(path));
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
}

// A few files previewed under a pattern, one row selected.
void mainWindowAndOptions(const QString &folder)
{
    TestDir dir;
    RecordingMessages messages;
    RecordingShell shell;
    OptionsDialog settings;
    MainWindow form(settings, messages, shell);
    form.show();
    const QStringList names{u"IMG_2041.JPG"_s, u"IMG_2042.JPG"_s, u"holiday  notes.txt"_s,
                            u"Report final v2.pdf"_s, u"track 07.mp3"_s};
    for (int i = 0; i < names.size(); ++i)
        form.addFile(
            dir.file(u"Photos/"_s + names.at(i), QByteArray(1000 * (i + 1) * (i + 7), 'x')));
    child<QLineEdit>(&form, "patternEdit")->setText(u"{counter}_{name}"_s);
    child<QComboBox>(&form, "caseCombo")->setCurrentIndex(3);
    child<QCheckBox>(&form, "collapseSpacesCheck")->setChecked(true);
    child<QToolButton>(&form, "previewToolButton")->click();
    // The preview fills the new names on a thread of its own.
    if (!QTest::qWaitFor([&] { return !form.fileList().items().front().newName.isEmpty(); }))
        qFatal("the preview did not end");
    auto *list = child<QAbstractItemView>(&form, "fileTable");
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    save(form, folder, u"main-window.png"_s);
    save(settings, folder, u"options-dialog.png"_s);
}

void boxes(const QString &folder)
{
    QMessageBox about(QMessageBox::Information, ApplicationTitle, aboutText(), QMessageBox::Ok);
    save(about, folder, u"about-box.png"_s);
    QMessageBox help(QMessageBox::Information, ApplicationTitle, patternHelpText(),
                     QMessageBox::Ok);
    save(help, folder, u"pattern-help.png"_s);

    const std::optional<UpdateOffer> offer =
        decideUpdate("24/23\n",
                     "Patterns take {imgw} and {imgh}\nUndo keeps the folder order\n"
                     "Faster preview of large lists\n",
                     23);
    if (!offer)
        qFatal("the example pages offer no update");
    RecordingShell shell;
    RecordingMessages messages;
    NewVersionDialog dialog(*offer, messages, shell);
    save(dialog, folder, u"new-version-dialog.png"_s);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: tessaly-screenshots FOLDER\n", stderr);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(folder))
        qFatal("cannot create %s", qPrintable(folder));
    // The program's own look, in English, with none of the user's settings.
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    applyApplicationFont(app);
    RecordingMessages messages;
    if (!applyVisualStyle(app, messages))
        qFatal("the window's style sheet did not load");
    mainWindowAndOptions(folder);
    boxes(folder);
    return 0;
}
