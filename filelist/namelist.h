#pragma once

#include <QString>
#include <QStringList>

// One name per line of a name list's text: the first comma-separated field, with the
// characters up to U+0020 and then the double quotes removed from both ends.
QStringList parseNameList(const QString &text);

// The names of a UTF-8 name list file; throws TessalyError when it cannot be read or
// is not UTF-8.
QStringList loadNameList(const QString &path);
