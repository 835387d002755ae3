#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// A fresh temporary folder that creates files with given content and times.
class TestDir : public QTemporaryDir
{
public:
    TestDir() = default;
    // A folder made from a template such as "/dev/shm/name-XXXXXX".
    explicit TestDir(const QString &templatePath)
        : QTemporaryDir(templatePath)
    {}

    // Creates relativePath (and its folders) holding content; returns its full path.
    QString file(const QString &relativePath, const QByteArray &content = QByteArray(),
                 const QDateTime &modified = QDateTime())
    {
        const QString full = filePath(relativePath);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot create %s", qPrintable(full));
        f.write(content);
        f.flush();
        if (modified.isValid())
            f.setFileTime(modified, QFileDevice::FileModificationTime);
        f.close();
        return full;
    }

    QString folder(const QString &relativePath)
    {
        const QString full = filePath(relativePath);
        QDir().mkpath(full);
        return full;
    }
};
