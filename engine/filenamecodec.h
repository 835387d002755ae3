#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names are bytes on this system, and not every name is valid UTF-8: a Latin-1
// "caf\xE9.txt" from an old disk or archive is a legal name. These turn a name's bytes
// into text and back without loss, so that such a file can be listed, renamed, logged
// and brought back. Each byte that is not part of valid UTF-8 becomes one of the code
// units U+DC80..U+DCFF (a lone low surrogate, which decoded text never holds), and
// becomes that byte again; everything else is plain UTF-8 both ways.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView text);
// The bytes of encodeFileName(text) written to out, which must have room for
// maxEncodedFileNameSize(text.size()) bytes; returns the end of what was written.
// For loops that must not allocate per name. A surrogate that is neither an escape
// nor half of a pair becomes "?", as in encodeFileName.
char *encodeFileNameTo(QStringView text, char *out);
constexpr qsizetype maxEncodedFileNameSize(qsizetype length)
{
    return length * 3;
}

// The text to show for a name: each byte that was not UTF-8 as the replacement mark
// U+FFFD.
QString displayFileName(const QString &text);
