#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

// Splits a fuzzer's bytes at NUL bytes into up to count texts (decoded as UTF-8, so
// that any bytes give some text, invalid sequences included).
inline QList<QString> fuzzTexts(const uint8_t *data, size_t size, int count)
{
    QList<QString> texts;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype start = 0;
    for (int k = 0; k < count - 1; ++k) {
        const qsizetype end = bytes.indexOf('\0', start);
        if (end < 0)
            break;
        texts.append(QString::fromUtf8(bytes.mid(start, end - start)));
        start = end + 1;
    }
    texts.append(QString::fromUtf8(bytes.mid(start)));
    while (texts.size() < count)
        texts.append(QString());
    return texts;
}
