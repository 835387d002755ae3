#include "presets.h"

#include "asciitext.h"
#include "tessalyerror.h"
#include "textfiles.h"
#include "translation.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

enum class Kind { Text, Number, Boolean, Index };

// The options in file order, with what each holds.
struct Field
{
    const char16_t *key;
    Kind kind;
    QString RenameOptions::*text = nullptr;
    bool RenameOptions::*flag = nullptr;
    int RenameOptions::*index = nullptr;
    int itemCount = 0; // of an index's drop-down list
};

const Field fields[] = {
    {u"find", Kind::Text, &RenameOptions::find},
    {u"replace", Kind::Text, &RenameOptions::replace},
    {u"regex", Kind::Boolean, nullptr, &RenameOptions::regex},
    {u"pattern", Kind::Text, &RenameOptions::pattern},
    {u"counterStart", Kind::Number, &RenameOptions::counterStart},
    {u"digits", Kind::Number, &RenameOptions::digits},
    {u"case", Kind::Index, nullptr, nullptr, &RenameOptions::caseMode, 4},
    {u"changeExt", Kind::Boolean, nullptr, &RenameOptions::changeExt},
    {u"newExt", Kind::Text, &RenameOptions::newExt},
    {u"conflict", Kind::Index, nullptr, nullptr, &RenameOptions::conflict, 3},
    {u"insertText", Kind::Text, &RenameOptions::insertText},
    {u"insertPos", Kind::Number, &RenameOptions::insertPos},
    {u"removeFirst", Kind::Number, &RenameOptions::removeFirst},
    {u"removeLast", Kind::Number, &RenameOptions::removeLast},
    {u"removeFromPos", Kind::Number, &RenameOptions::removeFromPos},
    {u"removeTillPos", Kind::Number, &RenameOptions::removeTillPos},
    {u"charactersToRemove", Kind::Text, &RenameOptions::charactersToRemove},
    {u"collapseDoubleSpaces", Kind::Boolean, nullptr, &RenameOptions::collapseDoubleSpaces},
    {u"cropBefore", Kind::Text, &RenameOptions::cropBefore},
    {u"cropAfter", Kind::Text, &RenameOptions::cropAfter},
    {u"padNumbers", Kind::Number, &RenameOptions::padNumbers},
    {u"includeSubfolders", Kind::Boolean, nullptr, &RenameOptions::includeSubfolders},
    {u"batchMode", Kind::Index, nullptr, nullptr, &RenameOptions::batchMode, 3},
    {u"destination", Kind::Text, &RenameOptions::destination},
    {u"touchModifiedNow", Kind::Boolean, nullptr, &RenameOptions::touchModifiedNow},
};

QString escaped(QString text)
{
    return text.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
}

QString unescaped(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\\' && i + 1 < text.size() &&
            (text.at(i + 1) == u'\\' || text.at(i + 1) == u'"')) {
            result += text.at(i + 1);
            ++i;
        } else {
            result += text.at(i);
        }
    }
    return result;
}

// "true" with A-Z taken as a-z, and no other folding.
bool equalsTrue(const QString &value)
{
    return EqualsAsciiCaseless(value, u"true");
}

} // namespace

QByteArray PresetFileBytes(const RenameOptions &options)
{
    QString text = u"{\r\n"_s;
    const qsizetype last = std::size(fields) - 1;
    for (qsizetype i = 0; i <= last; ++i) {
        const Field &field = fields[i];
        QString value;
        switch (field.kind) {
        case Kind::Text:
        case Kind::Number:
            // Number texts are escaped too: one holding a quote must read back whole.
            value = u'"' + escaped(options.*field.text) + u'"';
            break;
        case Kind::Boolean:
            value = options.*field.flag ? u"true"_s : u"false"_s;
            break;
        case Kind::Index:
            value = QString::number(options.*field.index);
            break;
        }
        text += u'"' + QString::fromUtf16(field.key) + u"\":"_s + value +
                (i < last ? u",\r\n"_s : u"\r\n"_s);
    }
    text += u"}\r\n"_s;
    return "\xEF\xBB\xBF" + text.toUtf8();
}

QString ReadPresetValue(const QString &text, const QString &key, const QString &fallback)
{
    const QString needle = u'"' + key + u"\":"_s;
    const qsizetype at = text.indexOf(needle);
    if (at < 0)
        return fallback;
    const QString rest = TrimControl(text.mid(at + needle.size()));
    if (rest.startsWith(u'"')) {
        for (qsizetype i = 1; i < rest.size(); ++i) {
            if (rest.at(i) == u'\\') {
                ++i;
                continue;
            }
            if (rest.at(i) == u'"')
                return unescaped(QStringView(rest).sliced(1, i - 1));
        }
        return fallback;
    }
    qsizetype end = 0;
    while (end < rest.size() && rest.at(end) != u',' && rest.at(end) != u'}' &&
           rest.at(end) != u'\n' && rest.at(end) != u'\r')
        ++end;
    return TrimControl(rest.left(end));
}

RenameOptions OptionsFromPreset(const QString &text, const RenameOptions &current)
{
    RenameOptions options = current;
    for (const Field &field : fields) {
        const QString key = QString::fromUtf16(field.key);
        switch (field.kind) {
        case Kind::Text:
        case Kind::Number:
            options.*field.text = ReadPresetValue(text, key, current.*field.text);
            break;
        case Kind::Boolean: {
            const QString fallback = key == u"changeExt"_s ? u"true"_s : u"false"_s;
            options.*field.flag = equalsTrue(ReadPresetValue(text, key, fallback));
            break;
        }
        case Kind::Index: {
            const int now = current.*field.index;
            const int n = IntOrDefault(ReadPresetValue(text, key, QString::number(now)), now);
            options.*field.index = n >= 0 && n < field.itemCount ? n : -1;
            break;
        }
        }
    }
    return options;
}

RenameOptions LoadPresetFile(const QString &path, const RenameOptions &current)
{
    return OptionsFromPreset(ReadUtf8TextFile(path), current);
}

void SavePresetFile(const QString &path, const RenameOptions &options)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(PresetFileBytes(options)) < 0 || !file.flush()) {
        throw TessalyError(TranslateText(u"Cannot create file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}
