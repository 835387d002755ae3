#include "cli/recordwriter.h"

#include "engine/filenamecodec.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

bool isEscapedByte(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// A character that a terminal acts on, or that reorders what it shows.
bool isDangerous(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Calls visit(start, length, dangerous) for each character of name (a pair of surrogates
// is one; a byte that is not UTF-8 is dangerous).
template <typename Visit>
void forEachCharacter(QStringView name, Visit visit)
{
    for (qsizetype i = 0; i < name.size();) {
        const char16_t unit = name.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            visit(i, 2, false);
            i += 2;
            continue;
        }
        visit(i, 1, isEscapedByte(unit) || isDangerous(unit));
        ++i;
    }
}

void appendEscapedByte(QByteArray &out, uchar byte)
{
    switch (byte) {
    case '\a':
        out += "\\a";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\v':
        out += "\\v";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        break;
    }
    out += '\\';
    out += char('0' + ((byte >> 6) & 7));
    out += char('0' + ((byte >> 3) & 7));
    out += char('0' + (byte & 7));
}

bool holdsEscapedBytes(QStringView text)
{
    // A lone low surrogate can only be an escaped byte; a pair's second half is text.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isEscapedByte(text.at(i).unicode()) && !(i > 0 && text.at(i - 1).isHighSurrogate()))
            return true;
    }
    return false;
}

} // namespace

bool needsTerminalQuoting(QStringView name)
{
    bool needed = false;
    forEachCharacter(name,
                     [&](qsizetype, qsizetype, bool dangerous) { needed = needed || dangerous; });
    return needed;
}

QByteArray terminalQuoted(QStringView name)
{
    QByteArray out;
    enum { None, Plain, Escaped } open = None;
    const auto close = [&] {
        if (open != None)
            out += '\'';
        open = None;
    };
    forEachCharacter(name, [&](qsizetype start, qsizetype length, bool dangerous) {
        const QByteArray bytes = encodeFileName(name.sliced(start, length));
        if (dangerous) {
            if (open != Escaped) {
                close();
                out += "$'";
                open = Escaped;
            }
            for (const char byte : bytes)
                appendEscapedByte(out, uchar(byte));
            return;
        }
        if (bytes == "'") {
            close();
            out += "\\'";
            return;
        }
        if (open != Plain) {
            close();
            out += '\'';
            open = Plain;
        }
        out += bytes;
    });
    close();
    return out.isEmpty() ? "''"_ba : out;
}

QString terminalSafeText(QStringView text)
{
    QString safe;
    safe.reserve(text.size());
    forEachCharacter(text, [&](qsizetype start, qsizetype length, bool dangerous) {
        const QStringView character = text.sliced(start, length);
        if (!dangerous || character == u"\n") {
            safe += character;
            return;
        }
        QByteArray escaped;
        for (const char byte : encodeFileName(character)) {
            escaped += '\\';
            escaped += char('0' + ((uchar(byte) >> 6) & 7));
            escaped += char('0' + ((uchar(byte) >> 3) & 7));
            escaped += char('0' + (uchar(byte) & 7));
        }
        safe += QLatin1StringView(escaped);
    });
    return safe;
}

RecordWriter::RecordWriter(QIODevice &device, Form form)
    : m_device(device)
    , m_form(form)
{}

RecordWriter::~RecordWriter()
{
    flush();
}

void RecordWriter::flush()
{
    if (!m_buffer.isEmpty())
        m_device.write(m_buffer);
    m_buffer.clear();
}

void RecordWriter::appendField(const Field &field)
{
    if (field.kind != Field::Name) {
        m_buffer += field.text.toUtf8();
        return;
    }
    switch (m_form) {
    case Form::Null:
        m_buffer += encodeFileName(field.text);
        return;
    case Form::Terminal:
        if (needsTerminalQuoting(field.text)) {
            m_buffer += terminalQuoted(field.text);
            return;
        }
        break;
    case Form::Text:
    case Form::Json:
        break;
    }
    m_buffer += displayFileName(field.text).toUtf8();
}

void RecordWriter::write(std::initializer_list<Field> fields, QStringView separator)
{
    if (m_form == Form::Json) {
        QJsonObject object;
        for (const Field &field : fields) {
            if (field.jsonOnly && field.text.isEmpty())
                continue;
            const QString key = field.key;
            if (field.kind == Field::Number) {
                object.insert(key, field.text.toDouble());
                continue;
            }
            if (field.kind == Field::Name) {
                object.insert(key, displayFileName(field.text));
                if (holdsEscapedBytes(field.text)) {
                    object.insert(key + u"_bytes"_s,
                                  QString::fromLatin1(encodeFileName(field.text).toBase64()));
                }
                continue;
            }
            object.insert(key, field.text);
        }
        writeJsonLine(QJsonDocument(object).toJson(QJsonDocument::Compact));
        return;
    }
    bool first = true;
    for (const Field &field : fields) {
        if (field.jsonOnly)
            continue;
        if (!first && m_form != Form::Null)
            m_buffer += separator.toUtf8();
        first = false;
        appendField(field);
        if (m_form == Form::Null)
            m_buffer += '\0';
    }
    if (m_form != Form::Null)
        m_buffer += '\n';
    if (m_buffer.size() >= 1 << 16)
        flush();
}

void RecordWriter::writeJsonLine(const QByteArray &json)
{
    m_buffer += json;
    m_buffer += '\n';
    if (m_buffer.size() >= 1 << 16)
        flush();
}
