#include "filelist/presets.h"

#include "engine/asciitext.h"
#include "engine/tessalyerror.h"
#include "filelist/textfiles.h"
#include "translation/translation.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

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
    return equalsAsciiCaseless(value, u"true");
}

} // namespace

QByteArray presetFileBytes(const RenameOptions &options)
{
    QString text = u"{\r\n"_s;
    const QList<OptionField> &fields = renameOptionFields();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const OptionField &field = fields.at(i);
        QString value;
        switch (field.kind) {
        case OptionKind::Text:
        case OptionKind::Number:
            // Number texts are escaped too: one holding a quote must read back whole.
            value = u'"' + escaped(options.*field.text) + u'"';
            break;
        case OptionKind::Flag:
            value = options.*field.flag ? u"true"_s : u"false"_s;
            break;
        case OptionKind::Choice:
            value = QString::number(options.*field.choice);
            break;
        }
        text += u'"' + field.presetKey.toString() + u"\":"_s + value +
                (i < fields.size() - 1 ? u",\r\n"_s : u"\r\n"_s);
    }
    text += u"}\r\n"_s;
    return "\xEF\xBB\xBF" + text.toUtf8();
}

QString readPresetValue(const QString &text, const QString &key, const QString &fallback)
{
    const QString needle = u'"' + key + u"\":"_s;
    const qsizetype at = text.indexOf(needle);
    if (at < 0)
        return fallback;
    const QString rest = trimControl(text.mid(at + needle.size()));
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
    return trimControl(rest.left(end));
}

RenameOptions optionsFromPreset(const QString &text, const RenameOptions &current)
{
    RenameOptions options = current;
    for (const OptionField &field : renameOptionFields()) {
        const QString key = field.presetKey.toString();
        switch (field.kind) {
        case OptionKind::Text:
        case OptionKind::Number:
            options.*field.text = readPresetValue(text, key, current.*field.text);
            break;
        case OptionKind::Flag:
            options.*field.flag =
                equalsTrue(readPresetValue(text, key, field.presetFallback.toString()));
            break;
        case OptionKind::Choice: {
            const int now = current.*field.choice;
            const int n = intOrDefault(readPresetValue(text, key, QString::number(now)), now);
            options.*field.choice = n >= 0 && n < field.choiceWords.size() ? n : -1;
            break;
        }
        }
    }
    return options;
}

RenameOptions loadPresetFile(const QString &path, const RenameOptions &current)
{
    return optionsFromPreset(readUtf8TextFile(path), current);
}

void savePresetFile(const QString &path, const RenameOptions &options)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(presetFileBytes(options)) < 0 || !file.flush()) {
        throw TessalyError(translateText(u"Cannot create file \"%1\". %2"_s)
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}
