#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QString>

// The files below a folder by their paths relative to it, each with its content as UTF-8
// text; hidden files and links count (a link by the content it leads to), folders do not.
using FileTree = QMap<QString, QString>;

inline FileTree readFileTree(const QString &root)
{
    FileTree tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        tree.insert(path.mid(root.size() + 1), QString::fromUtf8(file.readAll()));
    }
    return tree;
}
