#include "shell/shellservices.h"

#include "engine/usermessages.h"
#include "translation/translation.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <QUrl>

using namespace Qt::StringLiterals;

QString qtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts.at(i);
        QString mask = parts.at(i + 1);
        text.replace(u"*.*"_s, u"*"_s);
        mask.replace(u"*.*"_s, u"*"_s);
        mask.replace(u';', u' ');
        // Qt reads the masks from the last parentheses of the text.
        if (!text.endsWith(u'(' + mask + u')'))
            text += u" ("_s + mask + u')';
        filters.append(text);
    }
    return filters.join(u";;"_s);
}

namespace {

// Takes a folder chosen with Open as a choice instead of opening it, so that Add Files
// can add a folder's files; a double click still opens it.
class FilesOrFoldersDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() &&
            std::all_of(chosen.cbegin(), chosen.cend(),
                        [](const QString &path) { return QFileInfo::exists(path); }) &&
            std::any_of(chosen.cbegin(), chosen.cend(),
                        [](const QString &path) { return QFileInfo(path).isDir(); })) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

QSettings shellSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s);
}

QString lastFolder(const QString &kind)
{
    const QString folder = shellSettings().value(u"LastFolder/"_s + kind).toString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

void rememberFolder(const QString &kind, const QString &chosen)
{
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    shellSettings().setValue(u"LastFolder/"_s + kind,
                             info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

} // namespace

QStringList DesktopShell::chooseFiles(QWidget *parent, const QString &title, const QString &filter)
{
    FilesOrFoldersDialog dialog(parent, title, lastFolder(u"files"_s), qtFileFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // The desktop's own dialog would open a chosen folder instead of returning it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList chosen;
    for (const QString &path : dialog.selectedFiles())
        chosen.append(QDir::toNativeSeparators(path));
    if (!chosen.isEmpty())
        rememberFolder(u"files"_s, QFileInfo(chosen.front()).absolutePath());
    return chosen;
}

QString DesktopShell::chooseOpenFile(QWidget *parent, const QString &filter)
{
    QFileDialog dialog(parent, QString(), lastFolder(u"presets"_s), qtFileFilter(filter));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    rememberFolder(u"presets"_s, QFileInfo(dialog.selectedFiles().front()).absolutePath());
    return QDir::toNativeSeparators(dialog.selectedFiles().front());
}

QString DesktopShell::chooseSaveFile(QWidget *parent, const QString &filter,
                                     const QString &defaultSuffix)
{
    QFileDialog dialog(parent, QString(), lastFolder(u"presets"_s), qtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    rememberFolder(u"presets"_s, QFileInfo(dialog.selectedFiles().front()).absolutePath());
    return QDir::toNativeSeparators(dialog.selectedFiles().front());
}

QString DesktopShell::chooseFolder(QWidget *parent, const QString &title, const QString &start)
{
    const QString folder = QFileDialog::getExistingDirectory(
        parent, title, start.isEmpty() ? lastFolder(u"folders"_s) : start,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    rememberFolder(u"folders"_s, folder);
    return QDir::toNativeSeparators(folder);
}

void openAddressOrShowIt(ShellServices &shell, UserMessages &messages, const QString &address)
{
    if (!shell.openAddress(address))
        messages.warning(translateText(u"No web browser could be started. The address is:"_s) +
                         u"\n\n"_s + address);
}

bool DesktopShell::openAddress(const QString &address)
{
    return QDesktopServices::openUrl(QUrl(address));
}

void DesktopShell::startFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
