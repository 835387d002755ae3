#include "shellservices.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

using namespace Qt::StringLiterals;

QString QtFileFilter(const QString &filter)
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

QStringList DesktopShell::chooseFiles(QWidget *parent, const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileNames(parent, title, QString(), QtFileFilter(filter));
}

QString DesktopShell::chooseOpenFile(QWidget *parent, const QString &filter)
{
    QFileDialog dialog(parent, QString(), QString(), QtFileFilter(filter));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().front());
}

QString DesktopShell::chooseSaveFile(QWidget *parent, const QString &filter,
                                     const QString &defaultSuffix)
{
    QFileDialog dialog(parent, QString(), QString(), QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().front());
}

QString DesktopShell::chooseFolder(QWidget *parent, const QString &title, const QString &start)
{
    const QString folder = QFileDialog::getExistingDirectory(
        parent, title, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    return QDir::toNativeSeparators(folder);
}

void DesktopShell::openAddress(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address));
}

void DesktopShell::startFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
