#include "shell/patternkeywords.h"

#include "engine/metadatakeywords.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

using namespace Qt::StringLiterals;

PatternKeywordCompleter::PatternKeywordCompleter(QLineEdit *field)
    : QObject(field)
    , m_field(field)
    , m_completer(new QCompleter(new QStringListModel(keywords(), this), this))
{
    m_completer->setWidget(field);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setMaxVisibleItems(12);
    connect(field, &QLineEdit::textEdited, this, &PatternKeywordCompleter::offer);
    connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this,
            &PatternKeywordCompleter::insert);
}

QStringList PatternKeywordCompleter::keywords()
{
    QStringList all{
        u"{name}"_s,
        u"{ext}"_s,
        u"{counter}"_s,
        u"{date}"_s,
        u"{time}"_s,
        u"{created}"_s,
        u"{modified}"_s,
        u"{parent}"_s,
        u"{folder}"_s,
        u"{size}"_s,
        u"{list}"_s,
        u"{imgw}"_s,
        u"{imgh}"_s,
        u"{date:yyyy-MM-dd}"_s,
        u"{created:yyyyMMdd}"_s,
        u"{modified:yyyy-MM-dd_HH-mm-ss}"_s,
        u"{name:1:8}"_s,
    };
    return all + metadataKeywordList();
}

qsizetype PatternKeywordCompleter::typedKeywordStart() const
{
    const QString text = m_field->text().left(m_field->cursorPosition());
    const qsizetype open = text.lastIndexOf(u'{');
    return open >= 0 && text.indexOf(u'}', open) < 0 ? open : -1;
}

void PatternKeywordCompleter::offer()
{
    const qsizetype start = typedKeywordStart();
    if (start < 0) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->setCompletionPrefix(m_field->text().mid(start, m_field->cursorPosition() - start));
    if (m_completer->completionCount() == 0) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->complete();
}

void PatternKeywordCompleter::insert(const QString &keyword)
{
    const qsizetype start = typedKeywordStart();
    if (start < 0)
        return;
    const qsizetype cursor = m_field->cursorPosition();
    QString text = m_field->text();
    // A keyword already closed after the cursor ("{na|me}") is replaced whole.
    qsizetype end = cursor;
    const qsizetype close = text.indexOf(u'}', cursor);
    const qsizetype nextOpen = text.indexOf(u'{', cursor);
    if (close >= 0 && (nextOpen < 0 || close < nextOpen))
        end = close + 1;
    text.replace(start, end - start, keyword);
    m_field->setText(text);
    m_field->setCursorPosition(int(start + keyword.size()));
}
