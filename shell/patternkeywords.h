#pragma once

#include <QObject>
#include <QStringList>

class QCompleter;
class QLineEdit;

// Offers the pattern keywords while the user types in a pattern field: after a "{"
// a list of the keywords that begin with what was typed since; choosing one puts it in
// place of the typed part. Belongs to the field.
class PatternKeywordCompleter : public QObject
{
    Q_OBJECT

public:
    explicit PatternKeywordCompleter(QLineEdit *field);

    // Every keyword offered, in the order shown.
    static QStringList keywords();
    QCompleter *completer() const { return m_completer; }

private:
    void offer();
    void insert(const QString &keyword);
    // Where the keyword being typed begins: the last "{" before the cursor with no "}"
    // after it; -1 when the cursor is not inside one.
    qsizetype typedKeywordStart() const;

    QLineEdit *m_field;
    QCompleter *m_completer;
};
