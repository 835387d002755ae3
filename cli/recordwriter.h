#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <initializer_list>

class QIODevice;

// File names are chosen by whoever can put a file in a folder. On a terminal, a name
// holding control characters (an escape sequence), direction controls (which reorder
// what is shown) or bytes that are not UTF-8 is shown quoted as GNU ls quotes it
// (shell-escape: 'plain'$'\033''[31m'), so that it can neither act on the terminal nor
// pose as another name, and can be pasted back into a shell.
bool needsTerminalQuoting(QStringView name);
QByteArray terminalQuoted(QStringView name);
// A message for a terminal: whatever a name inside it could make the terminal do is
// shown as octal escapes (\033), and a byte that is not UTF-8 likewise; line ends stay.
QString terminalSafeText(QStringView text);

// How tessaly-cli writes its records (a name and its new name, a plan's row, a batch of
// the history):
// - Text: fields separated as given, a line each, names as text (a byte that is not
//   UTF-8 shown as U+FFFD), as scripts have read them;
// - Terminal: the same, with names quoted where they need it;
// - Null: every field ended by a NUL byte, names as their very bytes (find -print0);
// - Json: one JSON object per line; a name that is not UTF-8 also as "KEY_bytes", its
//   bytes in base64.
class RecordWriter
{
public:
    enum class Form { Text, Terminal, Null, Json };

    struct Field
    {
        enum Kind { Name, Text, Number };
        QLatin1StringView key; // in JSON
        QString text;
        Kind kind = Text;
        bool jsonOnly = false; // left out of the other forms
    };

    RecordWriter(QIODevice &device, Form form);
    ~RecordWriter();
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    Form form() const { return m_form; }
    // One record; separator stands between the fields of Text and Terminal.
    void write(std::initializer_list<Field> fields, QStringView separator = u"\t");
    // A line of JSON as it is (the Json form's summaries).
    void writeJsonLine(const QByteArray &json);
    void flush();

private:
    void appendField(const Field &field);

    QIODevice &m_device;
    const Form m_form;
    QByteArray m_buffer;
};
