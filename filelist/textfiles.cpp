#include "filelist/textfiles.h"

#include "engine/renameitem.h"
#include "engine/tessalyerror.h"
#include "translation/translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

QString decodeUtf8Strictly(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        throw TessalyError(translateText(
            u"No mapping for the Unicode character exists in the target multi-byte code page"_s));
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString readUtf8TextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        if (!info.exists()) {
            const QString folder = folderPart(path);
            const bool folderMissing = !folder.isEmpty() && !QFileInfo(folder).isDir();
            throw TessalyError((folderMissing ? u"The specified path was not found\n["_s
                                              : u"The specified file was not found\n["_s) +
                               path + u']');
        }
        throw TessalyError(translateText(u"Cannot open file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return decodeUtf8Strictly(file.readAll());
}
