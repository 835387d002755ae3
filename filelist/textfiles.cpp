#include "textfiles.h"

#include "renameitem.h"
#include "tessalyerror.h"
#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

QString DecodeUtf8Strictly(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        throw TessalyError(TranslateText(
            u"No mapping for the Unicode character exists in the target multi-byte code page"_s));
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString ReadUtf8TextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        if (!info.exists()) {
            const QString folder = FolderPart(path);
            const bool folderMissing = !folder.isEmpty() && !QFileInfo(folder).isDir();
            throw TessalyError((folderMissing ? u"The specified path was not found\n["_s
                                              : u"The specified file was not found\n["_s) +
                               path + u']');
        }
        throw TessalyError(TranslateText(u"Cannot open file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return DecodeUtf8Strictly(file.readAll());
}
