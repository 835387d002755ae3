#include "messageboxes.h"

#include "startup.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QWidget *owner()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

} // namespace

void MessageBoxes::information(const QString &text)
{
    QMessageBox::information(owner(), ApplicationTitle, text);
}

void MessageBoxes::warning(const QString &text)
{
    QMessageBox::warning(owner(), ApplicationTitle, text);
}

bool MessageBoxes::confirm(const QString &text)
{
    return QMessageBox::question(owner(), ApplicationTitle, text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxes::error(const QString &text)
{
    QMessageBox::critical(owner(), ApplicationTitle, text);
}
