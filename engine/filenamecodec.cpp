#include "engine/filenamecodec.h"

#include <cstring>

namespace {

constexpr char16_t firstEscape = 0xDC80;
constexpr char16_t lastEscape = 0xDCFF;

// The second half of a surrogate pair is text, not an escape.
bool isEscapeAt(QStringView text, qsizetype i)
{
    const char16_t unit = text.at(i).unicode();
    return unit >= firstEscape && unit <= lastEscape &&
           !(i > 0 && text.at(i - 1).isHighSurrogate());
}

// The length of the valid UTF-8 sequence at the start of bytes, or 0.
qsizetype validSequence(QByteArrayView bytes)
{
    const uchar lead = uchar(bytes.front());
    qsizetype length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    const uchar second = uchar(bytes.at(1));
    if (second < low || second > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if ((uchar(bytes.at(i)) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString text;
    text.reserve(bytes.size());
    qsizetype start = 0; // of the valid run not yet appended
    for (qsizetype i = 0; i < bytes.size();) {
        if (uchar(bytes.at(i)) < 0x80) {
            ++i;
            continue;
        }
        if (const qsizetype length = validSequence(bytes.sliced(i))) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.sliced(start, i - start));
        text += QChar(char16_t(0xDC00 + uchar(bytes.at(i))));
        start = ++i;
    }
    text += QString::fromUtf8(bytes.sliced(start));
    return text;
}

char *encodeFileNameTo(QStringView text, char *out)
{
    const char16_t *unit = text.utf16();
    const char16_t *const end = unit + text.size();
    while (unit != end) {
        // Plain ASCII, most of nearly every path, four units at a time.
        while (end - unit >= 4) {
            quint64 four;
            std::memcpy(&four, unit, sizeof four);
            if (four & 0xFF80'FF80'FF80'FF80ULL)
                break;
            for (int i = 0; i < 4; ++i)
                out[i] = char(unit[i]);
            out += 4;
            unit += 4;
        }
        if (unit == end)
            break;
        const char16_t u = *unit++;
        if (u < 0x80) {
            *out++ = char(u);
        } else if (u < 0x800) {
            *out++ = char(0xC0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u)) {
            if (unit == end || !QChar::isLowSurrogate(*unit)) {
                *out++ = '?';
                continue;
            }
            const char32_t code = QChar::surrogateToUcs4(u, *unit++);
            *out++ = char(0xF0 | (code >> 18));
            *out++ = char(0x80 | ((code >> 12) & 0x3F));
            *out++ = char(0x80 | ((code >> 6) & 0x3F));
            *out++ = char(0x80 | (code & 0x3F));
        } else if (QChar::isLowSurrogate(u)) {
            // Not the second half of a pair, which went with its first half above.
            *out++ = u >= firstEscape && u <= lastEscape ? char(u - 0xDC00) : '?';
        } else {
            *out++ = char(0xE0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

QByteArray encodeFileName(QStringView text)
{
    QByteArray bytes(maxEncodedFileNameSize(text.size()), Qt::Uninitialized);
    bytes.truncate(encodeFileNameTo(text, bytes.data()) - bytes.constData());
    return bytes;
}

QString displayFileName(const QString &text)
{
    QString shown = text;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (isEscapeAt(text, i))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}
